#pragma once

#include "formats/file_stem.h"
#include "sources/quote_request.h"

#include <QString>
#include <QStringList>

namespace kestrion {

struct Settings;

// Download directory, separator, stem, optional end-date stamp (end month,
// day and year texts as shown: MSFTSep252003) and the extension as stored.
QString dataFilePath(const QString& downloadDir, const QString& symbol, const Settings& settings,
                     const DayTexts& endDay);

// Passes when the file is not empty and does not start with "<h" or "No".
bool contentTest(const QString& path);

// "Delete Existing Files": moves each of these files that exists (a plain
// file, or a symbolic link itself, never what it points to) to the desktop's
// trash. Stops at the first one that cannot go there, leaving it where it is,
// and returns why; empty when all went.
QString moveFilesToTrash(const QStringList& paths);

} // namespace kestrion
