// The main window's commands reaching their windows, the shutdown of the
// options form and the chart browser, the automatic download timer driven
// through the window with a clock the test sets, and one whole daily job.
#include "core/app_state.h"
#include "app/ui/frmMain.h"
#include "app/ui/help_window.h"
#include "app/ui/single_windows.h"
#include "download/ui/download_controller.h"
#include "gui_support.h"
#include "lists/ticker_list.h"
#include "options/ui/frmOptions.h"
#include "schedule/ui/dlgCreateDownloadDir.h"
#include "schedule/ui/dlgLaunchApp.h"
#include "testsupport.h"
#include "tools/ui/frmAbout.h"
#include "tools/ui/chart_view.h"
#include "tools/ui/frmBrowser.h"
#include "tools/ui/frmChart.h"
#include "tools/ui/frmView.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <functional>
#include <memory>

using namespace kestrion;
using namespace kestrion::test;

namespace {

const QString kViewerTitle = QStringLiteral("View/Edit File");

// Deals with every window that comes up modal while it lives. The handler
// is given the window on every poll until it says it is done with it;
// without one (or when it declines) message boxes are confirmed and other
// windows closed.
class Modals
{
public:
    using Handler = std::function<bool(QWidget*)>;

    explicit Modals(Handler handler = {})
        : m_handler(std::move(handler))
        , m_watcher([this](QWidget& modal) { return take(&modal); })
    {
    }

    QStringList seen;     // class names, in order
    QStringList messages; // texts of the message boxes
    QStringList titles;   // their titles

private:
    bool take(QWidget* modal)
    {
        if (modal != m_current) {
            m_current = modal;
            seen << QString::fromLatin1(modal->metaObject()->className());
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                messages << box->text();
                titles << box->windowTitle();
            }
        }
        if (m_handler && !m_handler(modal))
            return false;
        if (!m_handler || modal->isVisible()) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box && box->button(QMessageBox::Ok))
                box->button(QMessageBox::Ok)->click();
            else if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        }
        return true;
    }

    Handler m_handler;
    QPointer<QWidget> m_current;
    test::ModalWatcher m_watcher;
};

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

int lineCount(const QString& path)
{
    return int(readAll(path).count('\n'));
}

QDateTime at(int hour, int minute, int second, int msec = 0, int day = 25)
{
    return QDateTime(QDate(2003, 9, day), QTime(hour, minute, second, msec));
}

QStringList endDate(const TestWindow& w)
{
    return {w.cbxEndMonth->currentText(), w.cbxEndDay->currentText(), w.cbxEndYear->currentText()};
}

} // namespace

class TestMainCommands : public QObject
{
    Q_OBJECT

private:
    GuiCase m_case;
    QString m_dl;

    QString tmp(const QString& name) const { return m_case.tmp(name); }
    QString saved(const QString& name) const { return m_case.saved(name); }

    // A shown window on a fresh list, downloading weekly Yahoo quotes of
    // January 2003 as .csv files into m_dl.
    void prepare(TestWindow& w, const QStringList& symbols)
    {
        prepareWeeklyYahooRun(w, tmp(QStringLiteral("list.mdb")), symbols, m_dl, {"Jan", "31", "2003"}, Show::Active);
    }

    // Ticks the window's timer at the moment; true when that started a run.
    static bool tickAt(TestWindow& w, const QDateTime& moment)
    {
        const bool before = w->downloadController().isRunning();
        QSignalSpy ended(&w->downloadController(), &DownloadController::finished);
        w.tickAt(moment);
        // A run that ends at a prompt has ended before the tick returns.
        return !before && (w->downloadController().isRunning() || !ended.isEmpty());
    }

    static bool waitForRunEnd(TestWindow& w)
    {
        return QTest::qWaitFor([&w] { return !w->downloadController().isRunning(); }, 60000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_case.startTest(GuiCase::Quotes::LocalService);
    }

    void init()
    {
        m_case.startCase();
        m_dl = m_case.downloadDir();
        QLocale::setDefault(QLocale::c());
    }

    void cleanup()
    {
        QLocale::setDefault(QLocale::c());
        m_case.endCase();
    }

    // --- toolbar and menus -------------------------------------------------------

    void toolbarKeysRunTheirCommands_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("Open List") << "Open List";
        QTest::newRow("View File") << "View File";
        QTest::newRow("Analyze Stock") << "Analyze Stock";
        QTest::newRow("Launch Application") << "Launch Application";
    }

    void toolbarKeysRunTheirCommands()
    {
        QFETCH(QString, key);
        QStringList started;
        TestWindow w;
        w->singleWindows().setProgramStarter([&started](const QString& line) {
            started << line;
            return true;
        });
        prepare(w, {"IBM", "BCE.TO"});
        appState().settings.appName = QStringLiteral("charts --open");
        w->setCurrentRow(1);
        w.openAnswer.clear();
        QString dialogFolder;
        Modals modals([&dialogFolder](QWidget* m) {
            if (auto* fd = qobject_cast<QFileDialog*>(m))
                dialogFolder = fd->directory().absolutePath();
            return true;
        });

        QAction* button = w->toolbarButton(key);
        QVERIFY(button);
        QTest::mouseClick(w.tbToolBar->widgetForAction(button), Qt::LeftButton);
        QTest::qWait(200);

        QCOMPARE(w.openAsked, key == QLatin1String("Open List") ? 1 : 0);
        QCOMPARE(dialogFolder, key == QLatin1String("View File") ? m_dl : QString());
        QCOMPARE(modals.seen, key == QLatin1String("View File") ? QStringList{"QFileDialog"} : QStringList());
        QCOMPARE(started, key == QLatin1String("Launch Application") ? QStringList{"charts --open"} : QStringList());
        QCOMPARE(w->singleWindows().launchPrompt(), nullptr);
        if (key == QLatin1String("Analyze Stock")) {
            QCOMPARE(appState().strTicker, QStringLiteral("BCE.TO"));
#ifdef KESTRION_HAVE_WEBENGINE
            QVERIFY(w->singleWindows().chartBrowser());
            QVERIFY(w->singleWindows().chartBrowser()->isVisible());
#endif
        } else {
            QCOMPARE(appState().strTicker, QString());
            QCOMPARE(w->singleWindows().chartBrowser(), nullptr);
        }
    }

    void menuCommandsOpenTheirWindows_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("seen"); // modal windows, in order
        QTest::addColumn<QString>("title");
        QTest::newRow("View File") << "mnuViewFile" << QStringList{"QFileDialog", "kestrion::frmView"} << "path";
        QTest::newRow("View Error Log") << "mnuViewErrorLog" << QStringList{"kestrion::frmView"} << kViewerTitle;
        QTest::newRow("About") << "mnuHelpAbout" << QStringList{"kestrion::frmAbout"} << "";
        QTest::newRow("Options") << "mnuViewOptions" << QStringList{"kestrion::frmOptions"} << "Options";
        QTest::newRow("Help Contents (modeless)") << "mnuHelpContents" << QStringList{} << "Kestrion Help";
        QTest::newRow("Launch Application without a program (modeless prompt)")
            << "mnuLaunch" << QStringList{} << "Launch Application";
    }

    void menuCommandsOpenTheirWindows()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, seen);
        QFETCH(QString, title);
        QStringList started;
        TestWindow w;
        w->singleWindows().setProgramStarter([&started](const QString& line) {
            started << line;
            return false;
        });
        prepare(w, {"IBM"});
        const QString shown = m_dl + QStringLiteral("/IBM.csv");
        QVERIFY(writeFile(shown, "Date,Close\r\n2003-09-25,1\r\n"));
        QVERIFY(writeFile(m_dl + QStringLiteral("/errorlog.txt"), "Errors\r\n\r\nZZBAD\r\n"));

        QString dialogFolder;
        QString modalTitle;
        QString viewerText;
        QWidget* modalParent = nullptr;
        Modals modals([&](QWidget* m) {
            if (auto* fd = qobject_cast<QFileDialog*>(m)) {
                dialogFolder = fd->directory().absolutePath();
                // Typed into the name box, as a user may.
                auto* name = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (!name)
                    return true;
                name->setText(shown);
                QMetaObject::invokeMethod(fd, "accept");
                return true;
            }
            if (auto* viewer = qobject_cast<frmView*>(m)) {
                if (viewer->isLoading())
                    return false;
                viewerText = viewer->text();
            }
            modalTitle = m->windowTitle();
            modalParent = m->parentWidget();
            return true;
        });

        QAction* action = w->findChild<QAction*>(command);
        QVERIFY(action);
        action->trigger();
        QTest::qWait(100);
        QCOMPARE(modals.seen, seen);
        QCOMPARE(modals.messages, QStringList());
        if (!seen.isEmpty()) {
            QCOMPARE(modalParent, static_cast<QWidget*>(w.get()));
            QCOMPARE(modalTitle, title == QLatin1String("path") ? shown : title.isEmpty() ? modalTitle : title);
        }

        if (command == QLatin1String("mnuViewFile")) {
            QCOMPARE(dialogFolder, m_dl);
            QCOMPARE(viewerText, QStringLiteral("Date,Close\n2003-09-25,1\n"));
        } else if (command == QLatin1String("mnuViewErrorLog")) {
            QVERIFY2(viewerText.contains(QStringLiteral("ZZBAD")), qPrintable(viewerText));
        } else if (command == QLatin1String("mnuHelpAbout")) {
            QVERIFY(modalTitle.contains(QStringLiteral("Kestrion")));
        } else if (command == QLatin1String("mnuHelpContents")) {
            HelpWindow* help = w->helpWindow();
            QVERIFY(help);
            QTRY_VERIFY(help->isVisible());
            QVERIFY(!help->isModal());
            QCOMPARE(help->windowTitle(), title);
            QCOMPARE(help->txtContents->source(),
                     QUrl::fromLocalFile(applicationFolder() + QStringLiteral("/Kestrion.html")));
            const QString text = help->txtContents->toPlainText();
            QVERIFY2(text.contains(QStringLiteral("Get Historical Data")), qPrintable(text.left(200)));
        } else if (command == QLatin1String("mnuLaunch")) {
            // No program named: the prompt asks for one, and the main window
            // stays usable beside it.
            QCOMPARE(started, QStringList());
            dlgLaunchApp* prompt = w->singleWindows().launchPrompt();
            QVERIFY(prompt);
            QVERIFY(prompt->isVisible());
            QVERIFY(!prompt->isModal());
            QCOMPARE(prompt->windowTitle(), title);
            QCOMPARE(prompt->parentWidget(), static_cast<QWidget*>(w.get()));
            QTest::mouseClick(prompt->CancelButton, Qt::LeftButton);
            QTRY_COMPARE(w->singleWindows().launchPrompt(), nullptr);
        }
    }

    void viewFileCancelledOpensNoViewer()
    {
        TestWindow w;
        prepare(w, {"IBM"});
        Modals modals([](QWidget* m) {
            if (auto* fd = qobject_cast<QFileDialog*>(m))
                fd->reject();
            return true;
        });
        w.mnuViewFile->trigger();
        QTest::qWait(100);
        QCOMPARE(modals.seen, QStringList{"QFileDialog"});
    }

    void helpWindowIsReused()
    {
        TestWindow w;
        prepare(w, {"IBM"});
        w.mnuHelpContents->trigger();
        QPointer<HelpWindow> first = w->helpWindow();
        QVERIFY(first);
        QTRY_VERIFY(first->isVisible());
        w.mnuHelpContents->trigger();
        QCOMPARE(w->helpWindow(), first.data());
        // Closed by the user, it comes back on the next Contents.
        first->close();
        QVERIFY(!first->isVisible());
        w.mnuHelpContents->trigger();
        QCOMPARE(w->helpWindow(), first.data());
        QTRY_VERIFY(first->isVisible());
        QCOMPARE(w->findChildren<HelpWindow*>().size(), 1);
    }

    void missingHelpDocumentIsNamed()
    {
        TestWindow w;
        prepare(w, {"IBM"});
        const QString helpPath = tmp(QStringLiteral("Kestrion.html"));
        w->setHelpFilePath(helpPath);
        Modals modals;
        w.mnuHelpContents->trigger();
        QTRY_COMPARE(modals.messages.size(), 1);
        QVERIFY2(modals.messages.first().contains(QDir::toNativeSeparators(helpPath)),
                 qPrintable(modals.messages.first()));
        QVERIFY(modals.messages.first().contains(QStringLiteral("Help Contents")));
        QCOMPARE(modals.titles.first(), w->windowTitle());
        QVERIFY(!w->helpWindow() || !w->helpWindow()->isVisible());
    }

    // --- options, activation and shutdown ----------------------------------------

    void optionsDialogEditsReachPanelAndStore()
    {
        TestWindow w;
        QPointer<frmMain> guard(w.get());
        showAndActivate(*w);
        QCOMPARE(w.pnlADT->text(), QStringLiteral("ADT = "));
        // Activation loaded the options form to read its time.
        QVERIFY(w->singleWindows().options().isLoaded());
        QCOMPARE(w->singleWindows().optionsDialog(), nullptr);

        bool modal = false;
        Modals modals([&modal](QWidget* m) {
            auto* options = qobject_cast<frmOptions*>(m);
            if (!options)
                return true;
            modal = options->isModal();
            options->optWallSt->click();
            options->txtADT->setText(QStringLiteral("9:30:00 PM"));
            options->close();
            return true;
        });
        w.mnuViewOptions->trigger();
        QCOMPARE(modals.seen, QStringList{"kestrion::frmOptions"});
        QVERIFY(modal);
        QCOMPARE(appState().settings.adt, QStringLiteral("9:30:00 PM"));
        QCOMPARE(appState().settings.dataSource, QStringLiteral("Wall Street City"));
        // Back in the main window: the panel follows the dialog.
        w->activateWindow();
        QTRY_COMPARE(w.pnlADT->text(), QStringLiteral("ADT = 9:30:00 PM"));

        w.mnuFileExit->trigger();
        QVERIFY(!guard || !guard->isVisible());
        QCOMPARE(saved(QStringLiteral("ADT")), QStringLiteral("9:30:00 PM"));
        QCOMPARE(saved(QStringLiteral("Data Source")), QStringLiteral("Wall Street City"));
        QVERIFY(!w->singleWindows().options().isLoaded());
    }

    void firstRunFilesGetTheExtensionOptionsShows()
    {
        TestWindow w;
        const QString firstRun = appState().settings.fileExtension;
        prepare(w, {"MSFT"});
        appState().settings.fileExtension = firstRun; // Options not opened yet
        QSignalSpy finished(&w->downloadController(), &DownloadController::finished);
        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        QVERIFY(!finished.isEmpty() || finished.wait(60000));
        QCOMPARE(filesIn(m_dl), QStringList{"MSFT.csv"});
    }

    void firstRunStoresSourceAndExtension()
    {
        QCOMPARE(saved(QStringLiteral("Data Source")), QString());
        TestWindow w;
        QPointer<frmMain> guard(w.get());
        showAndActivate(*w);
        // A first run already downloads from a service that answers today.
        QCOMPARE(appState().settings.dataSource, QStringLiteral("Yahoo Chart"));
        QCOMPARE(appState().settings.fileExtension, QStringLiteral(".csv"));
        w.mnuFileExit->trigger();
        QVERIFY(!guard || !guard->isVisible());
        // What the options form loaded is what is stored.
        QCOMPARE(saved(QStringLiteral("Data Source")), QStringLiteral("Yahoo Chart"));
        QCOMPARE(saved(QStringLiteral("File Extension")), QStringLiteral(".csv"));
        QCOMPARE(saved(QStringLiteral("Data Format")), QStringLiteral("5"));
        QVERIFY(!w->singleWindows().options().isLoaded());
    }

    void closeEndsChartBrowserAndHelp()
    {
        TestWindow w;
        prepare(w, {"IBM"});
        w.mnuAnalyzeStock->trigger();
        QPointer<QWidget> browser = w->singleWindows().chartBrowser();
#ifdef KESTRION_HAVE_WEBENGINE
        QVERIFY(browser);
#endif
        w.mnuHelpContents->trigger();
        QPointer<HelpWindow> help = w->helpWindow();
        QVERIFY(help);
        QTRY_VERIFY(help->isVisible());
        w.mnuFileExit->trigger();
        QCOMPARE(w->singleWindows().chartBrowser(), nullptr);
        // The browser has no owner: the close ends it.
        QTRY_VERIFY(browser.isNull());
        QVERIFY(!help || !help->isVisible());
        QCOMPARE(saved(QStringLiteral("Data Source")), QStringLiteral("Yahoo"));
    }

    void failedSettingsSaveIsReported()
    {
        // A folder where the settings file belongs: nothing can be written.
        QFile::remove(m_case.settingsFile());
        QVERIFY(QDir().mkpath(m_case.settingsFile()));
        TestWindow w;
        QPointer<frmMain> guard(w.get());
        showAndActivate(*w);
        Modals modals;
        w.mnuFileExit->trigger();
        QTRY_COMPARE(modals.messages.size(), 1);
        QVERIFY2(modals.messages.first().contains(QDir::toNativeSeparators(m_case.settingsFile())),
                 qPrintable(modals.messages.first()));
        QVERIFY(modals.messages.first().contains(QStringLiteral("could not be saved")));
        QCOMPARE(modals.titles.first(), QStringLiteral("Kestrion"));
        QVERIFY(!guard || !guard->isVisible());
        w.destroyWindow();
        QVERIFY(QDir(m_case.settingsFile()).removeRecursively());

        // A store that can be written says nothing.
        TestWindow next;
        showAndActivate(*next);
        Modals quiet;
        next.mnuFileExit->trigger();
        QTest::qWait(100);
        QCOMPARE(quiet.messages, QStringList());
        QVERIFY(QFileInfo(m_case.settingsFile()).isFile());
    }

    // --- automatic download timer -------------------------------------------------

    void adtComparison_data()
    {
        QTest::addColumn<QString>("adt");
        QTest::addColumn<bool>("german");
        QTest::addColumn<bool>("starts");
        QTest::newRow("9:30:00 PM at 21:30:00") << "9:30:00 PM" << false << true;
        QTest::newRow("English AM/PM under a German locale") << "9:30:00 PM" << true << true;
        QTest::newRow("leading zero never matches") << "09:30:00 PM" << false << false;
        QTest::newRow("lower case never matches") << "9:30:00 pm" << false << false;
        QTest::newRow("24-hour form never matches") << "21:30:00" << false << false;
        QTest::newRow("AM is not PM") << "9:30:00 AM" << false << false;
        QTest::newRow("no blank before PM") << "9:30:00PM" << false << false;
        QTest::newRow("empty means never") << "" << false << false;
    }

    void adtComparison()
    {
        QFETCH(QString, adt);
        QFETCH(bool, german);
        QFETCH(bool, starts);
        if (german)
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        TestWindow w;
        prepare(w, {"MSFT"});
        appState().settings.adt = adt;
        QList<int> markerAtStatus;
        connect(w.get(), &frmMain::statusTextChanged, this,
                [&markerAtStatus] { markerAtStatus << appState().autoRunMarker; });
        QSignalSpy finished(&w->downloadController(), &DownloadController::finished);

        QVERIFY(!tickAt(w, at(21, 29, 59, 300)));
        QCOMPARE(endDate(w), (QStringList{"Jan", "31", "2003"}));
        const bool started = tickAt(w, at(21, 30, 0, 450));
        QCOMPARE(started, starts);
        if (!starts) {
            QVERIFY(!tickAt(w, at(21, 30, 1, 100)));
            QCOMPARE(endDate(w), (QStringList{"Jan", "31", "2003"}));
            QCOMPARE(appState().autoRunMarker, 0);
            QTest::qWait(100);
            QCOMPARE(finished.count(), 0);
            QCOMPARE(filesIn(m_dl), QStringList());
            return;
        }
        // The end of the range is the clock's today, in English.
        QCOMPARE(endDate(w), (QStringList{"Sep", "25", "2003"}));
        QCOMPARE(appState().autoRunMarker, 1);
        QVERIFY(!finished.isEmpty() || finished.wait(60000));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(appState().autoRunMarker, 0);
        QVERIFY(!markerAtStatus.isEmpty());
        QCOMPARE(markerAtStatus, QList<int>(markerAtStatus.size(), 1));
        QCOMPARE(w->statusText(), QStringLiteral("Download Complete!"));
        QCOMPARE(filesIn(m_dl), QStringList{"MSFT.csv"});
        // The start date is the user's.
        QCOMPARE(w.cbxStartYear->currentText(), QStringLiteral("2003"));
        QCOMPARE(w.cbxStartMonth->currentText(), QStringLiteral("Jan"));
    }

    void oneRunPerMatchingSecond_data()
    {
        QTest::addColumn<QList<QDateTime>>("later"); // ticks after the first run
        QTest::addColumn<int>("runs");
        QTest::newRow("more ticks in the same second")
            << QList<QDateTime>{at(21, 30, 0, 500), at(21, 30, 0, 999), at(21, 30, 0, 0)} << 1;
        QTest::newRow("clock set back over the second")
            << QList<QDateTime>{at(21, 29, 58), at(21, 29, 59), at(21, 30, 0), at(21, 30, 0, 700), at(21, 30, 1)} << 1;
        QTest::newRow("later ticks look back only to the previous tick")
            << QList<QDateTime>{at(21, 30, 3), at(21, 30, 6)} << 1;
        QTest::newRow("next day, same second") << QList<QDateTime>{at(21, 29, 59, 0, 26), at(21, 30, 0, 0, 26)} << 2;
    }

    void oneRunPerMatchingSecond()
    {
        QFETCH(QList<QDateTime>, later);
        QFETCH(int, runs);
        TestWindow w;
        prepare(w, {"MSFT"});
        appState().settings.adt = QStringLiteral("9:30:00 PM");
        QSignalSpy finished(&w->downloadController(), &DownloadController::finished);

        QVERIFY(!tickAt(w, at(21, 29, 59, 900)));
        QVERIFY(tickAt(w, at(21, 30, 0, 100)));
        int started = 1;
        QVERIFY(QTest::qWaitFor([&] { return finished.count() == started; }, 60000));
        for (const QDateTime& moment : later) {
            if (tickAt(w, moment)) {
                ++started;
                QVERIFY(QTest::qWaitFor([&] { return finished.count() == started; }, 60000));
            }
        }
        QTest::qWait(100);
        QCOMPARE(finished.count(), runs);
        QCOMPARE(appState().autoRunMarker, 0);
    }

    void lateTickStillStartsTheRun()
    {
        // A tick a little late steps over the second; the run starts anyway.
        TestWindow w;
        prepare(w, {"MSFT"});
        appState().settings.adt = QStringLiteral("9:30:00 PM");
        QVERIFY(!tickAt(w, at(21, 29, 59, 800)));
        QVERIFY(tickAt(w, at(21, 30, 1, 200)));
        QCOMPARE(appState().autoRunMarker, 1);
        QVERIFY(waitForRunEnd(w));
        QCOMPARE(appState().autoRunMarker, 0);
    }

    void matchDuringRunStartsNothing()
    {
        TestWindow w;
        prepare(w, {"MSFT", "IBM"});
        w.cbxEndMonth->setCurrentText(QStringLiteral("Sep"));
        w.cbxEndDay->setCurrentText(QStringLiteral("24"));
        appState().settings.adt = QStringLiteral("9:30:00 PM");
        QSignalSpy finished(&w->downloadController(), &DownloadController::finished);

        QVERIFY(!tickAt(w, at(21, 29, 59, 0, 26)));
        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        QVERIFY(w->downloadController().isRunning());
        // The matching second comes while the button's run goes on.
        QVERIFY(!tickAt(w, at(21, 30, 0, 0, 26)));
        QCOMPARE(appState().autoRunMarker, 0);
        QCOMPARE(endDate(w), (QStringList{"Sep", "24", "2003"}));
        QVERIFY(!finished.isEmpty() || finished.wait(60000));
        // Nor does it start late once that run is over.
        QVERIFY(!tickAt(w, at(21, 30, 2, 0, 26)));
        QVERIFY(!tickAt(w, at(21, 30, 3, 0, 26)));
        QTest::qWait(100);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(appState().autoRunMarker, 0);
        QCOMPARE(endDate(w), (QStringList{"Sep", "24", "2003"}));
    }

    void postRunLaunch_data()
    {
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<int>("autoStartApp");
        QTest::addColumn<bool>("directoryThere");
        QTest::addColumn<int>("launches");
        QTest::newRow("automatic run, Auto Start App 1") << true << 1 << true << 1;
        QTest::newRow("button run, Auto Start App 1") << false << 1 << true << 0;
        QTest::newRow("automatic run, Auto Start App 0") << true << 0 << true << 0;
        QTest::newRow("automatic run, Auto Start App -1") << true << -1 << true << 0;
        QTest::newRow("automatic run ended at the create-directory prompt") << true << 1 << false << 1;
    }

    void postRunLaunch()
    {
        QFETCH(bool, automatic);
        QFETCH(int, autoStartApp);
        QFETCH(bool, directoryThere);
        QFETCH(int, launches);
        const QString log = tmp(QStringLiteral("launched.txt"));
        TestWindow w;
        prepare(w, {"MSFT"});
        if (!directoryThere)
            w.txtDownloadDir->setText(tmp(QStringLiteral("missing")));
        // Each start of the program adds one line.
        appState().settings.appName = QStringLiteral("/bin/sh -c \"echo started >> '%1'\"").arg(log);
        appState().settings.autoStartApp = Flag::loaded(qint16(autoStartApp));
        appState().settings.adt = QStringLiteral("9:30:00 PM");
        Modals modals([](QWidget* m) {
            if (auto* create = qobject_cast<dlgCreateDownloadDir*>(m))
                QTest::mouseClick(create->CancelButton, Qt::LeftButton);
            return true;
        });
        QList<int> markerAtStatus;
        connect(w.get(), &frmMain::statusTextChanged, this,
                [&markerAtStatus] { markerAtStatus << appState().autoRunMarker; });

        QSignalSpy finished(&w->downloadController(), &DownloadController::finished);
        if (automatic)
            QVERIFY(tickAt(w, at(21, 30, 0)));
        else
            QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        QVERIFY(!finished.isEmpty() || finished.wait(60000));
        QCOMPARE(appState().autoRunMarker, 0);
        QCOMPARE(modals.seen,
                 directoryThere ? QStringList() : QStringList{QStringLiteral("kestrion::dlgCreateDownloadDir")});
        QCOMPARE(markerAtStatus, QList<int>(markerAtStatus.size(), automatic ? 1 : 0));
        if (launches > 0)
            QTRY_COMPARE(lineCount(log), launches);
        // Give a wrong second start time to show up.
        QTest::qWait(500);
        QCOMPARE(lineCount(log), launches);
        QCOMPARE(QFile::exists(log), launches > 0);
    }

    // --- the daily job -----------------------------------------------------------

    void dailyJobFromTheWindow()
    {
        TestWindow w;
        QPointer<frmMain> guard(w.get());
        showAndActivate(*w);

        // A new list, opened, filled from a spreadsheet file.
        w.saveAnswer = tmp(QStringLiteral("daily"));
        w.mnuCreateNewList->trigger();
        const QString list = tmp(QStringLiteral("daily.mdb"));
        QVERIFY(QFile::exists(list));
        w.openAnswer = list;
        w.mnuOpenList->trigger();
        QCOMPARE(w->list().path(), list);
        QCOMPARE(gridSymbols(*w), QStringList());
        w.importAnswer = tmp(QStringLiteral("symbols.csv"));
        QVERIFY(writeFile(w.importAnswer, "MSFT\r\nZZBAD\r\nKO\r\n"));
        w.mnuImportList->trigger();
        QCOMPARE(gridSymbols(*w), (QStringList{"MSFT", "ZZBAD", "KO"}));

        // Options: Yahoo! Finance, date-stamped ".txt" files.
        {
        Modals options([](QWidget* m) {
            auto* dialog = qobject_cast<frmOptions*>(m);
            if (!dialog)
                return true;
            dialog->optYahoo->click();
            dialog->TabStrip1->setCurrentIndex(1);
            if (!dialog->chkDateStamp->isChecked())
                dialog->chkDateStamp->click();
            dialog->txtFileExt->clear();
            QTest::keyClicks(dialog->txtFileExt, QStringLiteral(".txt"));
            dialog->close();
            return true;
        });
        w.mnuViewOptions->trigger();
        QCOMPARE(options.seen, QStringList{"kestrion::frmOptions"});
        QCOMPARE(appState().settings.dataSource, QStringLiteral("Yahoo"));
        QCOMPARE(appState().settings.dateStamp, qint16(1));
        QCOMPARE(appState().settings.fileExtension, QStringLiteral(".txt"));
        }

        // Where and what to download.
        w.txtDownloadDir->clear();
        QTest::keyClicks(w.txtDownloadDir, m_dl);
        w.cbxStartMonth->setCurrentText(QStringLiteral("Jan"));
        w.cbxStartDay->setCurrentText(QStringLiteral("02"));
        w.cbxStartYear->setCurrentText(QStringLiteral("2003"));
        w.cbxEndMonth->setCurrentText(QStringLiteral("Sep"));
        w.cbxEndDay->setCurrentText(QStringLiteral("25"));
        w.cbxEndYear->setCurrentText(QStringLiteral("2003"));
        QTest::mouseClick(w.optWeekly, Qt::LeftButton);
        QVERIFY(w.optWeekly->isChecked());

        {
            Modals prompts;
            QSignalSpy finished(&w->downloadController(), &DownloadController::finished);
            QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
            QVERIFY(!finished.isEmpty() || finished.wait(60000));
            QCOMPARE(prompts.seen, QStringList());
        }
        QCOMPARE(w->statusText(), QStringLiteral("ERRORS LOGGED!"));
        QCOMPARE(filesIn(m_dl), (QStringList{"KOSep252003.txt", "MSFTSep252003.txt", "errorlog.txt"}));
        QVERIFY(readAll(m_dl + QStringLiteral("/MSFTSep252003.txt")).startsWith("Date,Open,High,Low,Close"));

        // The error log in the viewer names the symbol that failed.
        QString logText;
        QString logTitle;
        Modals viewer([&](QWidget* m) {
            auto* view = qobject_cast<frmView*>(m);
            if (!view)
                return true;
            if (view->isLoading())
                return false;
            logText = view->text();
            logTitle = view->windowTitle();
            return true;
        });
        w.mnuViewErrorLog->trigger();
        QCOMPARE(viewer.seen, QStringList{"kestrion::frmView"});
        QCOMPARE(logTitle, kViewerTitle);
        QVERIFY2(logText.contains(QStringLiteral("ZZBAD")), qPrintable(logText));
        QVERIFY2(!logText.contains(QStringLiteral("MSFT")), qPrintable(logText));

        // Everything chosen is there at the next start.
        w.mnuFileExit->trigger();
        QVERIFY(!guard || !guard->isVisible());
        QCOMPARE(saved(QStringLiteral("Database Name")), list);
        QCOMPARE(saved(QStringLiteral("DownloadDir")), m_dl);
        QCOMPARE(saved(QStringLiteral("Date Stamp")), QStringLiteral("1"));
        QCOMPARE(saved(QStringLiteral("File Extension")), QStringLiteral(".txt"));
        QCOMPARE(saved(QStringLiteral("Data Source")), QStringLiteral("Yahoo"));
        QCOMPARE(saved(QStringLiteral("StartDay")), QStringLiteral("02"));
    }

    // A double-click on a ticker charts its data file in the download
    // directory, or names the file it looked for.
    void gridDoubleClickCharts_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("symbol");  // charted; empty: a message instead
        QTest::newRow("file there") << 1 << "BCE-TO";
        QTest::newRow("no file") << 0 << QString();
    }

    void gridDoubleClickCharts()
    {
        QFETCH(int, row);
        QFETCH(QString, symbol);
        TestWindow w;
        prepare(w, {"IBM", "BCE.TO"});
        QVERIFY(writeFile(m_dl + QStringLiteral("/BCE-TO.csv"),
                          "Date,Open,High,Low,Close,Volume,Adj Close\n2003-01-03,1,2,0.5,1.5,10,1.5\n"));
        MessageWatcher watcher;
        const QRect cell = w.DBGrid1->visualRect(w.DBGrid1->model()->index(row, 0));
        QVERIFY(cell.isValid());
        // A double-click as the window system sends it: press, release, then
        // the second press as a double-click.
        QTest::mouseClick(w.DBGrid1->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(w.DBGrid1->viewport(), Qt::LeftButton, {}, cell.center());
        auto* chart = w->findChild<frmChart*>();
        if (symbol.isEmpty()) {
            QTRY_COMPARE(watcher.texts.size(), 1);
            QVERIFY(watcher.texts.first().contains(QDir::toNativeSeparators(m_dl + QStringLiteral("/IBM.csv"))));
            QVERIFY(!chart);
            return;
        }
        QVERIFY(chart);
        QTRY_COMPARE(chart->chartView()->model().series().symbol, symbol);
        QVERIFY(watcher.texts.isEmpty());
        chart->close();
    }
};

int main(int argc, char** argv)
{
    // Qt WebEngine needs the shared OpenGL context before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestMainCommands test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_main_commands.moc"
