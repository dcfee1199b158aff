#pragma once

#include <QString>

namespace kestrion {

// The file stem of a ticker: its first "." becomes "-" (BCE.TO -> BCE-TO,
// A.B.C -> A-B.C). Path separators and control characters become "-" too, so
// a symbol can never name a file outside the download directory (with the
// first dot gone, no stem is "." or "..").
QString fileStem(const QString& symbol);

} // namespace kestrion
