// kestrion-cli running unattended: --automatic on the saved settings and its
// line in runs.log, and the lock that keeps a second run out of a download
// directory another run is writing to.
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace kestrion;

class TestCliUnattended : public QObject, protected test::CliRunFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(startService()); }
    void init() { QVERIFY(renew(60)); }
    void automaticOnSavedSettings();
    void secondRunIntoTheFolder_data();
    void secondRunIntoTheFolder();

private:
    QTemporaryDir m_state;
    QString lockPath() const { return m_dl + QStringLiteral("/.kestrion.lock"); }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_state.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config->path());
        return env;
    }
    QStringList symbolRun(const QString& symbol) const
    {
        return {"--symbol", symbol, "--dir", m_dl, "--source", "yahoo-chart", "--from", "2024-01-02", "--to", "2024-01-10"};
    }
};

void TestCliUnattended::automaticOnSavedSettings()
{
    const QString list = m_dir->filePath(QStringLiteral("saved.mdb"));
    QVERIFY(test::makeList(list, {"IBM", "ZZZZ"}));
    const QString launched = m_dir->filePath(QStringLiteral("launched"));
    const QString app = m_dir->filePath(QStringLiteral("chart.sh"));
    QFile script(app);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\ntouch '" + launched + "'\n").toUtf8());
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QMap<QString, QString> saved{{"Database Name", list}, {"DownloadDir", m_dl}, {"Data Source", "Yahoo Chart"},
                                       {"StartMonth", "Jan"},   {"StartDay", "02"},   {"StartYear", "2024"},
                                       {"File Extension", ".csv"}, {"Auto Start App", "1"}, {"App Name", app}};
    for (auto it = saved.cbegin(); it != saved.cend(); ++it)
        m_config->set(QStringLiteral("Settings"), it.key(), it.value());

    const test::CliResult r = test::runCli({"--automatic"}, m_config->path(), environment());
    QCOMPARE(r.out, QStringLiteral("IBM ok %1/IBM.csv\nZZZZ failed: not-found\n").arg(m_dl));
    QCOMPARE(r.code, 1);
    QVERIFY(test::readAll(m_dl + QStringLiteral("/IBM.csv")).contains("\n2024-01-02,"));
    QVERIFY(!QFile::exists(launched));
    QVERIFY(!QFile::exists(lockPath()));

    const QStringList lines = QString::fromUtf8(test::readAll(m_state.filePath(QStringLiteral("Kestrion/runs.log"))))
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    const QStringList fields = lines.first().split(QLatin1Char('\t'));
    QCOMPARE(fields.size(), 7);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"))
                 .match(fields.at(0))
                 .hasMatch(),
             qPrintable(fields.at(0)));
    QCOMPARE(fields.mid(1, 4), (QStringList{list, "Yahoo Chart", "1", "1"}));
    bool seconds = false;
    QVERIFY(fields.at(5).toDouble(&seconds) >= 0 && seconds);
    QCOMPARE(fields.at(6), QStringLiteral("1"));
}

void TestCliUnattended::secondRunIntoTheFolder_data()
{
    // How the first run ends: stopped by SIGTERM while the second is turned
    // away, or killed outright before the second starts (its lock is stale).
    QTest::addColumn<bool>("killed");
    QTest::newRow("still running") << false;
    QTest::newRow("killed, lock left behind") << true;
}

void TestCliUnattended::secondRunIntoTheFolder()
{
    QFETCH(bool, killed);
    QProcess first;
    first.setProcessEnvironment(environment());
    first.start(test::binPath(QStringLiteral("kestrion-cli")), symbolRun(QStringLiteral("HANG_A")));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(lockPath()).size() > 0, 30000);
    if (killed) {
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished());
        QVERIFY(QFile::exists(lockPath()));
    }

    const test::CliResult second = test::runCli(symbolRun(QStringLiteral("IBM")), m_config->path(), environment());
    if (killed) {
        QCOMPARE(second.code, 0);
        QVERIFY(QFile::exists(m_dl + QStringLiteral("/IBM.csv")));
        QVERIFY(!QFile::exists(lockPath()));
        return;
    }
    QCOMPARE(second.code, 3);
    QCOMPARE(second.err, QStringLiteral("kestrion-cli: another Kestrion run is writing to %1 (process %2)\n")
                             .arg(m_dl)
                             .arg(first.processId()));
    QVERIFY(second.out.isEmpty());
    QCOMPARE(QDir(m_dl).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral(".kestrion.lock")});
    first.terminate();
    QVERIFY(first.waitForFinished());
    QVERIFY(!QFile::exists(lockPath()));
}

QTEST_GUILESS_MAIN(TestCliUnattended)
#include "test_cli_unattended.moc"
