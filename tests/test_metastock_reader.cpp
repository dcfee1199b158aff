// The MetaStock reader on hand-made bytes of every record layout, on folders
// the writer made, and on damaged folders.
#include "formats/metastock_folder_writer.h"
#include "formats/metastock_format.h"
#include "formats/metastock_reader.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace kestrion;
using namespace kestrion::metastock;

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray le16(int v)
{
    QByteArray b(2, 0);
    qToLittleEndian<quint16>(quint16(v), b.data());
    return b;
}

QByteArray mbf(float v)
{
    QByteArray b(4, 0);
    qToLittleEndian<quint32>(*toMbf(v), b.data());
    return b;
}

// MASTER with one security in F1.DAT of the given field count; no EMASTER.
QByteArray masterFor(int fields, qint32 first, qint32 last)
{
    QByteArray head = le16(1) + le16(1);
    head.resize(53, '\0');
    QByteArray r(53, '\0');
    r[0] = 1;
    r.replace(1, 2, le16(101));
    r[3] = char(4 * fields);
    r[4] = char(fields);
    r.replace(7, 16, QByteArray("HAND MADE       "));
    r.replace(25, 4, mbf(float(toMetaStockDate(first))));
    r.replace(29, 4, mbf(float(toMetaStockDate(last))));
    r[33] = 'D';
    r.replace(36, 14, QByteArray("HAND          "));
    r[50] = ' ';
    r[51] = ' ';
    return head + r;
}

// Records of {stored date, open, high, low, close, volume, oi} laid out for the field count.
QByteArray dataFor(int fields, const QList<QList<float>>& rows)
{
    QByteArray out = le16(0) + le16(int(rows.size()) + 1);
    out.resize(4 * fields, '\0');
    for (const QList<float>& r : rows) {
        out += mbf(r[0]); // already in the stored form, 1240102 for 2024-01-02
        if (fields == 8)
            out += mbf(0);
        if (fields >= 6)
            out += mbf(r[1]);
        for (int i = 2; i <= 5; ++i)
            out += mbf(r[i]);
        if (fields >= 7)
            out += mbf(r[6]);
    }
    return out;
}

} // namespace

class TestMetaStockReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void layouts_data();
    void layouts();
    void writtenFolderReadsBack_data();
    void writtenFolderReadsBack();
    void damagedData_data();
    void damagedData();
    void randomBytesNeverCrash();
};

void TestMetaStockReader::layouts_data()
{
    QTest::addColumn<int>("fields");
    for (int f = 5; f <= 8; ++f)
        QTest::addRow("%d fields", f) << f;
}

void TestMetaStockReader::layouts()
{
    QFETCH(int, fields);
    QTemporaryDir dir;
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("MASTER")), masterFor(fields, 20240102, 20240103)));
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("F1.DAT")),
                       dataFor(fields, {{1240102.0f, 100, 101.5f, 99.25f, 100.75f, 12345, 7}, {1240103.0f, 1, 2, 0.5f, 1.5f, 10, 0}})));
    // 100.0 as the format documents it: 00 00 48 87.
    QCOMPARE(mbf(100).toHex(), QByteArray("00004887"));

    Folder f = readIndex(dir.path());
    QCOMPARE(f.securities.size(), 1);
    QCOMPARE(f.securities[0].symbol, QStringLiteral("HAND"));
    QCOMPARE(f.securities[0].displayName(), QStringLiteral("HAND MADE"));
    QString error;
    QVERIFY2(readQuotes(dir.path(), f.securities[0], &error), qPrintable(error));
    const QList<Quote>& q = f.securities[0].quotes;
    QCOMPARE(q.size(), 2);
    QCOMPARE(q[0].date, 20240102);
    QCOMPARE(q[0].open, fields >= 6 ? 100.0f : 0.0f);
    QCOMPARE(q[0].high, 101.5f);
    QCOMPARE(q[0].low, 99.25f);
    QCOMPARE(q[0].close, 100.75f);
    QCOMPARE(q[0].volume, 12345.0f);
    QCOMPARE(q[0].openInterest, fields >= 7 ? 7.0f : 0.0f);
    QCOMPARE(q[1].date, 20240103);
}

void TestMetaStockReader::writtenFolderReadsBack_data()
{
    QTest::addColumn<int>("securities");
    QTest::newRow("one") << 1;
    QTest::newRow("past 255, into XMASTER") << 260;
}

void TestMetaStockReader::writtenFolderReadsBack()
{
    QFETCH(int, securities);
    QTemporaryDir dir;
    QRandomGenerator rng(securities);
    QList<QList<Quote>> written;
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        for (int s = 0; s < securities; ++s) {
            w.addSecurity(QStringLiteral("S%1").arg(s), QStringLiteral("S%1").arg(s), 1);
            QList<Quote> quotes;
            QDate d(2020, 1, 1);
            for (int i = 0; i < 5 + s % 7; ++i, d = d.addDays(1 + int(rng.bounded(3)))) {
                Quote q;
                q.date = d.year() * 10000 + d.month() * 100 + d.day();
                q.open = float(rng.bounded(1000.0));
                q.high = q.open + 1;
                q.low = q.open - 1;
                q.close = float(rng.bounded(1000.0));
                q.volume = float(rng.bounded(100000));
                w.addQuote(q.date, 0, q.open, q.high, q.low, q.close, q.volume, 0);
                quotes << q;
            }
            written << quotes;
        }
    }
    const Folder f = readFolder(dir.path());
    QCOMPARE(f.problems, QStringList{});
    QCOMPARE(f.securities.size(), securities);
    for (int s = 0; s < securities; ++s) {
        const Security* sec = f.find(QStringLiteral("S%1").arg(s), 'D');
        QVERIFY(sec);
        QCOMPARE(sec->fromXmaster, s >= 255);
        QCOMPARE(sec->quotes.size(), written[s].size());
        for (int i = 0; i < written[s].size(); ++i) {
            QCOMPARE(sec->quotes[i].date, written[s][i].date);
            QCOMPARE(sec->quotes[i].open, written[s][i].open);
            QCOMPARE(sec->quotes[i].close, written[s][i].close);
            QCOMPARE(sec->quotes[i].volume, written[s][i].volume);
        }
    }
}

void TestMetaStockReader::damagedData_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("error");
    const QList<QList<float>> rows{{1240102.0f, 1, 2, 0.5f, 1.5f, 10, 0}, {1240103.0f, 1, 2, 0.5f, 1.5f, 10, 0}};
    const QByteArray good = dataFor(7, rows);
    QTest::newRow("cut inside a record") << good.chopped(5) << "F1.DAT: size 79 not a multiple of 28";
    QTest::newRow("cut at a record: the header counts more")
        << good.left(56) << "F1.DAT: header count 3, file holds 2";
    QByteArray badDate = good;
    badDate.replace(56, 4, mbf(1240230)); // 2024-02-30
    QTest::newRow("a date that is no calendar day") << badDate << "F1.DAT: record 2: the date is no calendar day";
    QTest::newRow("dates out of order") << dataFor(7, {rows[1], rows[0]}) << "F1.DAT: record 2: date 20240102 after 20240103";
    QTest::newRow("empty file") << QByteArray() << "F1.DAT: size 0 not a multiple of 28";
}

void TestMetaStockReader::damagedData()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("MASTER")), masterFor(7, 20240102, 20240103)));
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("F1.DAT")), data));
    Folder f = readIndex(dir.path());
    QCOMPARE(f.securities.size(), 1);
    QString why;
    QVERIFY(!readQuotes(dir.path(), f.securities[0], &why));
    QCOMPARE(why, error);
    // Nothing half-read is kept.
    QVERIFY(f.securities[0].quotes.isEmpty());
    QVERIFY(!readFolder(dir.path()).problems.isEmpty());
}

void TestMetaStockReader::randomBytesNeverCrash()
{
    QRandomGenerator rng(7);
    for (int round = 0; round < 200; ++round) {
        QTemporaryDir dir;
        for (const char* name : {"MASTER", "EMASTER", "XMASTER", "F1.DAT", "F256.MWD"}) {
            QByteArray bytes(int(rng.bounded(600)), '\0');
            for (char& c : bytes)
                c = char(rng.bounded(256));
            // A real header now and then, so the records get read.
            if (bytes.size() >= 4 && rng.bounded(2))
                bytes.replace(0, 2, le16(int(rng.bounded(8))));
            QVERIFY(writeBytes(dir.filePath(QLatin1String(name)), bytes));
        }
        const Folder f = readFolder(dir.path());
        for (const Security& s : f.securities) {
            for (const Quote& q : s.quotes)
                QVERIFY(isStorableDate(q.date));
        }
    }
}

QTEST_GUILESS_MAIN(TestMetaStockReader)
#include "test_metastock_reader.moc"
