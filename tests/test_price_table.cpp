#include "formats/price_table.h"
#include "sources/tiingo_source.h"
#include "sources/yahoo_chart_source.h"

#include <QDateTime>
#include <QTimeZone>
#include <QtTest>

#include <cstdlib>
#include <ctime>
#include <limits>

using namespace kestrion;

Q_DECLARE_METATYPE(HistoryPeriod)
Q_DECLARE_METATYPE(FailureReason)

namespace {

const QByteArray H = "Date,Open,High,Low,Close,Volume,Adj Close\n";
const QByteArray TH = "date,close,high,low,open,volume,adjClose,adjHigh,adjLow,adjOpen,adjVolume,divCash,splitFactor\n";

QByteArray at(int y, int m, int d, int h, int min)
{
    return QByteArray::number(QDateTime(QDate(y, m, d), QTime(h, min), QTimeZone::utc()).toSecsSinceEpoch());
}

// A chart answer; each row is {timestamp, open, high, low, close, volume, adjclose} as JSON text.
QByteArray chartJson(const QList<QByteArrayList>& rows, int gmtoffset, bool withAdj = true)
{
    QByteArrayList cols[7];
    for (const QByteArrayList& r : rows)
        for (int i = 0; i < 7; ++i)
            cols[i] << r.at(i);
    auto arr = [&](int i) { return '[' + cols[i].join(',') + ']'; };
    QByteArray json = R"({"chart":{"result":[{"meta":{"currency":"USD","gmtoffset":)" + QByteArray::number(gmtoffset)
        + R"(},"timestamp":)" + arr(0) + R"(,"indicators":{"quote":[{"open":)" + arr(1) + R"(,"high":)" + arr(2)
        + R"(,"low":)" + arr(3) + R"(,"close":)" + arr(4) + R"(,"volume":)" + arr(5) + "}]";
    if (withAdj)
        json += R"(,"adjclose":[{"adjclose":)" + arr(6) + "}]";
    return json + "}}],\"error\":null}}";
}

// Bars in the order given, one compact line each.
QByteArray rowsText(const std::vector<PriceBar>& bars)
{
    QByteArray out;
    for (const PriceBar& b : bars)
        out += b.date.toString(Qt::ISODate).toLatin1() + ' ' + priceText(b.open) + ' ' + priceText(b.high) + ' '
            + priceText(b.low) + ' ' + priceText(b.close) + ' ' + QByteArray::number(b.volume) + ' '
            + priceText(b.adjClose) + ';';
    return out;
}

PriceBar bar(QDate d, double o, double h, double l, double c, qint64 v, double a)
{
    PriceBar b;
    b.date = d;
    b.open = o;
    b.high = h;
    b.low = l;
    b.close = c;
    b.volume = v;
    b.adjClose = a;
    return b;
}

void addResultColumns()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<HistoryPeriod>("period");
    QTest::addColumn<FailureReason>("reason");
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("detailHas");
}

void checkResult(const TableResult& r)
{
    QFETCH(FailureReason, reason);
    QFETCH(QByteArray, table);
    QFETCH(QString, detailHas);
    QCOMPARE(reasonText(r.reason), reasonText(reason));
    QCOMPARE(r.table, table);
    if (reason == FailureReason::None) {
        QVERIFY(r.detail.isEmpty());
    } else {
        QVERIFY2(!r.detail.isEmpty(), "a failure always says why");
        QVERIFY2(r.detail.contains(detailHas), qPrintable(r.detail));
    }
}

const QDate Jan1(2024, 1, 1), Jan31(2024, 1, 31), Dec31(2024, 12, 31);

} // namespace

class TestPriceTable : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void priceText_data();
    void priceText();
    void tableLayout();
    void foldBars_data();
    void foldBars();
    void mergeSameDates_data();
    void mergeSameDates();
    void quotaText_data();
    void quotaText();
    void yahoo_data();
    void yahoo();
    void tiingo_data();
    void tiingo();
    void detailsHideTokens_data();
    void detailsHideTokens();
};

void TestPriceTable::initTestCase()
{
    // A machine zone far from both UTC and Tokyo, so dates taken in the
    // machine's zone instead of the exchange's would show.
    qputenv("TZ", "America/Los_Angeles");
    tzset();
}

void TestPriceTable::priceText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("tiny rounds to zero") << 1e-5 << QByteArray("0");
    QTest::newRow("large, no exponent") << 1234567.891249 << QByteArray("1234567.8912");
    QTest::newRow("half rounds up") << 0.00005 << QByteArray("0.0001");
    QTest::newRow("half as written, binary below") << 1.00005 << QByteArray("1.0001");
    QTest::newRow("negative half away from zero") << -0.00005 << QByteArray("-0.0001");
    QTest::newRow("negative") << -12.5 << QByteArray("-12.5");
    QTest::newRow("minus zero") << -0.0 << QByteArray("0");
    QTest::newRow("rounds to minus zero") << -0.00001 << QByteArray("0");
    QTest::newRow("integer") << 100.0 << QByteArray("100");
    QTest::newRow("carry into integer") << 0.99995 << QByteArray("1");
    QTest::newRow("carry adds digit") << 9999.99996 << QByteArray("10000");
    QTest::newRow("binary noise") << 0.1 + 0.2 << QByteArray("0.3");
    QTest::newRow("1e20") << 1e20 << QByteArray("100000000000000000000");
    QTest::newRow("four places kept") << 183.5539 << QByteArray("183.5539");
}

void TestPriceTable::priceText()
{
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    QCOMPARE(kestrion::priceText(value), text);
}

void TestPriceTable::tableLayout()
{
    QCOMPARE(tableText({}), H);
    const std::vector<PriceBar> bars = {bar(QDate(2024, 1, 3), 1.5, 2, 1, 1.75, 300, 1.7),
                                        bar(QDate(2023, 12, 29), 1, 1.25, 0.5, 1, 1234567890123, 0.95),
                                        bar(QDate(2024, 1, 2), 2, 3, 1.5, 2.5, 0, 2.45)};
    QCOMPARE(tableText(bars), H + "2024-01-03,1.5,2,1,1.75,300,1.7\n"
                                  "2024-01-02,2,3,1.5,2.5,0,2.45\n"
                                  "2023-12-29,1,1.25,0.5,1,1234567890123,0.95\n");
}

void TestPriceTable::foldBars_data()
{
    QTest::addColumn<std::vector<PriceBar>>("in");
    QTest::addColumn<HistoryPeriod>("period");
    QTest::addColumn<QByteArray>("out");
    const std::vector<PriceBar> weekPair = {bar(QDate(2024, 1, 1), 10, 12, 9, 11, 5000, 10.5),
                                            bar(QDate(2024, 1, 8), 11, 13, 10, 12, 6000, 11.5),
                                            bar(QDate(2024, 1, 10), 12, 14, 9.5, 13.25, 700, 13.2)};
    QTest::newRow("weekly, volumes summed") << weekPair << HistoryPeriod::Weekly
                                            << QByteArray("2024-01-01 10 12 9 11 5000 10.5;2024-01-08 11 14 9.5 13.25 6700 13.2;");
    QTest::newRow("daily unchanged") << weekPair << HistoryPeriod::Daily << rowsText(weekPair);
    QTest::newRow("sunday ends the week")
        << std::vector<PriceBar>{bar(QDate(2024, 1, 1), 1, 2, 1, 2, 1, 2), bar(QDate(2024, 1, 7), 3, 4, 0.5, 3, 2, 3),
                                 bar(QDate(2024, 1, 8), 5, 6, 5, 6, 3, 6)}
        << HistoryPeriod::Weekly << QByteArray("2024-01-01 1 4 0.5 3 3 3;2024-01-08 5 6 5 6 3 6;");
    QTest::newRow("ISO week across new year")
        << std::vector<PriceBar>{bar(QDate(2024, 12, 30), 1, 2, 1, 2, 1, 2), bar(QDate(2025, 1, 2), 2, 3, 1.5, 2.5, 9, 2.4)}
        << HistoryPeriod::Weekly << QByteArray("2024-12-30 1 3 1 2.5 10 2.4;");
    QTest::newRow("same week number, other year")
        << std::vector<PriceBar>{bar(QDate(2023, 1, 2), 1, 2, 1, 2, 1, 2), bar(QDate(2024, 1, 1), 2, 3, 1.5, 2.5, 9, 2.4)}
        << HistoryPeriod::Weekly << QByteArray("2023-01-02 1 2 1 2 1 2;2024-01-01 2 3 1.5 2.5 9 2.4;");
    QTest::newRow("monthly, volumes summed")
        << std::vector<PriceBar>{bar(QDate(2024, 1, 2), 10, 12, 9, 11, 5000, 10.5),
                                 bar(QDate(2024, 2, 1), 11, 13, 10, 12, 6000, 11.5),
                                 bar(QDate(2024, 2, 14), 12, 12.5, 10.5, 12.2, 800, 12.1)}
        << HistoryPeriod::Monthly << QByteArray("2024-01-02 10 12 9 11 5000 10.5;2024-02-01 11 13 10 12.2 6800 12.1;");
    QTest::newRow("same month, other year")
        << std::vector<PriceBar>{bar(QDate(2023, 3, 1), 1, 2, 1, 2, 1, 2), bar(QDate(2024, 3, 1), 3, 4, 3, 4, 5, 4)}
        << HistoryPeriod::Monthly << QByteArray("2023-03-01 1 2 1 2 1 2;2024-03-01 3 4 3 4 5 4;");
    QTest::newRow("cut first week dated at its first day, any order")
        << std::vector<PriceBar>{bar(QDate(2024, 1, 5), 3, 9, 2, 4, 30, 3.9), bar(QDate(2024, 1, 3), 1, 2, 1, 2, 10, 1.9),
                                 bar(QDate(2024, 1, 4), 2, 3, 0.5, 3, 20, 2.9)}
        << HistoryPeriod::Weekly << QByteArray("2024-01-03 1 9 0.5 4 60 3.9;");
    QTest::newRow("a day quoted twice counts once")
        << std::vector<PriceBar>{bar(QDate(2024, 1, 8), 5, 6, 5, 6, 100, 6), bar(QDate(2024, 1, 8), 5.5, 7, 4, 6.5, 150, 6.5),
                                 bar(QDate(2024, 1, 9), 6, 6, 6, 6, 50, 6)}
        << HistoryPeriod::Weekly << QByteArray("2024-01-08 5 7 4 6 200 6;");
    QTest::newRow("volume held at the largest")
        << std::vector<PriceBar>{bar(QDate(2024, 1, 2), 1, 1, 1, 1, std::numeric_limits<qint64>::max() - 5, 1),
                                 bar(QDate(2024, 1, 3), 1, 1, 1, 1, 10, 1)}
        << HistoryPeriod::Monthly << QByteArray("2024-01-02 1 1 1 1 9223372036854775807 1;");
    QTest::newRow("month across a year end")
        << std::vector<PriceBar>{bar(QDate(2023, 12, 29), 1, 2, 1, 2, 1, 2), bar(QDate(2024, 1, 2), 3, 4, 3, 4, 5, 4)}
        << HistoryPeriod::Monthly << QByteArray("2023-12-29 1 2 1 2 1 2;2024-01-02 3 4 3 4 5 4;");
}

void TestPriceTable::foldBars()
{
    QFETCH(std::vector<PriceBar>, in);
    QFETCH(HistoryPeriod, period);
    QFETCH(QByteArray, out);
    QCOMPARE(rowsText(foldDailyBars(in, period)), out);
}

void TestPriceTable::mergeSameDates_data()
{
    QTest::addColumn<std::vector<PriceBar>>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("empty") << std::vector<PriceBar>{} << QByteArray();
    QTest::newRow("two days kept apart, sorted oldest first")
        << std::vector<PriceBar>{bar(QDate(2024, 1, 3), 3, 4, 2, 3, 30, 3), bar(QDate(2024, 1, 2), 1, 2, 1, 2, 10, 2)}
        << QByteArray("2024-01-02 1 2 1 2 10 2;2024-01-03 3 4 2 3 30 3;");
    QTest::newRow("same date: first open, widest range, last close")
        << std::vector<PriceBar>{bar(QDate(2024, 1, 2), 10, 12, 9, 11, 500, 10.5),
                                 bar(QDate(2024, 1, 2), 11, 13, 9.5, 12, 700, 11.5),
                                 bar(QDate(2024, 1, 2), 12, 12.5, 8, 11.75, 900, 11.25)}
        << QByteArray("2024-01-02 10 13 8 11.75 900 11.25;");
    QTest::newRow("consecutive days are not one period")
        << std::vector<PriceBar>{bar(QDate(2024, 1, 1), 1, 2, 1, 2, 1, 2), bar(QDate(2024, 1, 2), 5, 6, 5, 6, 3, 6)}
        << QByteArray("2024-01-01 1 2 1 2 1 2;2024-01-02 5 6 5 6 3 6;");
    QTest::newRow("rows without a date never folded")
        << std::vector<PriceBar>{bar(QDate(), 1, 2, 1, 2, 1, 2), bar(QDate(), 5, 6, 5, 6, 3, 6)}
        << QByteArray(" 1 2 1 2 1 2; 5 6 5 6 3 6;");
}

void TestPriceTable::mergeSameDates()
{
    QFETCH(std::vector<PriceBar>, in);
    QFETCH(QByteArray, out);
    QCOMPARE(rowsText(mergeSameDateRows(in)), out);
}

void TestPriceTable::quotaText_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("quota");
    QTest::newRow("too many requests") << QByteArray("Too Many Requests\r\n") << true;
    QTest::newRow("quota") << QByteArray("Daily Quota used up") << true;
    QTest::newRow("exceeded") << QByteArray("<html>Limit Exceeded</html>") << true;
    QTest::newRow("not found") << QByteArray(R"({"detail":"Not found."})") << false;
    QTest::newRow("price table") << (TH + "2024-01-02,1,1,1,1,1,1,1,1,1,1,0,1\n") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestPriceTable::quotaText()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, quota);
    QCOMPARE(isQuotaText(body), quota);
}

void TestPriceTable::yahoo_data()
{
    addResultColumns();
    const auto D = HistoryPeriod::Daily;
    const auto ok = FailureReason::None;
    const QByteArrayList jan2 = {at(2024, 1, 2, 14, 30), "187.15", "188.44", "183.89", "185.64", "82488700", "184.938766"};
    const QByteArrayList jan3 = {at(2024, 1, 3, 14, 30), "184.22", "185.88", "183.43", "184.25", "58414500", "183.553986"};
    const QByteArrayList jan4 = {at(2024, 1, 4, 14, 30), "182.15", "183.09", "180.88", "181.91", "71983600", "181.2"};

    QTest::newRow("new york dates, newest first")
        << chartJson({jan2, jan3}, -18000) << Jan1 << Jan31 << D << ok
        << (H + "2024-01-03,184.22,185.88,183.43,184.25,58414500,183.554\n"
                "2024-01-02,187.15,188.44,183.89,185.64,82488700,184.9388\n")
        << QString();
    QTest::newRow("tokyo bar dated the next day")
        << chartJson({{at(2024, 1, 3, 15, 0), "33400", "33600", "33200", "33288.29", "1234567", "33288.29"}}, 32400)
        << QDate(2024, 1, 4) << QDate(2024, 1, 4) << D << ok
        << (H + "2024-01-04,33400,33600,33200,33288.29,1234567,33288.29\n") << QString();
    QTest::newRow("late UTC stamp is the day before in new york")
        << chartJson({{at(2024, 1, 3, 3, 0), "1", "2", "0.5", "1.5", "10", "1.5"}}, -18000) << Jan1 << Jan31 << D << ok
        << (H + "2024-01-02,1,2,0.5,1.5,10,1.5\n") << QString();
    QTest::newRow("rows with a null dropped")
        << chartJson({{at(2024, 1, 2, 14, 30), "1", "2", "0.5", "null", "10", "1.5"},
                      {at(2024, 1, 3, 14, 30), "1", "2", "0.5", "1.5", "null", "1.5"},
                      {at(2024, 1, 4, 14, 30), "1", "2", "0.5", "1.5", "10", "null"},
                      {at(2024, 1, 5, 14, 30), "null", "2", "0.5", "1.5", "10", "1.5"},
                      {at(2024, 1, 8, 14, 30), "3", "4", "2.5", "3.5", "30", "3.4"}},
                     -18000)
        << Jan1 << Jan31 << D << ok << (H + "2024-01-08,3,4,2.5,3.5,30,3.4\n") << QString();
    QTest::newRow("no adjclose block uses close")
        << chartJson({jan4}, -18000, false) << Jan1 << Jan31 << D << ok
        << (H + "2024-01-04,182.15,183.09,180.88,181.91,71983600,181.91\n") << QString();
    QTest::newRow("weekly folded from days")
        << chartJson({{at(2024, 1, 1, 14, 30), "10", "12", "9", "11", "5000", "10.5"},
                      {at(2024, 1, 8, 14, 30), "11", "13", "10", "12", "6000", "11.5"},
                      {at(2024, 1, 10, 21, 0), "12", "14", "9.5", "13.25", "700", "13.2"}},
                     -18000)
        << Jan1 << Jan31 << HistoryPeriod::Weekly << ok
        << (H + "2024-01-08,11,14,9.5,13.25,6700,13.2\n2024-01-01,10,12,9,11,5000,10.5\n") << QString();
    QTest::newRow("weekly, only days inside the range")
        << chartJson({jan2, jan3, jan4, {at(2024, 1, 5, 14, 30), "190", "199", "170", "195", "1", "195"}}, -18000)
        << QDate(2024, 1, 3) << QDate(2024, 1, 4) << HistoryPeriod::Weekly << ok
        << (H + "2024-01-03,184.22,185.88,180.88,181.91,130398100,181.2\n") << QString();
    QTest::newRow("monthly folded from days")
        << chartJson({{at(2024, 1, 2, 14, 30), "10", "12", "9", "11", "5000", "10.5"},
                      {at(2024, 2, 1, 14, 30), "11", "13", "10", "12", "6000", "11.5"},
                      {at(2024, 2, 14, 21, 0), "12", "12.5", "10.5", "12.2", "800", "12.1"}},
                     -18000)
        << Jan1 << Dec31 << HistoryPeriod::Monthly << ok
        << (H + "2024-02-01,11,13,10,12.2,6800,12.1\n2024-01-02,10,12,9,11,5000,10.5\n") << QString();
    QTest::newRow("daily date twice is one row")
        << chartJson({{at(2024, 1, 5, 14, 30), "10", "11", "9", "10.5", "100", "10.5"},
                      {at(2024, 1, 5, 20, 59), "10.2", "11.5", "9.8", "11", "250", "11"}},
                     -18000)
        << Jan1 << Jan31 << D << ok << (H + "2024-01-05,10,11.5,9,11,250,11\n") << QString();
    QTest::newRow("range filter") << chartJson({jan2, jan3, jan4}, -18000) << QDate(2024, 1, 3) << QDate(2024, 1, 3)
                                  << D << ok << (H + "2024-01-03,184.22,185.88,183.43,184.25,58414500,183.554\n")
                                  << QString();

    const auto fail = [](const char* name, const QByteArray& body, FailureReason reason, const QString& detailHas) {
        QTest::newRow(name) << body << Jan1 << Jan31 << HistoryPeriod::Daily << reason << QByteArray() << detailHas;
    };
    fail("unknown symbol",
         R"({"chart":{"result":null,"error":{"code":"Not Found","description":"No data found, symbol may be delisted"}}})",
         FailureReason::NotFound, "No data found, symbol may be delisted");
    fail("other chart error",
         R"({"chart":{"result":null,"error":{"code":"Bad Request","description":"Data doesn't exist for startDate"}}})",
         FailureReason::BadData, "Data doesn't exist for startDate");
    fail("chart error about a limit",
         R"({"chart":{"result":null,"error":{"code":"Too Many Requests","description":"Try again later"}}})",
         FailureReason::RateLimited, "Try again later");
    fail("html page", "<!doctype html><html><body>Will be right back</body></html>", FailureReason::BadData, "web page");
    fail("quota text", "Too Many Requests\r\n", FailureReason::RateLimited, "Too Many Requests");
    fail("json without chart", R"({"finance":{"result":null,"error":{"code":"Unauthorized","description":"Invalid Crumb"}}})",
         FailureReason::BadData, "Invalid Crumb");
    fail("json quota without chart",
         R"({"finance":{"error":{"code":"Too Many Requests","description":"Rate limited. Try after a while."}}})",
         FailureReason::RateLimited, "Rate limited");
    fail("empty body", "", FailureReason::BadData, "empty");
    fail("cut-off json", chartJson({jan2, jan3}, -18000).left(120), FailureReason::BadData, "Yahoo");
    fail("lists of different lengths",
         R"({"chart":{"result":[{"meta":{"gmtoffset":0},"timestamp":[1704205800,1704292200],"indicators":{"quote":[{"open":[1,2],"high":[1,2],"low":[1,2],"close":[1],"volume":[1,2]}]}}],"error":null}})",
         FailureReason::BadData, "lengths");
    fail("adjclose of another length",
         R"({"chart":{"result":[{"meta":{"gmtoffset":0},"timestamp":[1704205800],"indicators":{"quote":[{"open":[1],"high":[1],"low":[1],"close":[1],"volume":[1]}],"adjclose":[{"adjclose":[1,2]}]}}],"error":null}})",
         FailureReason::BadData, "adjusted");
    fail("text for a price", chartJson({{at(2024, 1, 2, 14, 30), "\"1.5\"", "2", "1", "1.5", "10", "1.5"}}, 0),
         FailureReason::BadData, "not a number");
    fail("no timestamp key",
         R"({"chart":{"result":[{"meta":{"gmtoffset":-18000},"indicators":{"quote":[{}],"adjclose":[{}]}}],"error":null}})",
         FailureReason::NoData, "no prices");
    fail("only null rows", chartJson({{at(2024, 1, 2, 14, 30), "null", "null", "null", "null", "null", "null"}}, -18000),
         FailureReason::NoData, "no prices");
    QTest::newRow("nothing in range") << chartJson({jan2, jan3}, -18000) << QDate(2024, 2, 1) << QDate(2024, 2, 28) << D
                                      << FailureReason::NoData << QByteArray() << QString("no prices");
}

void TestPriceTable::yahoo()
{
    QFETCH(QByteArray, body);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(HistoryPeriod, period);
    checkResult(yahooChartTable(body, from, to, period));
}

void TestPriceTable::tiingo_data()
{
    addResultColumns();
    const auto D = HistoryPeriod::Daily;
    const auto ok = FailureReason::None;
    const QByteArray split2 = TH + "2024-01-02,200,204,198,202,1000,99.5,102,99,101,2000,0.0,1.0\n"
                                   "2024-01-03,202,206,200,201,1500,100.5,103,100,100.5,3000,0.0,1.0\n"
                                   "2024-01-04,101,102,99,100,3000,100.3,102,99,100,3000,0.0,2.0\n"
                                   "2024-01-05,103,104,100,101,2500,102.2,104,100,101,2500,0.5,1.0\n";

    QTest::newRow("2:1 split halves earlier rows")
        << split2 << Jan1 << Jan31 << D << ok
        << (H + "2024-01-05,101,104,100,103,2500,102.2\n"
                "2024-01-04,100,102,99,101,3000,100.3\n"
                "2024-01-03,100.5,103,100,101,3000,100.5\n"
                "2024-01-02,101,102,99,100,2000,99.5\n")
        << QString();
    QTest::newRow("split after the range still counts")
        << split2 << Jan1 << QDate(2024, 1, 3) << D << ok
        << (H + "2024-01-03,100.5,103,100,101,3000,100.5\n"
                "2024-01-02,101,102,99,100,2000,99.5\n")
        << QString();
    QTest::newRow("splits compound")
        << (TH + "2024-01-02,600,600,600,600,10,1,1,1,1,1,0,1\n"
                 "2024-01-03,300,300,300,300,10,1,1,1,1,1,0,2\n"
                 "2024-01-04,100,100,100,100,10,1,1,1,1,1,0,3\n")
        << Jan1 << Jan31 << D << ok
        << (H + "2024-01-04,100,100,100,100,10,1\n2024-01-03,100,100,100,100,30,1\n2024-01-02,100,100,100,100,60,1\n")
        << QString();
    QTest::newRow("3:2 split rounds volume")
        << (TH + "2024-01-02,150,150,150,150,1001,1,1,1,1,1,0,1\n2024-01-03,100,100,100,100,5,1,1,1,1,1,0,1.5\n")
        << Jan1 << Jan31 << D << ok << (H + "2024-01-03,100,100,100,100,5,1\n2024-01-02,100,100,100,100,1502,1\n")
        << QString();
    QTest::newRow("CRLF, date-times, other column order")
        << QByteArray("date,open,high,low,close,volume,adjOpen,adjHigh,adjLow,adjClose,adjVolume,divCash,splitFactor\r\n"
                      "2024-01-02T00:00:00.000Z,10,11,9,10.5,100,10,11,9,10.25,100,0,1\r\n")
        << Jan1 << Jan31 << D << ok << (H + "2024-01-02,10,11,9,10.5,100,10.25\n") << QString();
    QTest::newRow("weekly folded from days")
        << (TH + "2024-01-08,12,13,10,11,6000,11.5,0,0,0,0,0,1\n2024-01-10,13.25,14,9.5,12,700,13.2,0,0,0,0,0,1\n")
        << Jan1 << Jan31 << HistoryPeriod::Weekly << ok << (H + "2024-01-08,11,14,9.5,13.25,6700,13.2\n") << QString();
    QTest::newRow("monthly, current month cut at the range's end")
        << (TH + "2024-03-01,10,11,9,9.5,100,10,0,0,0,0,0,1\n2024-03-13,12,13,8,11,200,12,0,0,0,0,0,1\n"
                 "2024-03-14,20,30,1,20,999,20,0,0,0,0,0,1\n")
        << QDate(2024, 2, 1) << QDate(2024, 3, 13) << HistoryPeriod::Monthly << ok
        << (H + "2024-03-01,9.5,13,8,12,300,12\n") << QString();

    const auto fail = [](const char* name, const QByteArray& body, FailureReason reason, const QString& detailHas) {
        QTest::newRow(name) << body << Jan1 << Jan31 << HistoryPeriod::Daily << reason << QByteArray() << detailHas;
    };
    fail("short row names its line",
         TH + "2024-01-02,200,204,198,202,1000,99.5,102,99,101,2000,0.0,1.0\n2024-01-03,202,206,200,201,1500,100.5\n",
         FailureReason::BadData, "line 3");
    fail("non-number names its line", TH + "2024-01-02,abc,204,198,202,1000,99.5,102,99,101,2000,0.0,1.0\n",
         FailureReason::BadData, "line 2");
    fail("bad date names its line", TH + "01/02/2024,200,204,198,202,1000,99.5,102,99,101,2000,0.0,1.0\n",
         FailureReason::BadData, "line 2");
    fail("zero split factor", TH + "2024-01-02,200,204,198,202,1000,99.5,102,99,101,2000,0.0,0\n",
         FailureReason::BadData, "line 2");
    fail("header only", TH, FailureReason::NoData, "no prices");
    fail("header only, CRLF", QByteArray(TH).replace("\n", "\r\n"), FailureReason::NoData, "no prices");
    fail("json error body", R"({"detail":"Not found."})", FailureReason::BadData, "Not found.");
    fail("json allocation notice",
         R"({"detail":"Error: You have run over your hourly request allocation. Please upgrade."})",
         FailureReason::RateLimited, "hourly request allocation");
    fail("html page", "<html><head><title>502</title></head></html>", FailureReason::BadData, "web page");
    fail("plain text", "Service temporarily down", FailureReason::BadData, "Service temporarily down");
    fail("empty body", "", FailureReason::BadData, "empty");
    QTest::newRow("nothing in range") << split2 << QDate(2023, 1, 1) << QDate(2023, 12, 31) << D
                                      << FailureReason::NoData << QByteArray() << QString("no prices");
}

void TestPriceTable::tiingo()
{
    QFETCH(QByteArray, body);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(HistoryPeriod, period);
    checkResult(tiingoTable(body, from, to, period));
}

void TestPriceTable::detailsHideTokens_data()
{
    QTest::addColumn<bool>("yahoo");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("secret");
    QTest::newRow("tiingo token in detail")
        << false << QByteArray(R"({"detail":"Invalid token 0123456789abcdef0123456789abcdef01234567 given"})")
        << "0123456789abcdef";
    QTest::newRow("tiingo url echoed")
        << false << QByteArray("Bad request: /tiingo/daily/x/prices?token=s3cretvalue&format=csv") << "s3cretvalue";
    QTest::newRow("yahoo crumb echoed")
        << true << QByteArray(R"({"chart":{"result":null,"error":{"code":"Bad Request","description":"crumb=Ab1.Cd2/xyz invalid"}}})")
        << "Ab1.Cd2";
}

void TestPriceTable::detailsHideTokens()
{
    QFETCH(bool, yahoo);
    QFETCH(QByteArray, body);
    QFETCH(QString, secret);
    const TableResult r = yahoo ? yahooChartTable(body, Jan1, Jan31, HistoryPeriod::Daily)
                                : tiingoTable(body, Jan1, Jan31, HistoryPeriod::Daily);
    QCOMPARE(r.reason, FailureReason::BadData);
    QVERIFY(!r.detail.isEmpty());
    QVERIFY2(!r.detail.contains(secret), qPrintable(r.detail));
}

QTEST_GUILESS_MAIN(TestPriceTable)
#include "test_price_table.moc"
