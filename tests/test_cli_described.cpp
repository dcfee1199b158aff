// kestrion-cli with the described services, against the local quote service
// through the shipped descriptions: whole runs and updates, a user's own
// description, the listing and the check of descriptions, keys and quota
// notices.
#include "own_descriptions.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

namespace {
const QString kEodhdKey = QStringLiteral("sim-eodhd-key");
const QString kTwelveKey = QStringLiteral("sim-twelve-data-key");
} // namespace

class TestCliDescribed : public QObject, protected test::CliRunFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void downloadsAndUpdates();
    void userDescription();
    void ownServiceEndToEnd_data();
    void ownServiceEndToEnd();
    void listAndCheck_data();
    void listAndCheck();
    void refusals_data();
    void refusals();
    void notStarted_data();
    void notStarted();

private:
    test::CliResult cli(const QStringList& args, const QMap<QString, QString>& keys = {});
    QString userFolder() const { return m_config->path() + QStringLiteral("/Kestrion/sources"); }
    bool writeUserFile(const QString& name, const QByteArray& bytes);
    QStringList requests() const
    {
        return QString::fromUtf8(test::readAll(m_log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList dataDates(const QString& path) const
    {
        QStringList dates;
        const QList<QByteArray> lines = test::readAll(path).split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            if (!lines.at(i).isEmpty())
                dates << QString::fromLatin1(lines.at(i).left(10));
        }
        return dates;
    }
    // No key shows anywhere Kestrion writes to the user.
    void verifyNoKey(const test::CliResult& r, const QString& key)
    {
        QVERIFY2(!r.out.contains(key) && !r.err.contains(key), qPrintable(r.out + r.err));
        QVERIFY(!test::readAll(m_dl + QStringLiteral("/errorlog.txt")).contains(key.toUtf8()));
    }
};

void TestCliDescribed::initTestCase()
{
    QVERIFY(startService());
}

void TestCliDescribed::init()
{
    QVERIFY(renew(5));
    m_config->set(QStringLiteral("Services"), QStringLiteral("Source Host My EOD"),
                  QStringLiteral("http://") + m_service.host());
}

bool TestCliDescribed::writeUserFile(const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(userFolder());
    QFile f(userFolder() + QLatin1Char('/') + name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

test::CliResult TestCliDescribed::cli(const QStringList& args, const QMap<QString, QString>& keys)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // no desktop secret store here
    for (const QString& name : env.keys()) {
        if (name.startsWith(QLatin1String("KESTRION_")) && name.endsWith(QLatin1String("_KEY")))
            env.remove(name);
    }
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        env.insert(it.key(), it.value());
    return test::runCli(QStringList{"--dir", m_dl, "--ext", ".csv"} + args, m_config->path(), env);
}

void TestCliDescribed::downloadsAndUpdates()
{
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {"IBM", "ZZZZ", "KO"}));
    const QMap<QString, QString> key{{QStringLiteral("KESTRION_EODHD_KEY"), kEodhdKey}};
    test::CliResult r = cli({"--list", list, "--source", "eodhd", "--from", "2024-01-02", "--to", "2024-01-10"}, key);
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"IBM ok " + m_dl + "/IBM.csv", "ZZZZ failed: not-found", "KO ok " + m_dl + "/KO.csv"}));
    verifyNoKey(r, kEodhdKey);
    const QString ibm = m_dl + QStringLiteral("/IBM.csv");
    QVERIFY(test::readAll(ibm).startsWith("Date,Open,High,Low,Close,Volume,Adj Close\n"));
    const QStringList first = dataDates(ibm);
    QVERIFY(!first.isEmpty());
    QCOMPARE(first.first(), QStringLiteral("2024-01-10")); // newest first
    QVERIFY(first.last() >= QStringLiteral("2024-01-02"));

    // The update asks only from the last stored day on and keeps the rest.
    QFile::resize(m_log, 0);
    r = cli({"--symbol", "IBM", "--source", "eodhd", "--from", "2024-01-02", "--to", "2024-01-19", "--update"}, key);
    QCOMPARE(r.code, 0);
    verifyNoKey(r, kEodhdKey);
    const QStringList asked = requests();
    QCOMPARE(asked.size(), 1);
    QVERIFY2(!asked.first().contains(QLatin1String("from=2024-01-02")), qPrintable(asked.first()));
    const QStringList updated = dataDates(ibm);
    QCOMPARE(updated.first(), QStringLiteral("2024-01-19"));
    QCOMPARE(updated.mid(updated.size() - first.size()), first);
}

void TestCliDescribed::userDescription()
{
    // A shipped description under another name is a service of the user's own.
    QJsonObject d = QJsonDocument::fromJson(test::readAll(test::binPath(QStringLiteral("../share/kestrion/sources/eodhd.json")))).object();
    QVERIFY(!d.isEmpty());
    d.insert(QStringLiteral("name"), QStringLiteral("My EOD"));
    QVERIFY(writeUserFile(QStringLiteral("mine.json"), QJsonDocument(d).toJson()));
    const test::CliResult r = cli({"--symbol", "MSFT", "--source", "my-eod", "--from", "2024-01-02", "--to", "2024-01-12"},
                                  {{QStringLiteral("KESTRION_MY_EOD_KEY"), kEodhdKey}});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("MSFT ok %1/MSFT.csv\n").arg(m_dl));
    QCOMPARE(dataDates(m_dl + QStringLiteral("/MSFT.csv")).first(), QStringLiteral("2024-01-12"));
    verifyNoKey(r, kEodhdKey);
}

// Services Kestrion has never seen, described in the user's own files: a
// list, then an update, gives the same files as a shipped service does for
// the same prices (the local service prices every symbol alike).
void TestCliDescribed::ownServiceEndToEnd_data()
{
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("keyVariable"); // empty: it goes without
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("firstAsk"); // the first day as the update asks for it
    QTest::newRow("German CSV, key in a header") << QByteArray(kBoersenblickDescription) << "börsenblick"
                                                << "KESTRION_BÖRSENBLICK_KEY" << "sim-boersenblick-key" << "von=03.01.2024";
    // 2024-01-03 00:00 UTC; the stamps it answers are midnight in Tokyo.
    QTest::newRow("nested JSON, Tokyo stamps, no key") << QByteArray(kKabuDescription) << "kabu-feed" << ""
                                                       << "" << "start=1704240000";
}

void TestCliDescribed::ownServiceEndToEnd()
{
    QFETCH(QByteArray, description);
    QFETCH(QString, source);
    QFETCH(QString, keyVariable);
    QFETCH(QString, key);
    QFETCH(QString, firstAsk);
    QVERIFY(writeUserFile(QStringLiteral("own.json"), description));
    QMap<QString, QString> keys{{QStringLiteral("KESTRION_EODHD_KEY"), kEodhdKey}};
    if (!keyVariable.isEmpty())
        keys.insert(keyVariable, key);
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {"IBM", "ZZZZ", "KO"}));
    const QStringList range{"--from", "2024-01-02", "--to", "2024-01-10"};
    test::CliResult r = cli(QStringList{"--list", list, "--source", source} + range, keys);
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"IBM ok " + m_dl + "/IBM.csv", "ZZZZ failed: not-found", "KO ok " + m_dl + "/KO.csv"}));
    QCOMPARE(r.code, 1);
    if (!key.isEmpty())
        verifyNoKey(r, key);

    // EODHD's answers for the same symbols and days, for comparison (a later
    // --dir wins).
    auto eodhdFile = [&](const QString& symbol, const QStringList& days) {
        const QString dir = m_dir->filePath(QStringLiteral("eodhd-") + days.last());
        QDir().mkpath(dir);
        const test::CliResult e =
            cli(QStringList{"--dir", dir, "--symbol", symbol, "--source", "eodhd", "--from"} + days, keys);
        return e.code == 0 ? test::readAll(dir + QLatin1Char('/') + symbol + ".csv") : QByteArray();
    };
    for (const QString& symbol : {QStringLiteral("IBM"), QStringLiteral("KO")}) {
        const QByteArray expected = eodhdFile(symbol, {"2024-01-02", "--to", "2024-01-10"});
        QVERIFY(expected.count('\n') == 8); // the header and seven weekdays
        QCOMPARE(test::readAll(m_dl + QLatin1Char('/') + symbol + ".csv"), expected);
    }

    // The update asks from a week before the newest stored day and keeps the rest.
    QFile::resize(m_log, 0);
    r = cli({"--symbol", "IBM", "--source", source, "--from", "2024-01-02", "--to", "2024-01-19", "--update"}, keys);
    QCOMPARE(r.code, 0);
    const QStringList asked = requests();
    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked.first().contains(firstAsk), qPrintable(asked.first()));
    QCOMPARE(test::readAll(m_dl + QStringLiteral("/IBM.csv")), eodhdFile(QStringLiteral("IBM"), {"2024-01-02", "--to", "2024-01-19"}));
}

void TestCliDescribed::listAndCheck_data()
{
    QTest::addColumn<QByteArray>("userFile"); // broken.json; empty: none
    QTest::addColumn<int>("checkCode");
    QTest::addColumn<QString>("problem"); // in --check-sources' output
    QTest::newRow("shipped only") << QByteArray() << 0 << "every source description is usable";
    QTest::newRow("unknown key") << QByteArray(R"({"name":"Broken","nope":1})") << 1 << "broken.json: nope";
    QTest::newRow("bad JSON") << QByteArray("{\"name\":") << 1 << "broken.json";
}

void TestCliDescribed::listAndCheck()
{
    QFETCH(QByteArray, userFile);
    QFETCH(int, checkCode);
    QFETCH(QString, problem);
    if (!userFile.isEmpty())
        QVERIFY(writeUserFile(QStringLiteral("broken.json"), userFile));
    const QMap<QString, QString> key{{QStringLiteral("KESTRION_EODHD_KEY"), kEodhdKey}};
    const test::CliResult check = cli({"--check-sources"}, key);
    QCOMPARE(check.code, checkCode);
    QVERIFY2(check.out.contains(problem), qPrintable(check.out));

    // A broken file is left out; the others are listed all the same.
    const test::CliResult list = cli({"--list-sources"}, key);
    QCOMPARE(list.code, 0);
    verifyNoKey(list, kEodhdKey);
    QMap<QString, QStringList> lines;
    for (const QString& line : list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines.insert(line.section(QLatin1Char('\t'), 0, 0), line.split(QLatin1Char('\t')));
    QVERIFY(!lines.contains(QStringLiteral("broken")));
    QCOMPARE(lines.value(QStringLiteral("yahoo-chart")),
             (QStringList{"yahoo-chart", "Yahoo Chart", "key: none", "key present: -", "daily,weekly,monthly",
                          "built in"}));
    const QStringList eodhd = lines.value(QStringLiteral("eodhd"));
    QCOMPARE(eodhd.mid(0, 6), (QStringList{"eodhd", "EODHD", "key: needed", "key present: yes", "daily,weekly,monthly",
                                           "shipped file"}));
    QVERIFY(eodhd.value(6).endsWith(QLatin1String("eodhd.json")));
    QCOMPARE(lines.value(QStringLiteral("twelve-data")).value(3), QStringLiteral("key present: no"));
    QCOMPARE(lines.value(QStringLiteral("alpha-vantage")).value(4), QStringLiteral("monthly"));
}

void TestCliDescribed::refusals_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stopped");
    // Twelve Data's quota notice comes with HTTP 200, EODHD's with 402: the
    // description's rules make each a refusal, waited for like a 429.
    QTest::newRow("HTTP 200 notice") << "twelve-data" << "KESTRION_TWELVE_DATA_KEY" << kTwelveKey << "Twelve Data";
    QTest::newRow("HTTP 402 notice") << "eodhd" << "KESTRION_EODHD_KEY" << kEodhdKey << "EODHD";
}

void TestCliDescribed::refusals()
{
    QFETCH(QString, source);
    QFETCH(QString, variable);
    QFETCH(QString, key);
    QFETCH(QString, stopped);
    // One ticker: a good answer to another one meanwhile would end the run
    // of refusals.
    const test::CliResult r = cli(
        {"--symbol", "QUOTA_A", "--source", source, "--from", "2024-01-02", "--to", "2024-01-10"}, {{variable, key}});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QStringLiteral("QUOTA_A failed: rate-limited\n"));
    QVERIFY2(r.err.contains(stopped + QStringLiteral(" refused further requests")), qPrintable(r.err));
    // Waited for twice, then given up after the third refusal in a row.
    QCOMPARE(requests().size(), 3);
    verifyNoKey(r, key);
}

void TestCliDescribed::notStarted_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("required key missing")
        << QStringList{"--symbol", "IBM", "--source", "eodhd"} << "set KESTRION_EODHD_KEY, or enter the key on the "
                                                                  "Sources page of Kestrion's options dialog";
    QTest::newRow("period it cannot give")
        << QStringList{"--symbol", "IBM", "--source", "alpha-vantage", "--period", "daily"}
        << "Alpha Vantage cannot give daily prices";
    QTest::newRow("unknown source") << QStringList{"--symbol", "IBM", "--source", "nosuch"} << "eodhd";
}

void TestCliDescribed::notStarted()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const test::CliResult r = cli(args + QStringList{"--from", "2024-01-02", "--to", "2024-01-10"});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QVERIFY(requests().isEmpty());
}

QTEST_GUILESS_MAIN(TestCliDescribed)
#include "test_cli_described.moc"
