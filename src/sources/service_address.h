#pragma once

#include <QString>

namespace kestrion {

// A symbol as it goes into a query: characters that would change the URL's
// meaning are percent-encoded (space, &, #, ?, %, +, /, controls, non-ASCII);
// everything else, the dot included, is sent as it stands.
QString encodeSymbol(const QString& symbol);

// A symbol as one path segment: everything but letters, digits and "-._~"
// encoded, so "^GSPC" and "EURUSD=X" reach the service as the symbol they are.
QString pathSymbol(const QString& symbol);

// "scheme://host[:port]" for a configured host, which may name its own scheme
// ("http://127.0.0.1:8080"); without one, defaultScheme.
QString serviceBase(const QString& host, const QString& defaultScheme = QStringLiteral("http"));

} // namespace kestrion
