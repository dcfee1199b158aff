// The Yahoo! quote downloader that stores tickers as MetaStock data, against
// the local quote service.
#include "download/metastock_factory.h"
#include "download/metastock_yahoo_downloader.h"
#include "formats/metastock_writer.h"
#include "platform/http_fetch.h"
#include "sources/quote_request.h"
#include "metastock_reader.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using namespace kestrion;
using kestrion::test::MsFolder;
using kestrion::test::MsQuote;
using kestrion::test::MsSecurity;
using kestrion::test::floatText;
using kestrion::test::readMetaStockFolder;

namespace {

QStringList describeAll(const QList<MsQuote>& quotes)
{
    QStringList out;
    for (const MsQuote& q : quotes)
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                   .arg(q.date)
                   .arg(floatText(q.open))
                   .arg(floatText(q.high))
                   .arg(floatText(q.low))
                   .arg(floatText(q.close))
                   .arg(floatText(q.volume))
                   .arg(floatText(q.openInterest));
    return out;
}

QStringList describeAll(const QList<YahooQuote>& quotes)
{
    QList<MsQuote> m;
    for (const YahooQuote& q : quotes) {
        MsQuote x;
        x.date = q.date;
        x.open = q.open;
        x.high = q.high;
        x.low = q.low;
        x.close = q.close;
        x.volume = q.volume;
        m << x;
    }
    return describeAll(m);
}

QStringList securities(const MsFolder& f)
{
    QStringList out;
    for (const MsSecurity& s : f.securities)
        out << s.symbol + QLatin1Char('/') + QLatin1Char(s.period);
    out.sort();
    return out;
}

QString rangeText(qint32 start, qint32 end)
{
    return QStringLiteral("%1-%2").arg(start).arg(end);
}

} // namespace

// Runs one ticker through the downloader and waits for its answer.
int fetchInto(MetaStockDownloader& d, const QString& symbol, const QString& name, qint32 start, qint32 end,
              qint16 period, const QString& dir, const QString& reserved, bool overwrite)
{
    int answer = -1;
    d.downloadTicker(symbol, name, start, end, period, dir, reserved, overwrite, [&answer](int error) { answer = error; });
    if (answer < 0)
        (void)QTest::qWaitFor([&answer] { return answer >= 0; }, 30000);
    return answer;
}

class TestMetaStockDownloader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void parseYahooTable_data();
    void parseYahooTable();
    void storesTicker_data();
    void storesTicker();
    void notDownloaded_data();
    void notDownloaded();
    void oneFolderPerRunAndAcrossRuns();
    void failureLeavesFolderAlone();
    void unwritableFolderIsAFailure();
    void factoryComponents();

private:
    // The service's table for the request, read here without the code under test.
    QList<MsQuote> served(const QString& symbol, qint32 start, qint32 end, qint16 period);
    ServiceConfig services() const;

    test::QuoteService m_service;
};

void TestMetaStockDownloader::initTestCase()
{
    QVERIFY2(m_service.start(), "the local quote service did not start");
}

ServiceConfig TestMetaStockDownloader::services() const
{
    ServiceConfig c;
    c.yahooHistoryHost = m_service.host();
    c.fetchTimeoutSeconds = 10;
    return c;
}

QList<MsQuote> TestMetaStockDownloader::served(const QString& symbol, qint32 start, qint32 end, qint16 period)
{
    const QString letter = period == 1 ? QStringLiteral("d") : period == 2 ? QStringLiteral("w") : QStringLiteral("m");
    const QString url = QStringLiteral("http://%1/table.csv?a=%2&b=%3&c=%4&d=%5&e=%6&f=%7&s=%8&y=0&g=%9&ignore=.csv")
                            .arg(m_service.host())
                            .arg(start / 100 % 100 - 1)
                            .arg(start % 100, 2, 10, QLatin1Char('0'))
                            .arg(start / 10000)
                            .arg(end / 100 % 100 - 1)
                            .arg(end % 100, 2, 10, QLatin1Char('0'))
                            .arg(end / 10000)
                            .arg(symbol, letter);
    const QList<QByteArray> lines = test::httpGet(url).split('\n');
    QList<MsQuote> quotes;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> c = lines.at(i).trimmed().split(',');
        if (c.size() < 6)
            continue;
        MsQuote q;
        q.date = c.at(0).left(4).toInt() * 10000 + c.at(0).mid(5, 2).toInt() * 100 + c.at(0).mid(8, 2).toInt();
        q.open = c.at(1).toFloat();
        q.high = c.at(2).toFloat();
        q.low = c.at(3).toFloat();
        q.close = c.at(4).toFloat();
        q.volume = c.at(5).toFloat();
        quotes << q;
    }
    std::sort(quotes.begin(), quotes.end(), [](const MsQuote& a, const MsQuote& b) { return a.date < b.date; });
    return quotes;
}

void TestMetaStockDownloader::parseYahooTable_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("quotes");

    const QByteArray header("Date,Open,High,Low,Close,Volume,Adj Close\n");
    QTest::newRow("newest first, as served")
        << header + "2003-09-25,25.10,25.50,24.90,25.20,1234567,25.20\n2003-09-24,24.00,25.00,23.50,24.75,1000,24.75\n"
        << QStringList{"20030925 25.1 25.5 24.9 25.2 1234567 0", "20030924 24 25 23.5 24.75 1000 0"};
    QTest::newRow("CRLF, no final newline")
        << QByteArray("Date,Open,High,Low,Close,Volume,Adj Close\r\n2003-09-25,1,2,0.5,1.5,10,1.4")
        << QStringList{"20030925 1 2 0.5 1.5 10 0"};
    QTest::newRow("columns in another order")
        << QByteArray("Date,Close,Volume,Open,High,Low\n2003-09-25,1.5,10,1,2,0.5\n")
        << QStringList{"20030925 1 2 0.5 1.5 10 0"};
    QTest::newRow("broken rows skipped")
        << header + "2003-09-26,1,2,0.5,x,10,1\n2003-02-30,1,2,0.5,1.5,10,1\n2003-09-24,1,2\n\n"
                    "09/23/2003,1,2,0.5,1.5,10,1\n2003-09-22,1,2,0.5,1.5,10,1\n"
        << QStringList{"20030922 1 2 0.5 1.5 10 0"};
    QTest::newRow("header only") << header << QStringList{};
    QTest::newRow("no header") << QByteArray("2003-09-25,1,2,0.5,1.5,10,1\n") << QStringList{};
    QTest::newRow("header without volume")
        << QByteArray("Date,Open,High,Low,Close\n2003-09-25,1,2,0.5,1.5\n") << QStringList{};
    QTest::newRow("no data text") << QByteArray("No data available\n") << QStringList{};
    QTest::newRow("empty") << QByteArray() << QStringList{};
}

void TestMetaStockDownloader::parseYahooTable()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, quotes);
    QCOMPARE(describeAll(kestrion::parseYahooTable(body)), quotes);
}

void TestMetaStockDownloader::storesTicker_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("period");
    QTest::addColumn<QString>("stored"); // symbol/period letter in the folder

    QTest::newRow("daily") << "MSFT" << 20030101 << 20030925 << 1 << "MSFT/D";
    QTest::newRow("weekly, dotted symbol") << "BCE.TO" << 20030101 << 20030925 << 2 << "BCE-TO/W";
    QTest::newRow("monthly, long range") << "IBM" << 19950101 << 20031231 << 3 << "IBM/M";
    QTest::newRow("one day") << "KO" << 20030925 << 20030925 << 1 << "KO/D";
}

void TestMetaStockDownloader::storesTicker()
{
    QFETCH(QString, symbol);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, period);
    QFETCH(QString, stored);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QList<MsQuote> expected = served(symbol, start, end, qint16(period));
    QVERIFY2(!expected.isEmpty(), "the service sent no rows");
    {
        YahooMetaStockDownloader d(services());
        d.setRunSetting(20);
        QCOMPARE(fetchInto(d, symbol, QString(), start, end, qint16(period), dir.path(), QString(), true), 0);
        // On disk as soon as the call returns, not only at the end of the run.
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("EMASTER"))));
        const MsFolder now = readMetaStockFolder(dir.path());
        QCOMPARE(now.problems, QStringList{});
        QCOMPARE(securities(now), QStringList{stored});
    }
    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(securities(folder), QStringList{stored});
    const MsSecurity& s = folder.securities.first();
    QCOMPARE(s.longName, stored.section(QLatin1Char('/'), 0, 0));
    QCOMPARE(s.fields, 7);
    QCOMPARE(describeAll(s.quotes), describeAll(expected));
    QVERIFY2(s.firstDate >= start && s.lastDate <= end, qPrintable(rangeText(s.firstDate, s.lastDate)));
}

void TestMetaStockDownloader::notDownloaded_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("period");
    QTest::addColumn<bool>("serviceUp");

    QTest::newRow("unknown symbol: HTML error page") << "ZZTOP" << 20030101 << 20030925 << 1 << true;
    QTest::newRow("range without a weekday") << "MSFT" << 20030927 << 20030928 << 1 << true;
    QTest::newRow("service error, empty body") << "FAIL9_M" << 20030101 << 20030925 << 1 << true;
    QTest::newRow("no service") << "MSFT" << 20030101 << 20030925 << 1 << false;
    QTest::newRow("no period chosen") << "MSFT" << 20030101 << 20030925 << 0 << true;
    QTest::newRow("month 13") << "MSFT" << 20031301 << 20031325 << 1 << true;
    QTest::newRow("start without a month") << "MSFT" << 200301 << 20030925 << 1 << true;
    QTest::newRow("empty symbol") << "" << 20030101 << 20030925 << 1 << true;
}

void TestMetaStockDownloader::notDownloaded()
{
    QFETCH(QString, symbol);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, period);
    QFETCH(bool, serviceUp);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ServiceConfig c = services();
    if (!serviceUp) {
        QTcpServer probe; // a port nobody listens on once it is closed
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        c.yahooHistoryHost = QStringLiteral("127.0.0.1:%1").arg(probe.serverPort());
        probe.close();
    }
    {
        YahooMetaStockDownloader d(c);
        QCOMPARE(fetchInto(d, symbol, QString(), start, end, qint16(period), dir.path(), QString(), true),
                 MetaStockDownloader::kErrorCouldNotDownload);
    }
    // Nothing fetched, nothing written: not even an empty folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
}

void TestMetaStockDownloader::oneFolderPerRunAndAcrossRuns()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    {
        YahooMetaStockDownloader d(services());
        d.setRunSetting(20);
        QCOMPARE(fetchInto(d, QStringLiteral("MSFT"), QString(), 20030101, 20030630, 1, dir.path(), QString(), true), 0);
        QCOMPARE(fetchInto(d, QStringLiteral("ZZNONE"), QString(), 20030101, 20030630, 1, dir.path(), QString(), true),
                 MetaStockDownloader::kErrorCouldNotDownload);
        QCOMPARE(fetchInto(d, QStringLiteral("IBM"), QString(), 20030101, 20030630, 1, dir.path(), QString(), true), 0);
        // The same ticker again, over a range reaching further: one listing.
        QCOMPARE(fetchInto(d, QStringLiteral("MSFT"), QString(), 20030601, 20030925, 1, dir.path(), QString(), true), 0);
        QCOMPARE(fetchInto(d, QStringLiteral("MSFT"), QString(), 20030601, 20030925, 2, dir.path(), QString(), true), 0);
    }
    {
        // The next run finds EMASTER and adds to the folder.
        YahooMetaStockDownloader d(services());
        QCOMPARE(fetchInto(d, QStringLiteral("KO"), QString(), 20030101, 20030131, 1, dir.path(), QString(), true), 0);
    }
    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(securities(folder), (QStringList{"IBM/D", "KO/D", "MSFT/D", "MSFT/W"}));
    QCOMPARE(describeAll(folder.find(QStringLiteral("MSFT"), 'D')->quotes),
             describeAll(served(QStringLiteral("MSFT"), 20030101, 20030925, 1)));
    QCOMPARE(describeAll(folder.find(QStringLiteral("IBM"), 'D')->quotes),
             describeAll(served(QStringLiteral("IBM"), 20030101, 20030630, 1)));
    QCOMPARE(describeAll(folder.find(QStringLiteral("KO"), 'D')->quotes),
             describeAll(served(QStringLiteral("KO"), 20030101, 20030131, 1)));
}

void TestMetaStockDownloader::failureLeavesFolderAlone()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    {
        YahooMetaStockDownloader d(services());
        QCOMPARE(fetchInto(d, QStringLiteral("MSFT"), QString(), 20030101, 20030131, 1, dir.path(), QString(), true), 0);
    }
    QMap<QString, QByteArray> before;
    for (const QString& f : QDir(dir.path()).entryList(QDir::Files))
        before.insert(f, test::readAll(dir.filePath(f)));
    {
        YahooMetaStockDownloader d(services());
        QCOMPARE(fetchInto(d, QStringLiteral("ZZBAD"), QString(), 20030101, 20030131, 1, dir.path(), QString(), true),
                 MetaStockDownloader::kErrorCouldNotDownload);
    }
    QMap<QString, QByteArray> after;
    for (const QString& f : QDir(dir.path()).entryList(QDir::Files))
        after.insert(f, test::readAll(dir.filePath(f)));
    QCOMPARE(after.keys(), before.keys());
    QVERIFY(after == before);
}

void TestMetaStockDownloader::unwritableFolderIsAFailure()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A download directory that is not there: the quotes cannot be stored,
    // so the ticker is reported, not counted as done.
    YahooMetaStockDownloader d(services());
    QCOMPARE(fetchInto(d, QStringLiteral("MSFT"), QString(), 20030101, 20030131, 1,
                              dir.filePath(QStringLiteral("missing")), QString(), true),
             MetaStockDownloader::kErrorCouldNotStore);
}

void TestMetaStockDownloader::factoryComponents()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::unique_ptr<MetaStockFactory> factory = makeMetaStockFactory(services());
    {
        std::unique_ptr<MetaStockDownloader> d = factory->createDownloader();
        QCOMPARE(fetchInto(*d, QStringLiteral("MSFT"), QString(), 20030101, 20030131, 1,
                                   dir.filePath(QStringLiteral("y")), QString(), true),
                 MetaStockDownloader::kErrorCouldNotStore); // no such directory yet
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("y")));
        QCOMPARE(fetchInto(*d, QStringLiteral("MSFT"), QString(), 20030101, 20030131, 1,
                                   dir.filePath(QStringLiteral("y")), QString(), true),
                 0);
    }
    {
        std::unique_ptr<MetaStockWriter> w = factory->createWriter();
        w->createFolder(dir.path());
        w->addSecurity(QStringLiteral("W"), QStringLiteral("W"), 1);
        w->addQuote(20030102, 0, 1, 2, 0.5f, 1.5f, 100, 0);
    }
    QCOMPARE(securities(readMetaStockFolder(dir.filePath(QStringLiteral("y")))), QStringList{"MSFT/D"});
    QCOMPARE(securities(readMetaStockFolder(dir.path())), QStringList{"W/D"});
}

QTEST_GUILESS_MAIN(TestMetaStockDownloader)
#include "test_metastock_downloader.moc"
