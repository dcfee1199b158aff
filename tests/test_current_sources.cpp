// The current quote sources end to end: kestrion-cli against the local quote
// service, checking files, failure reasons, rate limits and the API key.
#include "download/rate_gate.h"
#include "metastock_reader.h"
#include "testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace kestrion;

namespace {
const QString kToken = QStringLiteral("sim-tiingo-token");
}

class TestCurrentSources : public QObject, protected test::CliRunFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void defaultListFromYahooChart();
    void exchangeLocalDatesNullsAndLiveRows();
    void tiingoSplitAdjusted();
    void convertedToMetaStock();
    void failureReasons_data();
    void failureReasons();
    void waitsAsRetryAfterSays();
    void stopsAskingAfterThreeRefusals();
    void tiingoKeyStaysSecret();
    void tiingoWithoutKeyAsksNothing();
    void fullDiskLeavesNothing_data();
    void fullDiskLeavesNothing();
    void retryAfterValues_data();
    void retryAfterValues();
    void tlsBackendPresent();
    void updateFetchesOnlyNewDays_data();
    void updateFetchesOnlyNewDays();
    void failedUpdateKeepsTheFile();
    void filesKeepTheirMode_data();
    void filesKeepTheirMode();

private:
    using Result = test::CliResult;
    Result cli(const QStringList& args, const QString& token = kToken, qint64 fileSizeLimit = 0);
    QStringList requests() const;
    QByteArray fetchJson(const QString& pathAndQuery);
    QStringList fileRows(const QString& name) const
    {
        QStringList rows = QString::fromUtf8(test::readAll(m_dl + QLatin1Char('/') + name)).split(QLatin1Char('\n'));
        if (!rows.isEmpty() && rows.last().isEmpty())
            rows.removeLast();
        return rows;
    }

};

void TestCurrentSources::initTestCase()
{
    QVERIFY(startService());
}

void TestCurrentSources::init()
{
    QVERIFY(renew(2));
}

TestCurrentSources::Result TestCurrentSources::cli(const QStringList& args, const QString& token,
                                                   qint64 fileSizeLimit)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // no desktop secret store here
    if (token.isEmpty())
        env.remove(QStringLiteral("KESTRION_TIINGO_TOKEN"));
    else
        env.insert(QStringLiteral("KESTRION_TIINGO_TOKEN"), token);
    std::function<void()> limit;
    if (fileSizeLimit > 0) {
        // No file may grow past the limit: writes fail as on a full disk.
        limit = [fileSizeLimit] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit l{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &l);
        };
    }
    // These cases name the files they check without an extension.
    return test::runCli(QStringList{"--dir", m_dl, "--ext", ""} + args, m_config->path(), env, limit);
}

QStringList TestCurrentSources::requests() const
{
    return QString::fromUtf8(test::readAll(m_log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray TestCurrentSources::fetchJson(const QString& pathAndQuery)
{
    QNetworkAccessManager nam;
    QNetworkRequest req(QUrl(QStringLiteral("http://") + m_service.host() + pathAndQuery));
    req.setRawHeader("User-Agent", "Mozilla/5.0 test");
    QNetworkReply* reply = nam.get(req);
    QSignalSpy done(reply, &QNetworkReply::finished);
    done.wait(10000);
    const QByteArray body = reply->readAll();
    delete reply;
    return body;
}

void TestCurrentSources::defaultListFromYahooChart()
{
    // Monday to Friday: the day either side that is asked for is a weekend.
    const Result r = cli({"--source", "yahoo-chart", "--from", "2024-01-08", "--to", "2024-03-22"});
    QCOMPARE(r.code, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 8, qPrintable(r.out));
    for (const QString& line : lines)
        QVERIFY2(line.contains(QLatin1String(" ok ")), qPrintable(line));

    // The file holds the service's own numbers, newest first, in exchange-local dates.
    const QStringList rows = fileRows(QStringLiteral("MSFT"));
    QCOMPARE(rows.first(), QStringLiteral("Date,Open,High,Low,Close,Volume,Adj Close"));
    const QJsonObject result = QJsonDocument::fromJson(
                                   fetchJson(QStringLiteral("/v8/finance/chart/MSFT?period1=1704585600&period2="
                                                            "1711238400&interval=1d&events=div%2Csplits")))
                                   .object()[QLatin1String("chart")]
                                   .toObject()[QLatin1String("result")]
                                   .toArray()
                                   .first()
                                   .toObject();
    const QJsonArray stamps = result[QLatin1String("timestamp")].toArray();
    const QJsonObject quote =
        result[QLatin1String("indicators")].toObject()[QLatin1String("quote")].toArray().first().toObject();
    const qint64 offset = result[QLatin1String("meta")].toObject()[QLatin1String("gmtoffset")].toInteger();
    QVERIFY(!stamps.isEmpty());
    const int last = int(stamps.size()) - 1;
    const QString lastDate = QDateTime::fromSecsSinceEpoch(stamps[last].toInteger() + offset, Qt::UTC)
                                 .date()
                                 .toString(Qt::ISODate);
    const QStringList newest = rows.at(1).split(QLatin1Char(','));
    QCOMPARE(newest.size(), 7);
    QCOMPARE(newest[0], lastDate);
    QCOMPARE(newest[4].toDouble(), std::round(quote[QLatin1String("close")].toArray()[last].toDouble() * 1e4) / 1e4);
    QCOMPARE(newest[5].toLongLong(), quote[QLatin1String("volume")].toArray()[last].toInteger());
    QCOMPARE(rows.size() - 1, stamps.size());
}

void TestCurrentSources::exchangeLocalDatesNullsAndLiveRows()
{
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {"7203.T", "NULL_A", "LIVE_B"}));
    Result r = cli({"--list", list, "--source", "yahoo-chart", "--from", "2024-03-04", "--to", "2024-03-08"});
    QCOMPARE(r.code, 0);
    // Tokyo bars are stamped 15:00 UTC the day before: still Monday to Friday locally.
    QStringList rows = fileRows(QStringLiteral("7203-T"));
    QCOMPARE(rows.size(), 6);
    QVERIFY(rows[1].startsWith(QLatin1String("2024-03-08,")));
    QVERIFY(rows[5].startsWith(QLatin1String("2024-03-04,")));
    // Null rows are dropped, never written as zeros or empty fields.
    rows = fileRows(QStringLiteral("NULL_A"));
    QVERIFY(rows.size() < 6);
    for (const QString& row : rows.mid(1))
        QVERIFY2(!row.contains(QLatin1String(",,")) && !row.contains(QLatin1String("null")), qPrintable(row));

    // Weekly: the service's doubled current week becomes one row.
    r = cli({"--list", list, "--source", "yahoo-chart", "--from", "2024-01-01", "--to", "2024-03-31", "--period",
             "weekly"});
    QCOMPARE(r.code, 0);
    rows = fileRows(QStringLiteral("LIVE_B"));
    QStringList weeks;
    for (const QString& row : rows.mid(1))
        weeks << QString::number(QDate::fromString(row.left(10), Qt::ISODate).weekNumber());
    QCOMPARE(weeks.size(), QSet<QString>(weeks.begin(), weeks.end()).size());
    QCOMPARE(weeks.size(), 13);
}

void TestCurrentSources::tiingoSplitAdjusted()
{
    const Result r = cli({"--symbol", "SPLIT_T", "--source", "tiingo", "--from", "2024-01-01", "--to", "2024-01-31"});
    QCOMPARE(r.code, 0);
    QVERIFY(requests().first().startsWith(
        QLatin1String("GET /tiingo/daily/split_t/prices?startDate=2024-01-01&endDate=2024-01-31&resampleFreq=daily")));
    // Raw prices before a 2:1 split are halved to the post-split scale: no
    // close differs from the next by a factor near two.
    const QStringList rows = fileRows(QStringLiteral("SPLIT_T"));
    QVERIFY(rows.size() > 10);
    for (int i = 1; i + 1 < rows.size(); ++i) {
        const double newer = rows[i].split(QLatin1Char(','))[4].toDouble();
        const double older = rows[i + 1].split(QLatin1Char(','))[4].toDouble();
        QVERIFY2(older / newer < 1.5 && newer / older < 1.5, qPrintable(rows[i] + " / " + rows[i + 1]));
    }
}

void TestCurrentSources::convertedToMetaStock()
{
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {"MSFT", "BCE.TO"}));
    const Result r = cli({"--list", list, "--source", "yahoo-chart", "--metastock", "--from", "2024-01-08", "--to",
                          "2024-01-12", "--period", "daily"});
    QCOMPARE(r.code, 0);
    const test::MsFolder folder = test::readMetaStockFolder(m_dl);
    QVERIFY2(folder.problems.isEmpty(), qPrintable(folder.problems.join(QLatin1Char('\n'))));
    const test::MsSecurity* bce = folder.find(QStringLiteral("BCE-TO"), 'D');
    QVERIFY(bce && folder.find(QStringLiteral("MSFT"), 'D'));
    QCOMPARE(bce->quotes.size(), 5);
    QCOMPARE(bce->quotes.first().date, 20240108);
    // Stored as MetaStock data, the table files are gone.
    QVERIFY(!QFile::exists(m_dl + QStringLiteral("/MSFT")) && !QFile::exists(m_dl + QStringLiteral("/BCE-TO")));
}

void TestCurrentSources::failureReasons_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("requests"); // a definite answer is not asked again
    QTest::newRow("unknown symbol") << "yahoo-chart" << "ZZNONE" << "not-found" << 1;
    QTest::newRow("tiingo unknown symbol") << "tiingo" << "ZZNONE" << "not-found" << 1;
    QTest::newRow("HTML page") << "yahoo-chart" << "HTML_A" << "bad-data" << 3;
    QTest::newRow("quota text with 200") << "tiingo" << "QUOTA_A" << "rate-limited" << 3;
    QTest::newRow("server error") << "yahoo-chart" << "E500_A" << "server-error" << 3;
    QTest::newRow("silence") << "yahoo-chart" << "HANG_A" << "timeout" << 3;
    // Qt itself sends a request again once after a dropped connection.
    QTest::newRow("dropped connection") << "tiingo" << "RESET_A" << "unreachable" << -1;
    QTest::newRow("no row in range") << "yahoo-chart" << "MSFT@weekend" << "no-data" << 3;
    QTest::newRow("old source, no data") << "yahoo" << "NO_A" << "no-data" << 3;
    QTest::newRow("old source, unknown symbol: retried as before") << "yahoo" << "ZZNONE" << "not-found" << 3;
}

void TestCurrentSources::failureReasons()
{
    QFETCH(QString, source);
    QFETCH(QString, symbol);
    QFETCH(QString, reason);
    QFETCH(int, requests);
    QString from = QStringLiteral("2024-01-02");
    QString to = QStringLiteral("2024-01-20");
    if (symbol.endsWith(QLatin1String("@weekend"))) {
        // The service sends Friday and Monday around it; neither is asked for.
        symbol.chop(8);
        from = QStringLiteral("2024-01-06");
        to = QStringLiteral("2024-01-07");
    }
    const Result r = cli({"--symbol", symbol, "--source", source, "--from", from, "--to", to});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, symbol + QStringLiteral(" failed: ") + reason + QLatin1Char('\n'));
    if (requests >= 0)
        QCOMPARE(this->requests().size(), requests);
}

void TestCurrentSources::waitsAsRetryAfterSays()
{
    // Two refusals, then an answer: the ticker is stored, the next one too.
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {"RA2_X", "MSFT"}));
    QElapsedTimer clock;
    clock.start();
    const Result r = cli({"--list", list, "--source", "yahoo-chart", "--from", "2024-01-02", "--to", "2024-01-20"});
    QCOMPARE(r.code, 0);
    QVERIFY(clock.elapsed() >= 1900); // Retry-After: 1, twice
    QCOMPARE(requests().size(), 4);
    QVERIFY(QFile::exists(m_dl + QStringLiteral("/RA2_X")));
}

void TestCurrentSources::stopsAskingAfterThreeRefusals()
{
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {"MSFT", "R429_A", "KO", "IBM"}));
    // One at a time, so that no later ticker is already on its way.
    const Result r = cli({"--list", list, "--source", "yahoo-chart", "--from", "2024-01-02", "--to", "2024-01-20",
                          "--jobs", "1"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"MSFT ok " + m_dl + "/MSFT", "R429_A failed: rate-limited", "KO failed: rate-limited",
                          "IBM failed: rate-limited"}));
    QVERIFY2(r.err.contains(QLatin1String("Yahoo Chart refused further requests")), qPrintable(r.err));
    // MSFT once, R429_A three times, nothing after.
    QCOMPARE(requests().size(), 4);
    QVERIFY(test::readAll(m_dl + QStringLiteral("/errorlog.txt")).endsWith("\r\n\r\nR429_A\r\nKO\r\nIBM\r\n"));
}

void TestCurrentSources::tiingoKeyStaysSecret()
{
    const QString secret = QStringLiteral("k3y-that-must-not-show");
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {"MSFT", "ZZNONE", "E500_A"}));
    const Result r = cli({"--list", list, "--source", "tiingo", "--from", "2024-01-02", "--to", "2024-01-20"}, secret);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.out.contains(QLatin1String("MSFT failed: unauthorized")), qPrintable(r.out));
    QVERIFY(!r.out.contains(secret) && !r.err.contains(secret));
    QVERIFY(!test::readAll(m_dl + QStringLiteral("/errorlog.txt")).contains(secret.toUtf8()));
    for (const QString& request : requests())
        QVERIFY2(!request.contains(secret), qPrintable(request));
}

void TestCurrentSources::tiingoWithoutKeyAsksNothing()
{
    const Result r = cli({"--symbol", "MSFT", "--source", "tiingo", "--from", "2024-01-02"}, QString());
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(QLatin1String("KESTRION_TIINGO_TOKEN")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QLatin1String("options")), qPrintable(r.err));
    QCOMPARE(requests(), QStringList());
}

void TestCurrentSources::fullDiskLeavesNothing_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<qint64>("limit"); // below what the file needs; a converted answer waits in memory
    QTest::newRow("body as sent") << "yahoo" << qint64(64 * 1024);
    QTest::newRow("converted") << "yahoo-chart" << qint64(1024);
}

void TestCurrentSources::fullDiskLeavesNothing()
{
    QFETCH(QString, source);
    QFETCH(qint64, limit);
    const Result r = cli({"--symbol", "BIG_A", "--source", source, "--from", "2024-01-02"}, kToken, limit);
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QStringLiteral("BIG_A failed: write-failed\n"));
    // Neither a partial data file nor a temporary one is left behind.
    QCOMPARE(QDir(m_dl).entryList(QDir::Files | QDir::Hidden), QStringList());

    // A file written in full that cannot take its name fails the same way.
    QVERIFY(QDir(m_dl).mkpath(QStringLiteral("MSFT/taken")));
    const Result taken = cli({"--symbol", "MSFT", "--source", source, "--from", "2024-01-02"});
    QCOMPARE(taken.code, 1);
    QCOMPARE(taken.out, QStringLiteral("MSFT failed: write-failed\n"));
    QCOMPARE(QDir(m_dl).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestCurrentSources::retryAfterValues_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<qint64>("ms"); // -1: not a Retry-After value
    QTest::newRow("seconds") << QByteArray("7") << qint64(7000);
    QTest::newRow("capped at two minutes") << QByteArray("86400") << qint64(120000);
    QTest::newRow("HTTP date") << QByteArray("Tue, 08 Dec 2026 12:00:30 GMT") << qint64(30000);
    QTest::newRow("date in the past") << QByteArray("Tue, 08 Dec 2026 11:00:00 GMT") << qint64(0);
    QTest::newRow("garbage") << QByteArray("soon") << qint64(-1);
    QTest::newRow("negative") << QByteArray("-5") << qint64(-1);
}

void TestCurrentSources::retryAfterValues()
{
    QFETCH(QByteArray, value);
    QFETCH(qint64, ms);
    const QDateTime now(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);
    QCOMPARE(RateGate::retryAfterMs(value, now).value_or(-1), ms);
    // Without one: 2 s, then 4 s, and the third refusal stops the source.
    RateGate gate;
    QCOMPARE(gate.refused({}, now).value_or(-1), qint64(2000));
    QCOMPARE(gate.refused({}, now).value_or(-1), qint64(4000));
    QVERIFY(!gate.refused({}, now) && gate.stopped());
}

void TestCurrentSources::tlsBackendPresent()
{
    // Both current sources are https: without a TLS backend every request fails.
    QVERIFY2(QSslSocket::supportsSsl(), qPrintable(QSslSocket::availableBackends().join(QLatin1Char(','))));
}

void TestCurrentSources::updateFetchesOnlyNewDays_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<int>("requestsForUpdate"); // 1: only the new days; 2: those, then the whole range
    QTest::newRow("Yahoo Chart") << "yahoo-chart" << "MSFT" << 1;
    QTest::newRow("Tiingo") << "tiingo" << "MSFT" << 1;
    QTest::newRow("Yahoo") << "yahoo" << "MSFT" << 1;
    QTest::newRow("Yahoo Chart, split after the file's last day") << "yahoo-chart" << "SPLIT20240318_A" << 2;
    QTest::newRow("Tiingo, dividend after the file's last day") << "tiingo" << "DIV20240319_A" << 2;
    QTest::newRow("Yahoo Chart, split inside the file") << "yahoo-chart" << "SPLIT20240201_A" << 1;
}

void TestCurrentSources::updateFetchesOnlyNewDays()
{
    QFETCH(QString, source);
    QFETCH(QString, symbol);
    QFETCH(int, requestsForUpdate);
    const QStringList common{"--source", source, "--symbol", symbol, "--from", "2023-06-01"};
    QCOMPARE(cli(common + QStringList{"--to", "2024-03-14"}).code, 0);
    const QByteArray before = test::readAll(m_dl + QLatin1Char('/') + symbol);
    QVERIFY(!before.isEmpty());

    QFile::resize(m_log, 0);
    const Result updated = cli(common + QStringList{"--to", "2024-03-22", "--update"});
    QCOMPARE(updated.code, 0);
    const QStringList asked = requests();
    QCOMPARE(asked.size(), requestsForUpdate);
    const QByteArray merged = test::readAll(m_dl + QLatin1Char('/') + symbol);

    // What a full run to the same day stores, and the request it makes.
    QFile::resize(m_log, 0);
    QVERIFY(QFile::remove(m_dl + QLatin1Char('/') + symbol));
    QCOMPARE(cli(common + QStringList{"--to", "2024-03-22"}).code, 0);
    QCOMPARE(merged, test::readAll(m_dl + QLatin1Char('/') + symbol));
    QVERIFY(merged != before);
    QCOMPARE(requests().size(), 1);
    // The first request of the update asks for less than the whole range.
    QVERIFY(asked.first() != requests().first());
    if (requestsForUpdate == 2)
        QCOMPARE(asked.last(), requests().first());
}

void TestCurrentSources::failedUpdateKeepsTheFile()
{
    // A good file under the name of a ticker the service fails: the update
    // fails and the file stays as it was.
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {"MSFT", "E500_A"}));
    QCOMPARE(cli({"--source", "yahoo-chart", "--symbol", "MSFT", "--from", "2024-01-02", "--to", "2024-02-20"}).code, 0);
    const QByteArray good = test::readAll(m_dl + QStringLiteral("/MSFT"));
    QVERIFY(QFile::copy(m_dl + QStringLiteral("/MSFT"), m_dl + QStringLiteral("/E500_A")));
    const Result r = cli({"--source", "yahoo-chart", "--list", list, "--from", "2024-01-02", "--to", "2024-02-27",
                          "--update", "--jobs", "2"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"MSFT ok " + m_dl + "/MSFT", "E500_A failed: server-error"}));
    QCOMPARE(test::readAll(m_dl + QStringLiteral("/E500_A")), good);
    QVERIFY(test::readAll(m_dl + QStringLiteral("/MSFT")) != good);
}

void TestCurrentSources::filesKeepTheirMode_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("update");
    QTest::addColumn<bool>("replace"); // a file of mode 0604 is there first
    QTest::newRow("converted, new") << "yahoo-chart" << false << false;
    QTest::newRow("body as sent, new") << "yahoo" << false << false;
    QTest::newRow("converted, replaced") << "yahoo-chart" << false << true;
    QTest::newRow("body as sent, replaced") << "yahoo" << false << true;
    QTest::newRow("converted, updated") << "yahoo-chart" << true << true;
    QTest::newRow("body as sent, updated") << "yahoo" << true << true;
}

void TestCurrentSources::filesKeepTheirMode()
{
    // A new data file gets what the umask allows, as any program's file
    // would; a replaced one keeps its mode, so a charting program run by
    // another user still reads it.
    QFETCH(QString, source);
    QFETCH(bool, update);
    QFETCH(bool, replace);
    const QString path = m_dl + QStringLiteral("/MSFT");
    const QStringList common{"--source", source, "--symbol", "MSFT", "--from", "2023-06-01"};
    const mode_t oldMask = ::umask(027); // the command inherits it
    const auto restore = qScopeGuard([oldMask] { ::umask(oldMask); });
    if (replace) {
        QCOMPARE(cli(common + QStringList{"--to", "2024-03-14"}).code, 0);
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0604) == 0);
    }
    QCOMPARE(cli(common + QStringList{"--to", "2024-03-22"} + (update ? QStringList{"--update"} : QStringList{}))
                 .code,
             0);
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, replace ? 0604u : 0640u);
}

QTEST_GUILESS_MAIN(TestCurrentSources)
#include "test_current_sources.moc"
