#include "core/app_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace kestrion {

AppState& appState()
{
    static AppState state;
    return state;
}

void resetAppState()
{
    appState() = AppState{};
}

QString versionNumber()
{
    return QStringLiteral("%1.%2.%3")
        .arg(KESTRION_VERSION_MAJOR)
        .arg(KESTRION_VERSION_MINOR)
        .arg(KESTRION_VERSION_PATCH);
}

void setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrion"));
    QCoreApplication::setApplicationName(QStringLiteral("Kestrion"));
    QCoreApplication::setApplicationVersion(versionNumber());
}

QString applicationFolder()
{
    // Beside the program in a build tree; ../share/kestrion once installed.
    const QString programDir = QCoreApplication::applicationDirPath();
    if (QFileInfo::exists(programDir + QStringLiteral("/Kestrion.html")))
        return programDir;
    const QString installed = QDir::cleanPath(programDir + QStringLiteral("/../share/kestrion"));
    if (QFileInfo::exists(installed + QStringLiteral("/Kestrion.html")))
        return installed;
    return programDir;
}

QString defaultListFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString path = folder + QLatin1Char('/') + kDefaultDatabaseName;
    if (!QFileInfo::exists(path)) {
        // The shipped starter list is copied, never used in place: the
        // program's own folder may not be writable, and an update of the
        // program must not replace the user's list.
        QDir().mkpath(folder);
        if (QFile::copy(applicationFolder() + QLatin1Char('/') + kDefaultDatabaseName, path))
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return folder;
}

} // namespace kestrion
