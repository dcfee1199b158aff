#include "download/output_files.h"

#include "core/settings_record.h"
#include "download/quote_request.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kestrion {

QString fileStem(const QString& symbol)
{
    QString stem = symbol;
    const qsizetype dot = stem.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        stem[dot] = QLatin1Char('-');
    for (QChar& c : stem) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            c = QLatin1Char('-');
    }
    return stem;
}

QString dataFilePath(const QString& downloadDir, const QString& symbol, const Settings& settings,
                     const RequestInputs& inputs)
{
    QString name = fileStem(symbol);
    if (settings.dateStamp == 1)
        name += inputs.endMonth + inputs.endDay + inputs.endYear;
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

void clearDownloadDirectory(const QString& downloadDir)
{
    QDir dir(downloadDir);
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& fi : entries) {
        if (fi.isSymLink() || !fi.isFile())
            continue;
        QFile::remove(fi.absoluteFilePath());
    }
}

} // namespace kestrion
