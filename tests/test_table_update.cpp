// Bringing table files up to date: the reader, the shorter request's start,
// the merge and its refusals, the sources' ranges and events, and the local
// quote service giving an update the very bytes of a full fetch.
#include "download/table_update.h"
#include "platform/http_fetch.h"
#include "sources/quote_source.h"
#include "sources/source_registry.h"
#include "sources/tiingo_source.h"
#include "sources/yahoo_chart_source.h"
#include "testsupport.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

Q_DECLARE_METATYPE(HistoryPeriod)

namespace {

const QByteArray H = "Date,Open,High,Low,Close,Volume,Adj Close\n";

// One row per date, newest first: "2024-03-01:10.5" has Adj Close 10.5, the other prices fixed.
QByteArray table(const QList<QByteArray>& rows)
{
    QByteArray out = H;
    for (const QByteArray& r : rows)
        out += r.left(10) + ",1,2,0.5,1.5,100," + r.mid(11) + '\n';
    return out;
}

ExistingTable parsed(const QByteArray& bytes)
{
    const auto t = parseExistingTable(bytes);
    return t ? *t : ExistingTable{};
}

const QDate D(2024, 3, 1); // a Friday
} // namespace

class TestTableUpdate : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(m_service.start()); }
    void readFile_data();
    void readFile();
    void updateFrom_data();
    void updateFrom();
    void adjCloseBoundary_data();
    void adjCloseBoundary();
    void merge_data();
    void merge();
    void mergeWholeAnswer_data();
    void mergeWholeAnswer();
    void filePeriod_data();
    void filePeriod();
    void converterEvents_data();
    void converterEvents();
    void updateThroughService_data();
    void updateThroughService();

private:
    test::QuoteService m_service;
};

void TestTableUpdate::readFile_data()
{
    QTest::addColumn<QByteArray>("bytes"); // null: no file at all
    QTest::addColumn<int>("rows"); // 0: not the layout
    const QByteArray two = H + "2024-03-01,10.5,11,10,10.75,1200,10.7\n2024-02-29,10,10.5,9.5,10,900,9.95\n";
    QTest::newRow("converted table") << two << 2;
    QTest::newRow("old Yahoo, two decimals") << H + "2003-01-03,25.10,25.50,24.90,25.20,1234567,25.20\n" << 1;
    QTest::newRow("no file") << QByteArray() << 0;
    QTest::newRow("header only") << H << 0;
    QTest::newRow("header differs") << "Date,Open,High,Low,Close,Volume,AdjClose\n" + two.mid(H.size()) << 0;
    QTest::newRow("CRLF") << QByteArray(two).replace("\n", "\r\n") << 0;
    QTest::newRow("no final LF") << two.chopped(1) << 0;
    QTest::newRow("blank last line") << two + "\n" << 0;
    QTest::newRow("oldest first") << H + "2024-02-29,10,10.5,9.5,10,900,9.95\n2024-03-01,10.5,11,10,10.75,1200,10.7\n" << 0;
    QTest::newRow("date twice") << H + "2024-03-01,1,1,1,1,1,1\n2024-03-01,1,1,1,1,1,1\n" << 0;
    QTest::newRow("no such day") << H + "2023-02-29,1,1,1,1,1,1\n" << 0;
    QTest::newRow("exponent") << H + "2024-03-01,1e3,1,1,1,1,1\n" << 0;
    QTest::newRow("six fields") << H + "2024-03-01,1,1,1,1,1\n" << 0;
    QTest::newRow("fractional volume") << H + "2024-03-01,1,1,1,1,1.5,1\n" << 0;
    QTest::newRow("bare dot") << H + "2024-03-01,1,1,1,1,1,1.\n" << 0;
    QTest::newRow("300 digits") << H + "2024-03-01,1,1,1,1,1," + QByteArray(300, '9') + "\n" << 1;
    QTest::newRow("301 digits, past any double") << H + "2024-03-01,1,1,1,1,1," + QByteArray(301, '9') + "\n" << 0;
    QTest::newRow("NUL inside a row") << H + QByteArray("2024-03-01,1,1\0,1,1,1,1\n", 25) << 0;
    QTest::newRow("cut mid-row") << two.left(two.size() - 9) << 0;
}

void TestTableUpdate::readFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, rows);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("A"));
    if (!bytes.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    const auto t = readExistingTable(path);
    QCOMPARE(t.has_value(), rows > 0);
    if (!t)
        return;
    QCOMPARE(int(t->rows.size()), rows);
    QByteArray again = H;
    for (const TableRow& r : t->rows)
        again += t->rowText(r);
    QCOMPARE(again, bytes); // every row's exact bytes
    QCOMPARE(t->newest, t->rows.front().date);
    QCOMPARE(t->oldest, t->rows.back().date);
    const QByteArray lastRow = bytes.mid(bytes.lastIndexOf('\n', -2) + 1).trimmed();
    QCOMPARE(t->adjClose(t->rows.back()), lastRow.mid(lastRow.lastIndexOf(',') + 1).toDouble());
}

void TestTableUpdate::updateFrom_data()
{
    QTest::addColumn<QDate>("oldest");
    QTest::addColumn<QDate>("newest");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<HistoryPeriod>("period");
    QTest::addColumn<QDate>("from"); // invalid: fetch the whole range
    const QDate S(2020, 1, 1), E(2024, 12, 31);
    const auto d = HistoryPeriod::Daily;
    QTest::newRow("starts on the start") << S << D << S << E << d << D.addDays(-7);
    QTest::newRow("starts a week late") << S.addDays(7) << D << S << E << d << D.addDays(-7);
    QTest::newRow("starts eight days late") << S.addDays(8) << D << S << E << d << QDate();
    QTest::newRow("ends on the end") << S << E << S << E << d << E.addDays(-7);
    QTest::newRow("ends past the end") << S << E.addDays(1) << S << E << d << QDate();
    QTest::newRow("week back is the start") << S << S.addDays(7) << S << E << d << QDate();
    QTest::newRow("week back after the start") << S << S.addDays(8) << S << E << d << S.addDays(1);
    QTest::newRow("weekly, newest Monday") << S << QDate(2024, 3, 11) << S << E << HistoryPeriod::Weekly << QDate(2024, 3, 4);
    QTest::newRow("weekly, newest Friday") << S << QDate(2024, 3, 15) << S << E << HistoryPeriod::Weekly << QDate(2024, 3, 4);
    QTest::newRow("monthly") << S << QDate(2024, 3, 1) << S << E << HistoryPeriod::Monthly << QDate(2024, 2, 1);
}

void TestTableUpdate::updateFrom()
{
    QFETCH(QDate, oldest);
    QFETCH(QDate, newest);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(HistoryPeriod, period);
    QFETCH(QDate, from);
    const ExistingTable t = parsed(table({newest.toString(Qt::ISODate).toLatin1() + ":1",
                                          oldest.toString(Qt::ISODate).toLatin1() + ":1"}));
    QCOMPARE(kestrion::updateFrom(t, {start, end}, period).value_or(QDate()), from);
}

void TestTableUpdate::adjCloseBoundary_data()
{
    QTest::addColumn<double>("stored");
    QTest::addColumn<double>("fresh");
    QTest::addColumn<bool>("changed");
    QTest::newRow("up 0.01 %") << 100.0 << 100.01 << false;
    QTest::newRow("up a hair more") << 100.0 << 100.0101 << true;
    QTest::newRow("down 0.01 %") << 100.0 << 99.99 << false;
    QTest::newRow("small price, past it") << 0.5 << 0.5001 << true;
    QTest::newRow("large price, past it") << 123456.78 << 123469.1257 << true;
    QTest::newRow("zero moves") << 0.0 << 0.0001 << true;
}

void TestTableUpdate::adjCloseBoundary()
{
    QFETCH(double, stored);
    QFETCH(double, fresh);
    QFETCH(bool, changed);
    QCOMPARE(adjCloseChanged(stored, fresh), changed);
}

void TestTableUpdate::merge_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QByteArray>("fresh");
    QTest::addColumn<QList<QDate>>("events");
    QTest::addColumn<HistoryPeriod>("period");
    QTest::addColumn<QByteArray>("merged"); // empty: fetch in full
    QTest::addColumn<QString>("reason");
    const auto d = HistoryPeriod::Daily;
    const QByteArray old = table({"2024-03-01:10", "2024-02-29:9", "2024-02-28:8", "2024-02-20:7"});
    const QByteArray fresh = table({"2024-03-04:11", "2024-03-01:10", "2024-02-29:9"});
    const QByteArray both = table({"2024-03-04:11", "2024-03-01:10", "2024-02-29:9", "2024-02-28:8", "2024-02-20:7"});
    QTest::newRow("one new day") << old << fresh << QList<QDate>{} << d << both << QString();
    QByteArray replaced = fresh;
    replaced.replace("2024-03-01,1,2,0.5,1.5,100", "2024-03-01,1.25,2,0.5,1.5,777");
    QTest::newRow("same date replaced") << old << replaced << QList<QDate>{} << d
                                        << QByteArray(both).replace("2024-03-01,1,2,0.5,1.5,100", "2024-03-01,1.25,2,0.5,1.5,777") << QString();
    QTest::newRow("old day the answer lacks is kept") << old << table({"2024-03-04:11", "2024-03-01:10"}) << QList<QDate>{} << d << both << QString();
    QTest::newRow("adj close within 0.01 %") << old << table({"2024-03-04:11", "2024-03-01:10.001"}) << QList<QDate>{} << d
                                             << table({"2024-03-04:11", "2024-03-01:10.001", "2024-02-29:9", "2024-02-28:8", "2024-02-20:7"}) << QString();
    QTest::newRow("adj close past 0.01 %") << old << table({"2024-03-04:11", "2024-03-01:10", "2024-02-29:8.999"}) << QList<QDate>{} << d
                                           << QByteArray() << "Adj Close of 2024-02-29 was 9, now 8.999";
    QTest::newRow("event after newest") << old << fresh << QList<QDate>{QDate(2024, 3, 4)} << d << QByteArray() << "split or dividend on 2024-03-04";
    QTest::newRow("event on newest") << old << fresh << QList<QDate>{D} << d << both << QString();
    QTest::newRow("event of unknown day") << old << fresh << QList<QDate>{QDate()} << d << QByteArray() << "cannot be read";
    QTest::newRow("no day in common") << old << table({"2024-03-05:11", "2024-03-04:11"}) << QList<QDate>{} << d << QByteArray() << "shares no day";
    QTest::newRow("answer not a table") << old << QByteArray("date,close\n2024-03-04,11\n") << QList<QDate>{} << d << QByteArray() << "not a price table";
    // Weekly: the newest week was still open when stored; the week before must agree.
    const QByteArray weeks = table({"2024-03-04:10", "2024-02-26:9", "2024-02-19:8"});
    QTest::newRow("weekly, open week moved") << weeks << table({"2024-03-11:12", "2024-03-04:10.5", "2024-02-26:9"}) << QList<QDate>{}
                                             << HistoryPeriod::Weekly << table({"2024-03-11:12", "2024-03-04:10.5", "2024-02-26:9", "2024-02-19:8"}) << QString();
    QTest::newRow("weekly, finished week moved") << weeks << table({"2024-03-04:10", "2024-02-26:9.5"}) << QList<QDate>{}
                                                 << HistoryPeriod::Weekly << QByteArray() << "2024-02-26";
    QTest::newRow("weekly, open week's row moved to its Friday")
        << table({"2024-03-06:10", "2024-03-01:9", "2024-02-23:8"}) << table({"2024-03-08:10.5", "2024-03-01:9"}) << QList<QDate>{}
        << HistoryPeriod::Weekly << table({"2024-03-08:10.5", "2024-03-01:9", "2024-02-23:8"}) << QString();
}

void TestTableUpdate::merge()
{
    QFETCH(QByteArray, old);
    QFETCH(QByteArray, fresh);
    QFETCH(QList<QDate>, events);
    QFETCH(HistoryPeriod, period);
    QFETCH(QByteArray, merged);
    QFETCH(QString, reason);
    TableResult answer;
    answer.table = fresh;
    answer.events = events;
    const UpdateMerge m = mergeUpdate(parsed(old), answer, period);
    QCOMPARE(m.fetchInFull, merged.isEmpty());
    QCOMPARE(m.table, merged);
    QVERIFY2(m.reason.contains(reason), qPrintable(m.reason));
    QCOMPARE(m.reason.isEmpty(), reason.isEmpty());

    answer.reason = FailureReason::NoData; // a failed answer is never merged
    QVERIFY(mergeUpdate(parsed(old), answer, period).fetchInFull);
}

void TestTableUpdate::mergeWholeAnswer_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QByteArray>("fresh");
    QTest::addColumn<HistoryPeriod>("period");
    QTest::addColumn<QByteArray>("merged"); // empty: the answer is not a table
    const auto d = HistoryPeriod::Daily, w = HistoryPeriod::Weekly, m = HistoryPeriod::Monthly;
    const QByteArray old = table({"2024-03-08:5", "2024-03-07:4", "2024-03-01:3", "2024-02-29:2", "2024-02-28:1"});
    QTest::newRow("inside the file: rows either side kept")
        << old << table({"2024-03-04:9", "2024-03-01:8", "2024-02-29:7"}) << d
        << table({"2024-03-08:5", "2024-03-07:4", "2024-03-04:9", "2024-03-01:8", "2024-02-29:7", "2024-02-28:1"});
    QTest::newRow("a row the answer lacks inside its span goes")
        << old << table({"2024-03-07:9", "2024-02-29:7"}) << d
        << table({"2024-03-08:5", "2024-03-07:9", "2024-02-29:7", "2024-02-28:1"});
    QTest::newRow("past both ends") << old << table({"2024-03-11:9", "2024-02-27:7"}) << d
                                    << table({"2024-03-11:9", "2024-02-27:7"});
    QTest::newRow("before the file") << old << table({"2024-02-27:7", "2024-02-26:6"}) << d
                                     << table({"2024-03-08:5", "2024-03-07:4", "2024-03-01:3", "2024-02-29:2",
                                               "2024-02-28:1", "2024-02-27:7", "2024-02-26:6"});
    // A weekly answer from a Wednesday takes the place of that whole week's row.
    QTest::newRow("weekly, cut first week replaces its week")
        << table({"2024-03-11:5", "2024-03-04:4", "2024-02-26:3", "2024-02-19:2"}) << table({"2024-03-06:9", "2024-02-28:8"}) << w
        << table({"2024-03-11:5", "2024-03-06:9", "2024-02-28:8", "2024-02-19:2"});
    QTest::newRow("monthly") << table({"2024-04-01:5", "2024-03-01:4", "2024-02-01:3"}) << table({"2024-03-13:9"}) << m
                             << table({"2024-04-01:5", "2024-03-13:9", "2024-02-01:3"});
    QTest::newRow("answer not a table") << old << QByteArray("date,close\n2024-03-04,11\n") << d << QByteArray();
}

void TestTableUpdate::mergeWholeAnswer()
{
    QFETCH(QByteArray, old);
    QFETCH(QByteArray, fresh);
    QFETCH(HistoryPeriod, period);
    QFETCH(QByteArray, merged);
    QCOMPARE(mergeAnswer(parsed(old), fresh, period).value_or(QByteArray()), merged);
}

void TestTableUpdate::filePeriod_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("daily");
    QTest::addColumn<bool>("weekly");
    QTest::addColumn<bool>("monthly");
    QTest::newRow("days") << table({"2024-03-05:1", "2024-03-04:1", "2024-03-01:1"}) << true << false << false;
    QTest::newRow("weeks") << table({"2024-03-11:1", "2024-03-04:1", "2024-02-26:1"}) << false << true << false;
    QTest::newRow("weeks dated Friday, then Monday") << table({"2024-03-11:1", "2024-03-08:1", "2024-03-01:1"}) << false << true << false;
    QTest::newRow("months") << table({"2024-04-01:1", "2024-03-01:1", "2024-02-01:1"}) << false << false << true;
    // A range from the 29th: the cut first month, then the next one's first day.
    QTest::newRow("months from a month's last day") << table({"2024-04-01:1", "2024-03-01:1", "2024-02-29:1"}) << true << false << true;
    QTest::newRow("two rows tell nothing") << table({"2024-04-01:1", "2024-03-01:1"}) << true << true << true;
}

void TestTableUpdate::filePeriod()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, daily);
    QFETCH(bool, weekly);
    QFETCH(bool, monthly);
    const ExistingTable t = parsed(file);
    QCOMPARE(holdsPeriod(t, HistoryPeriod::Daily), daily);
    QCOMPARE(holdsPeriod(t, HistoryPeriod::Weekly), weekly);
    QCOMPARE(holdsPeriod(t, HistoryPeriod::Monthly), monthly);
}

void TestTableUpdate::converterEvents_data()
{
    QTest::addColumn<QByteArray>("api");
    QTest::addColumn<QByteArray>("events"); // chart: the events block; tiingo: the rows
    QTest::addColumn<QList<QDate>>("days");
    const QDate mon(2024, 3, 4), tue(2024, 3, 5);
    // 1709562600 is Monday 09:30 in New York; 1709611200 is Monday 23:00 there, Tuesday in UTC.
    QTest::newRow("chart, split") << QByteArray("chart") << QByteArray(R"({"splits":{"1709562600":{"date":1709562600,"numerator":2}}})") << QList<QDate>{mon};
    QTest::newRow("chart, dividend on the exchange's day") << QByteArray("chart") << QByteArray(R"({"dividends":{"1709611200":{"amount":0.5,"date":1709611200}}})") << QList<QDate>{mon};
    QTest::newRow("chart, both, one day") << QByteArray("chart") << QByteArray(R"({"splits":{"1709562600":{"date":1709562600}},"dividends":{"1709611200":{"amount":0.5}}})") << QList<QDate>{mon};
    QTest::newRow("chart, unreadable") << QByteArray("chart") << QByteArray(R"({"dividends":{"soon":{"amount":0.5}}})") << QList<QDate>{QDate()};
    QTest::newRow("tiingo, split and dividend") << QByteArray("tiingo") << QByteArray("2.0,0.0|1.0,0.25") << QList<QDate>{mon, tue};
    QTest::newRow("tiingo, unreadable dividend") << QByteArray("tiingo") << QByteArray("1.0,x|1.0,0") << QList<QDate>{mon};
}

void TestTableUpdate::converterEvents()
{
    QFETCH(QByteArray, api);
    QFETCH(QByteArray, events);
    QFETCH(QList<QDate>, days);
    const QDate from(2024, 3, 1), to(2024, 3, 8);
    TableResult r, plain;
    if (api == "chart") {
        const auto json = [](const QByteArray& ev) {
            return R"({"chart":{"result":[{"meta":{"gmtoffset":-18000},"timestamp":[1709562600,1709649000],"events":)" + ev
                + R"(,"indicators":{"quote":[{"open":[1,2],"high":[1,2],"low":[1,2],"close":[1,2],"volume":[5,6]}]}}],"error":null}})";
        };
        r = yahooChartTable(json(events), from, to, HistoryPeriod::Daily);
        plain = yahooChartTable(json("{}"), from, to, HistoryPeriod::Daily);
        QCOMPARE(r.table, plain.table); // events never change the file
    } else {
        const QList<QByteArray> ev = events.split('|');
        r = tiingoTable("date,open,high,low,close,volume,adjClose,splitFactor,divCash\n2024-03-04,4,4,4,4,10,2,"
                            + ev[0] + "\n2024-03-05,2,2,2,2,20,2," + ev[1] + '\n',
                        from, to, HistoryPeriod::Daily);
    }
    QVERIFY2(r.ok(), qPrintable(r.detail));
    QCOMPARE(r.events, days);
}

void TestTableUpdate::updateThroughService_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<HistoryPeriod>("period");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("stored"); // the end of the stored file's range
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QString>("reason"); // empty: merged, the bytes of a full fetch
    const auto d = HistoryPeriod::Daily, w = HistoryPeriod::Weekly, m = HistoryPeriod::Monthly;
    const QDate S(2004, 1, 2), Mar8(2024, 3, 8);
    for (const QString& source : {kSourceYahooChart, kSourceTiingo, kSourceYahoo}) {
        const QByteArray s = source.toLatin1();
        QTest::newRow(s + ", one new day") << source << "MSFT" << d << S << D.addDays(-1) << D << QString();
        QTest::newRow(s + ", weekly from an open week") << source << "MSFT" << w << S << QDate(2024, 2, 27) << Mar8 << QString();
        // A monthly file's first row may be its month's last weekday, or the next month's first: start late in January.
        QTest::newRow(s + ", monthly from an open month") << source << "MSFT" << m << QDate(2004, 1, 26) << QDate(2024, 2, 14) << QDate(2024, 3, 15) << QString();
    }
    QTest::newRow("Tokyo, one new day") << kSourceYahooChart << "7203.T" << d << S << D.addDays(-1) << D << QString();
    for (const QString& source : {kSourceYahooChart, kSourceTiingo}) {
        const QByteArray s = source.toLatin1();
        QTest::newRow(s + ", split after the file") << source << "SPLIT20240305_A" << d << S << D << Mar8 << "split or dividend on 2024-03-05";
        QTest::newRow(s + ", dividend after the file") << source << "DIV20240305_A" << d << S << D << Mar8 << "split or dividend on 2024-03-05";
        QTest::newRow(s + ", split inside the file") << source << "SPLIT20240227_A" << d << S << D << Mar8 << QString();
        QTest::newRow(s + ", dividend inside the file") << source << "DIV20240227_A" << d << S << D << Mar8 << QString();
        QTest::newRow(s + ", weekly split after the file") << source << "SPLIT20240305_A" << w << S << D << Mar8 << "split or dividend on 2024-03-0";
    }
}

void TestTableUpdate::updateThroughService()
{
    QFETCH(QString, source);
    QFETCH(QString, symbol);
    QFETCH(HistoryPeriod, period);
    QFETCH(QDate, start);
    QFETCH(QDate, stored);
    QFETCH(QDate, end);
    QFETCH(QString, reason);
    SourceSetup s;
    s.settings.dataSource = source;
    s.services.yahooChartHost = s.services.tiingoHost = QStringLiteral("http://") + m_service.host();
    s.services.yahooHistoryHost = m_service.host();
    s.apiKey = QStringLiteral("sim-tiingo-token");
    s.period = period;
    const auto src = makeQuoteSource(s);
    QVERIFY(src->writesPriceTable());
    const auto get = [&](const DateRange& range) {
        test::HttpSession fetcher(10);
        QByteArray body;
        QBuffer sink(&body);
        sink.open(QIODevice::WriteOnly);
        const FetchResult r = fetcher.get(src->dataRequest(symbol, {}, range), sink);
        TableResult t;
        t.reason = r.ok() ? FailureReason::None : fetchReason(r);
        t.table = body;
        return !r.ok() || src->storesBodyAsSent() ? t : src->convert(body, range);
    };

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file"));
    const TableResult first = get({start, stored});
    QVERIFY2(first.ok(), qPrintable(first.detail));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(first.table) == first.table.size());
    f.close();
    const auto onDisk = readExistingTable(path);
    QVERIFY(onDisk);
    QVERIFY(onDisk->rows.size() > (period == HistoryPeriod::Daily ? 5000u : 200u));
    const auto from = kestrion::updateFrom(*onDisk, {start, end}, period);
    QVERIFY(from && *from >= onDisk->newest.addMonths(-2));
    const TableResult fresh = get({*from, end});
    QVERIFY2(fresh.ok(), qPrintable(fresh.detail));
    const UpdateMerge merged = mergeUpdate(*onDisk, fresh, period);
    QVERIFY2(merged.reason.contains(reason) && merged.fetchInFull == !reason.isEmpty(), qPrintable(merged.reason));
    if (!merged.fetchInFull)
        QCOMPARE(merged.table, get({start, end}).table);
}

QTEST_GUILESS_MAIN(TestTableUpdate)
#include "test_table_update.moc"
