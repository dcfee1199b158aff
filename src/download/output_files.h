#pragma once

#include <QString>

namespace kestrion {

struct Settings;
struct RequestInputs;

// The file stem of a ticker: its first "." becomes "-" (BCE.TO -> BCE-TO,
// A.B.C -> A-B.C). Path separators and control characters become "-" too, so
// a symbol can never name a file outside the download directory (with the
// first dot gone, no stem is "." or "..").
QString fileStem(const QString& symbol);

// Download directory, separator, stem, optional end-date stamp (end month,
// day and year texts as shown: MSFTSep252003) and the extension as stored.
QString dataFilePath(const QString& downloadDir, const QString& symbol, const Settings& settings,
                     const RequestInputs& inputs);

// Passes when the file is not empty and does not start with "<h" or "No".
bool contentTest(const QString& path);

// Removes the plain files directly inside the directory; subdirectories,
// their contents and whatever a symbolic link points to are left alone.
void clearDownloadDirectory(const QString& downloadDir);

} // namespace kestrion
