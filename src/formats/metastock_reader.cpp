#include "formats/metastock_reader.h"

#include "formats/metastock_format.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kestrion::metastock {

namespace {

constexpr int kMasterRecord = 53;
constexpr int kEmasterRecord = 192;
constexpr int kXmasterRecord = 150;

// Callers check the size before reading, so every offset is inside the array.
quint32 le(const QByteArray& b, int off, int size)
{
    quint32 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | quint8(b.at(off + i));
    return v;
}

float mbfAt(const char* p)
{
    quint32 u;
    std::memcpy(&u, p, 4);
    return fromMbf(qFromLittleEndian(u));
}

float ieeeAt(const QByteArray& b, int off)
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

// A stored date float as yyyymmdd; 0 for anything that is no calendar day
// of 1900 to 2999 (a corrupt value must not overflow the arithmetic).
qint32 dateFromStored(double v)
{
    if (!std::isfinite(v) || v < 0 || v > 11000000)
        return 0;
    const qint32 d = fromMetaStockDate(qint32(std::lround(v)));
    return isStorableDate(d) ? d : 0;
}

QByteArray slurp(const QString& path, bool* exists, bool* readable = nullptr)
{
    QFile f(path);
    *exists = f.exists();
    const bool open = f.open(QIODevice::ReadOnly);
    if (readable)
        *readable = open;
    return open ? f.readAll() : QByteArray();
}

void readMaster(const QString& dir, Folder& folder)
{
    QStringList& problems = folder.problems;
    bool exists = false;
    const QByteArray master = slurp(dir + QStringLiteral("/MASTER"), &exists);
    if (!exists) {
        problems << QStringLiteral("MASTER missing");
        return;
    }
    if (master.size() % kMasterRecord != 0 || master.size() < kMasterRecord) {
        problems << QStringLiteral("MASTER size %1").arg(master.size());
        return;
    }
    const int records = int(master.size() / kMasterRecord) - 1;
    const int count = int(le(master, 0, 2));
    if (count != records)
        problems << QStringLiteral("MASTER count %1 for %2 records").arg(count).arg(records);
    int highest = 0;
    for (int r = 1; r <= records; ++r) {
        const QByteArray m = master.mid(r * kMasterRecord, kMasterRecord);
        Security s;
        s.fileNumber = quint8(m.at(0));
        highest = std::max(highest, s.fileNumber);
        if (le(m, 1, 2) != 101)
            problems << QStringLiteral("MASTER record %1: type %2").arg(r).arg(le(m, 1, 2));
        s.fields = quint8(m.at(4));
        if (quint8(m.at(3)) != 4 * s.fields || s.fields < 5 || s.fields > 8) {
            problems
                << QStringLiteral("MASTER record %1: %2 fields, length %3").arg(r).arg(s.fields).arg(quint8(m.at(3)));
            if (s.fields < 5 || s.fields > 8)
                s.fields = 0;
        }
        s.name = padded(m, 7, 16);
        s.firstDate = m.at(28) ? dateFromStored(mbfAt(m.constData() + 25)) : 0;
        s.lastDate = m.at(32) ? dateFromStored(mbfAt(m.constData() + 29)) : 0;
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

void readEmaster(const QString& dir, Folder& folder)
{
    QStringList& problems = folder.problems;
    bool exists = false;
    const QByteArray emaster = slurp(dir + QStringLiteral("/EMASTER"), &exists);
    if (!exists) {
        problems << QStringLiteral("EMASTER missing");
        return;
    }
    if (emaster.size() % kEmasterRecord != 0 || emaster.size() < kEmasterRecord) {
        problems << QStringLiteral("EMASTER size %1").arg(emaster.size());
        return;
    }
    const int records = int(emaster.size() / kEmasterRecord) - 1;
    if (int(le(emaster, 0, 2)) != records)
        problems << QStringLiteral("EMASTER count %1 for %2 records").arg(le(emaster, 0, 2)).arg(records);
    if (records != folder.securities.size())
        problems << QStringLiteral("EMASTER lists %1, MASTER %2").arg(records).arg(folder.securities.size());
    for (int r = 1; r <= records; ++r) {
        const QByteArray e = emaster.mid(r * kEmasterRecord, kEmasterRecord);
        const int fn = quint8(e.at(2));
        Security* s = nullptr;
        for (Security& m : folder.securities) {
            if (!m.fromXmaster && m.fileNumber == fn)
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
        if (fields != s->fields || bits != fieldBits(fields))
            problems << QStringLiteral("EMASTER record %1: fields %2 bits %3").arg(r).arg(fields).arg(bits);
        if (padded(e, 11, 14) != s->symbol || e.at(60) != s->period)
            problems << QStringLiteral("EMASTER record %1: symbol or period differ").arg(r);
        const qint32 first = s->firstDate;
        if ((first && dateFromStored(ieeeAt(e, 64)) != first) || qint32(le(e, 126, 4)) != first)
            problems << QStringLiteral("EMASTER record %1: first date").arg(r);
        if (s->lastDate && dateFromStored(ieeeAt(e, 72)) != s->lastDate)
            problems << QStringLiteral("EMASTER record %1: last date").arg(r);
        s->longName = padded(e, 139, 46);
    }
}

void readXmaster(const QString& dir, Folder& folder)
{
    QStringList& problems = folder.problems;
    bool exists = false;
    const QByteArray xmaster = slurp(dir + QStringLiteral("/XMASTER"), &exists);
    if (!exists)
        return;
    if (xmaster.size() % kXmasterRecord != 0 || xmaster.size() < kXmasterRecord) {
        problems << QStringLiteral("XMASTER size %1").arg(xmaster.size());
        return;
    }
    const int records = int(xmaster.size() / kXmasterRecord) - 1;
    if (xmaster.left(4) != QByteArray("\x5D\xFE\x58\x4D", 4))
        problems << QStringLiteral("XMASTER signature");
    if (int(le(xmaster, 10, 2)) != records || int(le(xmaster, 14, 2)) != records)
        problems << QStringLiteral("XMASTER counts %1/%2 for %3 records")
                        .arg(le(xmaster, 10, 2))
                        .arg(le(xmaster, 14, 2))
                        .arg(records);
    int highest = 255;
    for (int r = 1; r <= records; ++r) {
        const QByteArray x = xmaster.mid(r * kXmasterRecord, kXmasterRecord);
        Security s;
        s.fromXmaster = true;
        if (x.at(0) != 1)
            problems << QStringLiteral("XMASTER record %1: first byte").arg(r);
        s.symbol = padded(x, 1, 15);
        s.name = padded(x, 16, 46);
        s.period = x.at(62);
        s.fileNumber = int(le(x, 65, 2));
        highest = std::max(highest, s.fileNumber);
        s.fields = fieldCountFromBits(quint8(x.at(70)));
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

// A data file name as found on disk: folders copied from other systems
// may hold f1.dat rather than F1.DAT.
QString dataFilePath(const QString& dir, const QString& name)
{
    const QString exact = dir + QLatin1Char('/') + name;
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList found = QDir(dir).entryList({name}, QDir::Files); // name filters ignore case
    return found.isEmpty() ? exact : dir + QLatin1Char('/') + found.first();
}

} // namespace

QString Security::displayName() const
{
    if (!longName.isEmpty())
        return longName;
    return name.isEmpty() ? symbol : name;
}

const Security* Folder::find(const QString& symbol, char period) const
{
    for (const Security& s : securities) {
        if (s.symbol == symbol && s.period == period)
            return &s;
    }
    return nullptr;
}

bool isFolder(const QString& directory)
{
    return QFileInfo(directory + QStringLiteral("/MASTER")).isFile()
        || QFileInfo(directory + QStringLiteral("/XMASTER")).isFile();
}

Folder readIndex(const QString& directory)
{
    Folder folder;
    readMaster(directory, folder);
    readEmaster(directory, folder);
    readXmaster(directory, folder);
    QHash<int, int> numbers;
    for (const Security& s : std::as_const(folder.securities)) {
        if (numbers.contains(s.fileNumber))
            folder.problems << QStringLiteral("file number %1 listed twice").arg(s.fileNumber);
        numbers.insert(s.fileNumber, 1);
    }
    return folder;
}

bool readQuotes(const QString& dir, Security& s, QString* error, QStringList* problems)
{
    s.quotes.clear();
    auto fail = [&](const QString& why) {
        if (error)
            *error = s.dataFile + QStringLiteral(": ") + why;
        return false;
    };
    auto note = [&](const QString& what) {
        if (problems)
            *problems << s.symbol + QLatin1Char('/') + s.dataFile + QStringLiteral(": ") + what;
    };
    bool exists = false, readable = false;
    const QByteArray d = slurp(dataFilePath(dir, s.dataFile), &exists, &readable);
    if (!exists)
        return fail(QStringLiteral("data file missing"));
    if (!readable)
        return fail(QStringLiteral("data file cannot be read"));
    if (s.fields < 5 || s.fields > 8)
        return fail(QStringLiteral("the index gives no record layout that can be read"));
    const int len = 4 * s.fields;
    if (d.size() < len || d.size() % len != 0)
        return fail(QStringLiteral("size %1 not a multiple of %2").arg(d.size()).arg(len));
    const int records = int(d.size() / len) - 1;
    if (int(le(d, 2, 2)) != records + 1)
        return fail(QStringLiteral("header count %1, file holds %2").arg(le(d, 2, 2)).arg(records + 1));
    if (le(d, 0, 2) != 0)
        note(QStringLiteral("header word 0 is not 0"));
    for (int i = 4; i < len; ++i) {
        if (d.at(i) != 0) {
            note(QStringLiteral("header byte %1 not 0").arg(i));
            break;
        }
    }
    QList<Quote> quotes;
    quotes.reserve(records);
    for (int r = 1; r <= records; ++r) {
        const char* p = d.constData() + qsizetype(r) * len;
        auto f = [p](int i) { return mbfAt(p + 4 * i); };
        Quote q;
        q.date = dateFromStored(f(0));
        if (q.date == 0)
            return fail(QStringLiteral("record %1: the date is no calendar day").arg(r));
        int i = 1;
        if (s.fields == 8)
            q.time = qint32(std::clamp(f(i++), 0.0f, 1e7f));
        if (s.fields >= 6)
            q.open = f(i++);
        q.high = f(i++);
        q.low = f(i++);
        q.close = f(i++);
        q.volume = f(i++);
        if (s.fields >= 7)
            q.openInterest = f(i++);
        if (!quotes.isEmpty() && q.date <= quotes.last().date)
            return fail(QStringLiteral("record %1: date %2 after %3").arg(r).arg(q.date).arg(quotes.last().date));
        quotes.append(q);
    }
    const qint32 first = quotes.isEmpty() ? 0 : quotes.first().date;
    const qint32 last = quotes.isEmpty() ? 0 : quotes.last().date;
    if (!quotes.isEmpty() && (first != s.firstDate || last != s.lastDate))
        note(QStringLiteral("index dates %1-%2, data %3-%4").arg(s.firstDate).arg(s.lastDate).arg(first).arg(last));
    s.quotes = std::move(quotes);
    return true;
}

Folder readFolder(const QString& directory)
{
    Folder folder = readIndex(directory);
    for (Security& s : folder.securities) {
        QString error;
        if (!readQuotes(directory, s, &error, &folder.problems))
            folder.problems << s.symbol + QLatin1Char('/') + error;
    }
    return folder;
}

} // namespace kestrion::metastock
