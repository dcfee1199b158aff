#pragma once

#include <QString>
#include <QStringList>

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

// "Delete Existing Files": moves each of these files that exists (a plain
// file, or a symbolic link itself, never what it points to) to the desktop's
// trash. Stops at the first one that cannot go there, leaving it where it is,
// and returns why; empty when all went.
QString moveFilesToTrash(const QStringList& paths);

} // namespace kestrion
