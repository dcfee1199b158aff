// The chart's readers: the table layout, Wall Street City quote lines and the
// choice between them, on good, odd and broken input.
#include "tools/price_series.h"

#include "formats/metastock_folder_writer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// "date open high low close volume adjClose" per bar, oldest first.
QStringList describe(const PriceSeries& s)
{
    QStringList out;
    for (const PriceBar& b : s.bars)
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                   .arg(b.date.toString(Qt::ISODate))
                   .arg(b.open)
                   .arg(b.high)
                   .arg(b.low)
                   .arg(b.close)
                   .arg(b.volume)
                   .arg(b.adjClose);
    return out;
}

} // namespace

class TestPriceSeries : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void table_data();
    void table();
    void brokenTable_data();
    void brokenTable();
    void quoteLines_data();
    void quoteLines();
    void fileKinds_data();
    void fileKinds();
    void period_data();
    void period();
    void metaStockSource();
    void tickerTarget();
};

void TestPriceSeries::table_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("bars");
    QTest::addColumn<bool>("hasAdjClose");

    const QStringList two{"2024-01-02 10 12 9 11 100 10.5", "2024-01-03 11 13 10 12 200 11.5"};
    QTest::newRow("newest first, as written") << QByteArray("Date,Open,High,Low,Close,Volume,Adj Close\n"
                                                            "2024-01-03,11,13,10,12,200,11.5\n"
                                                            "2024-01-02,10,12,9,11,100,10.5\n")
                                              << two << true;
    QTest::newRow("oldest first, CRLF, blank lines") << QByteArray("\r\nDate,Open,High,Low,Close,Volume,Adj Close\r\n"
                                                                   "2024-01-02,10,12,9,11,100,10.5\r\n\r\n"
                                                                   "2024-01-03,11,13,10,12,200,11.5\r\n")
                                                     << two << true;
    QTest::newRow("columns in another order and case")
        << QByteArray("adj close,VOLUME,close,low,high,open,date\n11.5,200,12,10,13,11,2024-01-03\n10.5,100,11,9,12,10,2024-01-02\n")
        << two << true;
    QTest::newRow("no Adj Close: the close stands in")
        << QByteArray("Date,Open,High,Low,Close,Volume\n2024-01-02,10,12,9,11,100\n")
        << QStringList{"2024-01-02 10 12 9 11 100 11"} << false;
    QTest::newRow("no Volume") << QByteArray("Date,Open,High,Low,Close\n2024-01-02,10,12,9,11\n")
                               << QStringList{"2024-01-02 10 12 9 11 0 11"} << false;
    QTest::newRow("US dates as the older sources wrote them")
        << QByteArray("Date,Open,High,Low,Close,Volume\n1/2/2024,10,12,9,11,100\n")
        << QStringList{"2024-01-02 10 12 9 11 100 11"} << false;
}

void TestPriceSeries::table()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, bars);
    QFETCH(bool, hasAdjClose);
    const SeriesLoad load = parsePriceTable(bytes);
    QVERIFY2(load.ok(), qPrintable(load.error));
    QCOMPARE(describe(load.series), bars);
    QCOMPARE(load.series.hasAdjClose, hasAdjClose);
}

void TestPriceSeries::brokenTable_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");

    const QByteArray head("Date,Open,High,Low,Close,Volume,Adj Close\n");
    QTest::newRow("a price that is no number") << head + "2024-01-02,10,12,9,11,100,10\n2024-01-03,1x,13,10,12,200,12\n"
                                               << "line 3: the Open value \"1x\" is not a number";
    QTest::newRow("Yahoo's null row") << head + "2024-01-02,null,null,null,null,null,null\n"
                                      << "line 2: the Open value \"null\" is not a number";
    QTest::newRow("no calendar day") << head + "2024-02-30,10,12,9,11,100,10\n" << "line 2: \"2024-02-30\" is not a date";
    QTest::newRow("a date twice") << head + "2024-01-02,10,12,9,11,100,10\n2024-01-03,1,1,1,1,1,1\n2024-01-02,1,1,1,1,1,1\n"
                                  << "line 4: the date 2024-01-02 is given twice (also on line 2)";
    QTest::newRow("a short row") << head + "2024-01-02,10,12,9\n" << "line 2: 4 values where the header names 7";
    QTest::newRow("a negative volume") << head + "2024-01-02,10,12,9,11,-5,10\n"
                                       << "line 2: the Volume value \"-5\" is not a count";
    QTest::newRow("no Close column") << QByteArray("Date,Open,High,Low\n2024-01-02,1,2,3\n")
                                     << "line 1: the header names no \"close\" column";
    QTest::newRow("header only") << head << "the file holds a header but no prices";
    QTest::newRow("empty") << QByteArray("\n\n") << "the file is empty";
}

void TestPriceSeries::brokenTable()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const SeriesLoad load = parsePriceTable(bytes);
    QCOMPARE(load.error, error);
    // Never half a chart.
    QVERIFY(load.series.bars.empty() || !load.ok());
}

void TestPriceSeries::quoteLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("bars");
    QTest::addColumn<QString>("error");

    QTest::newRow("with the header line")
        << QByteArray("<TICKER>,<PER>,<DTYYYYMMDD>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\n"
                      "MSFT,D,20240103,11,13,10,12,200,0\nMSFT,D,20240102,10,12,9,11,100,0\n")
        << QStringList{"2024-01-02 10 12 9 11 100 11", "2024-01-03 11 13 10 12 200 12"} << QString();
    QTest::newRow("dates as the services wrote them") << QByteArray("X,D,9/25/2003,1,2,0.5,1.5,7,0\r\n")
                                                      << QStringList{"2003-09-25 1 2 0.5 1.5 7 1.5"} << QString();
    QTest::newRow("a bad first line is no header") << QByteArray("X,D,20241301,1,2,0.5,1.5,7,0\n") << QStringList{}
                                                   << "line 1: \"20241301\" is not a date";
    QTest::newRow("a short line") << QByteArray("X,D,20240102,1,2,0.5,1.5,7,0\nX,D,20240103,1\n") << QStringList{}
                                  << "line 2: 4 fields where a quote line has 9";
    QTest::newRow("a value that is no number") << QByteArray("X,D,20240102,1,2,abc,1.5,7,0\n") << QStringList{}
                                               << "line 1: the Low value \"abc\" is not a number";
}

void TestPriceSeries::quoteLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, bars);
    QFETCH(QString, error);
    const SeriesLoad load = parseQuoteLines(bytes);
    QCOMPARE(load.error, error);
    if (load.ok()) {
        QCOMPARE(describe(load.series), bars);
        QVERIFY(!load.series.symbol.isEmpty());
    }
}

void TestPriceSeries::fileKinds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("error");

    QTest::newRow("table, named after the file") << QByteArray("Date,Open,High,Low,Close,Volume,Adj Close\n2024-01-02,1,2,0.5,1.5,7,1.5\n")
                                                 << "BCE-TO" << QString();
    QTest::newRow("quote lines, named by their ticker") << QByteArray("MSFT,D,20240102,1,2,0.5,1.5,7,0\n") << "MSFT" << QString();
    QTest::newRow("a web page") << QByteArray("<html><body>No such ticker</body></html>\n") << QString()
                                << "it holds a web page, not prices";
    QTest::newRow("nothing") << QByteArray() << QString() << "the file is empty";
}

void TestPriceSeries::fileKinds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, symbol);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("BCE-TO.csv"));
    QVERIFY(writeBytes(path, bytes));
    QString openError;
    const std::unique_ptr<PriceSource> source = openPriceSource(path, &openError);
    QVERIFY2(source, qPrintable(openError));
    QCOMPARE(source->entries().size(), 1);
    const SeriesLoad load = source->load(0);
    QCOMPARE(load.error, error);
    if (load.ok())
        QCOMPARE(load.series.symbol, symbol);
}

void TestPriceSeries::period_data()
{
    QTest::addColumn<int>("stepDays");
    QTest::addColumn<char>("period");
    QTest::newRow("daily") << 1 << 'D';
    QTest::newRow("weekly") << 7 << 'W';
    QTest::newRow("monthly") << 30 << 'M';
}

void TestPriceSeries::period()
{
    QFETCH(int, stepDays);
    QFETCH(char, period);
    PriceSeries s;
    for (int i = 0; i < 10; ++i)
        s.bars.push_back({QDate(2024, 1, 1).addDays(i * stepDays), 1, 1, 1, 1, 1, 1});
    QCOMPARE(s.effectivePeriod(), period);
}

void TestPriceSeries::metaStockSource()
{
    QTemporaryDir dir;
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        w.addSecurity(QStringLiteral("AAA"), QStringLiteral("AAA"), 1);
        w.addQuote(20240102, 0, 1, 2, 0.5f, 1.5f, 100, 0);
        w.addSecurity(QStringLiteral("BBB"), QStringLiteral("BBB"), 2);
        w.addQuote(20240108, 0, 3, 4, 2.5f, 3.5f, 200, 0);
        w.addQuote(20240115, 0, 4, 5, 3.5f, 4.5f, 300, 0);
    }
    QString error;
    // The folder, and any of its index files, open the list.
    for (const QString& path : {dir.path(), dir.filePath(QStringLiteral("MASTER")), dir.filePath(QStringLiteral("EMASTER"))}) {
        const std::unique_ptr<PriceSource> source = openPriceSource(path, &error);
        QVERIFY2(source, qPrintable(error));
        QVERIFY(source->isFolder());
        QCOMPARE(source->entries(), (QStringList{"AAA (daily)", "BBB (weekly)"}));
        QCOMPARE(source->find(QStringLiteral("bbb")), 1);
        const SeriesLoad b = source->load(1);
        QVERIFY2(b.ok(), qPrintable(b.error));
        QCOMPARE(describe(b.series), (QStringList{"2024-01-08 3 4 2.5 3.5 200 3.5", "2024-01-15 4 5 3.5 4.5 300 4.5"}));
        QCOMPARE(b.series.period, 'W');
    }
    // A data file gone: the security's chart fails by name, never empty.
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("F1.DAT"))));
    const std::unique_ptr<PriceSource> source = openPriceSource(dir.path(), &error);
    const SeriesLoad a = source->load(0);
    QCOMPARE(a.error, QStringLiteral("F1.DAT: data file missing"));
    QVERIFY(a.series.bars.empty());

    QTemporaryDir empty;
    QVERIFY(!openPriceSource(empty.path(), &error));
    QCOMPARE(error, QStringLiteral("the folder holds no MetaStock index (MASTER or XMASTER)"));
    QVERIFY(!openPriceSource(empty.filePath(QStringLiteral("none.csv")), &error));
    QCOMPARE(error, QStringLiteral("it does not exist"));
}

void TestPriceSeries::tickerTarget()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("BCE-TO.csv"));
    ChartTarget t = chartTargetFor(file, dir.path(), QStringLiteral("BCE.TO"));
    QCOMPARE(t.path, QString());
    QCOMPARE(t.lookedFor, file);
    QVERIFY(writeBytes(file, "Date,Open,High,Low,Close\n2024-01-02,1,1,1,1\n"));
    t = chartTargetFor(file, dir.path(), QStringLiteral("BCE.TO"));
    QCOMPARE(t.path, file);
    {
        MetaStockFolderWriter w;
        w.createFolder(dir.path());
        w.addSecurity(QStringLiteral("MSFT"), QStringLiteral("MSFT"), 1);
        w.addQuote(20240102, 0, 1, 2, 0.5f, 1.5f, 100, 0);
    }
    t = chartTargetFor(dir.filePath(QStringLiteral("MSFT.csv")), dir.path(), QStringLiteral("MSFT"));
    QCOMPARE(t.path, dir.path());
    QCOMPARE(t.symbol, QStringLiteral("MSFT"));
}

QTEST_GUILESS_MAIN(TestPriceSeries)
#include "test_price_series.moc"
