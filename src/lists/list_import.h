#pragma once

#include <QString>
#include <QStringList>

namespace kestrion {

// The lines of an import file, each whole (not split at commas, not
// trimmed), in file order, without their line ends (LF, CRLF or a lone CR). A final
// line without a line end counts; the end of the file after a line end
// does not add an empty line. False when the file cannot be read.
bool readImportLines(const QString& path, QStringList& lines, QString* error = nullptr);

// After an import of lines: which were too long for a ticker symbol, by
// their 1-based line numbers, as a sentence for the user; empty when none.
QString overlongLinesReport(const QStringList& lines, int firstFew = 5);

} // namespace kestrion
