#include "formats/metastock_fields.h"

#include "formats/metastock_format.h"

#include <QtEndian>

#include <bit>
#include <cmath>

namespace kestrion::metastock {

quint16 u16At(const QByteArray& b, int off)
{
    return qFromLittleEndian<quint16>(b.constData() + off);
}
quint32 u32At(const QByteArray& b, int off)
{
    return qFromLittleEndian<quint32>(b.constData() + off);
}
void putU16(QByteArray& b, int off, quint16 v)
{
    qToLittleEndian<quint16>(v, b.data() + off);
}
void putU32(QByteArray& b, int off, quint32 v)
{
    qToLittleEndian<quint32>(v, b.data() + off);
}
void putMbf(QByteArray& b, int off, float v)
{
    putU32(b, off, toMbf(v).value_or(0));
}
void putIeee(QByteArray& b, int off, float v)
{
    putU32(b, off, std::bit_cast<quint32>(v));
}

QByteArray textAt(const QByteArray& b, int off, int len)
{
    QByteArray t = b.mid(off, len);
    const qsizetype nul = t.indexOf('\0');
    if (nul >= 0)
        t.truncate(nul);
    while (!t.isEmpty() && (t.back() == ' ' || t.back() == '\0'))
        t.chop(1);
    return t;
}

void putText(QByteArray& b, int off, int width, const QByteArray& text, char pad)
{
    for (int i = 0; i < width; ++i)
        b[off + i] = i < text.size() ? text.at(i) : pad;
}

QByteArray storedText(const QString& text, int maxLength)
{
    QByteArray out;
    for (const QChar c : text.trimmed()) {
        if (out.size() == maxLength)
            break;
        const char16_t u = c.unicode();
        out.append(u >= 0x20 && u < 0x7F ? char(u) : (u >= 0xA0 && u <= 0xFF ? char(u) : '?'));
    }
    return out;
}

qint32 dateFromMbf(quint32 mbf)
{
    const float v = fromMbf(mbf);
    if (!(v > 0) || v > 2e7f)
        return 0;
    const qint32 d = fromMetaStockDate(qint32(std::lround(v)));
    return isStorableDate(d) ? d : 0;
}

float msDateFloat(qint32 yyyymmdd)
{
    return yyyymmdd ? float(toMetaStockDate(yyyymmdd)) : 0.0f;
}

bool usablePeriod(char p)
{
    return p == 'D' || p == 'W' || p == 'M';
}

} // namespace kestrion::metastock
