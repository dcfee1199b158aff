// kestrion-cli at the edges of a run, against the local quote service:
// tickers that would share a file, the reason a ticker keeps when its source
// stops, and runs stopped by a signal or killed outright.
#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace kestrion;

class TestCliRunEdges : public QObject, protected test::CliRunFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void nameClash_data();
    void nameClash();
    void keepsTheReasonOfItsOwnAnswer();
    void signalLeavesNoTemporaryFiles_data();
    void signalLeavesNoTemporaryFiles();
    void removesStalePartFiles();

private:
    test::CliResult cli(const QStringList& args);
    QProcessEnvironment environment() const;
    QStringList requests() const
    {
        return QString::fromUtf8(test::readAll(m_log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList partFiles() const
    {
        return QDir(m_dl).entryList({QStringLiteral(".kestrion-*.part")}, QDir::Files | QDir::Hidden, QDir::Name);
    }

};

void TestCliRunEdges::initTestCase()
{
    QVERIFY(startService());
}

void TestCliRunEdges::init()
{
    QVERIFY(renew(3));
}

QProcessEnvironment TestCliRunEdges::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // no desktop secret store here
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config->path());
    return env;
}

// Files named as the service's symbols, no extension, as the checks below expect.
test::CliResult TestCliRunEdges::cli(const QStringList& args)
{
    return test::runCli(QStringList{"--dir", m_dl, "--ext", ""} + args, m_config->path(), environment());
}

void TestCliRunEdges::nameClash_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QStringList>("lines"); // %1: the download directory
    QTest::addColumn<QByteArray>("logged");
    QTest::addColumn<int>("requests");
    QTest::newRow("slash and backslash")
        << "yahoo-chart" << QStringList{"AB/C", "AB\\C", "KO"}
        << QStringList{"AB/C ok %1/AB-C", "AB\\C failed: name-clash (AB/C)", "KO ok %1/KO"} << QByteArray("AB\\C\r\n")
        << 2;
    // A body kept as sent that fails removes its file: not the earlier's.
    QTest::newRow("dot and dash, kept as sent")
        << "yahoo" << QStringList{"BRK.B", "BRK-B"}
        << QStringList{"BRK.B ok %1/BRK-B", "BRK-B failed: name-clash (BRK.B)"} << QByteArray("BRK-B\r\n") << 1;
    QTest::newRow("twice in the list, not next to each other")
        << "yahoo-chart" << QStringList{"KO", "MSFT", "KO", "ko"}
        << QStringList{"KO ok %1/KO", "MSFT ok %1/MSFT", "KO failed: name-clash (KO)", "ko ok %1/ko"}
        << QByteArray("KO\r\n") << 3;
}

void TestCliRunEdges::nameClash()
{
    QFETCH(QString, source);
    QFETCH(QStringList, symbols);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, logged);
    QFETCH(int, requests);
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, symbols));
    const test::CliResult r
        = cli({"--list", list, "--source", source, "--from", "2024-01-02", "--to", "2024-01-20", "--jobs", "4"});
    QCOMPARE(r.code, 1);
    for (QString& line : lines)
        line.replace(QStringLiteral("%1"), m_dl);
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), lines);
    // The clashing ticker is not asked for, so nothing overwrites the file.
    QCOMPARE(this->requests().size(), requests);
    const QString first = lines.first().section(QStringLiteral(" ok "), 1);
    QVERIFY(test::readAll(first).size() > 100);
    QVERIFY(test::readAll(m_dl + QStringLiteral("/errorlog.txt")).endsWith("\r\n\r\n" + logged));
}

void TestCliRunEdges::keepsTheReasonOfItsOwnAnswer()
{
    // HANG_A times out while R429_A's refusals stop the source; its next try
    // is then never sent, but what it was answered was a time-out.
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {"HANG_A", "R429_A", "KO"}));
    const test::CliResult r = cli(
        {"--list", list, "--source", "yahoo-chart", "--from", "2024-01-02", "--to", "2024-01-20", "--jobs", "4"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"HANG_A failed: timeout", "R429_A failed: rate-limited", "KO ok " + m_dl + "/KO"}));
    QVERIFY2(r.err.contains(QLatin1String("Yahoo Chart refused further requests")), qPrintable(r.err));
}

void TestCliRunEdges::signalLeavesNoTemporaryFiles_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void TestCliRunEdges::signalLeavesNoTemporaryFiles()
{
    QFETCH(int, signalNumber);
    // Long enough that HANG_A holds up the quick tickers behind it.
    m_config->pointServicesAt(m_service.host(), 60);
    const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(list, {"HANG_A", "MSFT", "KO"}));
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(test::binPath(QStringLiteral("kestrion-cli")),
            {"--dir", m_dl, "--list", list, "--source", "yahoo-chart", "--from", "2024-01-02", "--to", "2024-01-20"});
    QVERIFY(p.waitForStarted());
    // MSFT and KO are written beside their files, waiting for HANG_A.
    const auto written = [this] {
        int n = 0;
        for (const QString& part : partFiles())
            n += QFileInfo(m_dl + QLatin1Char('/') + part).size() > 0;
        return n;
    };
    QTRY_COMPARE_WITH_TIMEOUT(written(), 2, 30000);
    QCOMPARE(p.state(), QProcess::Running);
    ::kill(pid_t(p.processId()), signalNumber);
    QVERIFY(p.waitForFinished(30000));
    // Ended by the signal itself: the shell reports 128 + its number.
    QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    QCOMPARE(p.exitCode(), signalNumber);
    QCOMPARE(partFiles(), QStringList());
    QCOMPARE(QDir(m_dl).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestCliRunEdges::removesStalePartFiles()
{
    struct Left
    {
        QString name;
        int hoursOld;
        bool kept;
    };
    const QList<Left> left{
        {".kestrion-0123456789abcdef.part", 48, false}, // from a run killed outright
        {".kestrion-XyZ123.part", 25, false},
        {".kestrion-fedcba9876543210.part", 0, true}, // perhaps another run's, under way
        {".kestrion-0000000000000001.part", 23, true},
        {"notes.part", 48, true}, // not ours
        {".kestrion-1.txt", 48, true},
    };
    for (const Left& l : left) {
        QFile f(m_dl + QLatin1Char('/') + l.name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Date,Open\n");
        f.flush(); // a later write would make it new again
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600 * l.hoursOld),
                              QFileDevice::FileModificationTime));
    }
    const test::CliResult r
        = cli({"--symbol", "KO", "--source", "yahoo-chart", "--from", "2024-01-02", "--to", "2024-01-20"});
    QCOMPARE(r.code, 0);
    for (const Left& l : left)
        QVERIFY2(QFile::exists(m_dl + QLatin1Char('/') + l.name) == l.kept, qPrintable(l.name));
    QVERIFY(QFile::exists(m_dl + QStringLiteral("/KO")));
}

QTEST_GUILESS_MAIN(TestCliRunEdges)
#include "test_cli_run_edges.moc"
