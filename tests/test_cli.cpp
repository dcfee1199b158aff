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
    void unreachableServiceSaysWhereToLook();
    void singleSymbolAndOptions();
    void settingsGiveDefaults();
    void defaultListIsTheUsersCopy();
    void metastock_data();
    void metastock();
    void rangeEndingBeforeItStartsAsksNothing();
    void deleteExistingTrashesOnlyTheRunsFiles_data();
    void deleteExistingTrashesOnlyTheRunsFiles();
    void deleteExistingWithoutATrashDeletesNothing();
    void unwritableErrorLogIsReported();
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
    // The user's home in the settings folder too, so that the trash is the
    // one in its data folder, on the same file system as the downloads.
    Result cliAtHome(const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.insert(QStringLiteral("HOME"), m_config->path());
        return test::runCli(args, m_config->path(), env);
    }
    QString dataHome() const { return m_config->path() + QStringLiteral("/data"); }
    // A download folder holding these files, each with "old " and its name.
    QString folderWith(const QStringList& names)
    {
        const QString dl = m_dir->filePath(QStringLiteral("dl"));
        if (!QDir().mkpath(dl))
            return {};
        for (const QString& name : names) {
            QFile f(dl + QLatin1Char('/') + name);
            if (!f.open(QIODevice::WriteOnly) || f.write("old " + name.toUtf8()) < 0)
                return {};
        }
        return dl;
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
    QCOMPARE(r.err, QStringLiteral("kestrion-cli: 1 of 2 tickers failed (listed in %1/errorlog.txt)\n")
                        .arg(m_dir->path()));
}

void TestCli::unreachableServiceSaysWhereToLook()
{
    m_config->pointServicesAt(QStringLiteral("127.0.0.1:1"), 3); // nothing listens on port 1
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {QStringLiteral("MSFT"), QStringLiteral("KO")}));
    const Result r = cli({"--list", list, "--dir", m_dir->path(), "--source", "yahoo-chart"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QStringLiteral("MSFT failed: unreachable\nKO failed: unreachable\n"));
    QVERIFY2(r.err.contains(QStringLiteral("2 of 2 tickers failed")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("[Services] in %1").arg(m_config->settingsFile())), qPrintable(r.err));
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

void TestCli::rangeEndingBeforeItStartsAsksNothing()
{
    test::QuoteService logged;
    const QString requests = m_dir->filePath(QStringLiteral("requests.log"));
    QVERIFY(logged.start({QStringLiteral("--log"), requests}));
    m_config->pointServicesAt(logged.host(), 3);
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {QStringLiteral("MSFT"), QStringLiteral("KO"), QStringLiteral("IBM")}));
    const QString dl = folderWith({});
    for (const char* source : {"yahoo-chart", "yahoo", "wsc"}) {
        const Result r = cli({"--list", list, "--dir", dl, "--source", source, "--from", "2024-03-01", "--to",
                              "2024-01-01"});
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        QVERIFY2(r.err.contains(QLatin1String("2024-03-01")) && r.err.contains(QLatin1String("2024-01-01")),
                 qPrintable(r.err));
    }
    QCOMPARE(files(dl), QStringList());
    QCOMPARE(test::readAll(requests), QByteArray());
}

void TestCli::deleteExistingTrashesOnlyTheRunsFiles_data()
{
    QTest::addColumn<QStringList>("args"); // "@list" stands for a list of MSFT and KO
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QStringList>("trashed");
    const QStringList list{"--list", "@list"};
    QTest::newRow("list run") << list << true
                              << QStringList{".hidden", "KO.csv", "MSFT.csv", "MSFTSep252003.csv", "OTHER.csv",
                                             "notes.txt"}
                              << QStringList{"KO.csv", "MSFT.csv", "errorlog.txt"};
    QTest::newRow("list run, service unreachable")
        << list << false << QStringList{".hidden", "MSFTSep252003.csv", "OTHER.csv", "errorlog.txt", "notes.txt"}
        << QStringList{"KO.csv", "MSFT.csv", "errorlog.txt"};
    QTest::newRow("list run with date stamp")
        << (list + QStringList{"--date-stamp"}) << true
        << QStringList{".hidden", "KO.csv", "KOSep252003.csv", "MSFT.csv", "MSFTSep252003.csv", "OTHER.csv",
                       "notes.txt"}
        << QStringList{"MSFTSep252003.csv", "errorlog.txt"};
    // Every run deletes the log it starts with; the symbol's file is trashed.
    QTest::newRow("one symbol") << QStringList{"--symbol", "MSFT"} << true
                                << QStringList{".hidden", "KO.csv", "MSFT.csv", "MSFTSep252003.csv", "OTHER.csv",
                                               "notes.txt"}
                                << QStringList{"MSFT.csv"};
}

void TestCli::deleteExistingTrashesOnlyTheRunsFiles()
{
    QFETCH(QStringList, args);
    QFETCH(bool, reachable);
    QFETCH(QStringList, left);
    QFETCH(QStringList, trashed);
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {QStringLiteral("MSFT"), QStringLiteral("KO")}));
    args.replaceInStrings(QStringLiteral("@list"), list);
    const QStringList mine{"notes.txt", ".hidden", "OTHER.csv"};
    const QString dl = folderWith(mine + QStringList{"MSFT.csv", "KO.csv", "MSFTSep252003.csv", "errorlog.txt"});
    QVERIFY(!dl.isEmpty());
    if (!reachable)
        m_config->pointServicesAt(QStringLiteral("127.0.0.1:1"), 3);

    const Result r = cliAtHome(args + QStringList{"--dir", dl, "--source", "yahoo", "--from", "2003-01-01", "--to",
                                                  "2003-09-25", "--ext", ".csv", "--delete-existing"});
    QCOMPARE(r.code, reachable ? 0 : 1);
    QCOMPARE(QDir(dl).entryList(QDir::Files | QDir::Hidden, QDir::Name), left);
    for (const QString& name : mine)
        QCOMPARE(test::readAll(dl + QLatin1Char('/') + name), "old " + name.toUtf8());
    const QMap<QString, QByteArray> inTrash = test::trashedFiles(dataHome());
    QCOMPARE(inTrash.keys(), trashed);
    for (auto it = inTrash.cbegin(); it != inTrash.cend(); ++it)
        QCOMPARE(it.value(), "old " + it.key().toUtf8());
}

void TestCli::deleteExistingWithoutATrashDeletesNothing()
{
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {QStringLiteral("MSFT")}));
    const QString dl = folderWith({"MSFT.csv", "notes.txt"});
    // Where the trash belongs there is a file.
    QVERIFY(QDir().mkpath(dataHome()));
    QFile blocker(dataHome() + QStringLiteral("/Trash"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const Result r = cliAtHome({"--list", list, "--dir", dl, "--source", "yahoo", "--from", "2003-01-01", "--to",
                                "2003-09-25", "--ext", ".csv", "--delete-existing"});
    QCOMPARE(r.code, 1);
    QVERIFY(r.out.isEmpty()); // nothing was asked for
    QVERIFY2(r.err.contains(QLatin1String("MSFT.csv")) && r.err.contains(QLatin1String("could not be moved to the trash")),
             qPrintable(r.err));
    QCOMPARE(files(dl), (QStringList{"MSFT.csv", "notes.txt"}));
    QCOMPARE(test::readAll(dl + QStringLiteral("/MSFT.csv")), QByteArray("old MSFT.csv"));
}

void TestCli::unwritableErrorLogIsReported()
{
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {QStringLiteral("E500_L"), QStringLiteral("KO")}));
    const QString dl = folderWith({});
    QVERIFY(QDir(dl).mkdir(QStringLiteral("errorlog.txt"))); // in the log's way, whoever runs the test
    const Result r = cli({"--list", list, "--dir", dl, "--source", "yahoo", "--from", "2003-01-01", "--to",
                          "2003-02-25", "--ext", ".csv"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QStringLiteral("E500_L failed: server-error\nKO ok %1/KO.csv\n").arg(dl));
    QVERIFY2(r.err.contains(QStringLiteral("Could not write %1/errorlog.txt").arg(dl)), qPrintable(r.err));
}

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option") << QStringList{"--bogus"} << "bogus";
    QTest::newRow("bad period") << QStringList{"--period", "yearly", "--dir", "/tmp"} << "--period";
    QTest::newRow("bad date") << QStringList{"--from", "2003-13-01", "--dir", "/tmp"} << "--from";
    QTest::newRow("date with slashes") << QStringList{"--from", "2024/01/01", "--dir", "/tmp"} << "--from";
    QTest::newRow("date with a time") << QStringList{"--to", "2024-01-01T00:00", "--dir", "/tmp"} << "--to";
    QTest::newRow("date without leading zeros") << QStringList{"--from", "2024-1-1", "--dir", "/tmp"} << "--from";
    QTest::newRow("directory that is a file") << QStringList{"--dir", "/etc/hostname", "--symbol", "MSFT"}
                                              << "is not a directory";
    QTest::newRow("empty symbol") << QStringList{"--dir", "/tmp", "--symbol", ""} << "--symbol";
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
    // A --symbol run writes no error log, so the exit status does not send
    // every failure there.
    QVERIFY2(help.out.contains(QLatin1String("a list run names them in errorlog.txt")), qPrintable(help.out));
    const Result version = cli({"--version"});
    QCOMPARE(version.code, 0);
    QCOMPARE(version.out, QStringLiteral("kestrion-cli 1.5.7\n"));
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
