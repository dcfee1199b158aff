#pragma once

#include <QtGlobal>

#include <optional>

namespace kestrion::metastock {

// MetaStock stores every number of its index and data files as a 4-byte
// Microsoft Binary Format float: exponent in the top byte (0 means zero),
// then the sign bit, then the 23 mantissa bits; bias 129 against IEEE's 127.
// Returns nothing for values MBF cannot hold (infinities, NaN, magnitudes of
// 2^127 and more). IEEE subnormals and -0 become 0.
std::optional<quint32> toMbf(float value);
float fromMbf(quint32 mbf);

// The date form of the index and data files: (year - 1900) * 10000 + mmdd,
// 2024-01-02 is 1240102. Only real calendar days of the years 1900 to 2999
// are accepted, so every date stays exact in a float.
bool isStorableDate(qint32 yyyymmdd);
inline qint32 toMetaStockDate(qint32 yyyymmdd)
{
    return yyyymmdd - 19000000;
}
inline qint32 fromMetaStockDate(qint32 msDate)
{
    return msDate + 19000000;
}

// Period number of the download (1 daily, 2 weekly, 3 monthly) as the letter
// MetaStock keeps; 0 for any other number.
char periodLetter(qint16 periodNumber);

// Field bitset of the extended index for a record of 5 to 8 fields.
quint8 fieldBits(int fieldCount);
int fieldCountFromBits(quint8 bits);

} // namespace kestrion::metastock
