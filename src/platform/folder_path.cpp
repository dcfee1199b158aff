#include "platform/folder_path.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace kestrion {

namespace {

bool fail(QString* why, const QString& text)
{
    if (why)
        *why = text;
    return false;
}

QString shown(const QString& path)
{
    return QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(path));
}

} // namespace

bool makeFolderPath(const QString& path, QString* why)
{
    if (path.trimmed().isEmpty())
        return fail(why, QStringLiteral("no path was given"));
    const QString target = QDir::cleanPath(QDir(path).absolutePath());
    // The folders to make, deepest first, up to the first one that is there.
    QStringList missing;
    QString existing = target;
    for (;;) {
        const QFileInfo info(existing);
        if (info.exists() || info.isSymLink()) {
            if (!info.isDir())
                return fail(why, QStringLiteral("%1 is a file, not a folder").arg(shown(existing)));
            break;
        }
        missing.prepend(existing);
        const QString parent = info.path();
        if (parent == existing)
            break; // a root that is not there
        existing = parent;
    }
    for (const QString& folder : std::as_const(missing)) {
        // One level at a time, so the message names the folder that failed
        // and its reason from the system.
        if (::mkdir(QFile::encodeName(folder).constData(), 0777) == 0)
            continue;
        const int error = errno;
        if (error == EEXIST && QFileInfo(folder).isDir())
            continue; // made by someone else meanwhile
        return fail(why, QStringLiteral("%1 could not be made: %2")
                             .arg(shown(folder), QString::fromLocal8Bit(std::strerror(error))));
    }
    return true;
}

} // namespace kestrion
