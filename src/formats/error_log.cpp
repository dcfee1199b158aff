#include "formats/error_log.h"

#include <QFile>
#include <QFileInfo>

namespace kestrion::ErrorLog {

QString path(const QString& downloadDir)
{
    // No directory means no log: an empty text must never turn into a file
    // at the root of the file system.
    if (downloadDir.isEmpty())
        return QString();
    return downloadDir + QStringLiteral("/errorlog.txt");
}

void remove(const QString& downloadDir)
{
    const QString p = path(downloadDir);
    if (!p.isEmpty())
        QFile::remove(p);
}

bool logTicker(const QString& downloadDir, const QString& symbol, QString* error)
{
    const QString p = path(downloadDir);
    if (p.isEmpty())
        return true;
    const bool exists = QFileInfo::exists(p);
    QFile f(p);
    if (!f.open(exists ? QIODevice::Append : (QIODevice::WriteOnly | QIODevice::NewOnly))) {
        if (error)
            *error = f.errorString();
        return false;
    }
    QByteArray text;
    if (!exists) {
        text = "Kestrion could not download data for the following tickers.\r\n"
               "Please check if the tickers are in your selected source database\r\n"
               "(Yahoo Finance, or WallStreet City).\r\n"
               "\r\n";
    }
    text += symbol.toUtf8() + "\r\n";
    if (f.write(text) != text.size() || !f.flush()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

bool check(const QString& downloadDir)
{
    const QString p = path(downloadDir);
    if (p.isEmpty())
        return false;
    {
        QFile f(p);
        if (f.open(QIODevice::ReadOnly)) {
            char first = 0;
            if (f.getChar(&first) && first != 0)
                return true;
        }
    }
    QFile::remove(p);
    return false;
}

} // namespace kestrion::ErrorLog
