// kestrion-cli with fallback sources against the local quote service: a
// ticker the chosen source misses, refuses or blocks comes from the next
// source that can give it, each source stopping on its own; and a source
// that refused keeps one request in flight until it answers again.
#include "testsupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

class TestCliFallback : public QObject, protected test::CliRunFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(startService()); }
    void init() { QVERIFY(renew(60)); }
    void chain_data();
    void chain();
    void notStarted_data();
    void notStarted();
    void backToFullSpeed();
    void updateThroughChain();

private:
    QProcessEnvironment environment(bool eodhdKey) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // no desktop secret store here
        env.insert(QStringLiteral("KESTRION_TIINGO_TOKEN"), QStringLiteral("sim-tiingo-token"));
        env.remove(QStringLiteral("KESTRION_EODHD_KEY"));
        if (eodhdKey)
            env.insert(QStringLiteral("KESTRION_EODHD_KEY"), QStringLiteral("sim-eodhd-key"));
        return env;
    }
    QStringList requests() const
    {
        return QString::fromUtf8(test::readAll(m_log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList listArgs(const QStringList& symbols)
    {
        const QString list = m_dir->filePath(QStringLiteral("l.mdb"));
        [&] { QVERIFY(test::makeList(list, symbols)); }();
        return {"--list", list, "--dir", m_dl, "--ext", ".csv", "--from", "2024-01-02", "--to", "2024-01-10"};
    }
};

void TestCliFallback::chain_data()
{
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("saved"); // [Download] Fallback Sources
    QTest::addColumn<bool>("eodhdKey");
    QTest::addColumn<QStringList>("lines"); // "D/" is the download folder
    QTest::addColumn<QString>("err"); // in standard error
    QTest::addColumn<QString>("counted"); // part of a request's path...
    QTest::addColumn<int>("count"); // ...and how many requests had it
    const QStringList chain{"--source", "yahoo-chart", "--fallback", "tiingo,eodhd"};
    QTest::newRow("missed by one, then by two") << QStringList{"IBM", "NY_A", "NY-NT_B", "ZZZZ"} << chain << ""
        << true
        << QStringList{"IBM ok D/IBM.csv", "NY_A ok D/NY_A.csv (from Tiingo)",
                       "NY-NT_B ok D/NY-NT_B.csv (from EODHD)",
                       "ZZZZ failed: not-found; Tiingo: not-found; EODHD: not-found"}
        << "" << "/tiingo/" << 3;
    // Yahoo Chart refuses everything: four requests in flight, then one at
    // a time; the third refusal stops it and the rest go to Tiingo at once.
    QTest::newRow("refused: six requests, then the next source")
        << QStringList{"RY_A", "RY_B", "RY_C", "RY_D", "RY_E"}
        << QStringList{"--source", "yahoo-chart", "--fallback", "tiingo"} << "" << false
        << QStringList{"RY_A ok D/RY_A.csv (from Tiingo)", "RY_B ok D/RY_B.csv (from Tiingo)",
                       "RY_C ok D/RY_C.csv (from Tiingo)", "RY_D ok D/RY_D.csv (from Tiingo)",
                       "RY_E ok D/RY_E.csv (from Tiingo)"}
        << "Yahoo Chart refused further requests; it is asked nothing more in this run" << "/chart/" << 6;
    // Tiingo stops after its third refusal; Yahoo Chart and EODHD go on.
    QTest::newRow("each source stops on its own")
        << QStringList{"NY-RT_A", "NY-RT_B", "NY_C", "IBM"} << chain << "" << true
        << QStringList{"NY-RT_A ok D/NY-RT_A.csv (from EODHD)",
                       "NY-RT_B ok D/NY-RT_B.csv (from EODHD)", "NY_C ok D/NY_C.csv (from EODHD)",
                       "IBM ok D/IBM.csv"}
        << "Tiingo refused further requests" << "/tiingo/" << 3;
    QTest::newRow("a fallback without its key is left out") << QStringList{"NY-NT_B"} << chain << "" << false
        << QStringList{"NY-NT_B failed: not-found; Tiingo: not-found"}
        << "EODHD has no API key (KESTRION_EODHD_KEY): it is not asked" << "/api/eod/" << 0;
    QTest::newRow("saved fallbacks") << QStringList{"NY_A"} << QStringList{"--source", "yahoo-chart"}
                                     << "EODHD,Tiingo" << true
                                     << QStringList{"NY_A ok D/NY_A.csv (from EODHD)"} << "" << "/tiingo/" << 0;
    QTest::newRow("--fallback none") << QStringList{"NY_A"}
                                     << QStringList{"--source", "yahoo-chart", "--fallback", "none"} << "Tiingo"
                                     << true << QStringList{"NY_A failed: not-found"} << "" << "/tiingo/" << 0;
}

void TestCliFallback::chain()
{
    QFETCH(QStringList, symbols);
    QFETCH(QStringList, args);
    QFETCH(QString, saved);
    QFETCH(bool, eodhdKey);
    QFETCH(QStringList, lines);
    QFETCH(QString, err);
    QFETCH(QString, counted);
    QFETCH(int, count);
    if (!saved.isEmpty())
        m_config->set(QStringLiteral("Download"), QStringLiteral("Fallback Sources"), saved);
    const test::CliResult r = test::runCli(listArgs(symbols) + args, m_config->path(), environment(eodhdKey));
    lines.replaceInStrings(QStringLiteral(" D/"), QLatin1Char(' ') + m_dl + QLatin1Char('/'));
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), lines);
    const bool allStored = std::all_of(lines.cbegin(), lines.cend(), [](const QString& l) { return l.contains(" ok "); });
    QCOMPARE(r.code, allStored ? 0 : 1);
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    QCOMPARE(requests().filter(counted).size(), count);
    // The error log keeps its layout: the symbols no source could give.
    for (const QString& line : std::as_const(lines)) {
        const QByteArray symbol = line.section(QLatin1Char(' '), 0, 0).toUtf8();
        QCOMPARE(test::readAll(m_dl + QStringLiteral("/errorlog.txt")).contains("\r\n" + symbol + "\r\n"),
                 line.contains(QLatin1String(" failed")));
    }
}

void TestCliFallback::notStarted_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("old Yahoo chosen") << QStringList{"--source", "yahoo", "--fallback", "tiingo"} << "--fallback applies";
    QTest::newRow("Wall Street City chosen") << QStringList{"--source", "wsc", "--fallback", "tiingo"}
                                             << "--fallback applies";
    QTest::newRow("a fallback of another kind") << QStringList{"--source", "tiingo", "--fallback", "wsc"}
                                                << "not \"wsc\"";
    QTest::newRow("unknown name") << QStringList{"--source", "tiingo", "--fallback", "eodhd,nosuch"}
                                  << "not \"nosuch\"";
}

void TestCliFallback::notStarted()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const test::CliResult r = test::runCli(listArgs({"IBM"}) + args, m_config->path(), environment(true));
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QVERIFY(requests().isEmpty());
}

void TestCliFallback::backToFullSpeed()
{
    // Four refused at once count as one refusal; after the wait one goes
    // alone, and its good answer lets four go again: the four that never
    // answer are all under way together.
    QProcess cli;
    QProcessEnvironment env = environment(false);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config->path());
    cli.setProcessEnvironment(env);
    cli.start(test::binPath(QStringLiteral("kestrion-cli")),
              listArgs({"RL1_A", "RL1_B", "RL1_C", "RL1_D", "HANG_E", "HANG_F", "HANG_G", "HANG_H"})
                  + QStringList{"--source", "yahoo-chart", "--fallback", "none", "--jobs", "4"});
    QTRY_COMPARE_WITH_TIMEOUT(requests().filter(QStringLiteral("HANG_")).size(), 4, 50000);
    cli.kill();
    cli.waitForFinished();
    const QStringList asked = requests();
    QCOMPARE(asked.size(), 12);
    QVERIFY2(asked.at(4).contains(QLatin1String("RL1_A")), qPrintable(asked.at(4)));
    QCOMPARE(asked.mid(0, 8).filter(QStringLiteral("RL1_")).size(), 8);
}

void TestCliFallback::updateThroughChain()
{
    // The file Tiingo gave is brought up to date by Tiingo again, for the
    // days it lacks only.
    const QStringList args{"--symbol", "NY_A", "--dir", m_dl, "--ext", ".csv", "--from", "2024-01-02",
                           "--source", "yahoo-chart", "--fallback", "tiingo"};
    test::CliResult r = test::runCli(args + QStringList{"--to", "2024-01-10"}, m_config->path(), environment(false));
    QCOMPARE(r.out, QStringLiteral("NY_A ok %1/NY_A.csv (from Tiingo)\n").arg(m_dl));
    QFile::resize(m_log, 0);
    r = test::runCli(args + QStringList{"--to", "2024-01-19", "--update"}, m_config->path(), environment(false));
    QCOMPARE(r.out, QStringLiteral("NY_A ok %1/NY_A.csv (from Tiingo)\n").arg(m_dl));
    const QStringList tiingo = requests().filter(QStringLiteral("/tiingo/"));
    QCOMPARE(tiingo.size(), 1);
    QVERIFY2(tiingo.first().contains(QLatin1String("startDate=2024-01-03")), qPrintable(tiingo.first()));
    QVERIFY(test::readAll(m_dl + QStringLiteral("/NY_A.csv")).contains("\n2024-01-19,"));
    QVERIFY(test::readAll(m_dl + QStringLiteral("/NY_A.csv")).contains("\n2024-01-02,"));
}

QTEST_GUILESS_MAIN(TestCliFallback)
#include "test_cli_fallback.moc"
