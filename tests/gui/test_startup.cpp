#include "core/app_state.h"
#include "app/ui/frmMain.h"
#include "app/ui/frmSplash.h"
#include "gui_support.h"
#include "platform/settings_store.h"
#include "platform/shutdown_signals.h"
#include "platform/single_instance.h"
#include "testsupport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>
#include <optional>

using namespace kestrion;
using namespace kestrion::test;

namespace {

// Whether the process has its own handler for SIGTERM yet (Linux).
bool catchesSigterm(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    }
    return false;
}

// One run of the real program with its own settings folder.
class Program
{
public:
    explicit Program(const QString& configHome)
        : m_configHome(configHome)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.qpa.*=false"));
        m_process.setProcessEnvironment(env);
        m_process.setProgram(binPath(QStringLiteral("kestrion")));
        m_process.setWorkingDirectory(configHome);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool start()
    {
        m_process.start();
        return m_process.waitForStarted(10000);
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    void signal(int number) const { ::kill(pid_t(m_process.processId()), number); }
    // A ceiling, not a speed limit: a loaded machine may take its time.
    bool waitForEnd(int ms = 30000) { return m_process.waitForFinished(ms); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }
    int exitCode() const { return m_process.exitCode(); }

    QString settingsFile() const { return m_configHome + QStringLiteral("/Kestrion/Kestrion.conf"); }
    QString lockFile() const { return m_configHome + QStringLiteral("/Kestrion/Kestrion.lock"); }

private:
    QString m_configHome;
    QProcess m_process;
};

QString savedValue(const QString& file, const QString& name)
{
    QSettings s(file, QSettings::IniFormat);
    return s.value(QStringLiteral("Settings/") + name).toString();
}

bool savedContains(const QString& file, const QString& name)
{
    QSettings s(file, QSettings::IniFormat);
    return s.contains(QStringLiteral("Settings/") + name);
}

// The splash shows for three seconds; give the program a little more.
constexpr int kPastSplashMs = 3500;

// The pid of a process that has ended (so no live process has it now).
qint64 deadPid()
{
    QProcess p;
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
    p.waitForFinished(5000);
    return p.readAllStandardOutput().trimmed().toLongLong();
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private:
    GuiCase m_case;
    // The real program run once from an empty settings folder, shared by the
    // rows of savedDefaults.
    std::optional<QString> m_defaultsRunFailure;
    QTemporaryDir m_defaultsHome;

    void runDefaultsOnce()
    {
        if (m_defaultsRunFailure)
            return;
        m_defaultsRunFailure = QString();
        Program p(m_defaultsHome.path());
        if (!p.start()) {
            m_defaultsRunFailure = QStringLiteral("did not start");
            return;
        }
        QTest::qWait(kPastSplashMs);
        if (!p.running()) {
            m_defaultsRunFailure = QStringLiteral("not running after the splash");
            return;
        }
        if (QFile::exists(p.settingsFile())) {
            m_defaultsRunFailure = QStringLiteral("settings written before shutdown");
            return;
        }
        p.signal(SIGTERM);
        if (!p.waitForEnd())
            m_defaultsRunFailure = QStringLiteral("SIGTERM did not end it");
        else if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            m_defaultsRunFailure = QStringLiteral("SIGTERM did not end it normally");
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_case.startTest();
        QVERIFY(QFile::exists(binPath(QStringLiteral("kestrion"))));
    }

    void init()
    {
        m_case.startCase();
    }

    void cleanup()
    {
        m_case.endCase();
    }

    // --- splash -----------------------------------------------------------

    void splashTexts()
    {
        std::unique_ptr<frmMain> mainWindow;
        frmSplash splash(mainWindow);
        splash.Timer1->stop();
        QCOMPARE(splash.lblProductName->text(), QStringLiteral("Kestrion"));
        QCOMPARE(splash.lblVersion->text(), QStringLiteral("Version 1.5.7"));
        QCOMPARE(splash.lblPlatform->text(), QSysInfo::prettyProductName());
        QVERIFY(!splash.lblPlatform->text().contains(QStringLiteral("Windows 98")));
        QCOMPARE(splash.Label1->text(), QStringLiteral("Please set your screen resolution to 800x600 minimum.  "
                                                       "1024 x 768 with large fonts looks best."));
        QVERIFY(!splash.picLogo->pixmap().isNull());
        for (const char* name : {"picLogo", "lblProductName", "lblVersion", "lblPlatform", "Label1", "Timer1"})
            QVERIFY2(splash.findChild<QObject*>(QLatin1String(name)), name);
    }

    void splashScreenAdvice_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<bool>("advised");
        QTest::newRow("640x480") << QSize(640, 480) << true;
        QTest::newRow("800x600") << QSize(800, 600) << true;
        QTest::newRow("wide but short") << QSize(1600, 700) << true;
        QTest::newRow("1024x768") << QSize(1024, 768) << false;
        QTest::newRow("1600x1000") << QSize(1600, 1000) << false;
        QTest::newRow("no screen") << QSize() << true;
    }

    void splashScreenAdvice()
    {
        QFETCH(QSize, screen);
        QFETCH(bool, advised);
        const QString advice = frmSplash::screenAdvice(screen);
        QCOMPARE(advice.contains(QStringLiteral("800x600")), advised);
        QCOMPARE(advice.isEmpty(), !advised);
        // The splash follows its own screen.
        std::unique_ptr<frmMain> mainWindow;
        frmSplash splash(mainWindow);
        splash.Timer1->stop();
        const QSize own = QGuiApplication::primaryScreen()->size();
        QCOMPARE(splash.Label1->text(), frmSplash::screenAdvice(own));
        QCOMPARE(splash.Label1->isHidden(), splash.Label1->text().isEmpty());
    }

    void splashOpensTheMainWindowAfterThreeSeconds()
    {
        std::unique_ptr<frmMain> mainWindow;
        QElapsedTimer clock;
        clock.start();
        frmSplash splash(mainWindow);
        QVERIFY(splash.Timer1->isActive());
        QVERIFY(splash.Timer1->isSingleShot());
        QCOMPARE(splash.Timer1->interval(), 3000);
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        // Order, not speed: a loaded machine makes the wait longer, a precise
        // timer never makes it shorter than three seconds.
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow != nullptr, 30000);
        QVERIFY(clock.elapsed() >= 3000);
        QCOMPARE(splash.Timer1->timerType(), Qt::PreciseTimer);
        frmMain* main = mainWindow.get();
        QVERIFY(main->isVisible());
        QVERIFY(!splash.isVisible());
        // The splash firing again (it can't, but a stray call) makes no second window.
        splash.Timer1_Timer();
        QCOMPARE(mainWindow.get(), main);
        QVERIFY(main->isVisible());
        mainWindow.reset();
    }

    // --- one instance -------------------------------------------------------

    void lockRefusedWhileHeld()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Kestrion/Kestrion.lock"));
        auto first = std::make_unique<SingleInstance>(path);
        QCOMPARE(first->tryAcquire(), SingleInstance::Result::Acquired);
        QVERIFY(QFile::exists(path));
        SingleInstance second(path);
        QCOMPARE(second.tryAcquire(), SingleInstance::Result::AlreadyRunning);
        QVERIFY(!second.isHeld());
        first.reset();
        QVERIFY(!QFile::exists(path));
        QCOMPARE(second.tryAcquire(), SingleInstance::Result::Acquired);
    }

    void oldLockOfARunningInstanceStillHolds()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Kestrion.lock"));
        SingleInstance first(path);
        QCOMPARE(first.tryAcquire(), SingleInstance::Result::Acquired);
        // An instance that has simply been running for hours.
        QFile lock(path);
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addSecs(-6 * 3600), QFileDevice::FileModificationTime));
        lock.close();
        SingleInstance second(path);
        QCOMPARE(second.tryAcquire(), SingleInstance::Result::AlreadyRunning);
    }

    void lockOfAnEndedProcessIsTakenOver()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Kestrion.lock"));
        const qint64 pid = deadPid();
        QVERIFY(pid > 0);
        QFile lock(path);
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(pid) + "\nkestrion\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        SingleInstance next(path);
        QCOMPARE(next.tryAcquire(), SingleInstance::Result::Acquired);
    }

    void noLockPossibleIsNotAnotherInstance()
    {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("file"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        SingleInstance instance(blocker + QStringLiteral("/Kestrion/Kestrion.lock"));
        QCOMPARE(instance.tryAcquire(), SingleInstance::Result::Unavailable);
    }

    void lockLiesBesideTheSettingsFile()
    {
        const SettingsStore store;
        QCOMPARE(QFileInfo(SingleInstance::defaultLockPath()).absolutePath(),
                 QFileInfo(store.fileName()).absolutePath());
        QCOMPARE(QFileInfo(SingleInstance::defaultLockPath()).absolutePath(), m_case.config().path() + QStringLiteral("/Kestrion"));
    }

    // --- signals ------------------------------------------------------------

    void shutdownSignalsArriveOnTheEventLoop_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    void shutdownSignalsArriveOnTheEventLoop()
    {
        QFETCH(int, number);
        {
            ShutdownSignals handlers;
            QVERIFY(handlers.install());
            QSignalSpy spy(&handlers, &ShutdownSignals::requested);
            ::raise(number);
            QTRY_COMPARE(spy.count(), 1);
            QCOMPARE(spy.first().first().toInt(), number);
            // A second, independent handler set can't take over meanwhile.
            ShutdownSignals other;
            QVERIFY(!other.install());
        }
        struct sigaction current = {};
        QCOMPARE(::sigaction(number, nullptr, &current), 0);
        QVERIFY(current.sa_handler == SIG_DFL);
    }

    // --- the real program ---------------------------------------------------

    void savedDefaults_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        const char* const values[][2] = {
            {"MainLeft", "1000"},     {"MainTop", "1000"},         {"MainWidth", "6500"},
            {"MainHeight", "6500"},   {"Database Name", "dbase.mdb"}, {"DownloadDir", ""},
            {"StartMonth", "Jan"},    {"StartDay", "01"},           {"StartYear", "2003"},
            // The options dialog, loaded hidden by the main window, stores
            // what it showed for an empty source and extension.
            {"Data Source", "Yahoo Chart"}, {"Data Format", "5"},         {"Active Alerts", "0"},
            {"Delete Existing Files", "0"}, {"Date Stamp", "0"},    {"File Extension", ".csv"},
            {"Auto Start App", "0"},  {"Convert to MS", "0"},       {"Play Sound", "0"},
            {"App Name", ""},         {"ADT", ""}};
        for (const auto& v : values)
            QTest::newRow(v[0]) << QString::fromLatin1(v[0]) << QString::fromLatin1(v[1]);
    }

    // Started with an empty settings folder, running past the splash, then
    // ended with SIGTERM: every value is saved with its default.
    void savedDefaults()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        runDefaultsOnce();
        QVERIFY2(m_defaultsRunFailure->isEmpty(), qPrintable(*m_defaultsRunFailure));
        const QString file = m_defaultsHome.path() + QStringLiteral("/Kestrion/Kestrion.conf");
        QVERIFY2(savedContains(file, name), qPrintable(name));
        QCOMPARE(savedValue(file, name), value);
        QVERIFY(!QFile::exists(m_defaultsHome.path() + QStringLiteral("/Kestrion/Kestrion.lock")));
    }

    void sigtermDuringTheSplashQuitsWithoutSaving_data()
    {
        QTest::addColumn<bool>("atOnce");
        QTest::newRow("splash up") << false;
        // The moment the handler is there, before the splash is on screen.
        QTest::newRow("splash coming up") << true;
    }
    void sigtermDuringTheSplashQuitsWithoutSaving()
    {
        QFETCH(bool, atOnce);
        QTemporaryDir home;
        Program p(home.path());
        QVERIFY(p.start());
        // The splash takes the lock as it comes up; from then on it stays for
        // three seconds, however busy the machine is.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(p.lockFile()), 30000);
        if (atOnce)
            QTRY_VERIFY_WITH_TIMEOUT(catchesSigterm(p.pid()), 30000);
        else
            QTest::qWait(500); // its signal handlers come right after the lock
        QVERIFY(p.running());
        p.signal(SIGTERM);
        QVERIFY(p.waitForEnd());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        // The main window never came: nothing was saved.
        QVERIFY(!QFile::exists(p.settingsFile()));
    }

    void secondInstanceLeavesTheFirstAndTheSettingsAlone()
    {
        QTemporaryDir home;
        Program first(home.path());
        {
            QSettings s(first.settingsFile(), QSettings::IniFormat);
            s.setValue(QStringLiteral("Settings/ADT"), QStringLiteral("09:30:00"));
            s.setValue(QStringLiteral("Settings/StartMonth"), QStringLiteral("Jun"));
            s.setValue(QStringLiteral("Settings/StartYear"), QStringLiteral("1999"));
        }
        const QByteArray before = readAll(first.settingsFile());
        const QDateTime beforeTime = QFileInfo(first.settingsFile()).lastModified();
        QVERIFY(!before.isEmpty());

        QVERIFY(first.start());
        QTest::qWait(kPastSplashMs);
        QVERIFY(first.running());

        Program second(home.path());
        QVERIFY(second.start());
        QTest::qWait(kPastSplashMs + 500);
        // Held by its "Previous Instance Detected" message, not by a window.
        QVERIFY(second.running());
        QCOMPARE(readAll(first.settingsFile()), before);
        QCOMPARE(QFileInfo(first.settingsFile()).lastModified(), beforeTime);
        QCOMPARE(readAll(first.lockFile()).split('\n').value(0), QByteArray::number(first.pid()));

        // It never got as far as setting up an orderly shutdown: the signal
        // ends it outright, and nothing is saved.
        second.signal(SIGTERM);
        QVERIFY(second.waitForEnd());
        QCOMPARE(second.exitStatus(), QProcess::CrashExit);
        QCOMPARE(readAll(first.settingsFile()), before);

        QVERIFY(first.running());
        QCOMPARE(readAll(first.lockFile()).split('\n').value(0), QByteArray::number(first.pid()));
        first.signal(SIGTERM);
        QVERIFY(first.waitForEnd());
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(savedValue(first.settingsFile(), QStringLiteral("ADT")), QStringLiteral("09:30:00"));
        QCOMPARE(savedValue(first.settingsFile(), QStringLiteral("StartMonth")), QStringLiteral("Jun"));
        QCOMPARE(savedValue(first.settingsFile(), QStringLiteral("StartYear")), QStringLiteral("1999"));
        QCOMPARE(savedValue(first.settingsFile(), QStringLiteral("MainLeft")), QStringLiteral("1000"));
    }

    void killedInstanceDoesNotBlockTheNext()
    {
        QTemporaryDir home;
        Program killed(home.path());
        QVERIFY(killed.start());
        QTest::qWait(1500);
        QVERIFY(killed.running());
        QVERIFY(QFile::exists(killed.lockFile()));
        killed.signal(SIGKILL);
        QVERIFY(killed.waitForEnd());
        QVERIFY(QFile::exists(killed.lockFile())); // left behind

        Program next(home.path());
        QVERIFY(next.start());
        QTest::qWait(kPastSplashMs);
        QVERIFY(next.running());
        next.signal(SIGTERM);
        QVERIFY(next.waitForEnd());
        QCOMPARE(next.exitStatus(), QProcess::NormalExit);
        // Only a main window saves: the next instance really started.
        QCOMPARE(savedValue(next.settingsFile(), QStringLiteral("MainWidth")), QStringLiteral("6500"));
        QVERIFY(!QFile::exists(next.lockFile()));
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
