#pragma once

#include "app/ui/frmMain.h"
#include "testsupport.h"

#include <QByteArray>
#include <QDateTime>
#include <QIcon>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTableView;
class QToolBar;
class QWidget;

namespace kestrion::test {

// Hands each modal window that comes up while it lives to the handler, as a
// user meets it: a prompt box once, as soon as it is on the screen (through
// Prompt's test hook, no polling); any other modal window when the timer
// finds it the active one, on every tick until the handler returns true. A
// prompt box the handler leaves open goes on to the watcher made before.
class ModalWatcher
{
public:
    using Handler = std::function<bool(QWidget&)>;

    explicit ModalWatcher(Handler handler, int intervalMs = 20);
    ~ModalWatcher();
    ModalWatcher(const ModalWatcher&) = delete;
    ModalWatcher& operator=(const ModalWatcher&) = delete;

private:
    static void promptShown(QMessageBox& box);
    void poll();

    Handler m_handler;
    QTimer m_timer;
    QPointer<QWidget> m_done; // the last window the handler took
};

// Calls the handler once, with the next modal window of type T that comes
// up (within the time limit); other windows are left alone.
template <class T>
void whenModal(std::function<void(T&)> handler, int timeoutMs = 30000);

// The untyped form of whenModal().
void whenModalWidget(std::function<bool(QWidget&)> takes, int timeoutMs);

template <class T>
void whenModal(std::function<void(T&)> handler, int timeoutMs)
{
    whenModalWidget(
        [handler = std::move(handler)](QWidget& w) {
            T* found = qobject_cast<T*>(&w);
            if (found)
                handler(*found);
            return found != nullptr;
        },
        timeoutMs);
}

// Answers every message box that comes up while it lives (OK, or rejected
// when it has no OK button) and keeps what each one showed. Prompt boxes
// come through Prompt's hook; the boxes the download run still shows itself
// are looked for by the timer.
class MessageWatcher
{
public:
    enum class Find {
        ActiveModal, // the active modal widget, when it is a message box
        TopLevel,    // every visible top-level message box
    };

    explicit MessageWatcher(Find find = Find::ActiveModal, int intervalMs = 20);

    QStringList texts;
    QStringList titles;
    QList<QMessageBox::Icon> icons;
    QList<QMessageBox::StandardButtons> buttons;

private:
    void answer(QMessageBox* box);

    ModalWatcher m_modal;
    QTimer m_timer;
};

// What each window test case starts from. QSettings fixes the user settings
// folder on first use in a process, so all cases of a test share one private
// settings folder; each case starts with an empty settings file, fresh
// program-wide values and a fresh temporary folder.
class GuiCase
{
public:
    // Whether the cases download: then the local quote service runs for the
    // whole test, every case points the "Services" hosts at it and gets a
    // fresh, empty download folder.
    enum class Quotes { None, LocalService };

    // In initTestCase.
    void startTest(Quotes quotes = Quotes::None);
    // In init.
    void startCase();
    // In cleanup: nothing modal may be left over from a case.
    void endCase();

    TempConfig& config() { return *m_config; }
    QString settingsFile() const { return m_config->settingsFile(); }
    // A stored value of the "Settings" section.
    QString saved(const QString& name) const;
    void store(const QString& name, const QString& value);
    // The case's temporary folder, and a path in it.
    QString tmpPath() const { return m_tmp->path(); }
    QString tmp(const QString& name) const { return m_tmp->filePath(name); }
    // With the local quote service: the service and the case's download folder.
    const QuoteService& service() const { return *m_service; }
    QString downloadDir() const { return tmp(QStringLiteral("dl")); }

private:
    std::unique_ptr<TempConfig> m_config;
    std::unique_ptr<QuoteService> m_service;
    std::unique_ptr<QTemporaryDir> m_tmp;
};

// The main window for a test, made as the program makes it. Its file
// dialogs and its clock are answered by the fields below through the
// window's own seams; its controls are found by their object names, not by
// the window's C++ member names.
class TestWindow
{
public:
    TestWindow();
    // Deletes the window unless it is gone already.
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    // Deletes the window now, as the program's end does.
    void destroyWindow();

    frmMain* get() const { return m_window; }
    frmMain* operator->() const { return m_window; }
    frmMain& operator*() const { return *m_window; }

    // The answers of the file choices (empty: the user cancelled), and how
    // often each was asked.
    QString openAnswer;
    QString saveAnswer;
    QString importAnswer;
    QStringList targetAnswers; // where Access imports go, one per question
    QStringList proposals;     // what those questions proposed
    int openAsked = 0;
    int saveAsked = 0;
    int importAsked = 0;
    // The clock the window sees; the real one while invalid.
    QDateTime clock;

    // One tick of the automatic download timer with the clock at the moment.
    void tickAt(const QDateTime& moment);

    QLabel* Label1;
    QLineEdit* txtTicker;
    QPushButton* cmdAdd;
    QPushButton* cmdDelete;
    QTableView* DBGrid1;
    QCheckBox* chkSingleStock;
    QGroupBox* Frame1;
    QLineEdit* txtDownloadDir;
    QPushButton* cmdBrowse;
    QGroupBox* Frame2;
    QLabel* Label2;
    QComboBox* cbxStartMonth;
    QComboBox* cbxStartDay;
    QComboBox* cbxStartYear;
    QLabel* Label3;
    QComboBox* cbxEndMonth;
    QComboBox* cbxEndDay;
    QComboBox* cbxEndYear;
    QRadioButton* optDaily;
    QRadioButton* optWeekly;
    QRadioButton* optMonthly;
    QPushButton* cmdGetUpdate;
    QLabel* Label4;
    QProgressBar* ProgressBar1;
    QToolBar* tbToolBar;
    QStatusBar* sbStatusBar;
    QLabel* pnlStatus;
    QLabel* pnlDataSource;
    QLabel* pnlADT;
    QTimer* Timer1;

    QAction* mnuCreateNewList;
    QAction* mnuOpenList;
    QAction* mnuImportList;
    QAction* mnuLaunch;
    QAction* mnuFileExit;
    QAction* mnuViewFile;
    QAction* mnuViewErrorLog;
    QAction* mnuViewChart;
    QAction* mnuAnalyzeStock;
    QAction* mnuViewToolbar;
    QAction* mnuViewStatusBar;
    QAction* mnuViewOptions;
    QAction* mnuHelpContents;
    QAction* mnuHelpAbout;

private:
    QPointer<frmMain> m_window;
};

// The symbols the window's grid shows, top to bottom.
QStringList gridSymbols(const frmMain& w);

// Shows the window and waits until it is the active one.
void showAndActivate(QWidget& w);

// The modal window up now, if any; tests look at dialogs only through the
// watchers above and this.
QWidget* modalWindow();

// Opens a fresh list file of the symbols at the path in the window and shows
// the window active; the path, or empty when that failed.
QString showWithList(TestWindow& w, const QString& path, const QStringList& symbols);

// A shown window on a fresh list file of the symbols, set to download weekly
// Yahoo quotes from Jan 01 2003 to the end date (month, day, year) as .csv
// files into the folder, its progress bar empty. Shown active, or only
// exposed, so that no activation loads the options dialog. Failures are the
// test's.
enum class Show { Active, Exposed };
void prepareWeeklyYahooRun(TestWindow& w, const QString& listPath, const QStringList& symbols,
                           const QString& downloadDir, const QStringList& endDate, Show show);

bool writeFile(const QString& path, const QByteArray& bytes);

} // namespace kestrion::test
