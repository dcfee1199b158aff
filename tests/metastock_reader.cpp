#include "metastock_reader.h"

#include <charconv>
#include <cmath>

namespace kestrion::test {

double mbfValue(const char* bytes)
{
    const auto b = reinterpret_cast<const unsigned char*>(bytes);
    const int exponent = b[3];
    if (exponent == 0)
        return 0.0;
    const bool negative = b[2] & 0x80;
    const quint32 mantissa = (quint32(b[2] & 0x7F) << 16) | (quint32(b[1]) << 8) | b[0];
    const double v = std::ldexp(1.0 + double(mantissa) / double(1 << 23), exponent - 129);
    return negative ? -v : v;
}

QString floatText(float v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, r.ptr - buf);
}

} // namespace kestrion::test
