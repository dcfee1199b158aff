// The MetaStock folder writer, checked byte by byte on small hand-worked
// folders and read back through an independent reader on larger ones.
#include "formats/metastock_folder_writer.h"
#include "formats/metastock_format.h"
#include "metastock_reader.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace kestrion;
using kestrion::test::MsFolder;
using kestrion::test::MsQuote;
using kestrion::test::MsSecurity;
using kestrion::test::floatText;
using kestrion::test::readMetaStockFolder;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

void put(QByteArray& b, int offset, const QByteArray& value)
{
    b.replace(offset, value.size(), value);
}

QByteArray le16(int v)
{
    return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF);
}

QByteArray le32(quint32 v)
{
    return le16(int(v & 0xFFFF)) + le16(int(v >> 16));
}

// Hand-worked numbers (see the MBF rule: IEEE exponent + 2, sign in bit 23).
const QByteArray kMbfDate20240102 = hex("30611795"); // 1240102.0
const QByteArray kMbfDate20240103 = hex("38611795"); // 1240103.0
const QByteArray kMbfDate20240104 = hex("40611795"); // 1240104.0
const QByteArray kIeeeDate20240102 = hex("30619749");
const QByteArray kIeeeDate20240103 = hex("38619749");
const QByteArray kMbfOne = hex("00000081");
const QByteArray kMbfHundred = hex("00004887");
const QByteArray kMbfHalf = hex("00000080");
const QByteArray kMbf7997 = hex("a4f01f87");
const QByteArray kMbf12325 = hex("00807687");
const QByteArray kMbfMinusOne = hex("00008081");

struct Quote
{
    qint32 date;
    float open, high, low, close, volume, oi;
};

void addQuotes(MetaStockWriter& w, const QList<Quote>& quotes)
{
    for (const Quote& q : quotes)
        w.addQuote(q.date, 0, q.open, q.high, q.low, q.close, q.volume, q.oi);
}

QString symbolFor(int i)
{
    return QStringLiteral("S%1").arg(i, 3, 10, QLatin1Char('0'));
}

// Security i of a large folder: two quotes with values derived from i.
QList<Quote> quotesFor(int i)
{
    const float base = 10.0f + float(i) * 0.25f;
    return {{20230103, base, base + 1, base - 1, base + 0.5f, 1000.0f * float(i), float(i)},
            {20230104, base + 0.5f, base + 2, base, base + 1.5f, 2000.0f * float(i), float(i) + 1}};
}

void writeLargeFolder(const QString& dir, int count)
{
    MetaStockFolderWriter w;
    w.createFolder(dir);
    for (int i = 1; i <= count; ++i) {
        w.addSecurity(symbolFor(i), symbolFor(i), 1);
        addQuotes(w, quotesFor(i));
    }
}

bool sameQuote(const MsQuote& r, const Quote& q)
{
    return r.date == q.date && r.open == q.open && r.high == q.high && r.low == q.low && r.close == q.close
        && r.volume == q.volume && r.openInterest == q.oi;
}

QString describe(const MsQuote& q)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
        .arg(q.date)
        .arg(floatText(q.open))
        .arg(floatText(q.high))
        .arg(floatText(q.low))
        .arg(floatText(q.close))
        .arg(floatText(q.volume))
        .arg(floatText(q.openInterest));
}

QString describe(const Quote& q)
{
    MsQuote m;
    m.date = q.date;
    m.open = q.open;
    m.high = q.high;
    m.low = q.low;
    m.close = q.close;
    m.volume = q.volume;
    m.openInterest = q.oi;
    return describe(m);
}

QStringList describeAll(const QList<MsQuote>& quotes)
{
    QStringList out;
    for (const MsQuote& q : quotes)
        out << describe(q);
    return out;
}

QStringList describeAll(const QList<Quote>& quotes)
{
    QStringList out;
    for (const Quote& q : quotes)
        out << describe(q);
    return out;
}

QStringList listed(const MsFolder& f)
{
    QStringList out;
    for (const MsSecurity& s : f.securities)
        out << s.symbol;
    out.sort();
    return out;
}

} // namespace

class TestMetaStockWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mbfBytes_data();
    void mbfBytes();
    void mbfLimits_data();
    void mbfLimits();
    void oneSecurityFolderBytes();
    void periodLetter_data();
    void periodLetter();
    void xmasterBeyond255();
    void reopenMergesInPlace();
    void reopenLargeFolder();
    void reopenKeepsForeignLayout();
    void roundTrip();
    void createReplacesIndex_data();
    void createReplacesIndex();
    void sameSymbolTwiceInOneRun();
    void flushThenContinue();
    void ignoredCalls();
    void missingDirectoryReportsFailure();
    void failedWriteLeavesFolderAsItWas_data();
    void failedWriteLeavesFolderAsItWas();
    void corruptFolder_data();
    void corruptFolder();
    void unreadableIndexWritesNothing();
    void unreadableDataFileKeepsHistory();
    void randomIndexBytesNeverCrash();
};

void TestMetaStockWriter::mbfBytes_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("1.0") << 1.0f << kMbfOne;
    QTest::newRow("0.5") << 0.5f << kMbfHalf;
    QTest::newRow("123.25") << 123.25f << kMbf12325;
    QTest::newRow("0") << 0.0f << hex("00000000");
    QTest::newRow("-1.0") << -1.0f << kMbfMinusOne;
    QTest::newRow("100.0") << 100.0f << kMbfHundred;
    QTest::newRow("79.97") << 79.97f << kMbf7997;
    QTest::newRow("date 2024-01-02") << 1240102.0f << kMbfDate20240102;
}

void TestMetaStockWriter::mbfBytes()
{
    QFETCH(float, value);
    QFETCH(QByteArray, bytes);
    const std::optional<quint32> mbf = metastock::toMbf(value);
    QVERIFY(mbf.has_value());
    QCOMPARE(le32(*mbf), bytes);
    QCOMPARE(metastock::fromMbf(*mbf), value);
    QCOMPARE(float(test::mbfValue(bytes.constData())), value);
}

void TestMetaStockWriter::mbfLimits_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<bool>("representable");
    QTest::newRow("largest below 2^127") << 1.7e38f << true;
    QTest::newRow("2^127 and up") << 3.0e38f << false;
    QTest::newRow("infinity") << std::numeric_limits<float>::infinity() << false;
    QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << false;
    QTest::newRow("subnormal is zero") << std::numeric_limits<float>::denorm_min() << true;
}

void TestMetaStockWriter::mbfLimits()
{
    QFETCH(float, value);
    QFETCH(bool, representable);
    const std::optional<quint32> mbf = metastock::toMbf(value);
    QCOMPARE(mbf.has_value(), representable);
    if (mbf && value < 1e-30f)
        QCOMPARE(*mbf, 0u);
}

void TestMetaStockWriter::oneSecurityFolderBytes()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        w.addSecurity(QStringLiteral("MSFT"), QStringLiteral("MSFT"), 1);
        // Added out of order: the file must come out ascending.
        w.addQuote(20240103, 0, 1.0f, 100.0f, 0.5f, 1.0f, 123.25f, 0.0f);
        w.addQuote(20240102, 0, 79.97f, 100.0f, 0.5f, 1.0f, 123.25f, -1.0f);
    }

    QByteArray master(2 * 53, '\0');
    put(master, 0, le16(1));     // one security
    put(master, 2, le16(1));     // highest file number
    put(master, 53, hex("01"));  // F1.DAT
    put(master, 54, hex("6500"));
    put(master, 56, hex("1c07")); // 28-byte records, 7 fields
    put(master, 53 + 7, "MSFT            ");
    put(master, 53 + 25, kMbfDate20240102);
    put(master, 53 + 29, kMbfDate20240103);
    put(master, 53 + 33, "D");
    put(master, 53 + 36, "MSFT          ");
    put(master, 53 + 50, "  ");
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("MASTER"))).toHex(' '), master.toHex(' '));

    QByteArray emaster(2 * 192, '\0');
    put(emaster, 0, le16(1));
    put(emaster, 2, le16(1));
    const int e = 192;
    put(emaster, e + 0, "66");
    put(emaster, e + 2, hex("01"));
    put(emaster, e + 6, hex("077f"));
    put(emaster, e + 11, "MSFT");
    put(emaster, e + 32, "MSFT");
    put(emaster, e + 60, "D");
    put(emaster, e + 64, kIeeeDate20240102);
    put(emaster, e + 72, kIeeeDate20240103);
    put(emaster, e + 126, hex("e6d63401")); // 20240102
    put(emaster, e + 139, "MSFT");
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("EMASTER"))).toHex(' '), emaster.toHex(' '));

    QByteArray data(3 * 28, '\0');
    put(data, 2, le16(3)); // two records plus the header
    put(data, 28, kMbfDate20240102 + kMbf7997 + kMbfHundred + kMbfHalf + kMbfOne + kMbf12325 + kMbfMinusOne);
    put(data, 56, kMbfDate20240103 + kMbfOne + kMbfHundred + kMbfHalf + kMbfOne + kMbf12325 + hex("00000000"));
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("F1.DAT"))).toHex(' '), data.toHex(' '));

    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("XMASTER"))));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

void TestMetaStockWriter::periodLetter_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<QString>("letter"); // empty: nothing stored
    QTest::newRow("daily") << 1 << "D";
    QTest::newRow("weekly") << 2 << "W";
    QTest::newRow("monthly") << 3 << "M";
    QTest::newRow("no period chosen") << 0 << "";
    QTest::newRow("unknown number") << 4 << "";
}

void TestMetaStockWriter::periodLetter()
{
    QFETCH(int, period);
    QFETCH(QString, letter);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        w.addSecurity(QStringLiteral("IBM"), QStringLiteral("IBM"), qint16(period));
        w.addQuote(20030925, 0, 1, 2, 3, 4, 5, 6);
    }
    const QByteArray master = fileBytes(dir.filePath(QStringLiteral("MASTER")));
    if (letter.isEmpty()) {
        QCOMPARE(master.size(), 53);
        QCOMPARE(master.left(2), le16(0));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("F1.DAT"))));
    } else {
        QCOMPARE(master.size(), 106);
        QCOMPARE(master.at(53 + 33), letter.at(0).toLatin1());
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("EMASTER"))).at(192 + 60), letter.at(0).toLatin1());
    }
}

void TestMetaStockWriter::xmasterBeyond255()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    writeLargeFolder(dir.path(), 300);

    const QByteArray master = fileBytes(dir.filePath(QStringLiteral("MASTER")));
    QCOMPARE(master.size(), 256 * 53);
    QCOMPARE(master.left(4), le16(255) + le16(255));
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("EMASTER"))).size(), 256 * 192);

    const QByteArray x = fileBytes(dir.filePath(QStringLiteral("XMASTER")));
    QCOMPARE(x.size(), 46 * 150);
    QCOMPARE(x.left(4), hex("5dfe584d"));
    QCOMPARE(x.mid(10, 2), le16(45));
    QCOMPARE(x.mid(14, 2), le16(45));
    QCOMPARE(x.mid(18, 2), le16(301));
    const QByteArray first = x.mid(150, 150);
    QCOMPARE(first.at(0), char(1));
    QCOMPARE(first.mid(1, 5), QByteArray("S256\0", 5));
    QCOMPARE(first.at(62), 'D');
    QCOMPARE(first.mid(65, 2), le16(256));
    QCOMPARE(quint8(first.at(70)), quint8(0x7F));
    QCOMPARE(first.mid(104, 4), le32(20230103));
    QCOMPARE(first.mid(108, 4), le32(20230103));
    QCOMPARE(first.mid(116, 4), le32(20230104));

    for (int fn = 256; fn <= 300; ++fn) {
        QVERIFY2(QFile::exists(dir.filePath(QStringLiteral("F%1.MWD").arg(fn))), qPrintable(QString::number(fn)));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("F%1.DAT").arg(fn))));
    }
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("F255.DAT"))));

    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(folder.securities.size(), 300);
    for (int i = 1; i <= 300; ++i) {
        const MsSecurity* s = folder.find(symbolFor(i), 'D');
        QVERIFY2(s, qPrintable(symbolFor(i)));
        QCOMPARE(s->fromXmaster, i > 255);
        QCOMPARE(s->fileNumber, i);
        QCOMPARE(describeAll(s->quotes), describeAll(quotesFor(i)));
    }
}

void TestMetaStockWriter::reopenMergesInPlace()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QList<Quote> old{{20240102, 10, 11, 9, 10.5f, 1000, 0},
                           {20240103, 10.5f, 12, 10, 11.5f, 2000, 0},
                           {20240104, 11.5f, 12, 11, 11.75f, 3000, 0}};
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        w.addSecurity(QStringLiteral("AAA"), QStringLiteral("AAA"), 1);
        addQuotes(w, {{20240102, 1, 1, 1, 1, 1, 1}});
        w.addSecurity(QStringLiteral("MSFT"), QStringLiteral("MSFT"), 1);
        addQuotes(w, old);
    }
    const QByteArray otherData = fileBytes(dir.filePath(QStringLiteral("F1.DAT")));
    const QByteArray otherMaster = fileBytes(dir.filePath(QStringLiteral("MASTER"))).mid(53, 53);

    const QList<Quote> fresh{{20240103, 20, 21, 19, 20.5f, 5000, 0},  // replaces the old 01-03
                             {20240105, 12, 13, 11, 12.5f, 4000, 0},
                             {20231229, 9, 10, 8, 9.5f, 500, 0}};
    {
        MetaStockFolderWriter w;
        w.openFolder(dir.path());
        w.addSecurity(QStringLiteral("MSFT"), QStringLiteral("Another name"), 1);
        addQuotes(w, fresh);
        w.addSecurity(QStringLiteral("MSFT"), QStringLiteral("MSFT"), 2); // another period: its own security
        addQuotes(w, {{20240105, 1, 2, 3, 4, 5, 6}});
    }

    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(folder.securities.size(), 3);
    const MsSecurity* daily = folder.find(QStringLiteral("MSFT"), 'D');
    QVERIFY(daily);
    QCOMPARE(daily->fileNumber, 2);
    QCOMPARE(daily->name, QStringLiteral("MSFT")); // the name it was listed under stays
    const QList<Quote> merged{fresh[2], old[0], fresh[0], old[2], fresh[1]};
    QCOMPARE(describeAll(daily->quotes), describeAll(merged));
    QCOMPARE(daily->firstDate, 20231229);
    QCOMPARE(daily->lastDate, 20240105);
    const MsSecurity* weekly = folder.find(QStringLiteral("MSFT"), 'W');
    QVERIFY(weekly);
    QCOMPARE(weekly->fileNumber, 3);
    QCOMPARE(weekly->quotes.size(), 1);

    // The security nobody touched keeps its data file and its index record.
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("F1.DAT"))), otherData);
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("MASTER"))).mid(53, 53), otherMaster);
}

void TestMetaStockWriter::reopenLargeFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    writeLargeFolder(dir.path(), 300);
    const Quote extra{20230105, 1, 2, 0.5f, 1.5f, 10, 0};
    {
        MetaStockFolderWriter w;
        w.openFolder(dir.path());
        for (const int i : {10, 280}) {
            w.addSecurity(symbolFor(i), symbolFor(i), 1);
            addQuotes(w, {extra});
        }
        w.addSecurity(QStringLiteral("NEW"), QStringLiteral("NEW"), 1);
        addQuotes(w, {extra});
    }
    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(folder.securities.size(), 301);
    for (const int i : {10, 280}) {
        const MsSecurity* s = folder.find(symbolFor(i), 'D');
        QVERIFY(s);
        QCOMPARE(s->fileNumber, i);
        QCOMPARE(describeAll(s->quotes), describeAll(quotesFor(i) + QList<Quote>{extra}));
    }
    const MsSecurity* added = folder.find(QStringLiteral("NEW"), 'D');
    QVERIFY(added);
    QCOMPARE(added->fileNumber, 301);
    QVERIFY(added->fromXmaster);
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("F301.MWD"))));
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("XMASTER"))).mid(18, 2), le16(302));
}

void TestMetaStockWriter::reopenKeepsForeignLayout()
{
    // A five-field security written by another program, from the format
    // rules alone: it keeps its layout and its long name when updated.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray master(2 * 53, '\0');
    put(master, 0, le16(1) + le16(1));
    put(master, 53, hex("01") + hex("6500") + hex("1405"));
    put(master, 53 + 7, "OLD CORP        ");
    put(master, 53 + 25, kMbfDate20240102 + kMbfDate20240104 + "D");
    put(master, 53 + 36, "OLD           " + QByteArray("  "));
    QByteArray emaster(2 * 192, '\0');
    put(emaster, 0, le16(1) + le16(1));
    put(emaster, 192, "66" + hex("01"));
    put(emaster, 192 + 6, hex("051f"));
    put(emaster, 192 + 11, "OLD");
    put(emaster, 192 + 32, "OLD CORP");
    put(emaster, 192 + 60, "D");
    put(emaster, 192 + 64, kIeeeDate20240102);
    put(emaster, 192 + 126, hex("e6d63401"));
    put(emaster, 192 + 139, "OLD CORPORATION LIMITED");
    QByteArray data(4 * 20, '\0');
    put(data, 2, le16(4));
    put(data, 20, kMbfDate20240102 + kMbfHundred + kMbfHalf + kMbf7997 + kMbf12325);
    put(data, 40, kMbfDate20240103 + kMbfHundred + kMbfHalf + kMbfOne + kMbf12325);
    put(data, 60, kMbfDate20240104 + kMbfHundred + kMbfOne + kMbfOne + kMbfOne);
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("MASTER")), master));
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("EMASTER")), emaster));
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("F1.DAT")), data));
    {
        MetaStockFolderWriter w;
        w.openFolder(dir.path());
        w.addSecurity(QStringLiteral("OLD"), QStringLiteral("OLD"), 1);
        w.addQuote(20240103, 0, 2, 3, 1, 2.5f, 700, 9);
        w.addQuote(20240105, 0, 4, 5, 3, 4.5f, 800, 9);
    }
    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(folder.securities.size(), 1);
    const MsSecurity& s = folder.securities.first();
    QCOMPARE(s.fields, 5);
    QCOMPARE(s.name, QStringLiteral("OLD CORP"));
    QCOMPARE(s.longName, QStringLiteral("OLD CORPORATION LIMITED"));
    // Five fields hold no open and no open interest.
    QCOMPARE(describeAll(s.quotes), describeAll(QList<Quote>{{20240102, 0, 100, 0.5f, 79.97f, 123.25f, 0},
                                                            {20240103, 0, 3, 1, 2.5f, 700, 0},
                                                            {20240104, 0, 100, 1, 1, 1, 0},
                                                            {20240105, 0, 5, 3, 4.5f, 800, 0}}));
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("F1.DAT"))).size(), 5 * 20);
}

void TestMetaStockWriter::roundTrip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    struct Written
    {
        QString symbol;
        qint16 period;
        QString name;
        QList<Quote> quotes;
    };
    QList<Written> written;
    QRandomGenerator rng(20030925);
    const QDate start(1998, 1, 2);
    for (int i = 0; i < 12; ++i) {
        Written w;
        w.symbol = i == 3 ? QStringLiteral("LONGSYMBOL1234") : QStringLiteral("T%1").arg(i);
        w.period = qint16(1 + i % 3);
        w.name = i == 5 ? QStringLiteral("A NAME LONGER THAN SIXTEEN CHARACTERS") : w.symbol;
        double price = 5 + rng.bounded(500.0);
        for (int d = 0; d < 400; d += 1 + int(rng.bounded(3))) {
            const QDate day = start.addDays(d * (w.period == 1 ? 1 : w.period == 2 ? 7 : 30));
            price = std::max(0.01, price * (0.95 + rng.bounded(0.1)));
            const float close = float(price);
            Quote q{day.year() * 10000 + day.month() * 100 + day.day(), float(price * 0.99), float(price * 1.03),
                    float(price * 0.97), close, float(rng.bounded(5e7)), float(rng.bounded(1000))};
            w.quotes << q;
        }
        written << w;
    }
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        for (const Written& s : written) {
            w.addSecurity(s.symbol, s.name, s.period);
            addQuotes(w, s.quotes);
        }
    }
    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(folder.securities.size(), written.size());
    for (const Written& s : written) {
        const char letter = "DWM"[s.period - 1];
        const MsSecurity* r = folder.find(s.symbol, letter);
        QVERIFY2(r, qPrintable(s.symbol));
        QCOMPARE(r->longName, s.name);
        QCOMPARE(r->name, s.name.left(16));
        QCOMPARE(r->quotes.size(), s.quotes.size());
        for (int i = 0; i < s.quotes.size(); ++i)
            QVERIFY2(sameQuote(r->quotes.at(i), s.quotes.at(i)),
                     qPrintable(describe(r->quotes.at(i)) + QStringLiteral(" vs ") + describe(s.quotes.at(i))));
    }
}

void TestMetaStockWriter::createReplacesIndex_data()
{
    QTest::addColumn<int>("oldCount");
    QTest::addColumn<int>("fileNumber"); // of the one new security
    QTest::addColumn<bool>("xmaster");
    QTest::newRow("small old folder") << 3 << 4 << false;
    QTest::newRow("old folder past 255") << 260 << 261 << true;
}

void TestMetaStockWriter::createReplacesIndex()
{
    QFETCH(int, oldCount);
    QFETCH(int, fileNumber);
    QFETCH(bool, xmaster);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    writeLargeFolder(dir.path(), oldCount);
    if (oldCount <= 255) // an XMASTER left from some older folder
        QVERIFY(writeBytes(dir.filePath(QStringLiteral("XMASTER")), fileBytes(dir.filePath(QStringLiteral("MASTER")))));
    const QByteArray oldFirst = fileBytes(dir.filePath(QStringLiteral("F1.DAT")));
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        w.addSecurity(QStringLiteral("ONLY"), QStringLiteral("ONLY"), 1);
        addQuotes(w, {{20240102, 1, 2, 3, 4, 5, 6}});
    }
    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(listed(folder), QStringList{QStringLiteral("ONLY")});
    QCOMPARE(folder.securities.first().fileNumber, fileNumber);
    QCOMPARE(describeAll(folder.securities.first().quotes), describeAll(QList<Quote>{{20240102, 1, 2, 3, 4, 5, 6}}));
    QCOMPARE(QFile::exists(dir.filePath(QStringLiteral("XMASTER"))), xmaster);
    // The old data files are not reused: their quotes stay where they were.
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("F1.DAT"))), oldFirst);
}

void TestMetaStockWriter::sameSymbolTwiceInOneRun()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        w.addSecurity(QStringLiteral("IBM"), QStringLiteral("IBM"), 1);
        addQuotes(w, {{20240103, 1, 1, 1, 1, 1, 1}, {20240102, 2, 2, 2, 2, 2, 2}});
        w.addSecurity(QStringLiteral("IBM"), QStringLiteral("IBM"), 1);
        addQuotes(w, {{20240103, 3, 3, 3, 3, 3, 3}});
    }
    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(folder.securities.size(), 1);
    QCOMPARE(describeAll(folder.securities.first().quotes),
             describeAll(QList<Quote>{{20240102, 2, 2, 2, 2, 2, 2}, {20240103, 3, 3, 3, 3, 3, 3}}));
}

void TestMetaStockWriter::flushThenContinue()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    MetaStockFolderWriter w;
    w.createFolder(dir.path());
    w.addSecurity(QStringLiteral("A"), QStringLiteral("A"), 1);
    addQuotes(w, {{20240102, 1, 1, 1, 1, 1, 1}});
    QVERIFY(w.flush());
    MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(listed(folder), QStringList{QStringLiteral("A")});

    // A flush ends the current security: quotes need an add-security again.
    w.addQuote(20240103, 0, 9, 9, 9, 9, 9, 9);
    w.addSecurity(QStringLiteral("B"), QStringLiteral("B"), 1);
    addQuotes(w, {{20240102, 2, 2, 2, 2, 2, 2}});
    w.addSecurity(QStringLiteral("A"), QStringLiteral("A"), 1);
    addQuotes(w, {{20240104, 3, 3, 3, 3, 3, 3}});
    QVERIFY(w.flush());
    QVERIFY(w.flush()); // nothing new: nothing to do
    folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(listed(folder), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(describeAll(folder.find(QStringLiteral("A"), 'D')->quotes),
             describeAll(QList<Quote>{{20240102, 1, 1, 1, 1, 1, 1}, {20240104, 3, 3, 3, 3, 3, 3}}));
}

void TestMetaStockWriter::ignoredCalls()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    {
        MetaStockFolderWriter w;
        // No folder yet: nothing to add to.
        w.addSecurity(QStringLiteral("EARLY"), QStringLiteral("EARLY"), 1);
        w.addQuote(20240102, 0, 1, 1, 1, 1, 1, 1);
        w.createFolder(dir.path());
        w.addQuote(20240102, 0, 1, 1, 1, 1, 1, 1); // no security yet
        w.addSecurity(QString(), QString(), 1);    // no symbol
        w.addQuote(20240102, 0, 1, 1, 1, 1, 1, 1);
        w.addSecurity(QStringLiteral("X"), QString(), 1);
        w.addQuote(20240230, 0, 1, 1, 1, 1, 1, 1); // no such day
        w.addQuote(18991231, 0, 1, 1, 1, 1, 1, 1); // before MetaStock's dates
        w.addQuote(2024010, 0, 1, 1, 1, 1, 1, 1);
        w.addQuote(20240102, 0, 1, 1, 1, std::numeric_limits<float>::infinity(), 1, 1);
        w.addQuote(20240103, 0, 1, 1, 1, 3e38f, 1, 1);
        w.addQuote(20240104, 0, 1, 2, 3, 4, 5, 6);
    }
    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(listed(folder), QStringList{QStringLiteral("X")});
    QCOMPARE(folder.securities.first().longName, QStringLiteral("X")); // an empty name takes the symbol
    QCOMPARE(describeAll(folder.securities.first().quotes), describeAll(QList<Quote>{{20240104, 1, 2, 3, 4, 5, 6}}));
}

void TestMetaStockWriter::missingDirectoryReportsFailure()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("not-there"));
    MetaStockFolderWriter w;
    w.createFolder(missing);
    w.addSecurity(QStringLiteral("A"), QStringLiteral("A"), 1);
    addQuotes(w, {{20240102, 1, 1, 1, 1, 1, 1}});
    QVERIFY(!w.flush());
    QVERIFY(!QFileInfo::exists(missing));
}

void TestMetaStockWriter::failedWriteLeavesFolderAsItWas_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::newRow("new security") << "C";
    QTest::newRow("update of a stored security") << "A";
}

void TestMetaStockWriter::failedWriteLeavesFolderAsItWas()
{
    QFETCH(QString, symbol);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        w.addSecurity(QStringLiteral("A"), QStringLiteral("A"), 1);
        addQuotes(w, {{20240102, 1, 1, 1, 1, 1, 1}});
        w.addSecurity(QStringLiteral("B"), QStringLiteral("B"), 1);
        addQuotes(w, {{20240102, 2, 2, 2, 2, 2, 2}});
        QVERIFY(w.flush());
    }
    auto files = [&dir] {
        QMap<QString, QByteArray> all;
        for (const QString& f : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
            all.insert(f, fileBytes(dir.filePath(f)));
        return all;
    };
    const QMap<QString, QByteArray> before = files();

    MetaStockFolderWriter w;
    w.openFolder(dir.path());
    w.addSecurity(symbol, symbol, 1);
    const QDate first(2024, 1, 3);
    for (int i = 0; i < 100; ++i) { // a data file of 2828 bytes
        const QDate d = first.addDays(i);
        w.addQuote(d.year() * 10000 + d.month() * 100 + d.day(), 0, 5, 5, 5, 5, 5, 5);
    }
    // No file may grow past 2 KB: the data file's write fails part way, as
    // on a full disk, while the index files would still fit.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 2048;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool stored = w.flush();
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &previous), 0);
    QVERIFY(!stored);
    const QMap<QString, QByteArray> after = files();
    QCOMPARE(after.keys(), before.keys());
    QVERIFY(after == before);

    // The writer forgot the failed security: the next one's index agrees
    // with the data files.
    w.addSecurity(QStringLiteral("D"), QStringLiteral("D"), 1);
    addQuotes(w, {{20240102, 4, 4, 4, 4, 4, 4}});
    QVERIFY(w.flush());
    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(listed(folder), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("D")}));
    QCOMPARE(describeAll(folder.find(QStringLiteral("A"), 'D')->quotes),
             describeAll(QList<Quote>{{20240102, 1, 1, 1, 1, 1, 1}}));
}

enum class Damage {
    MasterCutMidRecord,
    MasterEmpty,
    EmasterMissing,
    EmasterGarbage,
    EmasterOtherSymbols,
    XmasterGarbage,
    DataCutMidRecord,
    DataHeaderTooLarge,
    DataHeaderZero,
    DataMissing,
    MasterFieldsOutOfRange,
    MasterFieldsOutOfRangeNoEmaster,
    IndexesEmptyDataKept,
    LowerCaseNames,
};

void TestMetaStockWriter::corruptFolder_data()
{
    QTest::addColumn<int>("damage");
    QTest::addColumn<QStringList>("listedAfter");
    QTest::addColumn<int>("quotesOfA"); // after adding one more
    QTest::addColumn<bool>("clean");    // the reader finds nothing wrong afterwards

    const QStringList all{"A", "B", "C", "D"};
    QTest::newRow("MASTER cut inside its last record") << int(Damage::MasterCutMidRecord) << all << 4 << true;
    QTest::newRow("MASTER empty, EMASTER intact") << int(Damage::MasterEmpty) << all << 4 << true;
    QTest::newRow("EMASTER missing") << int(Damage::EmasterMissing) << all << 4 << true;
    QTest::newRow("EMASTER garbage") << int(Damage::EmasterGarbage) << all << 4 << true;
    QTest::newRow("EMASTER names other symbols") << int(Damage::EmasterOtherSymbols) << all << 4 << true;
    QTest::newRow("XMASTER garbage") << int(Damage::XmasterGarbage) << all << 4 << true;
    QTest::newRow("data file cut inside a record") << int(Damage::DataCutMidRecord) << all << 3 << true;
    QTest::newRow("data header counts too many") << int(Damage::DataHeaderTooLarge) << all << 4 << true;
    QTest::newRow("data header counts none") << int(Damage::DataHeaderZero) << all << 4 << true;
    QTest::newRow("data file missing") << int(Damage::DataMissing) << all << 1 << true;
    // B cannot be read: it stays listed exactly as it was, so the reader
    // still complains about it.
    QTest::newRow("MASTER record with 99 fields") << int(Damage::MasterFieldsOutOfRange) << all << 4 << false;
    QTest::newRow("MASTER record with 99 fields, no EMASTER record")
        << int(Damage::MasterFieldsOutOfRangeNoEmaster) << all << 4 << false;
    QTest::newRow("index files empty, data files kept")
        << int(Damage::IndexesEmptyDataKept) << QStringList{"A", "D"} << 1 << true;
    QTest::newRow("lower-case file names") << int(Damage::LowerCaseNames) << all << 4 << false;
}

void TestMetaStockWriter::corruptFolder()
{
    QFETCH(int, damage);
    QFETCH(QStringList, listedAfter);
    QFETCH(int, quotesOfA);
    QFETCH(bool, clean);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QDir dir(tmp.path());
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        w.addSecurity(QStringLiteral("A"), QStringLiteral("A"), 1);
        addQuotes(w, {{20240102, 1, 1, 1, 1, 1, 1}, {20240103, 2, 2, 2, 2, 2, 2}, {20240104, 3, 3, 3, 3, 3, 3}});
        w.addSecurity(QStringLiteral("B"), QStringLiteral("B"), 1);
        addQuotes(w, {{20240102, 4, 4, 4, 4, 4, 4}});
        w.addSecurity(QStringLiteral("C"), QStringLiteral("C"), 1);
        addQuotes(w, {{20240102, 5, 5, 5, 5, 5, 5}});
    }
    const QString masterPath = dir.filePath(QStringLiteral("MASTER"));
    const QString emasterPath = dir.filePath(QStringLiteral("EMASTER"));
    const QString dataA = dir.filePath(QStringLiteral("F1.DAT"));
    const QByteArray oldDataA = fileBytes(dataA);
    QByteArray bytes;
    switch (Damage(damage)) {
    case Damage::MasterCutMidRecord:
        QVERIFY(writeBytes(masterPath, fileBytes(masterPath).chopped(20)));
        break;
    case Damage::MasterEmpty:
        QVERIFY(writeBytes(masterPath, QByteArray()));
        break;
    case Damage::EmasterMissing:
        QVERIFY(QFile::remove(emasterPath));
        break;
    case Damage::EmasterGarbage:
        QVERIFY(writeBytes(emasterPath, QByteArray(4 * 192, char(0xFF))));
        break;
    case Damage::EmasterOtherSymbols:
        bytes = fileBytes(emasterPath);
        for (int r = 1; r <= 3; ++r)
            put(bytes, r * 192 + 11, "ZZZ");
        QVERIFY(writeBytes(emasterPath, bytes));
        break;
    case Damage::XmasterGarbage:
        QVERIFY(writeBytes(dir.filePath(QStringLiteral("XMASTER")), QByteArray(333, char(0xFF))));
        break;
    case Damage::DataCutMidRecord:
        QVERIFY(writeBytes(dataA, oldDataA.chopped(10)));
        break;
    case Damage::DataHeaderTooLarge:
        bytes = oldDataA;
        put(bytes, 2, le16(999));
        QVERIFY(writeBytes(dataA, bytes));
        break;
    case Damage::DataHeaderZero:
        bytes = oldDataA;
        put(bytes, 2, le16(0));
        QVERIFY(writeBytes(dataA, bytes));
        break;
    case Damage::DataMissing:
        QVERIFY(QFile::remove(dataA));
        break;
    case Damage::MasterFieldsOutOfRange:
        bytes = fileBytes(masterPath);
        bytes[2 * 53 + 4] = char(99);
        QVERIFY(writeBytes(masterPath, bytes));
        break;
    case Damage::MasterFieldsOutOfRangeNoEmaster:
        bytes = fileBytes(masterPath);
        bytes[2 * 53 + 4] = char(99);
        QVERIFY(writeBytes(masterPath, bytes));
        bytes = fileBytes(emasterPath);
        bytes.remove(2 * 192, 192);
        put(bytes, 0, le16(2));
        QVERIFY(writeBytes(emasterPath, bytes));
        break;
    case Damage::IndexesEmptyDataKept:
        QVERIFY(writeBytes(masterPath, QByteArray()));
        QVERIFY(writeBytes(emasterPath, QByteArray()));
        break;
    case Damage::LowerCaseNames:
        for (const QString& name : dir.entryList(QDir::Files))
            QVERIFY(QFile::rename(dir.filePath(name), dir.filePath(name.toLower())));
        break;
    }

    const QByteArray recordOfB = fileBytes(masterPath).mid(2 * 53, 53);
    {
        MetaStockFolderWriter w;
        w.openFolder(dir.path());
        w.addSecurity(QStringLiteral("A"), QStringLiteral("A"), 1);
        addQuotes(w, {{20240110, 6, 6, 6, 6, 6, 6}});
        w.addSecurity(QStringLiteral("D"), QStringLiteral("D"), 1);
        addQuotes(w, {{20240111, 7, 7, 7, 7, 7, 7}});
    }
    if (Damage(damage) == Damage::LowerCaseNames) {
        // Updated where they lie, under the names they have.
        for (const QString& name : dir.entryList(QDir::Files)) {
            if (name != name.toLower())
                QVERIFY(!QFile::exists(dir.filePath(name.toLower())));
        }
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("master"))));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("f1.dat"))));
        for (const QString& name : dir.entryList(QDir::Files)) {
            if (name == QStringLiteral("F4.DAT"))
                continue;
            QVERIFY(QFile::rename(dir.filePath(name), dir.filePath(name.toUpper())));
        }
        clean = true;
    }

    const MsFolder folder = readMetaStockFolder(dir.path());
    if (clean)
        QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(listed(folder), listedAfter);
    const MsSecurity* a = folder.find(QStringLiteral("A"), 'D');
    QVERIFY(a);
    QCOMPARE(a->quotes.size(), quotesOfA);
    QCOMPARE(a->quotes.last().date, 20240110);
    const MsSecurity* d = folder.find(QStringLiteral("D"), 'D');
    QVERIFY(d);
    QCOMPARE(describeAll(d->quotes), describeAll(QList<Quote>{{20240111, 7, 7, 7, 7, 7, 7}}));
    if (Damage(damage) == Damage::MasterFieldsOutOfRange || Damage(damage) == Damage::MasterFieldsOutOfRangeNoEmaster) {
        // What cannot be read is kept as it was.
        QCOMPARE(fileBytes(masterPath).mid(2 * 53, 53), recordOfB);
        QCOMPARE(fileBytes(masterPath).left(2), le16(4));
        QCOMPARE(fileBytes(emasterPath).size(), 5 * 192);
    }
    if (Damage(damage) == Damage::IndexesEmptyDataKept) {
        // The unlisted old files are not overwritten.
        QCOMPARE(fileBytes(dataA), oldDataA);
        QVERIFY(a->fileNumber > 3 && d->fileNumber > 3);
    }
}

void TestMetaStockWriter::unreadableIndexWritesNothing()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QDir dir(tmp.path());
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        w.addSecurity(QStringLiteral("A"), QStringLiteral("A"), 1);
        addQuotes(w, {{20240102, 1, 1, 1, 1, 1, 1}});
    }
    // An XMASTER that cannot be opened: its securities are unknown.
    QVERIFY(dir.mkdir(QStringLiteral("XMASTER")));
    const QByteArray master = fileBytes(dir.filePath(QStringLiteral("MASTER")));
    const QByteArray emaster = fileBytes(dir.filePath(QStringLiteral("EMASTER")));
    const QByteArray data = fileBytes(dir.filePath(QStringLiteral("F1.DAT")));
    {
        MetaStockFolderWriter w;
        w.openFolder(dir.path());
        w.addSecurity(QStringLiteral("A"), QStringLiteral("A"), 1);
        addQuotes(w, {{20240103, 2, 2, 2, 2, 2, 2}});
        w.addSecurity(QStringLiteral("B"), QStringLiteral("B"), 1);
        addQuotes(w, {{20240103, 2, 2, 2, 2, 2, 2}});
        QVERIFY(!w.flush());
    }
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("MASTER"))), master);
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("EMASTER"))), emaster);
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("F1.DAT"))), data);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("F2.DAT"))));
}

void TestMetaStockWriter::unreadableDataFileKeepsHistory()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QDir dir(tmp.path());
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        w.addSecurity(QStringLiteral("A"), QStringLiteral("A"), 1);
        addQuotes(w, {{20240102, 1, 1, 1, 1, 1, 1}});
        w.addSecurity(QStringLiteral("B"), QStringLiteral("B"), 1);
        addQuotes(w, {{20240102, 1, 1, 1, 1, 1, 1}});
    }
    // A's history cannot be read back: it must not be replaced by the new
    // quotes alone. B is still updated.
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("F1.DAT"))));
    QVERIFY(dir.mkdir(QStringLiteral("F1.DAT")));
    const QByteArray master = fileBytes(dir.filePath(QStringLiteral("MASTER")));
    MetaStockFolderWriter w;
    w.openFolder(dir.path());
    w.addSecurity(QStringLiteral("A"), QStringLiteral("A"), 1);
    addQuotes(w, {{20240103, 2, 2, 2, 2, 2, 2}});
    w.addSecurity(QStringLiteral("B"), QStringLiteral("B"), 1);
    addQuotes(w, {{20240103, 2, 2, 2, 2, 2, 2}});
    QVERIFY(!w.flush());
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("F1.DAT"))).isDir());
    const QByteArray after = fileBytes(dir.filePath(QStringLiteral("MASTER")));
    QCOMPARE(after.mid(53, 53), master.mid(53, 53)); // A's entry unchanged
    QVERIFY(after.mid(106, 53) != master.mid(106, 53)); // B's last date moved on
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("F2.DAT"))).size(), 3 * 28);
}

void TestMetaStockWriter::randomIndexBytesNeverCrash()
{
    QRandomGenerator rng(1602);
    for (int round = 0; round < 40; ++round) {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QDir dir(tmp.path());
        auto garbage = [&rng](int size) {
            QByteArray b(size, '\0');
            for (char& c : b)
                c = char(rng.bounded(256));
            return b;
        };
        QVERIFY(writeBytes(dir.filePath(QStringLiteral("MASTER")), garbage(int(rng.bounded(2000)))));
        QVERIFY(writeBytes(dir.filePath(QStringLiteral("EMASTER")), garbage(int(rng.bounded(4000)))));
        QVERIFY(writeBytes(dir.filePath(QStringLiteral("XMASTER")),
                           QByteArray("\x5D\xFE\x58\x4D", 4) + garbage(int(rng.bounded(3000)))));
        QVERIFY(writeBytes(dir.filePath(QStringLiteral("F1.DAT")), garbage(int(rng.bounded(300)))));
        {
            MetaStockFolderWriter w;
            w.openFolder(dir.path());
            w.addSecurity(QStringLiteral("NEWONE"), QStringLiteral("NEWONE"), 1);
            addQuotes(w, {{20240102, 1, 2, 3, 4, 5, 6}});
            QVERIFY(w.flush());
        }
        const MsFolder folder = readMetaStockFolder(dir.path());
        const MsSecurity* s = folder.find(QStringLiteral("NEWONE"), 'D');
        QVERIFY2(s, qPrintable(QString::number(round)));
        QCOMPARE(describeAll(s->quotes), describeAll(QList<Quote>{{20240102, 1, 2, 3, 4, 5, 6}}));
    }
}

QTEST_GUILESS_MAIN(TestMetaStockWriter)
#include "test_metastock_writer.moc"
