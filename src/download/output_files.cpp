#include "download/output_files.h"

#include "core/settings_record.h"
#include "formats/file_stem.h"
#include "sources/quote_request.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <optional>

namespace kestrion {

QString dataFilePath(const QString& downloadDir, const QString& symbol, const Settings& settings,
                     const DayTexts& end)
{
    QString name = fileStem(symbol);
    if (settings.dateStamp.on())
        name += end.month + end.day + end.year;
    name += settings.fileExtension;
    // The stamp and the extension are typed by the user; keep them from
    // leaving the directory as well.
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    return downloadDir + QLatin1Char('/') + name;
}

bool contentTest(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    if (f.size() == 0)
        return false;
    const QByteArray head = f.read(2);
    return head != "<h" && head != "No";
}

namespace {

// Qt makes the trash in the user's data folder only when that folder exists,
// and without a usable one moves the file into "files" under the working
// directory instead: make it first, and false when there is none.
bool makeHomeTrash(QString& trashPath)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return false;
    trashPath = data + QStringLiteral("/Trash");
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    QDir().mkpath(data);
    QDir(data).mkdir(QStringLiteral("Trash"), owner);
    const QDir trash(trashPath);
    trash.mkdir(QStringLiteral("files"), owner);
    trash.mkdir(QStringLiteral("info"), owner);
    return QFileInfo(trashPath + QStringLiteral("/files")).isDir()
        && QFileInfo(trashPath + QStringLiteral("/info")).isDir();
}

bool present(const QFileInfo& fi)
{
    return fi.isSymLink() || fi.exists();
}

} // namespace

QString moveFilesToTrash(const QStringList& paths)
{
    std::optional<bool> homeTrash;
    QString trashPath;
    for (const QString& path : paths) {
        const QFileInfo fi(path);
        if (!fi.isSymLink() && !fi.isFile())
            continue; // nothing there, or a folder: not a file a run writes
        if (!homeTrash)
            homeTrash = makeHomeTrash(trashPath);
        if (!*homeTrash)
            return QStringLiteral("\"%1\" could not be moved to the trash (there is no trash folder at \"%2\")")
                .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(trashPath));
        QFile f(path);
        const bool moved = f.moveToTrash();
        const QFileInfo landed(f.fileName());
        if (moved && !present(QFileInfo(path)) && landed.isAbsolute() && present(landed))
            continue;
        QString why = f.errorString();
        if (moved) {
            // Gone somewhere that is no trash: put it back.
            if (!present(QFileInfo(path)) && present(landed))
                QFile::rename(landed.filePath(), path);
            why.clear();
        }
        if (why.isEmpty() || why == QLatin1String("Unknown error"))
            why = QStringLiteral("there is no trash folder to take it");
        return QStringLiteral("\"%1\" could not be moved to the trash (%2)").arg(QDir::toNativeSeparators(path), why);
    }
    return {};
}

} // namespace kestrion
