#include "formats/metastock_format.h"

#include <QDate>

#include <bit>
#include <cmath>

namespace kestrion::metastock {

std::optional<quint32> toMbf(float value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const auto v = std::bit_cast<quint32>(value);
    const quint32 e = (v >> 23) & 0xFF;
    if (e == 0)
        return 0u;
    if (e >= 254)
        return std::nullopt;
    return ((e + 2) << 24) | ((v >> 31) << 23) | (v & 0x7FFFFF);
}

float fromMbf(quint32 mbf)
{
    const quint32 e = mbf >> 24;
    if (e == 0)
        return 0.0f;
    // MBF exponents 1 and 2 are below IEEE's normal range: too small to matter.
    if (e <= 2)
        return 0.0f;
    const quint32 v = ((e - 2) << 23) | ((mbf & 0x800000) << 8) | (mbf & 0x7FFFFF);
    return std::bit_cast<float>(v);
}

bool isStorableDate(qint32 yyyymmdd)
{
    const int year = yyyymmdd / 10000;
    if (yyyymmdd < 0 || year < 1900 || year > 2999)
        return false;
    return QDate::isValid(year, (yyyymmdd / 100) % 100, yyyymmdd % 100);
}

char periodLetter(qint16 periodNumber)
{
    switch (periodNumber) {
    case 1:
        return 'D';
    case 2:
        return 'W';
    case 3:
        return 'M';
    default:
        return 0;
    }
}

quint8 fieldBits(int fieldCount)
{
    // date, high, low, close, volume; then open, open interest, time.
    switch (fieldCount) {
    case 5:
        return 0x1F;
    case 6:
        return 0x3F;
    case 7:
        return 0x7F;
    case 8:
        return 0xFF;
    default:
        return 0;
    }
}

int fieldCountFromBits(quint8 bits)
{
    switch (bits) {
    case 0x1F:
        return 5;
    case 0x3F:
        return 6;
    case 0x7F:
        return 7;
    case 0xFF:
        return 8;
    default:
        return 0;
    }
}

} // namespace kestrion::metastock
