#include "metastock_reader.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

class TestCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void wholeList();
    void failedTickersExitOne();
    void singleSymbolAndOptions();
    void settingsGiveDefaults();
    void defaultListIsTheUsersCopy();
    void metastock_data();
    void metastock();
    void usageErrors_data();
    void usageErrors();
    void helpAndVersion();

private:
    using Result = test::CliResult;
    Result cli(const QStringList& args);
    QStringList files(const QString& dir) const
    {
        return QDir(dir).entryList(QDir::Files, QDir::Name);
    }

    test::QuoteService m_service;
    std::unique_ptr<test::TempConfig> m_config;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCli::initTestCase()
{
    QVERIFY(m_service.start());
}

void TestCli::init()
{
    m_config.reset(); // the old one restores the environment when it goes
    m_config = std::make_unique<test::TempConfig>();
    m_config->pointServicesAt(m_service.host(), 3);
    m_dir = std::make_unique<QTemporaryDir>();
}

TestCli::Result TestCli::cli(const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // no desktop secret store: the settings file only
    return test::runCli(args, m_config->path(), env);
}

void TestCli::wholeList()
{
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {QStringLiteral("MSFT"), QStringLiteral("BCE.TO")}));
    const QString dl = m_dir->filePath(QStringLiteral("dl"));
    QVERIFY(QDir().mkdir(dl));
    const Result r = cli({"--list", list, "--dir", dl, "--source", "yahoo", "--from", "2003-01-01", "--to",
                          "2003-09-25", "--period", "weekly", "--ext", ".csv"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("MSFT ok %1/MSFT.csv\nBCE.TO ok %1/BCE-TO.csv\n").arg(dl));
    QVERIFY(r.err.isEmpty()); // no progress line when stderr is not a terminal
    QCOMPARE(files(dl), (QStringList{"BCE-TO.csv", "MSFT.csv"}));
    const QByteArray body = test::readAll(dl + QStringLiteral("/MSFT.csv"));
    QVERIFY(body.startsWith("Date,Open,High,Low,Close,Volume,Adj Close"));
    QVERIFY(body.contains("2003-09-22"));
}

void TestCli::failedTickersExitOne()
{
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {QStringLiteral("E500_A"), QStringLiteral("KO")}));
    // Active alerts in the settings must not make the runner ask anything.
    m_config->set(QStringLiteral("Settings"), QStringLiteral("Active Alerts"), QStringLiteral("-1"));
    const Result r = cli({"--list", list, "--dir", m_dir->path(), "--source", "wsc", "--format", "5"});
    QCOMPARE(r.code, 1);
    // Nothing stored: the default extension Options shows, as the window uses it.
    QCOMPARE(r.out, QStringLiteral("E500_A failed: server-error\nKO ok %1/KO.csv\n").arg(m_dir->path()));
    QVERIFY(test::readAll(m_dir->filePath(QStringLiteral("errorlog.txt"))).endsWith("\r\n\r\nE500_A\r\n"));
}

void TestCli::singleSymbolAndOptions()
{
    QFile old(m_dir->filePath(QStringLiteral("OLD.txt")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();
    // A single symbol never clears the directory.
    const Result r = cli({"--symbol", "IBM", "--dir", m_dir->path(), "--source", "yahoo", "--to", "2003-09-25",
                          "--date-stamp", "--delete-existing", "--ext", ".csv"});
    QCOMPARE(r.code, 0);
    QCOMPARE(files(m_dir->path()), (QStringList{"IBMSep252003.csv", "OLD.txt"}));
}

void TestCli::settingsGiveDefaults()
{
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {QStringLiteral("KO")}));
    m_config->set(QStringLiteral("Settings"), QStringLiteral("Database Name"), list);
    m_config->set(QStringLiteral("Settings"), QStringLiteral("DownloadDir"), m_dir->path());
    m_config->set(QStringLiteral("Settings"), QStringLiteral("Data Source"), QStringLiteral("Yahoo"));
    m_config->set(QStringLiteral("Settings"), QStringLiteral("File Extension"), QStringLiteral(".dat"));
    m_config->set(QStringLiteral("Settings"), QStringLiteral("StartMonth"), QStringLiteral("Mar"));
    m_config->set(QStringLiteral("Settings"), QStringLiteral("StartDay"), QStringLiteral("03"));
    m_config->set(QStringLiteral("Settings"), QStringLiteral("StartYear"), QStringLiteral("2003"));
    const Result r = cli({"--to", "2003-03-31"});
    QCOMPARE(r.code, 0);
    const QByteArray body = test::readAll(m_dir->filePath(QStringLiteral("KO.dat")));
    QVERIFY(body.contains("2003-03-03"));
    QVERIFY(!body.contains("2003-02-28"));
}

void TestCli::defaultListIsTheUsersCopy()
{
    const QString shipped = test::binPath(QStringLiteral("dbase.mdb"));
    const QByteArray before = test::readAll(shipped);
    QVERIFY(!before.isEmpty());
    // Point the run at nothing real: only the list matters here.
    const Result r = cli({"--dir", m_dir->path(), "--source", "yahoo", "--from", "2003-01-01", "--to", "2003-01-31"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.startsWith(QLatin1String("MSFT ok")));
    const QString copy = m_config->path() + QStringLiteral("/data/Kestrion/Kestrion/dbase.mdb");
    QVERIFY(QFile::exists(copy));
    QCOMPARE(test::readAll(shipped), before);
}

void TestCli::metastock_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("Yahoo through the downloader") << "yahoo";
    QTest::newRow("Wall Street City ASCII 7 through the writer") << "wsc";
}

void TestCli::metastock()
{
    QFETCH(QString, source);
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {QStringLiteral("MSFT"), QStringLiteral("BCE.TO")}));
    const QString dl = m_dir->filePath(QStringLiteral("ms"));
    QVERIFY(QDir().mkdir(dl));
    const Result r = cli({"--list", list, "--dir", dl, "--source", source, "--format", "1", "--metastock", "--from",
                          "2003-01-01", "--to", "2003-09-25", "--period", "weekly", "--ext", ".csv"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("MSFT ok %1\nBCE.TO ok %1\n").arg(dl));
    const test::MsFolder folder = test::readMetaStockFolder(dl);
    QVERIFY2(folder.problems.isEmpty(), qPrintable(folder.problems.join(QLatin1Char('\n'))));
    QCOMPARE(folder.securities.size(), 2);
    const test::MsSecurity* bce = folder.find(QStringLiteral("BCE-TO"), 'W');
    QVERIFY(bce);
    QVERIFY(bce->quotes.size() > 30);
    QCOMPARE(bce->quotes.last().date, 20030922);
    // No data files remain beside the MetaStock folder.
    QVERIFY(QDir(dl).entryList({QStringLiteral("*.csv")}, QDir::Files).isEmpty());
}

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option") << QStringList{"--bogus"} << "bogus";
    QTest::newRow("bad period") << QStringList{"--period", "yearly", "--dir", "/tmp"} << "--period";
    QTest::newRow("bad date") << QStringList{"--from", "2003-13-01", "--dir", "/tmp"} << "--from";
    QTest::newRow("bad source") << QStringList{"--source", "google", "--dir", "/tmp"} << "--source";
    QTest::newRow("bad format") << QStringList{"--format", "2", "--dir", "/tmp"} << "--format";
    QTest::newRow("missing directory") << QStringList{"--dir", "/nonexistent/kestrion", "--symbol", "MSFT"}
                                       << "does not exist";
    QTest::newRow("no directory at all") << QStringList{"--symbol", "MSFT"} << "download directory";
    QTest::newRow("list that is not a list") << QStringList{"--dir", "/tmp", "--list", "/etc/hostname"}
                                             << "cannot open ticker list";
    QTest::newRow("missing list") << QStringList{"--dir", "/tmp", "--list", "/nonexistent.mdb"}
                                  << "cannot open ticker list";
    // "@empty" and "@locked" stand for lists the test makes.
    QTest::newRow("empty list") << QStringList{"--dir", "/tmp", "--list", "@empty"} << "is empty";
    QTest::newRow("list locked by another program") << QStringList{"--dir", "/tmp", "--list", "@locked"}
                                                    << "is locked";
    QTest::newRow("delete and update together") << QStringList{"--dir", "/tmp", "--symbol", "MSFT", "--delete-existing", "--update"}
                                                << "exclude each other";
    QTest::newRow("no jobs") << QStringList{"--dir", "/tmp", "--symbol", "MSFT", "--jobs", "0"} << "--jobs";
    QTest::newRow("too many jobs") << QStringList{"--dir", "/tmp", "--symbol", "MSFT", "--jobs", "9"} << "--jobs";
    QTest::newRow("jobs not a number") << QStringList{"--dir", "/tmp", "--symbol", "MSFT", "--jobs", "four"} << "--jobs";
    QTest::newRow("tiingo without a key") << QStringList{"--dir", "/tmp", "--symbol", "MSFT", "--source", "tiingo"}
                                          << "KESTRION_TIINGO_TOKEN";
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const QString made = m_dir->filePath(QStringLiteral("made.mdb"));
    QSqlDatabase locker;
    for (QString& arg : args) {
        if (!arg.startsWith(QLatin1Char('@')))
            continue;
        QVERIFY(test::makeList(made, arg == QLatin1String("@locked") ? QStringList{"MSFT"} : QStringList{}));
        if (arg == QLatin1String("@locked")) {
            locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
            locker.setDatabaseName(made);
            QVERIFY(locker.open());
            QVERIFY(QSqlQuery(locker).exec(QStringLiteral("BEGIN EXCLUSIVE")));
        }
        arg = made;
    }
    qunsetenv("KESTRION_TIINGO_TOKEN");
    const Result r = cli(args);
    if (locker.isValid()) {
        locker.close();
        locker = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    }
    QCOMPARE(r.code, 2);
    QVERIFY(r.out.isEmpty());
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
}

void TestCli::helpAndVersion()
{
    const Result help = cli({"--help"});
    QCOMPARE(help.code, 0);
    for (const char* opt : {"--list", "--dir", "--from", "--to", "--period", "--source", "--format", "--ext",
                            "--date-stamp", "--delete-existing", "--metastock", "--symbol"})
        QVERIFY2(help.out.contains(QLatin1String(opt)), opt);
    const Result version = cli({"--version"});
    QCOMPARE(version.code, 0);
    QCOMPARE(version.out, QStringLiteral("kestrion-cli 1.5.7\n"));
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
