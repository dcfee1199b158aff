// The local quote service (kestrion-quote-sim) that the other tests, the
// benchmarks and the demonstrations run against: its tables, query pages,
// result files, the Yahoo Chart and Tiingo APIs, unknown symbols, fault
// symbols and HTTP handling.

#include "sources/wall_street_city_source.h"
#include "testsupport.h"

#include "sources/quote_request.h"

#include <QDate>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <map>

using kestrion::test::QuoteService;

namespace {

struct Answer
{
    int status = 0; // 0: no HTTP answer at all
    QByteArray body;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    bool timedOut = false;
    qint64 elapsedMs = 0;
    QByteArray contentType;
    QByteArray retryAfter; // empty: no Retry-After
};

using Headers = QList<QPair<QByteArray, QByteArray>>;

Answer httpGet(QNetworkAccessManager& nam, int port, const QByteArray& pathAndQuery, int timeoutMs = 5000,
               const Headers& headers = {})
{
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(port) + pathAndQuery;
    QNetworkRequest request(QUrl::fromEncoded(url, QUrl::StrictMode));
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    QElapsedTimer clock;
    clock.start();
    QNetworkReply* reply = nam.get(request);
    Answer a;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        a.timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec();
    a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!a.timedOut)
        a.body = reply->readAll();
    a.error = reply->error();
    a.elapsedMs = clock.elapsed();
    a.contentType = reply->rawHeader("Content-Type");
    a.retryAfter = reply->rawHeader("Retry-After");
    delete reply;
    return a;
}

QByteArray yahooPath(const QByteArray& symbol, int a, const char* b, int c, int d, const char* e, int f,
                     const char* g)
{
    return "/table.csv?a=" + QByteArray::number(a) + "&b=" + b + "&c=" + QByteArray::number(c)
        + "&d=" + QByteArray::number(d) + "&e=" + e + "&f=" + QByteArray::number(f) + "&s=" + symbol
        + "&y=0&g=" + g + "&ignore=.csv";
}

QByteArray wscPath(const QByteArray& symbol, const QByteArray& start, const QByteArray& end, int type,
                   const QByteArray& format)
{
    QByteArray s = start, e = end;
    s.replace('/', "%2F");
    e.replace('/', "%2F");
    return "/wsc2/Historical_Quotes.html?Symbol=" + symbol + "&Button=Get+Quotes&StartDate=" + s
        + "&Type=" + QByteArray::number(type) + "&EndDate=" + e + "&Format=" + format;
}

QList<QByteArray> lines(const QByteArray& body)
{
    QList<QByteArray> out = body.split('\n');
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

struct Row
{
    QDate date;
    double open = 0, high = 0, low = 0, close = 0;
    qint64 volume = 0;
};

// A Yahoo table row, checked for the shape every bar must have.
Row parseYahooRow(const QByteArray& line)
{
    static const QRegularExpression shape(QStringLiteral(
        "^(\\d{4}-\\d{2}-\\d{2}),(\\d+\\.\\d{2}),(\\d+\\.\\d{2}),(\\d+\\.\\d{2}),(\\d+\\.\\d{2}),(\\d+),(\\d+\\.\\d{2})$"));
    const auto m = shape.match(QString::fromLatin1(line));
    Row r;
    if (!m.hasMatch()) {
        qWarning("malformed row: %s", line.constData());
        return r;
    }
    r.date = QDate::fromString(m.captured(1), Qt::ISODate);
    r.open = m.captured(2).toDouble();
    r.high = m.captured(3).toDouble();
    r.low = m.captured(4).toDouble();
    r.close = m.captured(5).toDouble();
    r.volume = m.captured(6).toLongLong();
    return r;
}

QList<Row> yahooRows(const QByteArray& body)
{
    QList<Row> rows;
    const QList<QByteArray> ls = lines(body);
    for (qsizetype i = 1; i < ls.size(); ++i)
        rows.append(parseYahooRow(ls[i]));
    return rows;
}


// The current APIs: Yahoo Chart wants a browser's User-Agent, Tiingo a key.
const QByteArray kBrowser("Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36");
const QByteArray kTiingoAuth("Token sim-tiingo-token");
constexpr qint64 kUnixEpochJulianDay = 2440588;

qint64 utcMidnight(const QDate& d)
{
    return (d.toJulianDay() - kUnixEpochJulianDay) * 86400;
}

// The exchange-local date of a Yahoo Chart timestamp.
QDate localDate(qint64 timestamp, qint64 gmtoffset)
{
    const qint64 local = timestamp + gmtoffset;
    const qint64 day = local >= 0 ? local / 86400 : -((-local + 86399) / 86400);
    return QDate::fromJulianDay(day + kUnixEpochJulianDay);
}

// Bars of the local dates [from, to].
QByteArray chartPath(const QByteArray& symbol, const QDate& from, const QDate& to, const char* interval)
{
    return "/v8/finance/chart/" + symbol + "?period1=" + QByteArray::number(utcMidnight(from))
        + "&period2=" + QByteArray::number(utcMidnight(to.addDays(1))) + "&interval=" + interval
        + "&events=div%2Csplits&includeAdjustedClose=true";
}

QByteArray tiingoPath(const QByteArray& symbol, const QDate& from, const QDate& to, const char* freq)
{
    return "/tiingo/daily/" + symbol + "/prices?startDate=" + from.toString(Qt::ISODate).toLatin1()
        + "&endDate=" + to.toString(Qt::ISODate).toLatin1() + "&resampleFreq=" + freq + "&format=csv";
}

struct Chart
{
    QJsonObject result; // chart.result[0]
    qint64 gmtoffset = 0;
    QList<qint64> timestamps;
    QJsonArray open, high, low, close, volume, adjclose;
    bool wellFormed = false; // a JSON object of the Yahoo Chart shape, arrays of one length
};

Chart parseChart(const QByteArray& body)
{
    Chart c;
    QJsonParseError error{};
    const QJsonObject chart = QJsonDocument::fromJson(body, &error).object().value(QLatin1String("chart")).toObject();
    if (error.error != QJsonParseError::NoError || !chart.value(QLatin1String("error")).isNull())
        return c;
    c.result = chart.value(QLatin1String("result")).toArray().at(0).toObject();
    c.gmtoffset = c.result.value(QLatin1String("meta")).toObject().value(QLatin1String("gmtoffset")).toInteger();
    for (const QJsonValue& t : c.result.value(QLatin1String("timestamp")).toArray())
        c.timestamps.append(t.toInteger());
    const QJsonObject indicators = c.result.value(QLatin1String("indicators")).toObject();
    const QJsonObject quote = indicators.value(QLatin1String("quote")).toArray().at(0).toObject();
    c.open = quote.value(QLatin1String("open")).toArray();
    c.high = quote.value(QLatin1String("high")).toArray();
    c.low = quote.value(QLatin1String("low")).toArray();
    c.close = quote.value(QLatin1String("close")).toArray();
    c.volume = quote.value(QLatin1String("volume")).toArray();
    c.adjclose = indicators.value(QLatin1String("adjclose")).toArray().at(0).toObject().value(QLatin1String("adjclose")).toArray();
    const qsizetype n = c.timestamps.size();
    c.wellFormed = !c.result.isEmpty() && c.open.size() == n && c.high.size() == n && c.low.size() == n
        && c.close.size() == n && c.volume.size() == n && c.adjclose.size() == n;
    return c;
}

// A Tiingo CSV row as fields; rows() of the answer without the header.
QList<QList<QByteArray>> csvRows(const QByteArray& body)
{
    QList<QList<QByteArray>> rows;
    const QList<QByteArray> ls = lines(body);
    for (qsizetype i = 1; i < ls.size(); ++i)
        rows.append(ls[i].split(','));
    return rows;
}

// Tiingo columns.
enum { TDate, TClose, THigh, TLow, TOpen, TVolume, TAdjClose, TAdjHigh, TAdjLow, TAdjOpen, TAdjVolume, TDiv, TSplit };

qint64 cents(const QByteArray& price)
{
    return qRound64(price.toDouble() * 100.0);
}

} // namespace

class TestQuoteService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void yahooTable_data();
    void yahooTable();
    void periodsAggregateDailyBars_data();
    void periodsAggregateDailyBars();
    void barsDoNotDependOnRange();
    void wscResultFile_data();
    void wscResultFile();
    void wscTwoDigitYears_data();
    void wscTwoDigitYears();
    void unknownSymbols_data();
    void unknownSymbols();
    void faults_data();
    void faults();
    void hangHoldsOnlyItsConnection();
    void httpFraming_data();
    void httpFraming();
    void delayAndLogOptions();
    void pages_data();
    void pages();
    void yahooChart_data();
    void yahooChart();
    void yahooChartRefusals_data();
    void yahooChartRefusals();
    void yahooChartFaultRows_data();
    void yahooChartFaultRows();
    void tiingo_data();
    void tiingo();
    void tiingoSplitAndDividend_data();
    void tiingoSplitAndDividend();
    void apiFaults_data();
    void apiFaults();
    void tiingoTokenOption();
    void helpListsTheApis_data();
    void helpListsTheApis();

private:
    Answer get(const QByteArray& pathAndQuery, int timeoutMs = 5000, const Headers& headers = {})
    {
        return httpGet(m_nam, m_service.port(), pathAndQuery, timeoutMs, headers);
    }
    Answer getChart(const QByteArray& pathAndQuery) { return get(pathAndQuery, 5000, {{"User-Agent", kBrowser}}); }
    Answer getTiingo(const QByteArray& pathAndQuery) { return get(pathAndQuery, 5000, {{"Authorization", kTiingoAuth}}); }
    // Closes of the Yahoo table for the same symbol and days, by date.
    std::map<QDate, double> tableCloses(const QByteArray& symbol, const QDate& from, const QDate& to);
    // The query page of a Wall Street City request and the file it names.
    QByteArray wscFile(const QByteArray& queryPath, QByteArray* page = nullptr);

    QuoteService m_service;
    QNetworkAccessManager m_nam;
};

void TestQuoteService::initTestCase()
{
    QVERIFY(m_service.start());
}

QByteArray TestQuoteService::wscFile(const QByteArray& queryPath, QByteArray* pageOut)
{
    const Answer page = get(queryPath);
    if (pageOut)
        *pageOut = page.body;
    if (page.status != 200)
        return {};
    // Resolved the way the download run resolves it.
    const QByteArray name = kestrion::wscResultName(page.body);
    if (!QRegularExpression(QStringLiteral("^[a-z0-9]{11}\\.txt$")).match(QString::fromLatin1(name)).hasMatch()) {
        qWarning("no result file name in the page: %s", name.constData());
        return {};
    }
    const Answer file = get("/dynamic/" + name);
    return file.status == 200 ? file.body : QByteArray();
}

void TestQuoteService::yahooTable_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QDate>("newest");
    QTest::addColumn<QDate>("oldest");
    QTest::addColumn<int>("rows");

    QTest::newRow("daily, weekdays inside the range")
        << yahooPath("MSFT", 0, "01", 2003, 0, "15", 2003, "d") << QDate(2003, 1, 1) << QDate(2003, 1, 15)
        << QDate(2003, 1, 15) << QDate(2003, 1, 1) << 11;
    QTest::newRow("daily, range from Saturday to Sunday")
        << yahooPath("MSFT", 0, "04", 2003, 0, "12", 2003, "d") << QDate(2003, 1, 4) << QDate(2003, 1, 12)
        << QDate(2003, 1, 10) << QDate(2003, 1, 6) << 5;
    QTest::newRow("daily, December") << yahooPath("IBM", 11, "01", 2003, 11, "31", 2003, "d")
                                     << QDate(2003, 12, 1) << QDate(2003, 12, 31) << QDate(2003, 12, 31)
                                     << QDate(2003, 12, 1) << 23;
    QTest::newRow("daily, Feb 31 stands for the month's end")
        << yahooPath("IBM", 1, "24", 2003, 1, "31", 2003, "d") << QDate(2003, 2, 24) << QDate(2003, 2, 28)
        << QDate(2003, 2, 28) << QDate(2003, 2, 24) << 5;
    QTest::newRow("weekly, first week starts mid-week")
        << yahooPath("MSFT", 0, "01", 2003, 8, "25", 2003, "w") << QDate(2003, 1, 1) << QDate(2003, 9, 25)
        << QDate(2003, 9, 22) << QDate(2003, 1, 1) << 39;
    QTest::newRow("monthly") << yahooPath("MSFT", 0, "01", 2003, 8, "25", 2003, "m") << QDate(2003, 1, 1)
                             << QDate(2003, 9, 25) << QDate(2003, 9, 1) << QDate(2003, 1, 1) << 9;
    QTest::newRow("monthly, months starting on a weekend")
        << yahooPath("BCE.TO", 1, "15", 2003, 2, "31", 2003, "m") << QDate(2003, 2, 15) << QDate(2003, 3, 31)
        << QDate(2003, 3, 3) << QDate(2003, 2, 17) << 2;
    QTest::newRow("encoded symbol") << yahooPath("A%26B%2FC%20D", 0, "01", 2003, 0, "03", 2003, "d")
                                    << QDate(2003, 1, 1) << QDate(2003, 1, 3) << QDate(2003, 1, 3)
                                    << QDate(2003, 1, 1) << 3;
}

void TestQuoteService::yahooTable()
{
    QFETCH(QByteArray, path);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QDate, newest);
    QFETCH(QDate, oldest);
    QFETCH(int, rows);

    const Answer a = get(path);
    QCOMPARE(a.status, 200);
    QVERIFY(!a.body.contains('\r'));
    QCOMPARE(lines(a.body).value(0), QByteArray("Date,Open,High,Low,Close,Volume,Adj Close"));
    const QList<Row> bars = yahooRows(a.body);
    QCOMPARE(bars.size(), rows);
    QCOMPARE(bars.first().date, newest);
    QCOMPARE(bars.last().date, oldest);
    for (qsizetype i = 0; i < bars.size(); ++i) {
        const Row& r = bars[i];
        QVERIFY2(r.date.isValid(), "every row is well formed");
        QVERIFY(r.date >= from && r.date <= to);
        QVERIFY2(r.date.dayOfWeek() <= Qt::Friday, qPrintable(r.date.toString(Qt::ISODate)));
        if (i > 0)
            QVERIFY2(r.date < bars[i - 1].date, "newest first");
        QVERIFY(r.low >= 1.0);
        QVERIFY(r.low <= r.open && r.low <= r.close);
        QVERIFY(r.high >= r.open && r.high >= r.close);
        QVERIFY(r.volume > 0);
    }
}

void TestQuoteService::periodsAggregateDailyBars_data()
{
    QTest::addColumn<QByteArray>("period");
    QTest::newRow("weekly") << QByteArray("w");
    QTest::newRow("monthly") << QByteArray("m");
}

void TestQuoteService::periodsAggregateDailyBars()
{
    QFETCH(QByteArray, period);
    // Starts on a Wednesday, ends on a Thursday: partial first and last periods.
    const QList<Row> days = yahooRows(get(yahooPath("AGG", 0, "08", 2003, 4, "15", 2003, "d")).body);
    const QList<Row> bars = yahooRows(get(yahooPath("AGG", 0, "08", 2003, 4, "15", 2003, period.constData())).body);
    QVERIFY(days.size() > 80);

    const auto key = [&period](const QDate& d) {
        return period == "w" ? d.addDays(1 - d.dayOfWeek()).toJulianDay() : qint64(d.year()) * 12 + d.month();
    };
    std::map<qint64, Row> expected; // oldest first
    for (auto it = days.crbegin(); it != days.crend(); ++it) {
        auto [pos, fresh] = expected.try_emplace(key(it->date), *it);
        if (fresh)
            continue;
        Row& agg = pos->second;
        agg.high = std::max(agg.high, it->high);
        agg.low = std::min(agg.low, it->low);
        agg.close = it->close;
        agg.volume += it->volume;
    }
    QCOMPARE(bars.size(), qsizetype(expected.size()));
    auto want = expected.crbegin();
    for (const Row& got : bars) {
        const Row& w = (want++)->second;
        QCOMPARE(got.date, w.date);
        QCOMPARE(got.open, w.open);
        QCOMPARE(got.high, w.high);
        QCOMPARE(got.low, w.low);
        QCOMPARE(got.close, w.close);
        QCOMPARE(got.volume, w.volume);
    }
}

void TestQuoteService::barsDoNotDependOnRange()
{
    const QList<Row> year = yahooRows(get(yahooPath("STABLE", 0, "01", 2002, 11, "31", 2002, "d")).body);
    const QList<Row> day = yahooRows(get(yahooPath("STABLE", 5, "12", 2002, 5, "12", 2002, "d")).body);
    const QList<Row> other = yahooRows(get(yahooPath("OTHER", 5, "12", 2002, 5, "12", 2002, "d")).body);
    QCOMPARE(day.size(), 1);
    QCOMPARE(other.size(), 1);
    const auto match = std::find_if(year.cbegin(), year.cend(), [&](const Row& r) { return r.date == day[0].date; });
    QVERIFY(match != year.cend());
    QCOMPARE(match->open, day[0].open);
    QCOMPARE(match->close, day[0].close);
    QCOMPARE(match->volume, day[0].volume);
    // Lower case asks for the same symbol; another symbol has other prices.
    QCOMPARE(yahooRows(get(yahooPath("stable", 5, "12", 2002, 5, "12", 2002, "d")).body).value(0).close, day[0].close);
    QVERIFY(other[0].close != day[0].close || other[0].volume != day[0].volume);
}

void TestQuoteService::wscResultFile_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QByteArray>("header");    // empty: no header line
    QTest::addColumn<QString>("firstRow");     // pattern of the first bar's line
    QTest::addColumn<int>("fields");

    // Monthly bars of January to September 2003 (nine bars, the first dated 2003-01-01).
    QTest::newRow("4 ASCII 1 Quicken") << QByteArray("4") << QByteArray()
                                       << QStringLiteral("^MSFT,\\d+\\.\\d\\d,01/01/03$") << 3;
    QTest::newRow("1 ASCII 7 MetaStock")
        << QByteArray("1") << QByteArray("<TICKER>,<PER>,<DTYYYYMMDD>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>")
        << QStringLiteral("^MSFT,M,20030101,(\\d+\\.\\d\\d,){4}\\d+,0$") << 9;
    QTest::newRow("6 HEADER 5") << QByteArray("6") << QByteArray("Date,High,Low,Close,Volume")
                                << QStringLiteral("^01/01/2003,(\\d+\\.\\d\\d,){3}\\d+$") << 5;
    QTest::newRow("5 HEADER 7") << QByteArray("5") << QByteArray("Date,Open,High,Low,Close,Volume,OpenInt")
                                << QStringLiteral("^01/01/2003,(\\d+\\.\\d\\d,){4}\\d+,0$") << 7;
    QTest::newRow("7 YYMMDD7") << QByteArray("7") << QByteArray()
                               << QStringLiteral("^030101,(\\d+\\.\\d\\d,){4}\\d+,0$") << 7;
    QTest::newRow("unknown code as 5") << QByteArray("9")
                                       << QByteArray("Date,Open,High,Low,Close,Volume,OpenInt")
                                       << QStringLiteral("^01/01/2003,(\\d+\\.\\d\\d,){4}\\d+,0$") << 7;
    QTest::newRow("3 DIF 7") << QByteArray("3") << QByteArray("TABLE") << QString() << 7;
}

void TestQuoteService::wscResultFile()
{
    QFETCH(QByteArray, format);
    QFETCH(QByteArray, header);
    QFETCH(QString, firstRow);
    QFETCH(int, fields);

    QByteArray page;
    const QByteArray file = wscFile(wscPath("msft", "1/01/03", "9/25/03", 2, format), &page);
    QVERIFY2(!file.isEmpty(), page.constData());
    QVERIFY(!file.startsWith("<h") && !file.startsWith("No"));
    for (const char c : file)
        QVERIFY(static_cast<unsigned char>(c) < 0x80);

    const QList<QByteArray> ls = lines(file);
    if (format == "3") {
        // A DIF file: header items, one label tuple and nine data tuples of
        // seven values each, then EOD.
        QVERIFY(file.startsWith("TABLE\n0,1\n"));
        QVERIFY(file.contains("\nVECTORS\n0,7\n"));
        QVERIFY(file.contains("\nTUPLES\n0,10\n"));
        QVERIFY(file.contains("\nDATA\n0,0\n\"\"\n"));
        QVERIFY(file.endsWith("-1,0\nEOD\n"));
        QCOMPARE(file.count("\nBOT\n"), 10);
        QCOMPARE(file.count("\nV\n"), 9 * fields);
        QVERIFY(file.contains("BOT\n0,20030101\nV\n"));
        return;
    }
    const int headerLines = header.isEmpty() ? 0 : 1;
    if (headerLines)
        QCOMPARE(ls.value(0), header);
    QCOMPARE(ls.size(), 9 + headerLines);
    const QString first = QString::fromLatin1(ls.value(headerLines));
    QVERIFY2(QRegularExpression(firstRow).match(first).hasMatch(), qPrintable(first));
    for (qsizetype i = headerLines; i < ls.size(); ++i)
        QCOMPARE(ls[i].count(',') + 1, fields);
}

void TestQuoteService::wscTwoDigitYears_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<QByteArray>("firstDate");
    QTest::addColumn<QByteArray>("lastDate");

    QTest::newRow("70 is 1970") << QByteArray("1/01/70") << QByteArray("1/02/70") << QByteArray("19700101")
                                << QByteArray("19700102");
    QTest::newRow("69 is 2069") << QByteArray("12/29/69") << QByteArray("12/31/69") << QByteArray("20691230")
                                << QByteArray("20691231");
    QTest::newRow("across 2000") << QByteArray("12/31/99") << QByteArray("1/07/00") << QByteArray("19991231")
                                 << QByteArray("20000107");
}

void TestQuoteService::wscTwoDigitYears()
{
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, end);
    QFETCH(QByteArray, firstDate);
    QFETCH(QByteArray, lastDate);
    const QList<QByteArray> ls = lines(wscFile(wscPath("IBM", start, end, 0, "1")));
    QVERIFY(ls.size() >= 2);
    QCOMPARE(ls[1].split(',').value(2), firstDate);
    QCOMPARE(ls.last().split(',').value(2), lastDate);
    QVERIFY(ls[1].startsWith("IBM,D,"));
}

void TestQuoteService::unknownSymbols_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("bodyStart");

    QTest::newRow("yahoo ZZ") << yahooPath("ZZTOP", 0, "01", 2003, 8, "25", 2003, "d") << 404 << QByteArray("<html>");
    QTest::newRow("yahoo lower-case zz") << yahooPath("zzx", 0, "01", 2003, 8, "25", 2003, "d") << 404
                                         << QByteArray("<html>");
    QTest::newRow("yahoo empty") << yahooPath("", 0, "01", 2003, 8, "25", 2003, "d") << 404 << QByteArray("<html>");
    QTest::newRow("yahoo range without weekday") << yahooPath("MSFT", 0, "04", 2003, 0, "05", 2003, "d") << 404
                                                 << QByteArray("<html>");
    QTest::newRow("yahoo bad date") << QByteArray("/table.csv?a=x&b=01&c=2003&d=0&e=05&f=2003&s=MSFT") << 400
                                    << QByteArray("<html>");
    QTest::newRow("wsc ZZ") << wscPath("ZZTOP", "1/01/03", "9/25/03", 0, "5") << 200 << QByteArray();
    QTest::newRow("wsc empty") << wscPath("", "1/01/03", "9/25/03", 0, "5") << 200 << QByteArray();
    QTest::newRow("wsc bad date") << wscPath("MSFT", "0/01/03", "9/25/03", 0, "5") << 200 << QByteArray();
    QTest::newRow("unknown result file") << QByteArray("/dynamic/abcdefghijk.txt") << 404 << QByteArray("<html>");
}

void TestQuoteService::unknownSymbols()
{
    QFETCH(QByteArray, path);
    QFETCH(int, status);
    QFETCH(QByteArray, bodyStart);
    const Answer a = get(path);
    QCOMPARE(a.status, status);
    QVERIFY(a.body.startsWith(bodyStart));
    if (path.startsWith("/wsc2/")) {
        // A page without a result file: no link, and no whole word to find.
        QVERIFY(!a.body.contains("/dynamic/"));
        QVERIFY(!QRegularExpression(QStringLiteral("\\bdynamic\\b")).match(QString::fromLatin1(a.body)).hasMatch());
    }
}

void TestQuoteService::faults_data()
{
    QTest::addColumn<QByteArray>("service"); // "yahoo" or "wsc"
    QTest::addColumn<QByteArray>("symbol");
    QTest::addColumn<QList<int>>("statuses"); // of successive requests; 0: no answer
    QTest::addColumn<QByteArray>("lastBodyStart");
    QTest::addColumn<int>("timeoutMs");

    QTest::newRow("FAIL2 yahoo") << QByteArray("yahoo") << QByteArray("FAIL2_A") << QList<int>{503, 503, 200}
                                 << QByteArray("Date,Open") << 5000;
    QTest::newRow("FAIL2 wsc") << QByteArray("wsc") << QByteArray("FAIL2_B") << QList<int>{503, 503, 200}
                               << QByteArray("Date,Open") << 5000;
    QTest::newRow("FAIL1 per symbol text") << QByteArray("yahoo") << QByteArray("FAIL1_A") << QList<int>{503, 200}
                                           << QByteArray("Date,Open") << 5000;
    QTest::newRow("E500") << QByteArray("yahoo") << QByteArray("E500_X") << QList<int>{500, 500} << QByteArray()
                          << 5000;
    QTest::newRow("E500 wsc") << QByteArray("wsc") << QByteArray("E500_X") << QList<int>{500} << QByteArray() << 5000;
    QTest::newRow("NO_") << QByteArray("yahoo") << QByteArray("NO_X") << QList<int>{200}
                         << QByteArray("No data available for NO_X") << 5000;
    QTest::newRow("NO_ wsc") << QByteArray("wsc") << QByteArray("NO_Y") << QList<int>{200}
                             << QByteArray("No data available for NO_Y") << 5000;
    QTest::newRow("RESET_") << QByteArray("yahoo") << QByteArray("RESET_X") << QList<int>{0} << QByteArray() << 5000;
    QTest::newRow("RESET_ wsc") << QByteArray("wsc") << QByteArray("RESET_X") << QList<int>{0} << QByteArray() << 5000;
    QTest::newRow("HANG_") << QByteArray("yahoo") << QByteArray("HANG_X") << QList<int>{0} << QByteArray() << 300;
    QTest::newRow("HANG_ wsc") << QByteArray("wsc") << QByteArray("HANG_X") << QList<int>{0} << QByteArray() << 300;
    QTest::newRow("SLOW_") << QByteArray("yahoo") << QByteArray("SLOW_X") << QList<int>{200} << QByteArray("Date,Open")
                           << 5000;
    QTest::newRow("BIG_") << QByteArray("yahoo") << QByteArray("BIG_X") << QList<int>{200} << QByteArray("Date,Open")
                          << 5000;
}

void TestQuoteService::faults()
{
    QFETCH(QByteArray, service);
    QFETCH(QByteArray, symbol);
    QFETCH(QList<int>, statuses);
    QFETCH(QByteArray, lastBodyStart);
    QFETCH(int, timeoutMs);

    const QByteArray path = service == "yahoo" ? yahooPath(symbol, 0, "01", 2003, 0, "31", 2003, "d")
                                               : wscPath(symbol, "1/01/03", "1/31/03", 0, "5");
    Answer a;
    for (const int status : statuses) {
        a = get(path, timeoutMs);
        QCOMPARE(a.status, status);
        if (status == 503)
            QVERIFY(a.body.isEmpty());
        if (status == 500)
            QVERIFY(!a.body.isEmpty() && !a.body.startsWith("Date"));
        if (status == 0)
            QVERIFY(a.error != QNetworkReply::NoError);
    }
    if (symbol.startsWith("HANG_"))
        QVERIFY(a.timedOut);
    if (symbol.startsWith("RESET_"))
        QVERIFY(!a.timedOut);
    if (symbol.startsWith("SLOW_")) {
        QVERIFY2(a.elapsedMs >= 1500, qPrintable(QString::number(a.elapsedMs)));
        QCOMPARE(lines(a.body).size(), 24); // header and the 23 weekdays: nothing lost on the way
    }
    if (symbol.startsWith("BIG_")) {
        QVERIFY(a.body.size() > 1500000);
        QVERIFY(a.body.endsWith("\n"));
        QCOMPARE(lines(a.body).last().left(10), QByteArray("1900-01-01"));
    }

    QByteArray body = a.body;
    if (service == "wsc" && a.status == 200 && !symbol.startsWith("NO_")) {
        // After its failures the query page works and names a real file.
        body = get("/dynamic/" + kestrion::wscResultName(a.body)).body;
    }
    QVERIFY2(body.startsWith(lastBodyStart), body.left(80).constData());
}

void TestQuoteService::hangHoldsOnlyItsConnection()
{
    QNetworkAccessManager hangingClient;
    QNetworkReply* hanging = hangingClient.get(QNetworkRequest(QUrl(
        QStringLiteral("http://127.0.0.1:%1%2")
            .arg(m_service.port())
            .arg(QString::fromLatin1(yahooPath("HANG_Z", 0, "01", 2003, 0, "31", 2003, "d"))))));
    QTest::qWait(100);
    const Answer a = get(yahooPath("MSFT", 0, "01", 2003, 0, "31", 2003, "d"), 2000);
    QCOMPARE(a.status, 200);
    QVERIFY(!hanging->isFinished());
    hanging->abort();
    delete hanging;
}

void TestQuoteService::httpFraming_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QList<int>>("statuses");
    QTest::addColumn<bool>("closes");

    QTest::newRow("keep-alive, two requests on one connection")
        << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\nGET /search HTTP/1.1\r\nHost: x\r\n\r\n") << QList<int>{200, 200}
        << false;
    QTest::newRow("Connection: close")
        << QByteArray("GET / HTTP/1.1\r\nConnection: close\r\n\r\nGET / HTTP/1.1\r\n\r\n") << QList<int>{200} << true;
    QTest::newRow("HTTP/1.0 closes") << QByteArray("GET /search HTTP/1.0\r\n\r\n") << QList<int>{200} << true;
    QTest::newRow("malformed request line") << QByteArray("nonsense\r\n\r\n") << QList<int>{400} << true;
    QTest::newRow("malformed header") << QByteArray("GET / HTTP/1.1\r\nno colon here\r\n\r\n") << QList<int>{400}
                                      << true;
    QTest::newRow("binary garbage") << QByteArray("\x01\xff\xfe\x00 \r\n\r\n", 9) << QList<int>{400} << true;
    QTest::newRow("unknown path, then more")
        << QByteArray("GET /nowhere HTTP/1.1\r\n\r\nGET / HTTP/1.1\r\n\r\n") << QList<int>{404, 200} << false;
    QTest::newRow("other method") << QByteArray("DELETE / HTTP/1.1\r\n\r\n") << QList<int>{405} << false;
    // Yahoo Chart turns away clients without a browser's User-Agent.
    const QByteArray chart = "GET " + chartPath("MSFT", QDate(2003, 1, 6), QDate(2003, 1, 10), "1d") + " HTTP/1.1\r\n";
    QTest::newRow("chart without User-Agent") << chart + "\r\n" << QList<int>{429} << false;
    QTest::newRow("chart, User-Agent not a browser's") << chart + "User-Agent: curl/8.0\r\n\r\n" << QList<int>{429}
                                                       << false;
    QTest::newRow("chart, browser User-Agent") << chart + "User-Agent: " + kBrowser + "\r\n\r\n" << QList<int>{200}
                                               << false;
}

void TestQuoteService::httpFraming()
{
    QFETCH(QByteArray, request);
    QFETCH(QList<int>, statuses);
    QFETCH(bool, closes);

    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_service.port()));
    QVERIFY(socket.waitForConnected(2000));
    socket.write(request);

    // Reads answers by their Content-Length until the expected number came
    // or the server closed.
    QByteArray in;
    QList<int> got;
    QElapsedTimer clock;
    clock.start();
    bool closed = false;
    while (clock.elapsed() < 3000) {
        const qsizetype headEnd = in.indexOf("\r\n\r\n");
        if (headEnd >= 0) {
            const QByteArray head = in.left(headEnd);
            const auto m = QRegularExpression(QStringLiteral("\r\nContent-Length: (\\d+)"),
                                              QRegularExpression::CaseInsensitiveOption)
                               .match(QString::fromLatin1(head));
            QVERIFY2(m.hasMatch(), head.constData());
            const qsizetype total = headEnd + 4 + m.captured(1).toLongLong();
            if (in.size() >= total) {
                got.append(head.mid(9, 3).toInt());
                in.remove(0, total);
                continue;
            }
        }
        if (got.size() == statuses.size() && (!closes || closed))
            break;
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0) {
            closed = true;
            if (got.size() >= statuses.size() || in.isEmpty())
                break;
        }
        if (socket.waitForReadyRead(200))
            in.append(socket.readAll());
    }
    if (!closes) // nothing more must come, and the connection stays usable
        QVERIFY(!socket.waitForDisconnected(300));
    QCOMPARE(got, statuses);
    QVERIFY(in.isEmpty());
    QCOMPARE(closed || socket.state() != QAbstractSocket::ConnectedState, closes);
}

void TestQuoteService::delayAndLogOptions()
{
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("requests.log"));
    QuoteService slow;
    QVERIFY(slow.start({QStringLiteral("--delay-ms"), QStringLiteral("300"), QStringLiteral("--log"), logPath}));
    QNetworkAccessManager nam;
    const Answer first = httpGet(nam, slow.port(), "/");
    const Answer second = httpGet(nam, slow.port(), yahooPath("ZZQ", 0, "01", 2003, 0, "31", 2003, "d"));
    QCOMPARE(first.status, 200);
    QCOMPARE(second.status, 404);
    QVERIFY(first.elapsedMs >= 280 && second.elapsedMs >= 280);
    const QList<QByteArray> logged = lines(kestrion::test::readAll(logPath));
    QCOMPARE(logged.size(), 2);
    QCOMPARE(logged[0], QByteArray("GET /"));
    QCOMPARE(logged[1], "GET " + yahooPath("ZZQ", 0, "01", 2003, 0, "31", 2003, "d"));
}

void TestQuoteService::pages_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<QByteArray>("contains");

    QTest::newRow("chart") << QByteArray("/intchart/frames/main.asp?symb=bce&time=8&freq=1&country=ca")
                           << QByteArray("BCE chart") << QByteArray("<polyline");
    QTest::newRow("chart, period shown") << QByteArray("/intchart/frames/main.asp?symb=msft&time=12&freq=1&country=us")
                                         << QByteArray("MSFT chart") << QByteArray("Country: us");
    QTest::newRow("chart, no symbol") << QByteArray("/intchart/frames/main.asp?symb=&time=8&freq=1&country=us")
                                      << QByteArray("Chart") << QByteArray("Time: 8");
    QTest::newRow("chart, markup in the symbol is text")
        << QByteArray("/intchart/frames/main.asp?symb=%3Cb%3E&time=8&freq=1&country=us") << QByteArray("&lt;B&gt; chart")
        << QByteArray("<h1>&lt;B&gt; chart</h1>");
    QTest::newRow("home") << QByteArray("/") << QByteArray("Kestrion Home") << QByteArray("</html>");
    QTest::newRow("search") << QByteArray("/search") << QByteArray("Kestrion Search") << QByteArray("<form");
}

void TestQuoteService::pages()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, title);
    QFETCH(QByteArray, contains);
    const Answer a = get(path);
    QCOMPARE(a.status, 200);
    QVERIFY2(a.body.contains("<title>" + title + "</title>"), a.body.left(200).constData());
    QVERIFY(a.body.contains(contains));
}

std::map<QDate, double> TestQuoteService::tableCloses(const QByteArray& symbol, const QDate& from, const QDate& to)
{
    std::map<QDate, double> closes;
    const QByteArray path = yahooPath(symbol, from.month() - 1, qPrintable(QString::number(from.day())), from.year(),
                                      to.month() - 1, qPrintable(QString::number(to.day())), to.year(), "d");
    for (const Row& r : yahooRows(get(path).body))
        closes[r.date] = r.close;
    return closes;
}

void TestQuoteService::yahooChart_data()
{
    QTest::addColumn<QByteArray>("symbol"); // as it goes into the path
    QTest::addColumn<QByteArray>("interval");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QDate>("first"); // local dates
    QTest::addColumn<QDate>("last");
    QTest::addColumn<int>("gmtoffset");
    QTest::addColumn<QString>("metaSymbol");

    QTest::newRow("daily") << QByteArray("MSFT") << QByteArray("1d") << QDate(2003, 1, 1) << QDate(2003, 1, 15) << 11
                           << QDate(2003, 1, 1) << QDate(2003, 1, 15) << -18000 << QStringLiteral("MSFT");
    QTest::newRow("daily, lower case") << QByteArray("msft") << QByteArray("1d") << QDate(2003, 1, 4)
                                       << QDate(2003, 1, 12) << 5 << QDate(2003, 1, 6) << QDate(2003, 1, 10) << -18000
                                       << QStringLiteral("MSFT");
    QTest::newRow("weekly, stamped Monday") << QByteArray("MSFT") << QByteArray("1wk") << QDate(2003, 1, 1)
                                            << QDate(2003, 3, 5) << 10 << QDate(2002, 12, 30) << QDate(2003, 3, 3)
                                            << -18000 << QStringLiteral("MSFT");
    QTest::newRow("monthly, stamped first weekday")
        << QByteArray("IBM") << QByteArray("1mo") << QDate(2003, 2, 15) << QDate(2003, 3, 31) << 2
        << QDate(2003, 2, 3) << QDate(2003, 3, 3) << -18000 << QStringLiteral("IBM");
    QTest::newRow("Tokyo daily") << QByteArray("7203.T") << QByteArray("1d") << QDate(2003, 1, 1) << QDate(2003, 1, 3)
                                 << 3 << QDate(2003, 1, 1) << QDate(2003, 1, 3) << 32400 << QStringLiteral("7203.T");
    QTest::newRow("Tokyo weekly") << QByteArray("6758.t") << QByteArray("1wk") << QDate(2003, 1, 1)
                                  << QDate(2003, 1, 15) << 3 << QDate(2002, 12, 30) << QDate(2003, 1, 13) << 32400
                                  << QStringLiteral("6758.T");
    QTest::newRow("percent-encoded ^GSPC") << QByteArray("%5EGSPC") << QByteArray("1d") << QDate(2003, 1, 6)
                                           << QDate(2003, 1, 10) << 5 << QDate(2003, 1, 6) << QDate(2003, 1, 10)
                                           << -18000 << QStringLiteral("^GSPC");
    QTest::newRow("before 1970") << QByteArray("OLD") << QByteArray("1d") << QDate(1960, 1, 4) << QDate(1960, 1, 8)
                                 << 5 << QDate(1960, 1, 4) << QDate(1960, 1, 8) << -18000 << QStringLiteral("OLD");
}

void TestQuoteService::yahooChart()
{
    QFETCH(QByteArray, symbol);
    QFETCH(QByteArray, interval);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(int, rows);
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    QFETCH(int, gmtoffset);
    QFETCH(QString, metaSymbol);

    const Answer a = getChart(chartPath(symbol, from, to, interval.constData()));
    QCOMPARE(a.status, 200);
    QVERIFY(a.contentType.startsWith("application/json"));
    const Chart c = parseChart(a.body);
    QVERIFY2(c.wellFormed, a.body.left(300).constData());
    const QJsonObject meta = c.result.value(QLatin1String("meta")).toObject();
    QCOMPARE(meta.value(QLatin1String("symbol")).toString(), metaSymbol);
    QCOMPARE(c.gmtoffset, gmtoffset);
    QCOMPARE(meta.value(QLatin1String("dataGranularity")).toString(), QString::fromLatin1(interval));
    QVERIFY(!c.result.contains(QLatin1String("events")));
    QCOMPARE(c.timestamps.size(), rows);
    QCOMPARE(localDate(c.timestamps.first(), gmtoffset), first);
    QCOMPARE(localDate(c.timestamps.last(), gmtoffset), last);

    const bool tokyo = gmtoffset == 32400;
    // Daily answers must carry the same closes as the Yahoo table for those days.
    const auto closes = interval == "1d" ? tableCloses(symbol, from, to) : std::map<QDate, double>{};
    for (qsizetype i = 0; i < c.timestamps.size(); ++i) {
        const qint64 ts = c.timestamps[i];
        const QDate day = localDate(ts, gmtoffset);
        // 09:30 in New York; 00:00 in Tokyo, 15:00 UTC the day before.
        QCOMPARE(ts - utcMidnight(day), tokyo ? qint64(-32400) : qint64(52200));
        if (i > 0)
            QVERIFY2(ts > c.timestamps[i - 1], "oldest first");
        if (interval == "1wk")
            QCOMPARE(day.dayOfWeek(), int(Qt::Monday));
        if (interval == "1mo") { // the month's first weekday
            QDate firstWeekday(day.year(), day.month(), 1);
            while (firstWeekday.dayOfWeek() > Qt::Friday)
                firstWeekday = firstWeekday.addDays(1);
            QCOMPARE(day, firstWeekday);
        }
        const double o = c.open[i].toDouble(), h = c.high[i].toDouble(), l = c.low[i].toDouble();
        const double cl = c.close[i].toDouble();
        QVERIFY(l >= 1.0 && l <= o && l <= cl && h >= o && h >= cl);
        QVERIFY(c.volume[i].isDouble() && c.volume[i].toInteger() > 0);
        QCOMPARE(c.volume[i].toDouble(), double(c.volume[i].toInteger()));
        QCOMPARE(c.adjclose[i].toDouble(), cl);
        if (interval == "1d") {
            QVERIFY2(closes.count(day) == 1, qPrintable(day.toString(Qt::ISODate)));
            // Sent as float32 widened to double.
            QCOMPARE(cl, double(float(closes.at(day))));
        }
    }
}

void TestQuoteService::yahooChartRefusals_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("userAgent");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("errorCode"); // empty: a result without bars
    QTest::addColumn<QByteArray>("body");   // when not empty, the whole answer

    const QDate a(2003, 1, 6), b(2003, 1, 10);
    QTest::newRow("unknown symbol") << chartPath("ZZTOP", a, b, "1d") << kBrowser << 404 << QStringLiteral("Not Found")
                                    << QByteArray("{\"chart\":{\"result\":null,\"error\":{\"code\":\"Not Found\","
                                                  "\"description\":\"No data found, symbol may be delisted\"}}}");
    QTest::newRow("unknown symbol, lower case") << chartPath("zzx", a, b, "1d") << kBrowser << 404
                                                << QStringLiteral("Not Found") << QByteArray();
    QTest::newRow("no period1") << QByteArray("/v8/finance/chart/MSFT?period2=1042156800&interval=1d") << kBrowser
                                << 400 << QStringLiteral("Bad Request") << QByteArray();
    QTest::newRow("period2 not a number") << QByteArray("/v8/finance/chart/MSFT?period1=0&period2=12x&interval=1d")
                                          << kBrowser << 400 << QStringLiteral("Bad Request") << QByteArray();
    QTest::newRow("interval 5d") << chartPath("MSFT", a, b, "5d") << kBrowser << 400 << QStringLiteral("Bad Request")
                                 << QByteArray();
    QTest::newRow("period1 after period2") << chartPath("MSFT", b, a, "1d") << kBrowser << 400
                                           << QStringLiteral("Bad Request") << QByteArray();
    QTest::newRow("client not a browser") << chartPath("MSFT", a, b, "1d") << QByteArray("Kestrion/1.0") << 429
                                          << QString() << QByteArray("Too Many Requests\r\n");
    QTest::newRow("weekend only: no bars") << chartPath("MSFT", QDate(2003, 1, 4), QDate(2003, 1, 5), "1d")
                                           << kBrowser << 200 << QString() << QByteArray();
}

void TestQuoteService::yahooChartRefusals()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, userAgent);
    QFETCH(int, status);
    QFETCH(QString, errorCode);
    QFETCH(QByteArray, body);

    const Answer a = get(path, 5000, {{"User-Agent", userAgent}});
    QCOMPARE(a.status, status);
    if (!body.isEmpty())
        QCOMPARE(a.body, body);
    if (status == 429)
        return;
    QVERIFY(a.contentType.startsWith("application/json"));
    const QJsonObject chart = QJsonDocument::fromJson(a.body).object().value(QLatin1String("chart")).toObject();
    if (!errorCode.isEmpty()) {
        QVERIFY(chart.value(QLatin1String("result")).isNull());
        const QJsonObject error = chart.value(QLatin1String("error")).toObject();
        QCOMPARE(error.value(QLatin1String("code")).toString(), errorCode);
        QVERIFY(!error.value(QLatin1String("description")).toString().isEmpty());
        return;
    }
    // A good answer without bars: meta, empty blocks, and no timestamp at all.
    QVERIFY(chart.value(QLatin1String("error")).isNull());
    const QJsonObject result = chart.value(QLatin1String("result")).toArray().at(0).toObject();
    QCOMPARE(result.value(QLatin1String("meta")).toObject().value(QLatin1String("symbol")).toString(),
             QStringLiteral("MSFT"));
    QVERIFY(!result.contains(QLatin1String("timestamp")));
    QVERIFY(a.body.contains("\"indicators\":{\"quote\":[{}],\"adjclose\":[{}]}"));
}

void TestQuoteService::yahooChartFaultRows_data()
{
    QTest::addColumn<QByteArray>("symbol");
    QTest::addColumn<QByteArray>("interval");
    QTest::addColumn<int>("extraRows"); // beyond those of an ordinary symbol

    QTest::newRow("NULL_ daily") << QByteArray("NULL_A") << QByteArray("1d") << 0;
    QTest::newRow("NULL_ weekly") << QByteArray("NULL_A") << QByteArray("1wk") << 0;
    QTest::newRow("LIVE_ weekly") << QByteArray("LIVE_A") << QByteArray("1wk") << 1;
    QTest::newRow("LIVE_ monthly") << QByteArray("LIVE_A") << QByteArray("1mo") << 1;
    QTest::newRow("LIVE_ Tokyo monthly") << QByteArray("LIVE_B.T") << QByteArray("1mo") << 1;
    QTest::newRow("LIVE_ daily unchanged") << QByteArray("LIVE_A") << QByteArray("1d") << 0;
    QTest::newRow("SPLIT_") << QByteArray("SPLIT_A") << QByteArray("1d") << 0;
    QTest::newRow("DIV_") << QByteArray("DIV_A") << QByteArray("1d") << 0;
    QTest::newRow("DIV_ weekly") << QByteArray("DIV_A") << QByteArray("1wk") << 0;
}

void TestQuoteService::yahooChartFaultRows()
{
    QFETCH(QByteArray, symbol);
    QFETCH(QByteArray, interval);
    QFETCH(int, extraRows);

    // 2003-01-02 to 2003-03-28 ends on a Friday, the last day of its week and
    // its month's last weekday.
    const QDate from(2003, 1, 2), to(2003, 3, 28);
    const Chart plain = parseChart(getChart(chartPath("PLAIN", from, to, interval.constData())).body);
    const Answer a = getChart(chartPath(symbol, from, to, interval.constData()));
    QCOMPARE(a.status, 200);
    const Chart c = parseChart(a.body);
    QVERIFY2(c.wellFormed, a.body.left(300).constData());
    const qsizetype n = plain.timestamps.size();
    QVERIFY(n >= 3);
    QCOMPARE(c.timestamps.size(), n + extraRows);
    const QJsonObject events = c.result.value(QLatin1String("events")).toObject();
    const qsizetype mid = n / 2;

    if (symbol.startsWith("NULL_")) {
        for (qsizetype i = 0; i < n; ++i) {
            const bool null = i % 4 == 3;
            for (const QJsonArray* series : {&c.open, &c.high, &c.low, &c.close, &c.volume, &c.adjclose})
                QCOMPARE(series->at(i).isNull(), null);
        }
    } else if (symbol.startsWith("LIVE_") && extraRows == 1) {
        const qsizetype start = n - 1, live = n;
        const QDate startDay = localDate(c.timestamps[start], c.gmtoffset);
        const QDate liveDay = localDate(c.timestamps[live], c.gmtoffset);
        QCOMPARE(liveDay, to); // the last trading day, in the same period
        QVERIFY(startDay < liveDay);
        if (c.gmtoffset == -18000)
            QCOMPARE(c.timestamps[live] - utcMidnight(liveDay), qint64(20 * 3600));
        QVERIFY(c.high[live].toDouble() > c.high[start].toDouble());
        QVERIFY(c.low[live].toDouble() < c.low[start].toDouble());
        QVERIFY(c.close[live].toDouble() != c.close[start].toDouble());
        QVERIFY(c.adjclose[live].toDouble() != c.adjclose[start].toDouble());
        QVERIFY(c.close[live].toDouble() >= c.low[live].toDouble() && c.close[live].toDouble() <= c.high[live].toDouble());
    } else if (symbol.startsWith("SPLIT_")) {
        QVERIFY(!events.contains(QLatin1String("dividends")));
        const QString key = QString::number(c.timestamps[mid]);
        const QJsonObject split = events.value(QLatin1String("splits")).toObject().value(key).toObject();
        QCOMPARE(split.value(QLatin1String("date")).toInteger(), c.timestamps[mid]);
        QCOMPARE(split.value(QLatin1String("numerator")).toInt(), 2);
        QCOMPARE(split.value(QLatin1String("denominator")).toInt(), 1);
        QCOMPARE(split.value(QLatin1String("splitRatio")).toString(), QStringLiteral("2:1"));
        for (qsizetype i = 0; i < n; ++i) // prices already adjusted for the split
            QCOMPARE(c.adjclose[i].toDouble(), c.close[i].toDouble());
    } else if (symbol.startsWith("DIV_")) {
        QVERIFY(!events.contains(QLatin1String("splits")));
        const QString key = QString::number(c.timestamps[mid]);
        const QJsonObject div = events.value(QLatin1String("dividends")).toObject().value(key).toObject();
        QCOMPARE(div.value(QLatin1String("amount")).toDouble(), 0.5);
        QCOMPARE(div.value(QLatin1String("date")).toInteger(), c.timestamps[mid]);
        const double factor = 1.0 - 0.5 / c.close[mid - 1].toDouble();
        for (qsizetype i = 0; i < n; ++i) {
            const double want = i < mid ? c.close[i].toDouble() * factor : c.close[i].toDouble();
            QVERIFY2(std::abs(c.adjclose[i].toDouble() - want) < 1e-4, qPrintable(QString::number(i)));
        }
    } else {
        QVERIFY(!c.result.contains(QLatin1String("events")));
        for (qsizetype i = 0; i < n; ++i)
            QVERIFY(!c.close[i].isNull());
    }
}

void TestQuoteService::tiingo_data()
{
    QTest::addColumn<QByteArray>("freq");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QList<QDate>>("dates"); // all of them, or the first and the last

    QTest::newRow("daily") << QByteArray("daily") << QDate(2003, 1, 1) << QDate(2003, 1, 15)
                           << QList<QDate>{QDate(2003, 1, 1), QDate(2003, 1, 15)};
    QTest::newRow("weekly, dated Friday") << QByteArray("weekly") << QDate(2003, 1, 1) << QDate(2003, 1, 22)
                                          << QList<QDate>{QDate(2003, 1, 3), QDate(2003, 1, 10), QDate(2003, 1, 17),
                                                          QDate(2003, 1, 24)};
    QTest::newRow("monthly, dated last weekday")
        << QByteArray("monthly") << QDate(2003, 1, 15) << QDate(2003, 3, 5)
        << QList<QDate>{QDate(2003, 1, 31), QDate(2003, 2, 28), QDate(2003, 3, 31)};
    QTest::newRow("monthly, month ending on a Sunday") << QByteArray("monthly") << QDate(2003, 8, 1)
                                                       << QDate(2003, 8, 31) << QList<QDate>{QDate(2003, 8, 29)};
    QTest::newRow("weekend only: header alone") << QByteArray("daily") << QDate(2003, 1, 4) << QDate(2003, 1, 5)
                                                << QList<QDate>{};
}

void TestQuoteService::tiingo()
{
    QFETCH(QByteArray, freq);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QList<QDate>, dates);

    const Answer a = getTiingo(tiingoPath("msft", from, to, freq.constData()));
    QCOMPARE(a.status, 200);
    QVERIFY(a.contentType.startsWith("text/csv"));
    QVERIFY(!a.body.contains('\r'));
    QCOMPARE(lines(a.body).value(0),
             QByteArray("date,close,high,low,open,volume,adjClose,adjHigh,adjLow,adjOpen,adjVolume,divCash,splitFactor"));
    const QList<QList<QByteArray>> rows = csvRows(a.body);
    if (dates.isEmpty()) {
        QCOMPARE(rows.size(), 0);
        return;
    }
    QCOMPARE(QDate::fromString(QString::fromLatin1(rows.first().value(TDate)), Qt::ISODate), dates.first());
    QCOMPARE(QDate::fromString(QString::fromLatin1(rows.last().value(TDate)), Qt::ISODate), dates.last());
    if (freq != "daily")
        QCOMPARE(rows.size(), dates.size());
    const auto closes = freq == "daily" ? tableCloses("MSFT", from, to) : std::map<QDate, double>{};
    if (freq == "daily")
        QCOMPARE(rows.size(), qsizetype(closes.size()));
    QDate previous;
    for (const QList<QByteArray>& r : rows) {
        QCOMPARE(r.size(), 13);
        const QDate day = QDate::fromString(QString::fromLatin1(r[TDate]), Qt::ISODate);
        QVERIFY(day.isValid() && day > previous);
        previous = day;
        if (freq != "daily")
            QVERIFY(dates.contains(day));
        QCOMPARE(r[TDiv], QByteArray("0.0"));
        QCOMPARE(r[TSplit], QByteArray("1.0"));
        for (const int raw : {TClose, THigh, TLow, TOpen}) // nothing to adjust for
            QCOMPARE(cents(r[raw + (TAdjClose - TClose)]), cents(r[raw]));
        QCOMPARE(r[TAdjVolume], r[TVolume]);
        QVERIFY(cents(r[TLow]) <= cents(r[TOpen]) && cents(r[THigh]) >= cents(r[TClose]));
        if (freq == "daily")
            QCOMPARE(r[TClose].toDouble(), closes.at(day));
    }
}

void TestQuoteService::tiingoSplitAndDividend_data()
{
    QTest::addColumn<QByteArray>("symbol");
    QTest::newRow("2-for-1 split") << QByteArray("SPLIT_T");
    QTest::newRow("dividend") << QByteArray("DIV_T");
}

void TestQuoteService::tiingoSplitAndDividend()
{
    QFETCH(QByteArray, symbol);
    const QDate from(2003, 1, 1), to(2003, 1, 10); // 8 weekdays; the middle one is 2003-01-07
    const QList<QList<QByteArray>> rows = csvRows(getTiingo(tiingoPath(symbol, from, to, "daily")).body);
    QCOMPARE(rows.size(), 8);
    const auto closes = tableCloses(symbol, from, to); // the model: the post-split, undivided scale
    const qsizetype mid = 4;
    QCOMPARE(rows[mid][TDate], QByteArray("2003-01-07"));
    const bool split = symbol.startsWith("SPLIT_");
    QCOMPARE(rows[mid][TSplit], split ? QByteArray("2.0") : QByteArray("1.0"));
    QCOMPARE(rows[mid][TDiv], split ? QByteArray("0.0") : QByteArray("0.5"));
    const double factor = split ? 1.0 : 1.0 - 0.5 / rows[mid - 1][TClose].toDouble();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QList<QByteArray>& r = rows[i];
        const QDate day = QDate::fromString(QString::fromLatin1(r[TDate]), Qt::ISODate);
        if (i != mid)
            QCOMPARE(r[TSplit] + r[TDiv], QByteArray("1.00.0"));
        const bool before = i < mid;
        if (split) {
            // Raw prices twice the adjusted ones before the split, half the volume.
            QCOMPARE(cents(r[TClose]), cents(r[TAdjClose]) * (before ? 2 : 1));
            QCOMPARE(cents(r[TOpen]), cents(r[TAdjOpen]) * (before ? 2 : 1));
            QCOMPARE(r[TAdjVolume].toLongLong(), r[TVolume].toLongLong() * (before ? 2 : 1));
            QCOMPARE(r[TAdjClose].toDouble(), closes.at(day));
        } else {
            QCOMPARE(r[TClose].toDouble(), closes.at(day));
            const double want = r[TClose].toDouble() * (before ? factor : 1.0);
            QVERIFY2(std::abs(r[TAdjClose].toDouble() - want) < 1e-9, r.join(',').constData());
            QVERIFY(std::abs(r[TAdjHigh].toDouble() - r[THigh].toDouble() * (before ? factor : 1.0)) < 1e-9);
            QCOMPARE(r[TAdjVolume], r[TVolume]);
        }
    }
}

void TestQuoteService::apiFaults_data()
{
    QTest::addColumn<QByteArray>("api"); // "chart" or "tiingo"
    QTest::addColumn<QByteArray>("symbol");
    QTest::addColumn<QByteArray>("authorization"); // Tiingo's header; empty: none sent
    QTest::addColumn<QList<int>>("statuses");      // of successive requests; 0: no answer
    QTest::addColumn<bool>("retryAfter");          // on the answers before the last
    QTest::addColumn<QByteArray>("lastType");
    QTest::addColumn<QByteArray>("lastBodyStart");

    const QByteArray json("application/json"), csv("text/csv"), text("text/plain"), html("text/html");
    const QByteArray chartOk("{\"chart\":{\"result\":[{\"meta\""), csvOk("date,close,");
    const auto row = [&](const char* name, const char* api, const char* symbol, QList<int> statuses, bool retryAfter,
                         const QByteArray& type, const QByteArray& body) {
        QTest::newRow(name) << QByteArray(api) << QByteArray(symbol) << kTiingoAuth << statuses << retryAfter << type
                            << body;
    };
    row("chart R429_", "chart", "R429_A", {429, 429}, false, text, "Too Many Requests\r\n");
    row("tiingo R429_", "tiingo", "R429_A", {429, 429}, false, json, "{\"detail\":\"Error: You have exceeded");
    row("chart RA2_", "chart", "RA2_A", {429, 429, 200}, true, json, chartOk);
    row("tiingo RA1_", "tiingo", "RA1_A", {429, 200}, true, csv, csvOk);
    row("chart RL1_", "chart", "RL1_A", {429, 200}, false, json, chartOk);
    row("tiingo RL2_", "tiingo", "RL2_A", {429, 429, 200}, false, csv, csvOk);
    row("chart R503RA_", "chart", "R503RA_A", {503, 200}, true, json, chartOk);
    row("tiingo R503RA_", "tiingo", "R503RA_A", {503, 200}, true, csv, csvOk);
    // The same symbol on both services: each counts for itself.
    row("chart FAIL1_ counts per service", "chart", "FAIL1_SHARED", {503, 200}, false, json, chartOk);
    row("tiingo FAIL1_ counts per service", "tiingo", "FAIL1_SHARED", {503, 200}, false, csv, csvOk);
    row("chart QUOTA_", "chart", "QUOTA_A", {200}, false, text, "Error: You have run over your hourly request allocation.");
    row("tiingo QUOTA_", "tiingo", "QUOTA_A", {200}, false, text, "Error: You have run over your hourly request allocation.");
    row("chart HTML_", "chart", "HTML_A", {200}, false, html, "<html>");
    row("tiingo HTML_", "tiingo", "HTML_A", {200}, false, html, "<html>");
    row("chart NO_", "chart", "NO_A", {200}, false, text, "No data available for NO_A");
    row("tiingo NO_", "tiingo", "no_b", {200}, false, text, "No data available for NO_B");
    row("chart E500_", "chart", "E500_A", {500}, false, text, "Internal Server Error");
    row("tiingo RESET_", "tiingo", "RESET_A", {0}, false, QByteArray(), QByteArray());
    row("RA1_ on the older Yahoo table is no fault", "table", "RA1_A", {200}, false, "text/csv", "Date,Open");
    row("tiingo unknown, named as asked", "tiingo", "zzXx", {404}, false, json,
        "{\"detail\":\"Error: Ticker 'zzXx' not found\"}");
    QTest::newRow("tiingo without a key") << QByteArray("tiingo") << QByteArray("MSFT") << QByteArray()
                                          << QList<int>{401} << false << json << QByteArray("{\"detail\":\"Invalid token.\"}");
    QTest::newRow("tiingo, another key") << QByteArray("tiingo") << QByteArray("MSFT") << QByteArray("Token other")
                                         << QList<int>{401} << false << json
                                         << QByteArray("{\"detail\":\"Invalid token.\"}");
    QTest::newRow("tiingo, key after another scheme") << QByteArray("tiingo") << QByteArray("MSFT")
                                                      << QByteArray("Bearer sim-tiingo-token") << QList<int>{401}
                                                      << false << json << QByteArray("{\"detail\":");
}

void TestQuoteService::apiFaults()
{
    QFETCH(QByteArray, api);
    QFETCH(QByteArray, symbol);
    QFETCH(QByteArray, authorization);
    QFETCH(QList<int>, statuses);
    QFETCH(bool, retryAfter);
    QFETCH(QByteArray, lastType);
    QFETCH(QByteArray, lastBodyStart);

    const QDate from(2003, 1, 6), to(2003, 1, 10);
    QByteArray path;
    Headers headers;
    if (api == "chart") {
        path = chartPath(symbol, from, to, "1d");
        headers.append({"User-Agent", kBrowser});
    } else if (api == "tiingo") {
        path = tiingoPath(symbol, from, to, "daily");
        if (!authorization.isEmpty())
            headers.append({"Authorization", authorization});
    } else {
        path = yahooPath(symbol, 0, "06", 2003, 0, "10", 2003, "d");
    }
    Answer a;
    for (qsizetype i = 0; i < statuses.size(); ++i) {
        a = get(path, 5000, headers);
        QCOMPARE(a.status, statuses[i]);
        if (i + 1 < statuses.size())
            QCOMPARE(a.retryAfter, retryAfter ? QByteArray("1") : QByteArray());
    }
    if (statuses.last() == 0) {
        QVERIFY(a.error != QNetworkReply::NoError && !a.timedOut);
        return;
    }
    if (statuses.last() == 429 || statuses.last() == 200)
        QCOMPARE(a.retryAfter, QByteArray());
    QVERIFY2(a.contentType.startsWith(lastType), a.contentType.constData());
    QVERIFY2(a.body.startsWith(lastBodyStart), a.body.left(120).constData());
}

void TestQuoteService::tiingoTokenOption()
{
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("requests.log"));
    QuoteService own;
    QVERIFY(own.start({QStringLiteral("--tiingo-token"), QStringLiteral("s3cr3t-KEY"), QStringLiteral("--log"), logPath}));
    QNetworkAccessManager nam;
    const QByteArray path = tiingoPath("MSFT", QDate(2003, 1, 6), QDate(2003, 1, 10), "daily");
    QCOMPARE(httpGet(nam, own.port(), path, 5000, {{"Authorization", kTiingoAuth}}).status, 401);
    QCOMPARE(httpGet(nam, own.port(), path, 5000, {{"Authorization", "Token s3cr3t-KEY"}}).status, 200);
    // A key in the query is no key, and the log must not show it either.
    QCOMPARE(httpGet(nam, own.port(), path + "&token=s3cr3t-KEY").status, 401);
    const QByteArray log = kestrion::test::readAll(logPath);
    QCOMPARE(lines(log).size(), 3);
    QVERIFY(!log.contains("s3cr3t"));
    QVERIFY(lines(log).last().endsWith("&token=***"));

    // A key that cannot travel in a header is refused at start.
    QProcess bad;
    bad.start(kestrion::test::binPath(QStringLiteral("kestrion-quote-sim")),
              {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--tiingo-token"), QStringLiteral("a b")});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);
    QVERIFY(bad.readAllStandardError().contains("--tiingo-token"));
}

void TestQuoteService::helpListsTheApis_data()
{
    QTest::addColumn<QByteArray>("text");
    for (const char* text : {"/v8/finance/chart/SYMBOL?period1=", "/tiingo/daily/SYMBOL/prices?startDate=",
                             "--tiingo-token KEY", "Mozilla/5.0", "NULL_<any>", "LIVE_<any>", "SPLIT_<any>",
                             "DIV_<any>", "SPLIT<yyyymmdd>_<any>", "DIV<yyyymmdd>_<any>", "R429_<any>", "RA<n>_<any>", "RL<n>_<any>", "R503RA_<any>", "QUOTA_<any>",
                             "HTML_<any>"})
        QTest::newRow(text) << QByteArray(text);
}

void TestQuoteService::helpListsTheApis()
{
    QFETCH(QByteArray, text);
    QProcess help;
    help.start(kestrion::test::binPath(QStringLiteral("kestrion-quote-sim")), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(10000));
    QCOMPARE(help.exitCode(), 0);
    QVERIFY(help.readAllStandardOutput().contains(text));
}

QTEST_GUILESS_MAIN(TestQuoteService)
#include "test_quote_service.moc"
