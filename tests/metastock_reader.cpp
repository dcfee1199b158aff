#include "metastock_reader.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <charconv>
#include <cmath>
#include <cstring>

namespace kestrion::test {

namespace {

quint32 le(const QByteArray& b, int off, int size)
{
    quint32 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | quint8(b.at(off + i));
    return v;
}

float ieee(const QByteArray& b, int off)
{
    const quint32 u = le(b, off, 4);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

QString padded(const QByteArray& b, int off, int len)
{
    QByteArray t = b.mid(off, len);
    const qsizetype nul = t.indexOf('\0');
    if (nul >= 0)
        t.truncate(nul);
    return QString::fromLatin1(t).trimmed();
}

qint32 yyyymmddFromMs(double v)
{
    return qint32(std::lround(v)) + 19000000;
}

QByteArray slurp(const QString& path, bool* exists)
{
    QFile f(path);
    *exists = f.exists();
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void readData(const QString& dir, MsSecurity& s, QStringList& problems)
{
    bool exists = false;
    const QByteArray d = slurp(dir + QLatin1Char('/') + s.dataFile, &exists);
    const QString who = s.symbol + QLatin1Char('/') + s.dataFile;
    if (!exists) {
        problems << who + QStringLiteral(": data file missing");
        return;
    }
    const int len = 4 * s.fields;
    if (len == 0 || d.size() < len || d.size() % len != 0) {
        problems << who + QStringLiteral(": size %1 not a multiple of %2").arg(d.size()).arg(len);
        return;
    }
    const int records = int(d.size() / len) - 1;
    if (le(d, 0, 2) != 0)
        problems << who + QStringLiteral(": header word 0 is not 0");
    if (int(le(d, 2, 2)) != records + 1)
        problems << who + QStringLiteral(": header count %1, file holds %2").arg(le(d, 2, 2)).arg(records + 1);
    for (int i = 4; i < len; ++i) {
        if (d.at(i) != 0) {
            problems << who + QStringLiteral(": header byte %1 not 0").arg(i);
            break;
        }
    }
    for (int r = 1; r <= records; ++r) {
        const char* p = d.constData() + r * len;
        auto f = [p](int i) { return mbfValue(p + 4 * i); };
        MsQuote q;
        q.date = yyyymmddFromMs(f(0));
        int i = 1;
        if (s.fields == 8)
            q.time = qint32(std::lround(f(i++)));
        if (s.fields >= 6)
            q.open = float(f(i++));
        q.high = float(f(i++));
        q.low = float(f(i++));
        q.close = float(f(i++));
        q.volume = float(f(i++));
        if (s.fields >= 7)
            q.openInterest = float(f(i++));
        if (!s.quotes.isEmpty() && q.date <= s.quotes.last().date)
            problems << who + QStringLiteral(": date %1 after %2").arg(q.date).arg(s.quotes.last().date);
        s.quotes.append(q);
    }
    const qint32 first = s.quotes.isEmpty() ? 0 : s.quotes.first().date;
    const qint32 last = s.quotes.isEmpty() ? 0 : s.quotes.last().date;
    if (!s.quotes.isEmpty() && (first != s.firstDate || last != s.lastDate))
        problems << who + QStringLiteral(": index dates %1-%2, data %3-%4").arg(s.firstDate).arg(s.lastDate).arg(first).arg(last);
}

} // namespace

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

const MsSecurity* MsFolder::find(const QString& symbol, char period) const
{
    for (const MsSecurity& s : securities) {
        if (s.symbol == symbol && s.period == period)
            return &s;
    }
    return nullptr;
}

MsFolder readMetaStockFolder(const QString& dir)
{
    MsFolder folder;
    QStringList& problems = folder.problems;
    bool exists = false;

    const QByteArray master = slurp(dir + QStringLiteral("/MASTER"), &exists);
    if (!exists)
        problems << QStringLiteral("MASTER missing");
    if (master.size() % 53 != 0 || master.size() < 53) {
        problems << QStringLiteral("MASTER size %1").arg(master.size());
    } else {
        const int count = int(le(master, 0, 2));
        if (count != master.size() / 53 - 1)
            problems << QStringLiteral("MASTER count %1 for %2 records").arg(count).arg(master.size() / 53 - 1);
        int highest = 0;
        for (int r = 1; r < master.size() / 53; ++r) {
            const QByteArray m = master.mid(r * 53, 53);
            MsSecurity s;
            s.fileNumber = quint8(m.at(0));
            highest = std::max(highest, s.fileNumber);
            if (le(m, 1, 2) != 101)
                problems << QStringLiteral("MASTER record %1: type %2").arg(r).arg(le(m, 1, 2));
            s.fields = quint8(m.at(4));
            if (quint8(m.at(3)) != 4 * s.fields || s.fields < 5 || s.fields > 8)
                problems << QStringLiteral("MASTER record %1: %2 fields, length %3").arg(r).arg(s.fields).arg(quint8(m.at(3)));
            s.name = padded(m, 7, 16);
            s.firstDate = m.at(28) ? yyyymmddFromMs(mbfValue(m.constData() + 25)) : 0;
            s.lastDate = m.at(32) ? yyyymmddFromMs(mbfValue(m.constData() + 29)) : 0;
            s.period = m.at(33);
            s.symbol = padded(m, 36, 14);
            if (m.at(50) != ' ' || (m.at(51) != ' ' && m.at(51) != '*') || m.at(52) != 0)
                problems << QStringLiteral("MASTER record %1: bytes 50-52").arg(r);
            s.dataFile = QStringLiteral("F%1.DAT").arg(s.fileNumber);
            folder.securities.append(s);
        }
        if (int(le(master, 2, 2)) != highest)
            problems << QStringLiteral("MASTER highest file number %1, records say %2").arg(le(master, 2, 2)).arg(highest);
    }

    const QByteArray emaster = slurp(dir + QStringLiteral("/EMASTER"), &exists);
    if (!exists)
        problems << QStringLiteral("EMASTER missing");
    if (emaster.size() % 192 != 0 || emaster.size() < 192) {
        problems << QStringLiteral("EMASTER size %1").arg(emaster.size());
    } else {
        const int records = int(emaster.size() / 192) - 1;
        if (int(le(emaster, 0, 2)) != records)
            problems << QStringLiteral("EMASTER count %1 for %2 records").arg(le(emaster, 0, 2)).arg(records);
        if (records != folder.securities.size())
            problems << QStringLiteral("EMASTER lists %1, MASTER %2").arg(records).arg(folder.securities.size());
        for (int r = 1; r <= records; ++r) {
            const QByteArray e = emaster.mid(r * 192, 192);
            const int fn = quint8(e.at(2));
            MsSecurity* s = nullptr;
            for (MsSecurity& m : folder.securities) {
                if (m.fileNumber == fn)
                    s = &m;
            }
            if (!s) {
                problems << QStringLiteral("EMASTER file number %1 not in MASTER").arg(fn);
                continue;
            }
            if (e.left(2) != "66")
                problems << QStringLiteral("EMASTER record %1: no \"66\"").arg(r);
            const int fields = quint8(e.at(6));
            const int bits = quint8(e.at(7));
            const int expectedBits = fields == 5 ? 0x1F : fields == 6 ? 0x3F : fields == 7 ? 0x7F : 0xFF;
            if (fields != s->fields || bits != expectedBits)
                problems << QStringLiteral("EMASTER record %1: fields %2 bits %3").arg(r).arg(fields).arg(bits);
            if (padded(e, 11, 14) != s->symbol || e.at(60) != s->period)
                problems << QStringLiteral("EMASTER record %1: symbol or period differ").arg(r);
            const qint32 first = s->firstDate ? s->firstDate : 0;
            if ((first && yyyymmddFromMs(ieee(e, 64)) != first) || qint32(le(e, 126, 4)) != first)
                problems << QStringLiteral("EMASTER record %1: first date").arg(r);
            if (s->lastDate && yyyymmddFromMs(ieee(e, 72)) != s->lastDate)
                problems << QStringLiteral("EMASTER record %1: last date").arg(r);
            s->longName = padded(e, 139, 46);
        }
    }

    const QByteArray xmaster = slurp(dir + QStringLiteral("/XMASTER"), &exists);
    if (exists) {
        if (xmaster.size() % 150 != 0 || xmaster.size() < 150) {
            problems << QStringLiteral("XMASTER size %1").arg(xmaster.size());
        } else {
            const int records = int(xmaster.size() / 150) - 1;
            if (xmaster.left(4) != QByteArray("\x5D\xFE\x58\x4D", 4))
                problems << QStringLiteral("XMASTER signature");
            if (int(le(xmaster, 10, 2)) != records || int(le(xmaster, 14, 2)) != records)
                problems << QStringLiteral("XMASTER counts %1/%2 for %3 records")
                                .arg(le(xmaster, 10, 2)).arg(le(xmaster, 14, 2)).arg(records);
            int highest = 255;
            for (int r = 1; r <= records; ++r) {
                const QByteArray x = xmaster.mid(r * 150, 150);
                MsSecurity s;
                s.fromXmaster = true;
                if (x.at(0) != 1)
                    problems << QStringLiteral("XMASTER record %1: first byte").arg(r);
                s.symbol = padded(x, 1, 15);
                s.name = padded(x, 16, 46);
                s.period = x.at(62);
                s.fileNumber = int(le(x, 65, 2));
                highest = std::max(highest, s.fileNumber);
                const int bits = quint8(x.at(70));
                s.fields = bits == 0x1F ? 5 : bits == 0x3F ? 6 : bits == 0x7F ? 7 : bits == 0xFF ? 8 : 0;
                s.firstDate = qint32(le(x, 104, 4));
                if (qint32(le(x, 108, 4)) != s.firstDate)
                    problems << QStringLiteral("XMASTER record %1: first dates differ").arg(r);
                s.lastDate = qint32(le(x, 116, 4));
                if (s.fileNumber < 256)
                    problems << QStringLiteral("XMASTER record %1: file number %2").arg(r).arg(s.fileNumber);
                s.dataFile = QStringLiteral("F%1.MWD").arg(s.fileNumber);
                folder.securities.append(s);
            }
            if (int(le(xmaster, 18, 2)) <= highest)
                problems << QStringLiteral("XMASTER next free number %1 not past %2").arg(le(xmaster, 18, 2)).arg(highest);
        }
    }

    QHash<int, int> numbers;
    for (MsSecurity& s : folder.securities) {
        if (numbers.contains(s.fileNumber))
            problems << QStringLiteral("file number %1 listed twice").arg(s.fileNumber);
        numbers.insert(s.fileNumber, 1);
        readData(dir, s, problems);
    }
    return folder;
}

QString floatText(float v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, r.ptr - buf);
}

} // namespace kestrion::test
