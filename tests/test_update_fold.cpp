// kestrion-cli against the local quote service: an update never removes a
// row, and weekly and monthly files are folded from the days inside the range.
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

namespace {

// A data file's rows, newest first, without the header; each row split into
// its seven fields.
using Rows = QList<QStringList>;

Rows rowsOf(const QString& path)
{
    Rows rows;
    const QList<QByteArray> lines = test::readAll(path).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!lines[i].isEmpty())
            rows << QString::fromLatin1(lines[i]).split(QLatin1Char(','));
    }
    return rows;
}

QDate dateOf(const QStringList& row)
{
    return QDate::fromString(row.value(0), Qt::ISODate);
}

// The first day of d's ISO week or month.
QDate periodStart(QDate d, const QString& period)
{
    return period == QLatin1String("weekly") ? d.addDays(1 - d.dayOfWeek()) : QDate(d.year(), d.month(), 1);
}

} // namespace

class TestUpdateFold : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void updateKeepsRowsOutsideTheAnswer_data();
    void updateKeepsRowsOutsideTheAnswer();
    void periodsFoldedFromDaysInRange_data();
    void periodsFoldedFromDaysInRange();
    void updateOfAnotherPeriodReplaces_data();
    void updateOfAnotherPeriodReplaces();

private:
    test::CliResult cli(const QString& dir, const QStringList& args);
    QString newDir(const QString& name);

    test::QuoteService m_service;
    std::unique_ptr<test::TempConfig> m_config;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestUpdateFold::initTestCase()
{
    QVERIFY(m_service.start());
}

void TestUpdateFold::init()
{
    m_config.reset(); // the old one restores the environment when it goes
    m_config = std::make_unique<test::TempConfig>();
    m_config->pointServicesAt(m_service.host(), 10);
    m_dir = std::make_unique<QTemporaryDir>();
}

QString TestUpdateFold::newDir(const QString& name)
{
    const QString path = m_dir->filePath(name);
    return QDir().mkdir(path) ? path : QString();
}

test::CliResult TestUpdateFold::cli(const QString& dir, const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // no desktop secret store here
    env.insert(QStringLiteral("KESTRION_TIINGO_TOKEN"), QStringLiteral("sim-tiingo-token"));
    return test::runCli(QStringList{"--dir", dir, "--ext", ".csv"} + args, m_config->path(), env);
}

void TestUpdateFold::updateKeepsRowsOutsideTheAnswer_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("from"); // of the update
    QTest::addColumn<QString>("to");
    // The file holds 2023-01-02 to 2024-03-15.
    QTest::newRow("Yahoo Chart, a range inside the file") << "yahoo-chart" << "MSFT" << "2023-06-01" << "2024-03-10";
    QTest::newRow("Yahoo Chart, ends before the file") << "yahoo-chart" << "MSFT" << "2023-01-01" << "2024-02-01";
    QTest::newRow("Tiingo, a range inside the file") << "tiingo" << "MSFT" << "2023-06-01" << "2024-03-10";
    QTest::newRow("Yahoo, a range inside the file") << "yahoo" << "MSFT" << "2023-06-01" << "2024-03-10";
    QTest::newRow("Yahoo Chart, new days only") << "yahoo-chart" << "MSFT" << "2023-01-02" << "2024-03-22";
    // The split comes after the file: the whole range again, the older rows kept.
    QTest::newRow("Yahoo Chart, refetched after a split") << "yahoo-chart" << "SPLIT20240319_A" << "2023-06-01"
                                                          << "2024-03-22";
    QTest::newRow("Tiingo, refetched after a dividend") << "tiingo" << "DIV20240319_A" << "2023-06-01" << "2024-03-22";
}

void TestUpdateFold::updateKeepsRowsOutsideTheAnswer()
{
    QFETCH(QString, source);
    QFETCH(QString, symbol);
    QFETCH(QString, from);
    QFETCH(QString, to);
    const QString dl = newDir(QStringLiteral("dl")), fresh = newDir(QStringLiteral("fresh"));
    const QStringList common{"--source", source, "--symbol", symbol};
    QCOMPARE(cli(dl, common + QStringList{"--from", "2023-01-02", "--to", "2024-03-15"}).code, 0);
    const QString name = QLatin1Char('/') + symbol + QStringLiteral(".csv");
    const Rows before = rowsOf(dl + name);
    QVERIFY(before.size() > 300);

    const test::CliResult updated = cli(dl, common + QStringList{"--from", from, "--to", to, "--update"});
    QCOMPARE(updated.code, 0);
    // What the service says of the update's range today.
    QCOMPARE(cli(fresh, common + QStringList{"--from", from, "--to", to}).code, 0);
    const Rows answer = rowsOf(fresh + name);
    QVERIFY(!answer.isEmpty());

    // The old rows after and before the answer's days, as they were; the
    // answer's rows in between.
    Rows expected;
    for (const QStringList& row : before) {
        if (dateOf(row) > dateOf(answer.first()))
            expected << row;
    }
    expected += answer;
    for (const QStringList& row : before) {
        if (dateOf(row) < dateOf(answer.last()))
            expected << row;
    }
    const Rows after = rowsOf(dl + name);
    QCOMPARE(after.size(), expected.size());
    QCOMPARE(after, expected);
    QVERIFY(after.size() >= before.size());
}

void TestUpdateFold::periodsFoldedFromDaysInRange_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("mid"); // where a file ends that an update then brings to "to"
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("periods");
    QTest::newRow("Yahoo Chart weekly, cut first and last week")
        << "yahoo-chart" << "MSFT" << "weekly" << "2024-01-03" << "2024-01-24" << "2024-02-14" << 7;
    QTest::newRow("Yahoo Chart monthly, to mid-March")
        << "yahoo-chart" << "MSFT" << "monthly" << "2023-11-15" << "2024-01-10" << "2024-03-13" << 5;
    QTest::newRow("Yahoo Chart weekly, Tokyo") << "yahoo-chart" << "7203.T" << "weekly" << "2024-01-03" << "2024-01-24"
                                               << "2024-02-14" << 7;
    QTest::newRow("Tiingo weekly, to a Wednesday")
        << "tiingo" << "MSFT" << "weekly" << "2024-01-03" << "2024-02-07" << "2024-03-13" << 11;
    QTest::newRow("Tiingo monthly, current month cut")
        << "tiingo" << "MSFT" << "monthly" << "2023-11-15" << "2024-02-20" << "2024-03-13" << 5;
}

void TestUpdateFold::periodsFoldedFromDaysInRange()
{
    QFETCH(QString, source);
    QFETCH(QString, symbol);
    QFETCH(QString, period);
    QFETCH(QString, from);
    QFETCH(QString, mid);
    QFETCH(QString, to);
    QFETCH(int, periods);
    const QString folded = newDir(QStringLiteral("folded")), daily = newDir(QStringLiteral("daily")),
                  updated = newDir(QStringLiteral("updated"));
    const QStringList common{"--source", source, "--symbol", symbol, "--from", from};
    QCOMPARE(cli(folded, common + QStringList{"--to", to, "--period", period}).code, 0);
    QCOMPARE(cli(daily, common + QStringList{"--to", to, "--period", "daily"}).code, 0);
    QString name = symbol;
    name = QLatin1Char('/') + name.replace(QLatin1Char('.'), QLatin1Char('-')) + QStringLiteral(".csv");
    const Rows bars = rowsOf(folded + name), days = rowsOf(daily + name);
    QCOMPARE(bars.size(), periods);
    QVERIFY(days.size() > periods);
    QVERIFY(dateOf(days.first()) <= QDate::fromString(to, Qt::ISODate));

    // The first bar opens on the range's first day and is dated so.
    QCOMPARE(bars.last()[0], days.last()[0]);
    QCOMPARE(bars.last()[1], days.last()[1]);
    // Each bar: from its date, the days of its period inside the range.
    qsizetype day = days.size() - 1; // oldest first through the days
    for (qsizetype b = bars.size() - 1; b >= 0; --b) {
        const QStringList& bar = bars[b];
        QCOMPARE(bar[0], days[day][0]);
        const QDate end = periodStart(dateOf(bar), period).addDays(period == QLatin1String("weekly") ? 7 : 0)
                              .addMonths(period == QLatin1String("weekly") ? 0 : 1);
        double high = -1, low = 1e300;
        qint64 volume = 0;
        QStringList last;
        for (; day >= 0 && dateOf(days[day]) < end; --day) {
            high = std::max(high, days[day][2].toDouble());
            low = std::min(low, days[day][3].toDouble());
            volume += days[day][5].toLongLong();
            last = days[day];
        }
        QCOMPARE(bar[2].toDouble(), high);
        QCOMPARE(bar[3].toDouble(), low);
        QCOMPARE(bar[4], last[4]); // Close of its last day
        QCOMPARE(bar[5].toLongLong(), volume);
        QCOMPARE(bar[6], last[6]); // Adj Close of its last day
    }
    QCOMPARE(day, -1);

    // An update folds the same way: a file to mid, brought to the end,
    // holds what the whole range gives.
    QCOMPARE(cli(updated, common + QStringList{"--to", mid, "--period", period}).code, 0);
    QCOMPARE(cli(updated, common + QStringList{"--to", to, "--period", period, "--update"}).code, 0);
    QCOMPARE(test::readAll(updated + name), test::readAll(folded + name));
}

void TestUpdateFold::updateOfAnotherPeriodReplaces_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("asked");
    QTest::newRow("Tiingo, weekly file brought up daily") << "tiingo" << "weekly" << "daily";
    QTest::newRow("Yahoo Chart, daily file brought up weekly") << "yahoo-chart" << "daily" << "weekly";
    QTest::newRow("Yahoo Chart, monthly file brought up weekly") << "yahoo-chart" << "monthly" << "weekly";
}

void TestUpdateFold::updateOfAnotherPeriodReplaces()
{
    // Days and weeks never share a file: it is fetched whole, as if new, the
    // rows before the range's start going with the rest.
    QFETCH(QString, source);
    QFETCH(QString, stored);
    QFETCH(QString, asked);
    const QString dl = newDir(QStringLiteral("dl")), fresh = newDir(QStringLiteral("fresh"));
    const QStringList common{"--source", source, "--symbol", "MSFT"};
    QCOMPARE(cli(dl, common + QStringList{"--from", "2023-01-02", "--to", "2024-03-15", "--period", stored}).code, 0);
    const QStringList asking = common + QStringList{"--from", "2023-06-01", "--to", "2024-03-22", "--period", asked};
    QCOMPARE(cli(dl, asking + QStringList{"--update"}).code, 0);
    QCOMPARE(cli(fresh, asking).code, 0);
    QCOMPARE(test::readAll(dl + QStringLiteral("/MSFT.csv")), test::readAll(fresh + QStringLiteral("/MSFT.csv")));
}

QTEST_GUILESS_MAIN(TestUpdateFold)
#include "test_update_fold.moc"
