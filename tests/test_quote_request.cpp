#include "platform/http_fetch.h"
#include "sources/quote_request.h"
#include "sources/service_address.h"
#include "sources/wall_street_city_source.h"
#include "sources/yahoo_table_source.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

namespace {
// The days and period a run asks for, written as the date boxes show them.
struct Asked
{
    DateRange range;
    HistoryPeriod period = HistoryPeriod::None;
};

Asked range(const QString& sm, const QString& sd, const QString& sy, const QString& em, const QString& ed,
            const QString& ey, HistoryPeriod p)
{
    return {{DayTexts{sm, sd, sy}.date(), DayTexts{em, ed, ey}.date()}, p};
}

QString yahooUrl(const QString& host, const Asked& a, const QString& symbol)
{
    return kestrion::yahooUrl(host, a.range, a.period, symbol);
}

QString wscQueryUrl(const QString& host, const Asked& a, const QString& symbol, const QString& format)
{
    return kestrion::wscQueryUrl(host, a.range, a.period, symbol, format);
}
} // namespace

class TestQuoteRequest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void months_data();
    void months();
    void yahoo_data();
    void yahoo();
    void wallStreetCity_data();
    void wallStreetCity();
    void symbolEncoding_data();
    void symbolEncoding();
    void resultName_data();
    void resultName();
    void resultUrlLeavesNoTempFile();
    void compactDates_data();
    void compactDates();
    void fetchAgainstLocalService();
    void fetchFailuresGiveEmptyBody_data();
    void fetchFailuresGiveEmptyBody();
    void fetchTimesOut();
};

void TestQuoteRequest::months_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("zeroBased");
    QTest::addColumn<QString>("twoDigit");
    QTest::newRow("Jan") << "Jan" << 1 << 0 << "01";
    QTest::newRow("Sep") << "Sep" << 9 << 8 << "09";
    QTest::newRow("Dec") << "Dec" << 12 << 11 << "12";
    QTest::newRow("lower case is not a month") << "jan" << 0 << 0 << "";
    QTest::newRow("full name is not a month") << "January" << 0 << 0 << "";
    QTest::newRow("locale name is not a month") << "janv." << 0 << 0 << "";
    QTest::newRow("empty") << "" << 0 << 0 << "";
}

void TestQuoteRequest::months()
{
    QFETCH(QString, text);
    QFETCH(int, number);
    QFETCH(int, zeroBased);
    QFETCH(QString, twoDigit);
    const MonthValues m = monthValues(text);
    QCOMPARE(m.number, number);
    QCOMPARE(m.zeroBased, zeroBased);
    QCOMPARE(m.twoDigit, twoDigit);
}

void TestQuoteRequest::yahoo_data()
{
    QTest::addColumn<Asked>("inputs");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("url");
    QTest::newRow("weekly example")
        << range("Jan", "01", "2003", "Sep", "25", "2003", HistoryPeriod::Weekly) << "MSFT"
        << "http://h/table.csv?a=0&b=01&c=2003&d=8&e=25&f=2003&s=MSFT&y=0&g=w&ignore=.csv";
    QTest::newRow("daily") << range("Jan", "01", "2003", "Sep", "25", "2003", HistoryPeriod::Daily) << "MSFT"
                           << "http://h/table.csv?a=0&b=01&c=2003&d=8&e=25&f=2003&s=MSFT&y=0&g=d&ignore=.csv";
    QTest::newRow("December, monthly, dotted symbol")
        << range("Dec", "31", "1999", "Dec", "01", "2004", HistoryPeriod::Monthly) << "BCE.TO"
        << "http://h/table.csv?a=11&b=31&c=1999&d=11&e=01&f=2004&s=BCE.TO&y=0&g=m&ignore=.csv";
    QTest::newRow("no period set") << range("Jan", "01", "2003", "Sep", "25", "2003", HistoryPeriod::None) << "IBM"
                                   << "http://h/table.csv?a=0&b=01&c=2003&d=8&e=25&f=2003&s=IBM&y=0&g=&ignore=.csv";
}

void TestQuoteRequest::yahoo()
{
    QFETCH(Asked, inputs);
    QFETCH(QString, symbol);
    QFETCH(QString, url);
    QCOMPARE(yahooUrl(QStringLiteral("h"), inputs, symbol), url);
}

void TestQuoteRequest::wallStreetCity_data()
{
    QTest::addColumn<Asked>("inputs");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("url");
    QTest::newRow("weekly example")
        << range("Jan", "01", "2003", "Sep", "25", "2003", HistoryPeriod::Weekly) << "5"
        << "http://q/wsc2/Historical_Quotes.html?Symbol=MSFT&Button=Get+Quotes&StartDate=1%2F01%2F03&Type=1"
           "&EndDate=9%2F25%2F03&Format=5";
    QTest::newRow("monthly, format 1")
        << range("Jan", "01", "2003", "Sep", "25", "2003", HistoryPeriod::Monthly) << "1"
        << "http://q/wsc2/Historical_Quotes.html?Symbol=MSFT&Button=Get+Quotes&StartDate=1%2F01%2F03&Type=2"
           "&EndDate=9%2F25%2F03&Format=1";
    QTest::newRow("December is month 12")
        << range("Dec", "05", "1998", "Dec", "24", "2001", HistoryPeriod::Daily) << "4"
        << "http://q/wsc2/Historical_Quotes.html?Symbol=MSFT&Button=Get+Quotes&StartDate=12%2F05%2F98&Type=0"
           "&EndDate=12%2F24%2F01&Format=4";
}

void TestQuoteRequest::wallStreetCity()
{
    QFETCH(Asked, inputs);
    QFETCH(QString, format);
    QFETCH(QString, url);
    QCOMPARE(wscQueryUrl(QStringLiteral("q"), inputs, QStringLiteral("MSFT"), format), url);
}

void TestQuoteRequest::symbolEncoding_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("dot kept") << "BCE.TO" << "BCE.TO";
    QTest::newRow("caret and dash kept") << "^DJI-X" << "^DJI-X";
    QTest::newRow("space") << "A B" << "A%20B";
    QTest::newRow("ampersand cannot add a parameter") << "A&g=m" << "A%26g=m";
    QTest::newRow("hash") << "A#1" << "A%231";
    QTest::newRow("question mark") << "A?" << "A%3F";
    QTest::newRow("percent") << "A%41" << "A%2541";
    QTest::newRow("plus") << "A+B" << "A%2BB";
    QTest::newRow("slash") << "../x" << "..%2Fx";
    QTest::newRow("control") << QStringLiteral("A\tB") << "A%09B";
    QTest::newRow("non-ASCII as UTF-8") << QStringLiteral("\u00C9L") << "%C3%89L";
}

void TestQuoteRequest::symbolEncoding()
{
    QFETCH(QString, symbol);
    QFETCH(QString, encoded);
    QCOMPARE(encodeSymbol(symbol), encoded);
}

void TestQuoteRequest::resultName_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("link followed by more text")
        << QByteArray("<a href=\"/dynamic/a1b2c3d4e5f.txt\">Download</a> and more") << QByteArray("a1b2c3d4e5f.txt");
    QTest::newRow("longer word before does not match")
        << QByteArray("dynamically built <a href=\"/dynamic/zzzzzzzzzzz.txt\">") << QByteArray("zzzzzzzzzzz.txt");
    QTest::newRow("word inside a longer word only: offset 8")
        << QByteArray("0123456789ABCDEFGHIJKLMNOP dynamically") << QByteArray("789ABCDEFGHIJKL");
    QTest::newRow("word at the very start") << QByteArray("dynamic/abcdefghijk.txt") << QByteArray("abcdefghijk.txt");
    QTest::newRow("fewer than 15 bytes left") << QByteArray("x /dynamic/abc") << QByteArray("abc");
    QTest::newRow("empty page") << QByteArray() << QByteArray();
}

void TestQuoteRequest::resultName()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, name);
    QCOMPARE(wscResultName(page), name);
}

void TestQuoteRequest::resultUrlLeavesNoTempFile()
{
    QTemporaryDir dir;
    const QString url = wscResultUrl(QStringLiteral("f:81"), "<a href=\"/dynamic/a1b2c3d4e5f.txt\">x</a>", dir.path());
    QCOMPARE(url, QStringLiteral("http://f:81/dynamic/a1b2c3d4e5f.txt"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("temp.txt"))));
    QVERIFY(QDir(dir.path()).isEmpty());
    // A directory that cannot be written still resolves from the page.
    QCOMPARE(wscResultUrl(QStringLiteral("f"), "/dynamic/a1b2c3d4e5f.txt", dir.filePath(QStringLiteral("missing"))),
             QStringLiteral("http://f/dynamic/a1b2c3d4e5f.txt"));
}

void TestQuoteRequest::compactDates_data()
{
    QTest::addColumn<Asked>("inputs");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::newRow("example") << range("Jan", "01", "2003", "Sep", "25", "2003", HistoryPeriod::Weekly) << 20030101
                             << 20030925;
    QTest::newRow("December") << range("Dec", "31", "1999", "Dec", "01", "2024", HistoryPeriod::Daily) << 19991231
                              << 20241201;
}

void TestQuoteRequest::compactDates()
{
    QFETCH(Asked, inputs);
    QFETCH(int, start);
    QFETCH(int, end);
    const CompactDates d = kestrion::compactDates(inputs.range);
    QCOMPARE(d.start, start);
    QCOMPARE(d.end, end);
}

void TestQuoteRequest::fetchAgainstLocalService()
{
    test::QuoteService service;
    QVERIFY(service.start());
    const Asked v = range("Jan", "01", "2003", "Sep", "25", "2003", HistoryPeriod::Weekly);
    test::HttpSession fetcher(10);
    const QByteArray body = fetcher.fetch(yahooUrl(service.host(), v, QStringLiteral("MSFT")));
    QVERIFY2(body.startsWith("Date,Open,High,Low,Close,Volume,Adj Close"), body.left(80).constData());
    QVERIFY(body.contains("2003-09-22"));
    QVERIFY(!body.contains("2002-"));

    // Both Wall Street City stages, the second through the name on the page.
    QTemporaryDir dir;
    const QByteArray page = fetcher.fetch(wscQueryUrl(service.host(), v, QStringLiteral("MSFT"), QStringLiteral("1")));
    QVERIFY(!page.isEmpty());
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QVERIFY(fetcher.get(wscResultUrl(service.host(), page, dir.path()), sink).ok());
    QVERIFY2(sink.data().startsWith("<TICKER>,<PER>,<DTYYYYMMDD>"), sink.data().left(80).constData());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("temp.txt"))));
}

void TestQuoteRequest::fetchFailuresGiveEmptyBody_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::newRow("HTTP 500") << "E500_A";
    QTest::newRow("connection reset") << "RESET_A";
    QTest::newRow("HTTP 503") << "FAIL9_A";
    QTest::newRow("unknown symbol: 404 page") << "ZZZZ";
}

void TestQuoteRequest::fetchFailuresGiveEmptyBody()
{
    QFETCH(QString, symbol);
    test::QuoteService service;
    QVERIFY(service.start());
    const Asked v = range("Jan", "01", "2003", "Sep", "25", "2003", HistoryPeriod::Daily);
    test::HttpSession fetcher(10);
    QVERIFY(fetcher.fetch(yahooUrl(service.host(), v, symbol)).isEmpty());
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QVERIFY(!fetcher.get(yahooUrl(service.host(), v, symbol), sink).ok());
    // A failed request leaves the connection usable for the next one.
    QVERIFY(!fetcher.fetch(yahooUrl(service.host(), v, QStringLiteral("MSFT"))).isEmpty());
}

void TestQuoteRequest::fetchTimesOut()
{
    test::QuoteService service;
    QVERIFY(service.start());
    const Asked v = range("Jan", "01", "2003", "Sep", "25", "2003", HistoryPeriod::Daily);
    test::HttpSession fetcher(1);
    QElapsedTimer t;
    t.start();
    QVERIFY(fetcher.fetch(yahooUrl(service.host(), v, QStringLiteral("HANG_A"))).isEmpty());
    QVERIFY2(t.elapsed() < 5000, "a server that never answers must not hold the fetch");
    QVERIFY(fetcher.fetch(QStringLiteral("http://127.0.0.1:1/table.csv")).isEmpty());
}

QTEST_GUILESS_MAIN(TestQuoteRequest)
#include "test_quote_request.moc"
