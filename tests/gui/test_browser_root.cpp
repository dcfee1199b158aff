// Analyze Stock as the README's commands run Kestrion: as root, started
// without QTWEBENGINE_DISABLE_SANDBOX. main() below prepares the sandbox as
// the program's own main does.
#include "app/ui/frmMain.h"
#include "app/ui/single_windows.h"
#include "core/app_state.h"
#include "gui_support.h"
#include "platform/browser_sandbox.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#ifdef KESTRION_HAVE_WEBENGINE
#include "tools/ui/frmBrowser.h"

#include <QWebEnginePage>
#include <QWebEngineView>
#endif

#include <csignal>
#include <unistd.h>

using namespace kestrion;
using namespace kestrion::test;

class TestBrowserRoot : public QObject
{
    Q_OBJECT

    GuiCase m_case;

#ifdef KESTRION_HAVE_WEBENGINE
    // Analyze Stock on the window's list; the browser once its first page is in.
    frmBrowser* analyze(TestWindow& w)
    {
        w.mnuAnalyzeStock->trigger();
        auto* browser = qobject_cast<frmBrowser*>(w->singleWindows().chartBrowser());
        if (!browser)
            return nullptr;
        QSignalSpy loaded(browser->brwWebBrowser, &QWebEngineView::loadFinished);
        if (!loaded.wait(60000) || !loaded.first().first().toBool())
            return nullptr;
        return browser;
    }
#endif

private Q_SLOTS:
    void initTestCase()
    {
#ifndef KESTRION_HAVE_WEBENGINE
        QSKIP("built without the web view");
#endif
        m_case.startTest(GuiCase::Quotes::LocalService);
    }

    void init()
    {
        m_case.startCase();
        appState().services.chartHost = m_case.service().host();
    }

    void cleanup()
    {
        m_case.endCase();
    }

    // First: the engine must not have started in this process yet.
    void missingHelperSaysWhyAndStaysUp()
    {
        TestWindow w;
        QVERIFY(!showWithList(w, m_case.tmp(QStringLiteral("l.mdb")), {QStringLiteral("IBM")}).isEmpty());
        const QString missing = m_case.tmp(QStringLiteral("nowhere/QtWebEngineProcess"));
        qputenv("QTWEBENGINEPROCESS_PATH", missing.toLocal8Bit());
        const QString status = w->statusText();
        MessageWatcher messages;
        w.mnuAnalyzeStock->trigger();
        qunsetenv("QTWEBENGINEPROCESS_PATH");
        QCOMPARE(messages.texts,
                 QStringList{QStringLiteral("The chart browser cannot start: its helper program QtWebEngineProcess is "
                                            "missing (looked for %1).")
                                 .arg(missing)});
        QCOMPARE(w->singleWindows().chartBrowser(), nullptr);
        QVERIFY(w->isVisible());
        QCOMPARE(w->statusText(), status);
    }

#ifdef KESTRION_HAVE_WEBENGINE
    void asRootTheBrowserRunsWithoutItsSandbox()
    {
        if (::geteuid() != 0)
            QSKIP("not running as root");
        QCOMPARE(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), QByteArray("1"));
        TestWindow w;
        QVERIFY(!showWithList(w, m_case.tmp(QStringLiteral("l.mdb")), {QStringLiteral("IBM")}).isEmpty());
        QStringList statuses;
        connect(w.get(), &frmMain::statusTextChanged, this, [&statuses](const QString& s) { statuses << s; });
        MessageWatcher messages;

        QPointer<frmBrowser> browser = analyze(w);
        QVERIFY(browser);
        const QStringList note{QStringLiteral("Running as root: the chart browser runs without its sandbox")};
        QCOMPARE(statuses, note);
        // Once: a second browser says nothing more.
        browser->close();
        QTRY_VERIFY(!browser);
        QVERIFY(analyze(w));
        QCOMPARE(statuses, note);
        QCOMPARE(messages.texts, QStringList());
        w->singleWindows().closeChartBrowser();
    }

    void endedPageSaysSoAndTheProgramStays()
    {
        TestWindow w;
        QVERIFY(!showWithList(w, m_case.tmp(QStringLiteral("l.mdb")), {QStringLiteral("IBM")}).isEmpty());
        QPointer<frmBrowser> browser = analyze(w);
        QVERIFY(browser);
        const qint64 pid = browser->brwWebBrowser->page()->renderProcessPid();
        QVERIFY(pid > 0);
        MessageWatcher messages(MessageWatcher::Find::TopLevel);
        QVERIFY(::kill(pid_t(pid), SIGKILL) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(messages.texts.size(), 1, 20000);
        QVERIFY2(messages.texts.first().startsWith(QStringLiteral("The chart page stopped: the browser's page "
                                                                  "process was ended by the system")),
                 qPrintable(messages.texts.first()));
        QVERIFY(browser);
        QVERIFY(browser->isVisible());
        QVERIFY(!browser->isBusy());
        QVERIFY(w->isVisible());
        // Refresh brings the page back.
        QSignalSpy loaded(browser->brwWebBrowser, &QWebEngineView::loadFinished);
        browser->buttonClick(QStringLiteral("Refresh"));
        QVERIFY(loaded.wait(60000));
        QVERIFY(loaded.first().first().toBool());
        w->singleWindows().closeChartBrowser();
    }
#endif
};

int main(int argc, char** argv)
{
    // As root, started as the README starts Kestrion: nothing switches the
    // sandbox off. Another user keeps the test environment's setting.
    if (::geteuid() == 0)
        qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    prepareBrowserSandbox();
    // Qt WebEngine needs the shared OpenGL context before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestBrowserRoot test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_browser_root.moc"
