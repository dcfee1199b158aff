// The local quote service (kestrion-quote-sim) that the other tests, the
// benchmarks and the demonstrations run against: its tables, query pages,
// result files, unknown symbols, fault symbols and HTTP handling.

#include "testsupport.h"

#include "download/quote_request.h"

#include <QDate>
#include <QElapsedTimer>
#include <QEventLoop>
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
};

Answer httpGet(QNetworkAccessManager& nam, int port, const QByteArray& pathAndQuery, int timeoutMs = 5000)
{
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(port) + pathAndQuery;
    QNetworkRequest request(QUrl::fromEncoded(url, QUrl::StrictMode));
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
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

private:
    Answer get(const QByteArray& pathAndQuery, int timeoutMs = 5000)
    {
        return httpGet(m_nam, m_service.port(), pathAndQuery, timeoutMs);
    }
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

QTEST_GUILESS_MAIN(TestQuoteService)
#include "test_quote_service.moc"
