#include "platform/system_info.h"

#include "platform/settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace kestrion::SystemInfo {

const QStringList& candidatePrograms()
{
    static const QStringList programs = {
        QStringLiteral("hardinfo2"),
        QStringLiteral("hardinfo"),
        QStringLiteral("kinfocenter"),
        QStringLiteral("lshw-gtk"),
        QStringLiteral("gnome-system-monitor"),
        QStringLiteral("mate-system-monitor"),
        QStringLiteral("xfce4-taskmanager"),
    };
    return programs;
}

bool GetKeyValue(const SettingsStore& store, const QString& section, const QString& name, QString& value)
{
    const QString stored = store.read(section, name, QString());
    if (stored.trimmed().isEmpty()) {
        value.clear();
        return false;
    }
    value = stored;
    return true;
}

QString findOnPath(const QString& pathVariable, const QStringList& programs)
{
    const QStringList folders = pathVariable.split(QDir::listSeparator(), Qt::SkipEmptyParts);
    for (const QString& program : programs) {
        for (const QString& folder : folders) {
            if (QDir::isRelativePath(folder))
                continue;
            const QFileInfo candidate(QDir(folder).filePath(program));
            if (candidate.isFile() && candidate.isExecutable())
                return candidate.absoluteFilePath();
        }
    }
    return QString();
}

QString locateProgram(const SettingsStore& store, const QString& pathVariable)
{
    QString configured;
    if (GetKeyValue(store, kSection, kProgramKey, configured))
        return configured;
    return findOnPath(pathVariable);
}

bool startProgram(const QString& programPath)
{
    if (programPath.isEmpty())
        return false;
    return QProcess::startDetached(programPath, QStringList());
}

QString processPath()
{
    return QString::fromLocal8Bit(qgetenv("PATH"));
}

} // namespace kestrion::SystemInfo
