// "Get Historical Data" driven from the real main window: clicks on the
// button, prompts answered the way a user would, real HTTP to the local quote
// service, real list files and real download directories.
#include "app/ui/frmMain.h"
#include "core/app_state.h"
#include "download/ui/download_controller.h"
#include "download/ui/frmNoData.h"
#include "formats/error_log.h"
#include "platform/http_fetch.h"
#include "schedule/ui/dlgCreateDownloadDir.h"
#include "sources/quote_request.h"
#include "sources/yahoo_table_source.h"
#include "sources/source_registry.h"
#include "gui_support.h"
#include "own_descriptions.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSettings>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <memory>

#include <optional>

using namespace kestrion;
using namespace kestrion::test;

namespace {

// The "No Data!" prompt's answer, asked outside a run.
bool askNoData(QWidget* parent)
{
    std::optional<bool> stop;
    frmNoData::openAsk(parent, [&stop](bool answer) { stop = answer; });
    return QTest::qWaitFor([&stop] { return stop.has_value(); }, 10000) && *stop;
}

const QString kDownloading = QStringLiteral("...Downloading ");
const QString kCouldNotGet = QStringLiteral("Could not get ");
const QString kComplete = QStringLiteral("Download Complete!");
const QString kErrorsLogged = QStringLiteral("ERRORS LOGGED!");

// The inputs a run must lock so that nothing changes under it and no second
// run can start.
QList<QWidget*> runInputs(const TestWindow& w)
{
    return {w.txtTicker,     w.txtDownloadDir, w.cmdGetUpdate, w.cmdAdd,      w.cmdDelete,
            w.cmdBrowse,     w.cbxStartMonth,  w.cbxStartDay,  w.cbxStartYear, w.cbxEndMonth,
            w.cbxEndDay,     w.cbxEndYear,     w.DBGrid1,      w.tbToolBar};
}

bool allInputs(const TestWindow& w, bool enabled)
{
    const QList<QWidget*> inputs = runInputs(w);
    return std::all_of(inputs.cbegin(), inputs.cend(), [enabled](const QWidget* c) { return c->isEnabled() == enabled; });
}

QStringList inputStates(const TestWindow& w)
{
    QStringList result;
    for (const QWidget* c : runInputs(w))
        result << c->objectName() + (c->isEnabled() ? QStringLiteral("=on") : QStringLiteral("=off"));
    return result;
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// What the window shows while it runs: every status text, every progress
// value, and whether the run's inputs were all locked at each status text.
class RunLog
{
public:
    explicit RunLog(TestWindow& w)
    {
        QObject::connect(w.get(), &frmMain::statusTextChanged, &m_context, [this, &w](const QString& text) {
            statuses << text;
            lockedAtStatus << allInputs(w, false);
        });
        QObject::connect(w.ProgressBar1, &QProgressBar::valueChanged, &m_context, [this](int v) { progress << v; });
    }
    QStringList statuses;
    QList<bool> lockedAtStatus;
    QList<int> progress;

private:
    QObject m_context;
};

// Answers every modal window that comes up while it lives, as the user
// would, and notes what it saw.
class Prompts
{
public:
    explicit Prompts(TestWindow& w)
        : m_window(w)
        , m_watcher([this](QWidget& modal) { return take(&modal); }, 10)
    {
    }

    // Answers.
    QString noDataAnswer = QStringLiteral("Yes"); // "Yes", "No", "Escape" or "close"
    bool createOk = true;
    QString typedDir;

    // What was seen, in order: "frmNoData", "dlgCreateDownloadDir" or
    // "message:" and the text of a message box.
    QStringList seen;
    QString noDataCaption, noDataText, noDataYesText, noDataNoText;
    QStringList dirBoxAtShow; // txtDir's text each time the create prompt came up
    QString messageTitle;
    QString messageInfo;
    QMessageBox::Icon messageIcon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons messageButtons;
    QString statusAtMessage;
    bool lockedAtMessage = false;
    bool runningAtMessage = false;

private:
    bool take(QWidget* modal)
    {
        if (auto* noData = qobject_cast<frmNoData*>(modal)) {
            seen << QStringLiteral("frmNoData");
            noDataCaption = noData->windowTitle();
            noDataText = noData->Label1->text();
            noDataYesText = noData->cmdYes->text();
            noDataNoText = noData->cmdNo->text();
            if (noDataAnswer == QLatin1String("Yes"))
                QTest::mouseClick(noData->cmdYes, Qt::LeftButton);
            else if (noDataAnswer == QLatin1String("No"))
                QTest::mouseClick(noData->cmdNo, Qt::LeftButton);
            else if (noDataAnswer == QLatin1String("Escape"))
                QTest::keyClick(noData, Qt::Key_Escape);
            else
                noData->close();
        } else if (auto* create = qobject_cast<dlgCreateDownloadDir*>(modal)) {
            seen << QStringLiteral("dlgCreateDownloadDir");
            dirBoxAtShow << create->txtDir->text();
            // The same prompt back after a refused OK is cancelled.
            const bool again = create == m_create;
            m_create = create;
            if (!again && !typedDir.isEmpty()) {
                create->txtDir->clear();
                QTest::keyClicks(create->txtDir, typedDir);
            }
            // Clicked once this poll has returned: a refused OK brings up a
            // message the timer must still see.
            QPushButton* button = createOk && !again ? create->OKButton : create->CancelButton;
            QMetaObject::invokeMethod(
                button, [button] { QTest::mouseClick(button, Qt::LeftButton); }, Qt::QueuedConnection);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen << QStringLiteral("message:") + box->text();
            messageTitle = box->windowTitle();
            messageInfo = box->informativeText();
            messageIcon = box->icon();
            messageButtons = box->standardButtons();
            statusAtMessage = m_window->statusText();
            lockedAtMessage = allInputs(m_window, false);
            runningAtMessage = m_window->downloadController().isRunning();
            QAbstractButton* ok = box->button(QMessageBox::Ok);
            if (ok)
                QTest::mouseClick(ok, Qt::LeftButton);
            else
                box->reject();
        } else {
            seen << QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        }
        return true;
    }

    TestWindow& m_window;
    QPointer<QWidget> m_create;
    ModalWatcher m_watcher;
};

// Another window of the program that keeps the program open (its user has
// unsaved work).
class RefusingWindow : public QWidget
{
protected:
    void closeEvent(QCloseEvent* e) override { e->ignore(); }
};

} // namespace

class TestDownloadWindow : public QObject
{
    Q_OBJECT

private:
    GuiCase m_case;
    QString m_dl;

    QString tmp(const QString& name) const { return m_case.tmp(name); }

    // A window on a fresh list of these symbols, downloading a fixed range of
    // weekly Yahoo quotes as .csv files into m_dl.
    void prepare(TestWindow& w, const QStringList& symbols)
    {
        prepareWeeklyYahooRun(w, tmp(QStringLiteral("list.mdb")), symbols, m_dl, {"Sep", "25", "2003"},
                              Show::Exposed);
    }

    // Clicks "Get Historical Data" and waits for the run to end.
    static bool clickAndWait(TestWindow& w, int timeoutMs = 60000)
    {
        QSignalSpy done(&w->downloadController(), &DownloadController::finished);
        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        // A run that ends at a prompt has ended before the click returns.
        return !done.isEmpty() || done.wait(timeoutMs);
    }

    // What the service sends for a symbol with the window's range and period.
    QByteArray served(const QString& symbol) const
    {
        const DateRange range{QDate(2003, 1, 1), QDate(2003, 9, 25)};
        return test::httpGet(yahooUrl(m_case.service().host(), range, HistoryPeriod::Weekly, symbol));
    }

    QString savedSetting(const QString& name) const { return m_case.saved(name); }

private Q_SLOTS:
    void initTestCase()
    {
        m_case.startTest(GuiCase::Quotes::LocalService);
    }

    void init()
    {
        m_case.startCase();
        m_dl = m_case.downloadDir();
    }

    void cleanup()
    {
        m_case.endCase();
    }

    void listRunFromTheButton()
    {
        TestWindow w;
        prepare(w, {QStringLiteral("MSFT"), QStringLiteral("IBM"), QStringLiteral("KO")});
        if (QTest::currentTestFailed())
            return;
        QVERIFY(allInputs(w, true));
        RunLog log(w);
        Prompts prompts(w);

        QSignalSpy done(&w->downloadController(), &DownloadController::finished);
        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        // Locked from the click on: a second click cannot start a second run.
        QVERIFY2(allInputs(w, false), qPrintable(inputStates(w).join(QLatin1Char(' '))));
        QVERIFY(w->downloadController().isRunning());
        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        QVERIFY(done.wait(60000));
        QCOMPARE(done.count(), 1);

        QCOMPARE(log.progress, (QList<int>{0, 1, 2, 3}));
        QCOMPARE(w.ProgressBar1->minimum(), 0);
        QCOMPARE(w.ProgressBar1->maximum(), 3);
        QCOMPARE(log.statuses, (QStringList{kDownloading + "MSFT", kDownloading + "IBM", kDownloading + "KO", kComplete}));
        QCOMPARE(log.lockedAtStatus, (QList<bool>{true, true, true, true}));
        QVERIFY2(allInputs(w, true), qPrintable(inputStates(w).join(QLatin1Char(' '))));
        QCOMPARE(w->statusText(), kComplete);
        QCOMPARE(prompts.seen, QStringList());

        QCOMPARE(filesIn(m_dl), (QStringList{"IBM.csv", "KO.csv", "MSFT.csv"}));
        for (const QString& symbol : {QStringLiteral("MSFT"), QStringLiteral("IBM"), QStringLiteral("KO")}) {
            const QByteArray expected = served(symbol);
            QVERIFY(expected.startsWith("Date,Open,High,Low,Close,Volume"));
            QCOMPARE(readAll(m_dl + QLatin1Char('/') + symbol + QStringLiteral(".csv")), expected);
        }
    }

    void commandsThatChangeTheRunWaitForIt()
    {
        TestWindow w;
        prepare(w, {QStringLiteral("SLOW_CMD")});
        if (QTest::currentTestFailed())
            return;
        const QList<QAction*> held{w.mnuOpenList, w.mnuCreateNewList, w.mnuImportList, w.mnuViewOptions,
                                   w.mnuLaunch};
        const QList<QAction*> free{w.mnuFileExit, w.mnuViewFile, w.mnuViewErrorLog};
        auto enabled = [](const QList<QAction*>& actions) {
            QStringList states;
            for (const QAction* a : actions)
                states << a->objectName() + (a->isEnabled() ? QStringLiteral("=on") : QStringLiteral("=off"));
            return states.join(QLatin1Char(' '));
        };
        QSignalSpy done(&w->downloadController(), &DownloadController::finished);
        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        QVERIFY(w->downloadController().isRunning());
        for (const QAction* a : held)
            QVERIFY2(!a->isEnabled(), qPrintable(enabled(held)));
        for (const QAction* a : free)
            QVERIFY2(a->isEnabled(), qPrintable(enabled(free)));
        w.mnuOpenList->trigger(); // its shortcut does nothing either
        QCOMPARE(test::modalWindow(), nullptr);
        QVERIFY(done.wait(60000));
        for (const QAction* a : held)
            QVERIFY2(a->isEnabled(), qPrintable(enabled(held)));
    }

    void unreadableListDoesNotStart()
    {
        TestWindow w;
        prepare(w, {QStringLiteral("MSFT")});
        if (QTest::currentTestFailed())
            return;
        // Another program holds the list file locked.
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
            other.setDatabaseName(w->list().path());
            QVERIFY(other.open());
            QSqlQuery lock(other);
            QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
            Prompts prompts(w);
            QSignalSpy done(&w->downloadController(), &DownloadController::finished);
            QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 30000);
            QCOMPARE(prompts.seen.size(), 1);
            QVERIFY2(prompts.seen.first().contains(QLatin1String("list.mdb")), qPrintable(prompts.seen.first()));
            QVERIFY2(prompts.seen.first().contains(QLatin1String("did not start")), qPrintable(prompts.seen.first()));
            QVERIFY(w->statusText().contains(QLatin1String("did not start")));
            QVERIFY(allInputs(w, true));
            QCOMPARE(filesIn(m_dl), QStringList());
            lock.exec(QStringLiteral("ROLLBACK"));
            other.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    }

    void windowStaysResponsiveDuringFetch()
    {
        TestWindow w;
        prepare(w, {QStringLiteral("SLOW_RESP")});
        if (QTest::currentTestFailed())
            return;
        QElapsedTimer clock;
        QList<qint64> ticks;
        QTimer beat;
        beat.setInterval(20);
        connect(&beat, &QTimer::timeout, this, [&] {
            if (w->downloadController().isRunning())
                ticks << clock.elapsed();
        });
        beat.start();
        clock.start();
        QVERIFY(clickAndWait(w));
        const qint64 runMs = clock.elapsed();
        beat.stop();

        qint64 largestGap = ticks.isEmpty() ? runMs : ticks.first();
        for (int i = 1; i < ticks.size(); ++i)
            largestGap = std::max(largestGap, ticks.at(i) - ticks.at(i - 1));
        qInfo("run %lld ms, 20 ms timer fired %lld times, largest gap %lld ms", runMs, qint64(ticks.size()),
              largestGap);
        // The body trickles in over about two seconds; a window that waited
        // for it would not have run its timer at all meanwhile.
        QVERIFY2(runMs >= 1000, "the slow body should take a while");
        // A loaded machine may slow the timer, never stop it: a window that
        // waited for the body would not run it at all meanwhile.
        QVERIFY2(ticks.size() >= 3, qPrintable(QStringLiteral("timer fired only %1 times").arg(ticks.size())));
        QCOMPARE(readAll(m_dl + QStringLiteral("/SLOW_RESP.csv")), served(QStringLiteral("SLOW_RESP")));
    }

    // Closing the program while "No Data!" is up ends the run at once; the
    // answer given afterwards belongs to no run and changes nothing.
    void cancelWhilePromptIsOpen()
    {
        TestWindow w;
        prepare(w, {QStringLiteral("E500_G"), QStringLiteral("KO")});
        if (QTest::currentTestFailed())
            return;
        appState().settings.activeAlerts = true;
        RunLog log(w);
        QSignalSpy done(&w->downloadController(), &DownloadController::finished);
        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        QPointer<frmNoData> prompt;
        QTRY_VERIFY_WITH_TIMEOUT((prompt = w->findChild<frmNoData*>()) && prompt->isVisible(), 60000);

        w->downloadController().cancel();
        QVERIFY(!w->downloadController().isRunning());
        QVERIFY(allInputs(w, true));
        const QStringList shown = log.statuses;
        QTest::mouseClick(prompt->cmdYes, Qt::LeftButton);
        QTest::qWait(100);
        QCOMPARE(log.statuses, shown);
        QVERIFY(done.isEmpty());
        QVERIFY(!QFile::exists(m_dl + QStringLiteral("/KO.csv")));
    }

    void givenUpTicker_data()
    {
        QTest::addColumn<int>("activeAlerts");
        QTest::addColumn<QString>("earlier"); // answer of an earlier prompt over the window, or empty for none
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("goesOn");

        QTest::newRow("passive alerts: logged, goes on") << 0 << "No" << "No" << true;
        QTest::newRow("active alerts, No: logged, stops") << 1 << "Yes" << "No" << false;
        QTest::newRow("active alerts, Yes: logged, goes on") << 1 << "No" << "Yes" << true;
        QTest::newRow("active alerts -1, No: stops") << -1 << "Yes" << "No" << false;
        // Closed without an answer: the earlier answer stands.
        QTest::newRow("Escape, no earlier answer: goes on") << 1 << "" << "Escape" << true;
        QTest::newRow("Escape after an earlier Yes: goes on") << 1 << "Yes" << "Escape" << true;
        QTest::newRow("Escape after an earlier No: stops") << 1 << "No" << "Escape" << false;
        QTest::newRow("closed after an earlier No: stops") << 1 << "No" << "close" << false;
    }

    void givenUpTicker()
    {
        QFETCH(int, activeAlerts);
        QFETCH(QString, earlier);
        QFETCH(QString, answer);
        QFETCH(bool, goesOn);

        TestWindow w;
        prepare(w, {QStringLiteral("MSFT"), QStringLiteral("E500_G"), QStringLiteral("KO")});
        if (QTest::currentTestFailed())
            return;
        appState().settings.activeAlerts = activeAlerts != 0;
        if (!earlier.isEmpty()) {
            Prompts first(w);
            first.noDataAnswer = earlier;
            QCOMPARE(askNoData(w.get()), earlier == QLatin1String("No"));
        }
        // An earlier data file of the failing ticker must not survive.
        QFile old(m_dl + QStringLiteral("/E500_G.csv"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("Date,Open\n");
        old.close();
        RunLog log(w);
        Prompts prompts(w);
        prompts.noDataAnswer = answer;
        QVERIFY(clickAndWait(w));

        QCOMPARE(log.statuses.count(kDownloading + QStringLiteral("E500_G")), 3);
        const qsizetype givenUp = log.statuses.indexOf(kCouldNotGet + QStringLiteral("E500_G"));
        QVERIFY(givenUp > 0);
        QCOMPARE(log.statuses.at(givenUp - 1), kDownloading + QStringLiteral("E500_G"));
        QCOMPARE(w->statusText(), kErrorsLogged);
        QCOMPARE(log.statuses.last(), kErrorsLogged);
        QVERIFY(allInputs(w, true));
        QVERIFY(!QFile::exists(m_dl + QStringLiteral("/E500_G.csv")));

        if (activeAlerts != 0) {
            QCOMPARE(prompts.seen, QStringList{QStringLiteral("frmNoData")});
            QCOMPARE(prompts.noDataCaption, QStringLiteral("No Data!"));
            QCOMPARE(prompts.noDataText, QStringLiteral("Could not get requested data.  There may be a connection "
                                                        "problem...Do you wish to continue?"));
            QCOMPARE(prompts.noDataYesText, QStringLiteral("Yes"));
            QCOMPARE(prompts.noDataNoText, QStringLiteral("No"));
            // The run's answer is the one that stands for the next prompt.
            Prompts next(w);
            next.noDataAnswer = QStringLiteral("Escape");
            QCOMPARE(askNoData(w.get()), !goesOn);
        } else {
            QCOMPARE(prompts.seen, QStringList());
        }

        // The given-up ticker is logged whatever the answer.
        QCOMPARE(readAll(ErrorLog::path(m_dl)),
                 QByteArray("Kestrion could not download data for the following tickers.\r\n"
                            "Please check if the tickers are in your selected source database\r\n"
                            "(Yahoo Finance, or WallStreet City).\r\n\r\nE500_G\r\n"));
        if (goesOn) {
            QCOMPARE(filesIn(m_dl), (QStringList{"KO.csv", "MSFT.csv", "errorlog.txt"}));
            QCOMPARE(log.progress, (QList<int>{0, 1, 3}));
            // The completion is shown, then replaced by the error-log check.
            QCOMPARE(log.statuses.mid(log.statuses.size() - 2), (QStringList{kComplete, kErrorsLogged}));
        } else {
            QCOMPARE(filesIn(m_dl), (QStringList{"MSFT.csv", "errorlog.txt"}));
            QVERIFY(!log.statuses.contains(kDownloading + QStringLiteral("KO")));
            QVERIFY(!log.statuses.contains(kComplete));
            QCOMPARE(log.statuses.mid(givenUp), (QStringList{kCouldNotGet + QStringLiteral("E500_G"), kErrorsLogged}));
        }
    }

    void completionMessage_data()
    {
        QTest::addColumn<double>("playSound");
        QTest::addColumn<bool>("shown");
        QTest::newRow("Play Sound 1") << 1.0 << true;
        QTest::newRow("Play Sound 0") << 0.0 << false;
        QTest::newRow("Play Sound 2") << 2.0 << false;
    }

    void completionMessage()
    {
        QFETCH(double, playSound);
        QFETCH(bool, shown);
        TestWindow w;
        prepare(w, {QStringLiteral("MSFT")});
        if (QTest::currentTestFailed())
            return;
        appState().settings.playSound = NumberFlag::loaded(playSound);
        RunLog log(w);
        Prompts prompts(w);
        QVERIFY(clickAndWait(w));

        QCOMPARE(w->statusText(), kComplete);
        QVERIFY(allInputs(w, true));
        if (!shown) {
            QCOMPARE(prompts.seen, QStringList());
            return;
        }
        QCOMPARE(prompts.seen, QStringList{QStringLiteral("message:") + kComplete});
        QCOMPARE(prompts.messageTitle, w->windowTitle());
        QCOMPARE(prompts.messageIcon, QMessageBox::Warning);
        QCOMPARE(prompts.messageButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
        // Shown after the completion text and before the inputs come back;
        // the run waits for it.
        QCOMPARE(prompts.statusAtMessage, kComplete);
        QVERIFY(prompts.lockedAtMessage);
        QVERIFY(prompts.runningAtMessage);
    }

    void failureReasonShown()
    {
        TestWindow w;
        prepare(w, {QStringLiteral("ZZNONE"), QStringLiteral("MSFT")});
        if (QTest::currentTestFailed())
            return;
        appState().settings.dataSource = QStringLiteral("Yahoo Chart");
        appState().settings.playSound = true;
        Prompts prompts(w);
        QVERIFY(clickAndWait(w));
        // The texts stay as they were; the reason rides along beside them.
        QCOMPARE(prompts.seen, QStringList{QStringLiteral("message:") + kComplete});
        QVERIFY2(prompts.messageInfo.contains(QLatin1String("ZZNONE: not-found")), qPrintable(prompts.messageInfo));
        QCOMPARE(w->statusText(), QStringLiteral("ERRORS LOGGED!"));
        QVERIFY2(w.pnlStatus->toolTip().contains(QLatin1String("ZZNONE: not-found")), qPrintable(w.pnlStatus->toolTip()));
        QVERIFY(QFile::exists(m_dl + QStringLiteral("/MSFT.csv")));
    }

    void fallbackNamedInStatus()
    {
        // Yahoo Chart does not know NY_A; the saved fallback gives it, and
        // the status says which source it is asking.
        TestWindow w;
        prepare(w, {QStringLiteral("NY_A"), QStringLiteral("MSFT")});
        if (QTest::currentTestFailed())
            return;
        appState().settings.dataSource = QStringLiteral("Yahoo Chart");
        appState().settings.fallbackSources = {QStringLiteral("Tiingo")};
        qputenv("KESTRION_TIINGO_TOKEN", "sim-tiingo-token");
        const auto unsetKey = qScopeGuard([] { qunsetenv("KESTRION_TIINGO_TOKEN"); });
        RunLog log(w);
        QVERIFY(clickAndWait(w));
        QCOMPARE(log.statuses, (QStringList{kDownloading + "NY_A", kDownloading + "NY_A from Tiingo", kDownloading + "MSFT",
                                            kComplete}));
        QCOMPARE(filesIn(m_dl), (QStringList{"MSFT.csv", "NY_A.csv"}));
    }

    void busyFolderSaysSo()
    {
        // Another run (here: this process) writes into the folder.
        TestWindow w;
        prepare(w, {QStringLiteral("MSFT")});
        if (QTest::currentTestFailed())
            return;
        QVERIFY(QDir().mkpath(m_dl));
        QLockFile other(m_dl + QStringLiteral("/.kestrion.lock"));
        QVERIFY(other.tryLock(0));
        Prompts prompts(w);
        QVERIFY(clickAndWait(w));
        const QString busy = QStringLiteral("another Kestrion run is writing to %1 (process %2)")
                                 .arg(QDir::toNativeSeparators(m_dl))
                                 .arg(QCoreApplication::applicationPid());
        QCOMPARE(prompts.seen, QStringList{QStringLiteral("message:The download did not start: ") + busy + '.'});
        QCOMPARE(w->statusText(), QStringLiteral("Download did not start: ") + busy);
        QVERIFY(allInputs(w, true));
        QCOMPARE(filesIn(m_dl), QStringList{QStringLiteral(".kestrion.lock")}); // the other run's only
    }

    void tiingoWithoutKeyAsksForOne()
    {
        qunsetenv("KESTRION_TIINGO_TOKEN");
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        TestWindow w;
        prepare(w, {QStringLiteral("MSFT")});
        if (QTest::currentTestFailed())
            return;
        appState().settings.dataSource = QStringLiteral("Tiingo");
        Prompts prompts(w);
        QVERIFY(clickAndWait(w));
        QCOMPARE(prompts.seen.size(), 1);
        QVERIFY2(prompts.seen.first().contains(QLatin1String("KESTRION_TIINGO_TOKEN")), qPrintable(prompts.seen.first()));
        QVERIFY(allInputs(w, true));
        QVERIFY(!w->downloadController().isRunning());
        QCOMPARE(QDir(m_dl).entryList(QDir::Files), QStringList());
    }

    void missingDirectory_data()
    {
        QTest::addColumn<QString>("boxText");     // "" or a name under the temporary folder
        QTest::addColumn<QString>("earlierOk");   // folder created by an earlier OK, or ""
        QTest::addColumn<bool>("answerOk");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expectedBox"); // "" or a name under the temporary folder
        QTest::addColumn<bool>("created");

        QTest::newRow("empty box, OK creates the folder") << "" << "" << true << "new" << "new" << true;
        QTest::newRow("missing folder, OK creates the folder") << "absent" << "" << true << "made" << "made" << true;
        QTest::newRow("Cancel before any OK empties the box") << "absent" << "" << false << "typed" << "" << false;
        QTest::newRow("Cancel after an earlier OK puts it back") << "absent" << "first" << false << "typed" << "first"
                                                                 << false;
        QTest::newRow("OK makes every missing folder of the path")
            << "dlone/sub1/sub2" << "" << true << "dlone/sub1/sub2" << "dlone/sub1/sub2" << true;
    }

    void missingDirectory()
    {
        QFETCH(QString, boxText);
        QFETCH(QString, earlierOk);
        QFETCH(bool, answerOk);
        QFETCH(QString, typed);
        QFETCH(QString, expectedBox);
        QFETCH(bool, created);
        const auto under = [this](const QString& name) { return name.isEmpty() ? QString() : tmp(name); };

        TestWindow w;
        prepare(w, {QStringLiteral("MSFT")});
        if (QTest::currentTestFailed())
            return;
        if (!earlierOk.isEmpty()) {
            Prompts first(w);
            first.typedDir = tmp(earlierOk);
            w.txtDownloadDir->clear();
            QVERIFY(clickAndWait(w));
            QCOMPARE(first.seen, QStringList{QStringLiteral("dlgCreateDownloadDir")});
            QVERIFY(QFileInfo(tmp(earlierOk)).isDir());
        }
        w.txtDownloadDir->setText(under(boxText));

        RunLog log(w);
        {
            Prompts prompts(w);
            prompts.createOk = answerOk;
            prompts.typedDir = tmp(typed);
            QVERIFY(clickAndWait(w));
            QCOMPARE(prompts.seen, QStringList{QStringLiteral("dlgCreateDownloadDir")});
            // The prompt starts from the path typed in the window.
            QCOMPARE(prompts.dirBoxAtShow, QStringList{under(boxText)});
        }
        QCOMPARE(w.txtDownloadDir->text(), under(expectedBox));
        QCOMPARE(QFileInfo(tmp(typed)).isDir(), created);
        if (!created)
            QVERIFY(!QFileInfo::exists(tmp(typed)));
        // Nothing is fetched on this press.
        for (const QString& s : log.statuses)
            QVERIFY2(!s.startsWith(kDownloading), qPrintable(s));
        QVERIFY(!log.statuses.contains(kComplete));
        if (created)
            QCOMPARE(filesIn(tmp(typed)), QStringList());
        QCOMPARE(filesIn(m_dl), QStringList());
        QVERIFY(allInputs(w, true));

        // The next press downloads into an existing folder, or asks again.
        Prompts next(w);
        next.createOk = false;
        QVERIFY(clickAndWait(w));
        const QString box = under(expectedBox);
        if (!box.isEmpty() && QFileInfo(box).isDir()) {
            QCOMPARE(next.seen, QStringList());
            QCOMPARE(filesIn(box), QStringList{QStringLiteral("MSFT.csv")});
            QCOMPARE(w->statusText(), kComplete);
        } else {
            QCOMPARE(next.seen, QStringList{QStringLiteral("dlgCreateDownloadDir")});
        }
    }

    void refusedDirectorySaysWhyAndStaysUp()
    {
        TestWindow w;
        prepare(w, {QStringLiteral("MSFT")});
        if (QTest::currentTestFailed())
            return;
        QVERIFY(writeFile(tmp(QStringLiteral("afile")), "x"));
        const QString wanted = tmp(QStringLiteral("afile/sub1/sub2"));
        w.txtDownloadDir->setText(wanted);

        Prompts prompts(w);
        QVERIFY(clickAndWait(w));
        const QString why = QStringLiteral("message:The download directory could not be created: \"%1\" is a file, "
                                           "not a folder.")
                                .arg(QDir::toNativeSeparators(tmp(QStringLiteral("afile"))));
        // OK is refused with the reason; the same prompt is back, still
        // holding the path, and is then cancelled.
        QCOMPARE(prompts.seen, (QStringList{QStringLiteral("dlgCreateDownloadDir"), why,
                                            QStringLiteral("dlgCreateDownloadDir")}));
        QCOMPARE(prompts.dirBoxAtShow, (QStringList{wanted, wanted}));
        QVERIFY(QFileInfo(tmp(QStringLiteral("afile"))).isFile());
        QCOMPARE(w.txtDownloadDir->text(), QString());
        QVERIFY(allInputs(w, true));
    }

    void singleStock_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<bool>("stored");
        QTest::newRow("stored") << "IBM" << true;
        QTest::newRow("given up") << "E500_S" << false;
        QTest::newRow("dotted symbol") << "BCE.TO" << true;
    }

    void singleStock()
    {
        QFETCH(QString, symbol);
        QFETCH(bool, stored);
        TestWindow w;
        prepare(w, {QStringLiteral("MSFT"), symbol, QStringLiteral("KO"), QStringLiteral("INTC")});
        if (QTest::currentTestFailed())
            return;
        // Alerts on: a single ticker is still never asked about or logged.
        appState().settings.activeAlerts = true;
        w.chkSingleStock->setChecked(true);
        w->setCurrentRow(1);
        QCOMPARE(w->currentRow(), 1);
        RunLog log(w);
        Prompts prompts(w);
        QVERIFY(clickAndWait(w));

        QCOMPARE(prompts.seen, QStringList());
        QVERIFY(allInputs(w, true));
        QString stem = symbol;
        stem.replace(QLatin1Char('.'), QLatin1Char('-'));
        if (stored) {
            QCOMPARE(log.statuses, (QStringList{kDownloading + symbol, kComplete}));
            QCOMPARE(filesIn(m_dl), QStringList{stem + QStringLiteral(".csv")});
            QCOMPARE(readAll(m_dl + QLatin1Char('/') + stem + QStringLiteral(".csv")), served(symbol));
        } else {
            QCOMPARE(log.statuses,
                     (QStringList{kDownloading + symbol, kDownloading + symbol, kDownloading + symbol, kCouldNotGet + symbol}));
            QCOMPARE(w->statusText(), kCouldNotGet + symbol);
            QCOMPARE(filesIn(m_dl), QStringList());
        }
    }

    void statusPanelClickAfterRun_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("endText");
        QTest::newRow("completed") << "MSFT" << kComplete;
        QTest::newRow("errors logged") << "E500_P" << kErrorsLogged;
    }

    void statusPanelClickAfterRun()
    {
        QFETCH(QString, symbol);
        QFETCH(QString, endText);
        TestWindow w;
        prepare(w, {symbol});
        if (QTest::currentTestFailed())
            return;
        QVERIFY(clickAndWait(w));
        QCOMPARE(w->statusText(), endText);
        QTest::mouseClick(w.pnlStatus, Qt::LeftButton);
        QCOMPARE(w->statusText(), QStringLiteral("Status"));
    }

    void windowAndCommandLineAgree_data()
    {
        QTest::addColumn<QString>("source"); // as the command line names it
        QTest::addColumn<QString>("storedText");
        QTest::addColumn<QString>("format");
        QTest::newRow("Yahoo") << "yahoo" << "Yahoo" << "5";
        QTest::newRow("Wall Street City, HEADER 5") << "wsc" << "Wall Street City" << "6";
        // Described in the user's own file, weekly rows folded from daily ones.
        QTest::newRow("a user's own service") << "börsenblick" << "Börsenblick" << "5";
    }

    void windowAndCommandLineAgree()
    {
        QFETCH(QString, source);
        QFETCH(QString, storedText);
        QFETCH(QString, format);
        const QString userFolder = m_case.config().path() + QStringLiteral("/Kestrion/sources");
        QVERIFY(QDir().mkpath(userFolder));
        QVERIFY(writeFile(userFolder + QStringLiteral("/own.json"), kBoersenblickDescription));
        QVERIFY(loadDescribedSources({QStringLiteral(KESTRION_SOURCE_DIR "/share/kestrion/sources"), userFolder}).isEmpty());
        // Read by the window's run and by kestrion-cli alike.
        const QByteArray keyVariable = QStringLiteral("KESTRION_BÖRSENBLICK_KEY").toUtf8();
        qputenv(keyVariable.constData(), "sim-boersenblick-key");
        const auto unsetKey = qScopeGuard([&] { qunsetenv(keyVariable.constData()); });
        const QStringList symbols{QStringLiteral("MSFT"), QStringLiteral("BCE.TO"), QStringLiteral("E500_C"),
                                  QStringLiteral("ZZNONE"), QStringLiteral("KO")};

        TestWindow w;
        prepare(w, symbols);
        if (QTest::currentTestFailed())
            return;
        appState().settings.dataSource = storedText;
        appState().settings.dataFormat = format;
        QVERIFY(clickAndWait(w));
        QCOMPARE(w->statusText(), kErrorsLogged);

        const QString cliDir = tmp(QStringLiteral("cli"));
        QVERIFY(QDir().mkdir(cliDir));
        QProcess cli;
        cli.start(binPath(QStringLiteral("kestrion-cli")),
                  {QStringLiteral("--list"), tmp(QStringLiteral("list.mdb")), QStringLiteral("--dir"), cliDir,
                   QStringLiteral("--from"), QStringLiteral("2003-01-01"), QStringLiteral("--to"),
                   QStringLiteral("2003-09-25"), QStringLiteral("--period"), QStringLiteral("weekly"),
                   QStringLiteral("--source"), source, QStringLiteral("--format"), format, QStringLiteral("--ext"),
                   QStringLiteral(".csv")});
        QVERIFY2(cli.waitForFinished(120000), qPrintable(cli.errorString()));
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), 1); // some tickers could not be downloaded

        const QStringList windowFiles = filesIn(m_dl);
        QCOMPARE(windowFiles, (QStringList{"BCE-TO.csv", "KO.csv", "MSFT.csv", "errorlog.txt"}));
        QCOMPARE(filesIn(cliDir), windowFiles);
        for (const QString& f : windowFiles) {
            const QByteArray bytes = readAll(m_dl + QLatin1Char('/') + f);
            QVERIFY2(!bytes.isEmpty(), qPrintable(f));
            QVERIFY2(bytes == readAll(cliDir + QLatin1Char('/') + f), qPrintable(f));
        }
        QVERIFY(readAll(ErrorLog::path(m_dl)).endsWith("\r\n\r\nE500_C\r\nZZNONE\r\n"));
    }

    void closeDuringRun_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::newRow("body still arriving") << "SLOW_CLOSE";
        QTest::newRow("service never answers") << "HANG_CLOSE";
    }

    void closeDuringRun()
    {
        QFETCH(QString, symbol);
        TestWindow w;
        prepare(w, {QStringLiteral("MSFT"), symbol, QStringLiteral("KO")});
        if (QTest::currentTestFailed())
            return;
        // Far longer than the test may take: the close must not wait for it.
        appState().services.fetchTimeoutSeconds = 120;
        QVERIFY(!QFile::exists(m_case.settingsFile()) || savedSetting(QStringLiteral("DownloadDir")).isEmpty());
        Prompts prompts(w);

        RunLog log(w);
        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        // The first ticker is stored; the next one is on its way.
        QTRY_VERIFY_WITH_TIMEOUT(log.statuses.contains(kDownloading + QStringLiteral("MSFT")), 30000);
        QTest::qWait(500);
        QVERIFY(w->downloadController().isRunning());

        QElapsedTimer clock;
        clock.start();
        QVERIFY(w->close());
        const qint64 closeMs = clock.elapsed();
        qInfo("close took %lld ms", closeMs);
        QVERIFY2(closeMs < 10000, qPrintable(QStringLiteral("close took %1 ms").arg(closeMs)));
        QVERIFY(!w->downloadController().isRunning());

        QCOMPARE(savedSetting(QStringLiteral("DownloadDir")), m_dl);
        QCOMPARE(savedSetting(QStringLiteral("StartYear")), QStringLiteral("2003"));
        // The finished ticker stays; no partial and no temporary file.
        QCOMPARE(filesIn(m_dl), QStringList{QStringLiteral("MSFT.csv")});
        QTest::qWait(300);
        QCOMPARE(filesIn(m_dl), QStringList{QStringLiteral("MSFT.csv")});
        QCOMPARE(prompts.seen, QStringList());
        w.destroyWindow();
    }

    void closeWhenAPromptIsDue_data()
    {
        QTest::addColumn<QStringList>("symbols");
        QTest::addColumn<QString>("closeAt"); // the status text at which the user closes
        QTest::addColumn<int>("activeAlerts");
        QTest::addColumn<double>("playSound");
        QTest::newRow("completion message") << QStringList{"MSFT"} << kComplete << 0 << 1.0;
        QTest::newRow("No Data! prompt") << QStringList{"E500_Q", "KO"} << kCouldNotGet + "E500_Q" << 1 << 0.0;
    }

    void closeWhenAPromptIsDue()
    {
        QFETCH(QStringList, symbols);
        QFETCH(QString, closeAt);
        QFETCH(int, activeAlerts);
        QFETCH(double, playSound);
        TestWindow w;
        prepare(w, symbols);
        if (QTest::currentTestFailed())
            return;
        appState().settings.activeAlerts = activeAlerts != 0;
        appState().settings.playSound = NumberFlag::loaded(playSound);
        Prompts prompts(w);
        RunLog log(w);
        bool closed = false;
        bool closeAccepted = false;
        connect(w.get(), &frmMain::statusTextChanged, this, [&](const QString& text) {
            if (text == closeAt && !closed) {
                closed = true;
                closeAccepted = w->close();
            }
        });
        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(closed, 60000);
        QVERIFY(closeAccepted);
        QVERIFY(!w->isVisible());
        // Whatever the run had still queued for the window stays unseen.
        QTest::qWait(500);
        QCOMPARE(prompts.seen, QStringList());
        QCOMPARE(log.statuses.last(), closeAt);
        QVERIFY(!QFile::exists(m_dl + QStringLiteral("/KO.csv")));
        w.destroyWindow();
    }

    void restartRightAfterCancel()
    {
        // The end of a cancelled run is reported late; it must neither end
        // nor hold up a run started at once after it.
        TestWindow w;
        prepare(w, {QStringLiteral("HANG_X")});
        if (QTest::currentTestFailed())
            return;
        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        QTest::qWait(300);
        QVERIFY(w->downloadController().isRunning());
        w->downloadController().cancel();
        QVERIFY(allInputs(w, true));

        QVERIFY(makeList(tmp(QStringLiteral("second.mdb")), {QStringLiteral("SLOW_AGAIN")}));
        QVERIFY(w->openList(tmp(QStringLiteral("second.mdb"))));
        QStringList statusAtFinished;
        QSignalSpy done(&w->downloadController(), &DownloadController::finished);
        connect(&w->downloadController(), &DownloadController::finished, this,
                [&] { statusAtFinished << w->statusText(); });
        QElapsedTimer clock;
        QList<qint64> ticks;
        QTimer beat;
        beat.setInterval(20);
        connect(&beat, &QTimer::timeout, this, [&] { ticks << clock.elapsed(); });
        clock.start();
        beat.start();
        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        QVERIFY(w->downloadController().isRunning());
        QVERIFY(done.wait(60000));
        QTest::qWait(200);
        QCOMPARE(done.count(), 1);
        QCOMPARE(statusAtFinished, QStringList{kComplete});
        QVERIFY2(ticks.size() >= 3, qPrintable(QStringLiteral("timer fired only %1 times").arg(ticks.size())));
        QCOMPARE(filesIn(m_dl), QStringList{QStringLiteral("SLOW_AGAIN.csv")});
    }

    void refusedCloseLeavesWindowUsable()
    {
        TestWindow w;
        prepare(w, {QStringLiteral("HANG_R")});
        if (QTest::currentTestFailed())
            return;
        appState().services.fetchTimeoutSeconds = 1;
        RefusingWindow other;
        other.setWindowTitle(QStringLiteral("Editor with unsaved changes"));
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));

        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        QTest::qWait(300);
        QVERIFY(w->downloadController().isRunning());
        QVERIFY(!w->close());
        QVERIFY(w->isVisible());
        // The window goes on working, whether the run was stopped or allowed
        // to finish.
        QTRY_VERIFY_WITH_TIMEOUT(!w->downloadController().isRunning() && allInputs(w, true), 20000);
        for (const QString& f : filesIn(m_dl))
            QVERIFY2(!f.startsWith(QStringLiteral("HANG_R")), qPrintable(f));

        QVERIFY(makeList(tmp(QStringLiteral("second.mdb")), {QStringLiteral("MSFT")}));
        QVERIFY(w->openList(tmp(QStringLiteral("second.mdb"))));
        QVERIFY(clickAndWait(w));
        QCOMPARE(w->statusText(), kComplete);
        QVERIFY(QFile::exists(m_dl + QStringLiteral("/MSFT.csv")));
        QVERIFY(!QFile::exists(m_dl + QStringLiteral("/HANG_R.csv")));
        other.hide();
    }
};

QTEST_MAIN(TestDownloadWindow)
#include "test_download_window.moc"
