// Described services: the request a description builds, and its answers,
// good and bad, turned into the table layout or the right failure reason.
#include "sources/described_source.h"

#include <QFile>
#include <QtTest>

using namespace kestrion;

// Declared before the raw-string helpers, which moc cannot read past.
class TestDescribedSource : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void symbols_data();
    void symbols();
    void requests_data();
    void requests();
    void intervals();
    void maskedAddresses();
    void answers_data();
    void answers();
    void rowRules_data();
    void rowRules();
    void germanCsvWithKeyInHeader();
    void nestedJsonInTokyoTime();
};

namespace {

#include "own_descriptions.h"

const QString kShipped = QStringLiteral(KESTRION_SOURCE_DIR "/share/kestrion/sources/");

// A description by shipped file name ("eodhd") or as JSON text ("{...}").
SourceDescription described(const QString& which)
{
    QByteArray bytes = which.toUtf8();
    if (!which.startsWith(QLatin1Char('{'))) {
        QFile f(kShipped + which + QStringLiteral(".json"));
        if (!f.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(f.fileName()));
        bytes = f.readAll();
    }
    const DescriptionParse parsed = parseSourceDescription(bytes, which);
    if (!parsed.description)
        qFatal("unusable description: %s", qPrintable(parsed.problems.join(QLatin1Char('\n'))));
    return *parsed.description;
}

// Rows as "a|b|c", newest first.
QByteArray table(const QString& rows)
{
    QByteArray out("Date,Open,High,Low,Close,Volume,Adj Close\n");
    for (const QString& row : rows.split(QLatin1Char('|')))
        out += row.toUtf8() + '\n';
    return out;
}

const QString kJsonRows = QStringLiteral(
    R"({"name": "Rows", "url": "https://x.org/{symbol}", "format": "json",
        "fields": {"date": "d", "open": "o", "high": "h", "low": "l", "close": "c", "volume": "v", "adjclose": "a"}})");
const QString kBareRows = QStringLiteral(
    R"({"name": "Bare", "url": "https://x.org/{symbol}", "format": "json",
        "fields": {"date": "d", "open": "o", "high": "h", "low": "l", "close": "c"}})");

// Both days of AAPL as the services send them.
const QString kTwoDays = QStringLiteral("2024-01-03,184.22,185.88,183.43,184.25,58414500,184.25|"
                                        "2024-01-02,187.15,188.44,183.89,185.64,82488700,185.64");

} // namespace


void TestDescribedSource::symbols_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("sent");
    QTest::newRow("no suffix") << "eodhd" << "AAPL" << "AAPL.US";
    QTest::newRow("dash kept") << "eodhd" << "BRK-B" << "BRK-B.US";
    QTest::newRow("same suffix") << "eodhd" << "RY.TO" << "RY.TO";
    QTest::newRow("london") << "eodhd" << "VOD.L" << "VOD.LSE";
    QTest::newRow("xetra") << "eodhd" << "SAP.DE" << "SAP.XETRA";
    QTest::newRow("sydney") << "eodhd" << "BHP.AX" << "BHP.AU";
    QTest::newRow("korea") << "eodhd" << "005930.KS" << "005930.KO";
    QTest::newRow("unlisted kept") << "eodhd" << "ENI.MI" << "ENI.MI";
    QTest::newRow("index") << "eodhd" << "^GSPC" << "GSPC.INDX";
    QTest::newRow("no rules") << "twelve-data" << "^GSPC" << "^GSPC";
    QTest::newRow("upper") << R"({"name": "U", "url": "https://x.org/{symbol}", "format": "json", "symbol": {"case": "upper", "suffixes": {".l": ".LON"}},
        "fields": {"date": "d", "open": "o", "high": "h", "low": "l", "close": "c"}})"
                           << "vod.l" << "VOD.LON";
    QTest::newRow("lower, prefix without index suffix")
        << R"({"name": "L", "url": "https://x.org/{symbol}", "format": "json", "symbol": {"case": "lower", "prefixes": {"^": "idx:"}, "suffixes": {"": ".us"}},
        "fields": {"date": "d", "open": "o", "high": "h", "low": "l", "close": "c"}})"
        << "^DJI" << "idx:dji.us";
}

void TestDescribedSource::symbols()
{
    QFETCH(QString, which);
    QFETCH(QString, symbol);
    QFETCH(QString, sent);
    QCOMPARE(describedSymbol(described(which), symbol), sent);
}

void TestDescribedSource::requests_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<int>("period");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("header");
    const int d = int(HistoryPeriod::Daily), w = int(HistoryPeriod::Weekly), m = int(HistoryPeriod::Monthly);
    QTest::newRow("eodhd") << "eodhd" << "AAPL" << d << "k3y" << ""
                           << "https://eodhd.com/api/eod/AAPL.US?from=2024-01-02&to=2024-01-31&period=d&order=a&fmt=json&api_token=k3y"
                           << "";
    QTest::newRow("eodhd weekly asks for days") << "eodhd" << "AAPL" << w << "k3y" << ""
                           << "https://eodhd.com/api/eod/AAPL.US?from=2024-01-02&to=2024-01-31&period=d&order=a&fmt=json&api_token=k3y"
                           << "";
    QTest::newRow("eodhd at the simulator") << "eodhd" << "^GSPC" << d << "a+b/c" << "http://127.0.0.1:8080"
                           << "http://127.0.0.1:8080/api/eod/GSPC.INDX?from=2024-01-02&to=2024-01-31&period=d&order=a&fmt=json&api_token=a%2Bb%2Fc"
                           << "";
    QTest::newRow("twelve data") << "twelve-data" << "AAPL" << m << "k3y" << ""
                           << "https://api.twelvedata.com/time_series?symbol=AAPL&interval=1day&start_date=2024-01-02&end_date=2024-01-31&outputsize=5000&format=JSON"
                           << "Authorization: apikey k3y";
    QTest::newRow("massive") << "massive" << "A&B C" << d << "k3y" << "127.0.0.1:9000"
                           << "http://127.0.0.1:9000/v2/aggs/ticker/A%26B%20C/range/1/day/2024-01-02/2024-01-31?adjusted=true&sort=asc&limit=50000"
                           << "Authorization: Bearer k3y";
    QTest::newRow("marketdata") << "marketdata" << "MSFT" << d << "k3y" << ""
                           << "https://api.marketdata.app/v1/stocks/candles/D/MSFT?from=2024-01-02&to=2024-01-31"
                           << "Authorization: Bearer k3y";
    QTest::newRow("alpha vantage") << "alpha-vantage" << "^GSPC" << m << "k3y" << ""
                           << "https://www.alphavantage.co/query?function=TIME_SERIES_MONTHLY_ADJUSTED&symbol=%5EGSPC&datatype=csv&apikey=k3y"
                           << "";
    const QString custom = QStringLiteral(R"({"name": "C", "url": "https://x.org/{symbol}?a={from}&b={to}", "format": "json", "dates": "%1",
        "fields": {"date": "d", "open": "o", "high": "h", "low": "l", "close": "c"}})");
    QTest::newRow("unix: to is the next day") << custom.arg(QLatin1String("unix")) << "X" << d << "" << ""
                                              << "https://x.org/X?a=1704153600&b=1706745600" << "";
    QTest::newRow("unix-ms") << custom.arg(QLatin1String("unix-ms")) << "X" << d << "" << ""
                             << "https://x.org/X?a=1704153600000&b=1706745600000" << "";
    QTest::newRow("qt format") << custom.arg(QLatin1String("yyyyMMdd")) << "X" << d << "" << ""
                               << "https://x.org/X?a=20240102&b=20240131" << "";
    QTest::newRow("qt format encoded") << custom.arg(QLatin1String("dd/MM/yyyy")) << "X" << d << "" << ""
                                       << "https://x.org/X?a=02%2F01%2F2024&b=31%2F01%2F2024" << "";
}

void TestDescribedSource::requests()
{
    QFETCH(QString, which);
    QFETCH(QString, symbol);
    QFETCH(int, period);
    QFETCH(QString, key);
    QFETCH(QString, host);
    QFETCH(QString, url);
    QFETCH(QString, header);
    const HttpGet get = describedRequest(described(which), symbol, {QDate(2024, 1, 2), QDate(2024, 1, 31)},
                                         HistoryPeriod(period), key, host);
    QCOMPARE(get.url, url);
    QStringList headers;
    for (const auto& h : get.headers)
        headers.append(QString::fromUtf8(h.first + ": " + h.second));
    QCOMPARE(headers.join(QLatin1Char('\n')), header);
}

void TestDescribedSource::intervals()
{
    const SourceDescription eodhd = described(QStringLiteral("eodhd"));
    QCOMPARE(describedInterval(eodhd, HistoryPeriod::Monthly)->word, QStringLiteral("d"));
    QVERIFY(describedInterval(eodhd, HistoryPeriod::Monthly)->foldDaily);
    const SourceDescription alpha = described(QStringLiteral("alpha-vantage"));
    QVERIFY(!describedInterval(alpha, HistoryPeriod::Daily));
    QVERIFY(!describedInterval(alpha, HistoryPeriod::Weekly));
    QCOMPARE(describedInterval(alpha, HistoryPeriod::Monthly)->word, QStringLiteral("monthly"));
    QVERIFY(!describedInterval(alpha, HistoryPeriod::Monthly)->foldDaily);
    QCOMPARE(describedPeriods(alpha), QList<HistoryPeriod>{HistoryPeriod::Monthly});
}

void TestDescribedSource::maskedAddresses()
{
    const SourceDescription eodhd = described(QStringLiteral("eodhd"));
    for (const QString& key : {QStringLiteral("k3yk3yk3y"), QStringLiteral("a+b/c=d")}) {
        const QString url = describedRequest(eodhd, QStringLiteral("AAPL"), {QDate(2024, 1, 2), QDate(2024, 1, 3)},
                                             HistoryPeriod::Daily, key).url;
        const QString shown = maskedAddress(url, key);
        QVERIFY2(shown.endsWith(QLatin1String("&api_token=***")), qPrintable(shown));
        QVERIFY(!shown.contains(QLatin1String("k3y")) && !shown.contains(QLatin1String("a%2Bb")));
    }
    QCOMPARE(maskedAddress(QStringLiteral("https://x.org/?a=1"), QString()), QStringLiteral("https://x.org/?a=1"));
}

// Captured-style answers of the five services, and each documented error.
void TestDescribedSource::answers_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("period");
    QTest::addColumn<QString>("reason"); // "" for a table
    QTest::addColumn<QString>("rows"); // the table, or text the detail must hold
    const int d = int(HistoryPeriod::Daily), w = int(HistoryPeriod::Weekly), m = int(HistoryPeriod::Monthly);

    const QByteArray eodhd = R"([{"date":"2024-01-02","open":187.15,"high":188.44,"low":183.89,"close":185.64,"adjusted_close":184.9,"volume":82488700},
        {"date":"2024-01-03","open":184.22,"high":185.88,"low":183.43,"close":184.25,"adjusted_close":183.5,"volume":58414500}])";
    QTest::newRow("eodhd") << "eodhd" << eodhd << 200 << d << ""
                           << "2024-01-03,184.22,185.88,183.43,184.25,58414500,183.5|2024-01-02,187.15,188.44,183.89,185.64,82488700,184.9";
    QTest::newRow("eodhd weekly fold") << "eodhd" << eodhd << 200 << w << ""
                                       << "2024-01-02,187.15,188.44,183.43,184.25,140903200,183.5";
    QTest::newRow("eodhd 401") << "eodhd" << QByteArray("Unauthenticated") << 401 << d << "unauthorized" << "EODHD";
    QTest::newRow("eodhd 404") << "eodhd" << QByteArray("Ticker Not Found.") << 404 << d << "not-found" << "";
    QTest::newRow("eodhd 402") << "eodhd" << QByteArray("Payment required") << 402 << d << "rate-limited" << "";
    QTest::newRow("eodhd 429") << "eodhd" << QByteArray() << 429 << d << "rate-limited" << "";
    QTest::newRow("eodhd 500 by default") << "eodhd" << QByteArray("oops") << 500 << d << "server-error" << "HTTP 500";
    QTest::newRow("eodhd empty list") << "eodhd" << QByteArray("[]") << 200 << d << "no-data" << "";
    QTest::newRow("eodhd out of range") << "eodhd" << QByteArray(R"([{"date":"2023-12-29","open":1,"high":1,"low":1,"close":1,"adjusted_close":1,"volume":1}])")
                                        << 200 << d << "no-data" << "";
    QTest::newRow("eodhd web page") << "eodhd" << QByteArray("<html>maintenance</html>") << 200 << d << "bad-data" << "";

    const QByteArray twelve = R"({"meta":{"symbol":"AAPL","interval":"1day"},"values":[
        {"datetime":"2024-01-03","open":"184.22000","high":"185.88000","low":"183.43000","close":"184.25000","volume":"58414500"},
        {"datetime":"2024-01-02","open":"187.15000","high":"188.44000","low":"183.89000","close":"185.64000","volume":"82488700"}],"status":"ok"})";
    QTest::newRow("twelve data") << "twelve-data" << twelve << 200 << d << "" << kTwoDays;
    QTest::newRow("twelve data code 429") << "twelve-data"
        << QByteArray(R"({"code":429,"message":"You have run out of API credits for the current minute.","status":"error"})")
        << 200 << d << "rate-limited" << "run out of API credits";
    QTest::newRow("twelve data credits text") << "twelve-data"
        << QByteArray(R"({"code":400,"message":"You have run out of API credits for the day.","status":"error"})") << 200 << d
        << "rate-limited" << "";
    QTest::newRow("twelve data code 404") << "twelve-data"
        << QByteArray(R"({"code":404,"message":"Symbol is invalid","status":"error"})") << 200 << d << "not-found" << "";
    QTest::newRow("twelve data not found text") << "twelve-data"
        << QByteArray(R"({"code":400,"message":"**symbol** not found: XYZ.","status":"error"})") << 200 << d << "not-found" << "";
    QTest::newRow("twelve data code 401") << "twelve-data"
        << QByteArray(R"({"code":401,"message":"**apikey** parameter is incorrect.","status":"error"})") << 200 << d
        << "unauthorized" << "";

    const QByteArray massive = R"({"ticker":"AAPL","queryCount":2,"resultsCount":2,"adjusted":true,"results":[
        {"v":8.24887e+07,"vw":186.1,"o":187.15,"c":185.64,"h":188.44,"l":183.89,"t":1704171600000,"n":1008871},
        {"v":5.84145e+07,"vw":184.3,"o":184.22,"c":184.25,"h":185.88,"l":183.43,"t":1704258000000,"n":656853}],"status":"OK"})";
    QTest::newRow("massive") << "massive" << massive << 200 << d << "" << kTwoDays;
    QTest::newRow("massive unknown key") << "massive"
        << QByteArray(R"({"status":"ERROR","request_id":"abc","error":"Unknown API Key"})") << 401 << d << "unauthorized" << "";
    QTest::newRow("massive not entitled") << "massive"
        << QByteArray(R"({"status":"NOT_AUTHORIZED","message":"You are not entitled to this data."})") << 403 << d
        << "unauthorized" << "";
    QTest::newRow("massive 429") << "massive" << QByteArray(R"({"status":"ERROR"})") << 429 << d << "rate-limited" << "";
    QTest::newRow("massive nothing") << "massive"
        << QByteArray(R"({"ticker":"ZZZZ","queryCount":0,"resultsCount":0,"adjusted":true,"status":"OK"})") << 200 << d
        << "no-data" << "";

    const QByteArray marketdata = R"({"s":"ok","t":[1704171600,1704258000],"o":[187.15,184.22],"h":[188.44,185.88],
        "l":[183.89,183.43],"c":[185.64,184.25],"v":[82488700,58414500]})";
    QTest::newRow("marketdata") << "marketdata" << marketdata << 200 << d << "" << kTwoDays;
    QTest::newRow("marketdata no data") << "marketdata" << QByteArray(R"({"s":"no_data"})") << 200 << d << "no-data" << "";
    QTest::newRow("marketdata no data 404") << "marketdata" << QByteArray(R"({"s":"no_data"})") << 404 << d << "no-data" << "";
    QTest::newRow("marketdata 401") << "marketdata" << QByteArray(R"({"s":"error","errmsg":"Invalid token"})") << 401 << d
                                    << "unauthorized" << "";
    QTest::newRow("marketdata 402") << "marketdata" << QByteArray(R"({"s":"error"})") << 402 << d << "rate-limited" << "";
    QTest::newRow("marketdata 429") << "marketdata" << QByteArray() << 429 << d << "rate-limited" << "";
    QTest::newRow("marketdata uneven lists") << "marketdata" << QByteArray(R"({"s":"ok","t":[1704171600],"o":[1,2],"h":[1],"l":[1],"c":[1]})")
                                             << 200 << d << "bad-data" << "different lengths";

    const QByteArray alpha = "timestamp,open,high,low,close,adjusted close,volume,dividend amount\r\n"
                             "2024-02-29,183.99,191.05,179.25,180.75,179.9,1234,0.0000\r\n"
                             "2024-01-31,187.15,196.38,180.17,184.40,183.5,5678,0.2400\r\n"
                             "2023-12-29,190.33,199.62,187.45,192.53,191.0,999,0.0000\r\n";
    QTest::newRow("alpha vantage monthly as dated") << "alpha-vantage" << alpha << 200 << m << ""
        << "2024-02-29,183.99,191.05,179.25,180.75,1234,179.9|2024-01-31,187.15,196.38,180.17,184.4,5678,183.5";
    QTest::newRow("alpha vantage unknown symbol") << "alpha-vantage"
        << QByteArray(R"({"Error Message": "Invalid API call. Please retry or visit the documentation for TIME_SERIES_MONTHLY_ADJUSTED."})")
        << 200 << m << "not-found" << "Invalid API call";
    QTest::newRow("alpha vantage bad key") << "alpha-vantage"
        << QByteArray(R"({"Error Message": "the parameter apikey is invalid or missing. Please claim your free API key."})")
        << 200 << m << "unauthorized" << "";
    QTest::newRow("alpha vantage information") << "alpha-vantage"
        << QByteArray(R"({"Information": "Thank you for using Alpha Vantage! Our standard API rate limit is 25 requests per day."})")
        << 200 << m << "rate-limited" << "25 requests per day";
    QTest::newRow("alpha vantage note") << "alpha-vantage"
        << QByteArray(R"({"Note": "Thank you for using Alpha Vantage! Our standard API call frequency is 5 calls per minute."})")
        << 200 << m << "rate-limited" << "";
}

void TestDescribedSource::answers()
{
    QFETCH(QString, which);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(int, period);
    QFETCH(QString, reason);
    QFETCH(QString, rows);
    const DateRange range{QDate(2024, 1, 1), QDate(2024, 2, 29)};
    const TableResult result = describedTable(described(which), body, status, range, HistoryPeriod(period));
    QCOMPARE(reasonText(result.reason), reason);
    if (reason.isEmpty())
        QCOMPARE(result.table, table(rows));
    else
        QVERIFY2(result.detail.contains(rows), qPrintable(result.detail));
}

// The rules every described answer shares: duplicates, gaps, missing fields, dates.
void TestDescribedSource::rowRules_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("rows");
    QTest::newRow("later duplicate replaces earlier") << kJsonRows
        << QByteArray(R"([{"d":"2024-01-02","o":1,"h":2,"l":1,"c":2,"v":5,"a":2},{"d":"2024-01-02","o":3,"h":4,"l":3,"c":4,"v":7,"a":4}])")
        << "" << "2024-01-02,3,4,3,4,7,4";
    QTest::newRow("non-positive and missing prices dropped") << kJsonRows
        << QByteArray(R"([{"d":"2024-01-02","o":1,"h":2,"l":1,"c":0,"v":5,"a":2},{"d":"2024-01-03","o":null,"h":4,"l":3,"c":4,"v":7,"a":4},
                         {"d":"2024-01-04","o":"5","h":"6","l":"5","c":"6","v":"","a":"-1"},{"d":"2024-01-05","o":"5","h":"6","l":"5","c":"6","v":"","a":"6"}])")
        << "" << "2024-01-05,5,6,5,6,0,6";
    QTest::newRow("all dropped is no data") << kJsonRows
        << QByteArray(R"([{"d":"2024-01-02","o":1,"h":2,"l":1,"c":-2,"v":5,"a":2}])") << "no-data" << "";
    QTest::newRow("without adjclose and volume") << kBareRows
        << QByteArray(R"([{"d":"2024-01-02","o":1.5,"h":2.25,"l":1.125,"c":2}])") << "" << "2024-01-02,1.5,2.25,1.125,2,0,2";
    QTest::newRow("date-time with offset") << kBareRows
        << QByteArray(R"([{"d":"2024-01-02T23:30:00-05:00","o":1,"h":1,"l":1,"c":1},{"d":"2024-01-05 10:00:00","o":2,"h":2,"l":2,"c":2}])")
        << "" << "2024-01-05,2,2,2,2,0,2|2024-01-03,1,1,1,1,0,1";
    QTest::newRow("qt date format as a number") << QStringLiteral(
        R"({"name": "N", "url": "https://x.org/{symbol}", "format": "json", "date-format": "yyyyMMdd", "rows": "q",
            "fields": {"date": "day", "open": "o", "high": "h", "low": "l", "close": "c"}})")
        << QByteArray(R"({"q": [{"day": 20240103, "o": 1, "h": 1, "l": 1, "c": 1}, {"day": "20240104", "o": 2, "h": 2, "l": 2, "c": 2}]})")
        << "" << "2024-01-04,2,2,2,2,0,2|2024-01-03,1,1,1,1,0,1";
    QTest::newRow("text that is no number") << kJsonRows
        << QByteArray(R"([{"d":"2024-01-02","o":"abc","h":2,"l":1,"c":2,"v":5,"a":2}])") << "bad-data" << "not a number";
    QTest::newRow("unreadable date") << kBareRows << QByteArray(R"([{"d":"02/01/2024","o":1,"h":1,"l":1,"c":1}])")
                                     << "bad-data" << "no readable date";
    QTest::newRow("rows not where described") << kBareRows << QByteArray(R"({"rows":[]})") << "bad-data" << "";
    QTest::newRow("quota notice") << kBareRows << QByteArray(R"({"error":"Too many requests, slow down"})") << "rate-limited" << "";
    QTest::newRow("negative volume") << kJsonRows
        << QByteArray(R"([{"d":"2024-01-02","o":1,"h":2,"l":1,"c":2,"v":-5,"a":2}])") << "bad-data" << "volume";
}

void TestDescribedSource::rowRules()
{
    QFETCH(QString, which);
    QFETCH(QByteArray, body);
    QFETCH(QString, reason);
    QFETCH(QString, rows);
    const TableResult result =
        describedTable(described(which), body, 200, {QDate(2024, 1, 1), QDate(2024, 1, 31)}, HistoryPeriod::Daily);
    QCOMPARE(reasonText(result.reason), reason);
    if (reason.isEmpty())
        QCOMPARE(result.table, table(rows));
    else
        QVERIFY2(result.detail.contains(rows), qPrintable(result.detail));
}

// A user's own service: semicolons, German names and numbers, dd.MM.yyyy,
// newest first, a title line before the header, the key in a header.
void TestDescribedSource::germanCsvWithKeyInHeader()
{
    const SourceDescription d = described(QString::fromUtf8(kBoersenblickDescription));
    SourceSetup setup;
    setup.range = {QDate(2024, 1, 2), QDate(2024, 1, 31)};
    setup.apiKey = QStringLiteral("geheim");
    const std::unique_ptr<QuoteSource> source = makeDescribedSource(setup, d);
    QCOMPARE(source->name(), QStringLiteral("Börsenblick"));
    QVERIFY(source->writesPriceTable());
    const HttpGet get = source->dataRequest(QStringLiteral("SAP"), {}, setup.range);
    QCOMPARE(get.url, QStringLiteral("https://kurse.example.de/export/SAP.csv?von=02.01.2024&bis=31.01.2024"));
    QCOMPARE(get.headers.size(), 1);
    QCOMPARE(get.headers.at(0).first, QByteArray("X-Api-Key"));
    QCOMPARE(get.headers.at(0).second, QByteArray("geheim"));
    QVERIFY(!get.url.contains(QLatin1String("geheim")));

    const QByteArray body = "Kursdaten SAP SE\r\n"
                            "Datum;Eröffnung;Hoch;Tief;Schluss;Volumen\r\n"
                            "03.01.2024;139,50;140,10;138,20;139,80;1.234.567\r\n"
                            "02.01.2024;138,00;139,90;137,50;139,40;987.654\r\n"
                            "29.12.2023;137,00;138,00;136,00;137,50;500000\r\n";
    const TableResult result = source->convert(body, setup.range);
    QCOMPARE(reasonText(result.reason), QString());
    QCOMPARE(result.table, table(QStringLiteral("2024-01-03,139.5,140.1,138.2,139.8,1234567,139.8|"
                                                "2024-01-02,138,139.9,137.5,139.4,987654,139.4")));
}

// A user's own JSON service: rows under data.bars, fields in nested objects,
// epoch stamps that are midnight in Tokyo (the day before in UTC).
void TestDescribedSource::nestedJsonInTokyoTime()
{
    const SourceDescription d = described(QString::fromUtf8(kKabuDescription));
    SourceSetup setup;
    setup.range = {QDate(2024, 1, 4), QDate(2024, 1, 5)};
    const std::unique_ptr<QuoteSource> source = makeDescribedSource(setup, d, QStringLiteral("http://127.0.0.1:7000"));
    const HttpGet get = source->dataRequest(QStringLiteral("7203.T"), {}, setup.range);
    QCOMPARE(get.url, QStringLiteral("http://127.0.0.1:7000/v1/history?code=7203.T&start=1704326400&end=1704499200"));

    const QByteArray body = R"({"data": {"symbol": "7203", "bars": [
        {"time": 1704294000, "price": {"open": "2800", "high": 2850.5, "low": 2790, "close": 2840}, "volume": 120000},
        {"time": 1704380400, "price": {"open": 2845, "high": 2870, "low": 2830, "close": "2865"}, "volume": "98000"},
        {"time": 1704466800, "price": {"open": 1, "high": 1, "low": 1, "close": 1}, "volume": 1}]}})";
    const TableResult result = source->convert(body, setup.range);
    QCOMPARE(reasonText(result.reason), QString());
    QCOMPARE(result.table, table(QStringLiteral("2024-01-05,2845,2870,2830,2865,98000,2865|"
                                                "2024-01-04,2800,2850.5,2790,2840,120000,2840")));
}

QTEST_GUILESS_MAIN(TestDescribedSource)
#include "test_described_source.moc"
