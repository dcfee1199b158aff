#pragma once

#include <QString>

namespace kestrion {

// "errorlog.txt" in the download directory: three header lines and an empty
// line when it is created, then one ticker symbol per line, CRLF endings.
namespace ErrorLog {

// Empty for an empty directory text: then there is no log to touch.
QString path(const QString& downloadDir);
void remove(const QString& downloadDir);
// False when the line could not be written; error then says why.
bool logTicker(const QString& downloadDir, const QString& symbol, QString* error = nullptr);
// True when the log exists and its first byte is not 0; otherwise the log
// is deleted so that an empty one never stays behind.
bool check(const QString& downloadDir);

} // namespace ErrorLog

} // namespace kestrion
