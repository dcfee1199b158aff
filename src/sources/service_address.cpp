#include "sources/service_address.h"

#include <QByteArray>
#include <QUrl>

namespace kestrion {

QString encodeSymbol(const QString& symbol)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    const QByteArray utf8 = symbol.toUtf8();
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        const bool unsafe = c <= 0x20 || c >= 0x7F || c == '&' || c == '#' || c == '?' || c == '%' || c == '+'
            || c == '/';
        if (unsafe) {
            out += QLatin1Char('%');
            out += QLatin1Char(hex[c >> 4]);
            out += QLatin1Char(hex[c & 0xF]);
        } else {
            out += QLatin1Char(ch);
        }
    }
    return out;
}

QString pathSymbol(const QString& symbol)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(symbol));
}

QString serviceBase(const QString& host, const QString& defaultScheme)
{
    QString base = host.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base.contains(QLatin1String("://")))
        return base;
    return defaultScheme + QStringLiteral("://") + base;
}

} // namespace kestrion
