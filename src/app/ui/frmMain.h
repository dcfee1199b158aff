#pragma once

#include "download/download_view.h"
#include "lists/ticker_list.h"
#include "schedule/adt_clock.h"

#include <QDateTime>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QVector>

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
class QStandardItemModel;
class QStatusBar;
class QTableView;
class QTimer;
class QToolBar;

namespace kestrion {

class DownloadController;
class HelpWindow;
class SingleWindows;
struct WindowValues;

// The program's main window: the open ticker list, the download directory,
// the date range and history period, the download button, menus, toolbar and
// status bar. One instance per run; every other window is opened from it.
class frmMain : public QMainWindow, private DownloadView
{
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The program's main window, or null before it exists.
    static frmMain* instance();

    // Controls, named as the rest of the program refers to them.
    QLabel* Label1 = nullptr;
    QLineEdit* txtTicker = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdDelete = nullptr;
    QTableView* DBGrid1 = nullptr;
    QCheckBox* chkSingleStock = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLineEdit* txtDownloadDir = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cbxStartMonth = nullptr;
    QComboBox* cbxStartDay = nullptr;
    QComboBox* cbxStartYear = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* cbxEndMonth = nullptr;
    QComboBox* cbxEndDay = nullptr;
    QComboBox* cbxEndYear = nullptr;
    QRadioButton* optDaily = nullptr;
    QRadioButton* optWeekly = nullptr;
    QRadioButton* optMonthly = nullptr;
    QPushButton* cmdGetUpdate = nullptr;
    QLabel* Label4 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QToolBar* tbToolBar = nullptr;
    QList<QIcon> imlIcons;
    QStatusBar* sbStatusBar = nullptr;
    QLabel* pnlStatus = nullptr; // panel 1, key "Status"
    QLabel* pnlDataSource = nullptr; // panel 2, the source picture
    QLabel* pnlADT = nullptr; // panel 3, key "ADT"
    QTimer* Timer1 = nullptr;

    // Menus and their items; separators are items too.
    QMenu* mnuFile = nullptr;
    QAction* mnuCreateNewList = nullptr;
    QAction* mnuOpenList = nullptr;
    QAction* mnuImportList = nullptr;
    QAction* mnuFileBar1 = nullptr;
    QAction* mnuLaunch = nullptr;
    QAction* mnuFileBar2 = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuView = nullptr;
    QAction* mnuViewFile = nullptr;
    QAction* mnuViewErrorLog = nullptr;
    QAction* mnuViewChart = nullptr;
    QAction* mnuViewBar1 = nullptr;
    QAction* mnuAnalyzeStock = nullptr;
    QAction* mnuViewBar2 = nullptr;
    QAction* mnuViewToolbar = nullptr;
    QAction* mnuViewStatusBar = nullptr;
    QAction* mnuViewBar3 = nullptr;
    QAction* mnuViewOptions = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuHelpBar1 = nullptr;
    QAction* mnuHelpAbout = nullptr;

    // The toolbar button with this key ("Open List", ...), or null.
    QAction* toolbarButton(const QString& key) const;

    // The open ticker list (not open when the last chosen file could not be).
    TickerList& list() { return m_list; }
    const TickerList& list() const { return m_list; }
    // Opens a list file into the grid. On failure no list is open and one
    // message names the file and the reason.
    bool openList(const QString& path);
    // The grid's current row, in stored order; -1 when there is none.
    int currentRow() const;
    // The row id of the current row; -1 when there is none.
    qint64 currentRowId() const;
    void setCurrentRow(int row);
    // Re-reads the rows; the current row stays on the same list row where it
    // still exists, otherwise on the same position.
    void refreshGrid();

    // Status bar panel 1.
    void setStatusText(const QString& text) override;
    QString statusText() const;

    // The automatic download time shown in panel 3: the options form's time
    // (reading it loads the form from the record).
    QString adtText() const;
    // The picture file panel 2 shows for the current "Data Source".
    QString sourcePicturePath() const;

    DownloadController& downloadController() { return *m_download; }

    // The help window once Help > Contents has shown it, or null.
    HelpWindow* helpWindow() const;
    // The options form and the windows this window has at most one of.
    SingleWindows& singleWindows() { return *m_windows; }

Q_SIGNALS:
    // Every text the status panel is given, also a repeat of the same text.
    void statusTextChanged(const QString& text);

public Q_SLOTS:
    virtual void mnuCreateNewList_Click();
    virtual void mnuOpenList_Click();
    virtual void mnuImportList_Click();
    virtual void mnuLaunch_Click();
    virtual void mnuFileExit_Click();
    virtual void mnuViewFile_Click();
    virtual void mnuViewErrorLog_Click();
    virtual void mnuViewChart_Click();
    // Charts the ticker of a grid row from the download directory.
    void chartRow(int row);
    virtual void mnuAnalyzeStock_Click();
    virtual void mnuViewToolbar_Click();
    virtual void mnuViewStatusBar_Click();
    virtual void mnuViewOptions_Click();
    virtual void mnuHelpContents_Click();
    virtual void mnuHelpAbout_Click();

    void cmdAdd_Click();
    void cmdDelete_Click();
    void tbToolBar_ButtonClick(QAction* button);
    void sbStatusBar_PanelClick(QLabel* panel);
    void cmdGetUpdate_Click();
    void cmdBrowse_Click();
    void Timer1_Timer();

protected:
    // File choices of Open List and Create New List; an empty text means the
    // user cancelled.
    virtual QString chooseOpenFile();
    virtual QString chooseSaveFile();
    // The file Import List reads; empty when the user cancelled.
    virtual QString chooseImportFile();
    // Where a list imported from an Access file is saved, starting from the
    // proposed path; empty when the user cancelled.
    virtual QString chooseNewListFor(const QString& proposed);
    // The clock the automatic download compares with "ADT".
    virtual QDateTime now() const;
    // The document Help > Contents shows.
    virtual QString helpFilePath() const;

    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QMenu* createPopupMenu() override;

private:
    // DownloadView: what a download run reads and shows.
    RequestInputs requestInputs() const override;
    QString downloadDir() const override;
    bool singleStock() const override;
    bool listOpen() const override;
    QString listPath() const override;
    bool readListSymbols(QStringList& symbols, QString* error) const override;
    int currentListRow() const override;
    void setDownloadDir(const QString& dir) override;
    void setInputsEnabled(bool enabled) override;
    void setStatusToolTip(const QString& text) override;
    void setProgressRange(int minimum, int maximum) override;
    void setProgressValue(int value) override;
    void progressToMinimum() override;
    void progressToMaximum() override;
    void refreshList() override;
    QWidget* promptParent() override;

    void buildControls();
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    void Form_Load();
    void Form_Activate();
    WindowValues windowValues() const;
    void showListMessage(const QString& text);
    // Open List on an Access file: offers to import its tickers into a new
    // list and opens that list.
    void importAccessAsNewList(const QString& accessPath);
    void refreshHiddenOptionsDialog();
    void showNoListMessage();
    void showDataError();
    void showPendingMessage();
    bool isWindowShortcut(const QKeySequence& keys) const;
    void onFocusWindowChanged(QWindow* focusWindow);
    bool closeOtherWindows();

    TickerList m_list;
    QVector<TickerList::Row> m_rows;
    QStandardItemModel* m_gridModel = nullptr;
    std::unique_ptr<DownloadController> m_download;

    // Geometry as loaded: saved back unchanged while the window still stands
    // there, so whole-pixel rounding never creeps the stored twips.
    QRect m_loadedPixels;
    float m_loadedTwips[4] = {};

    AutomaticDownloadClock m_adtClock;
    std::unique_ptr<SingleWindows> m_windows;

    QString m_pendingMessage;
    bool m_shownOnce = false;
    bool m_activatedOnce = false;
    bool m_previousFocusWasOurs = false;
    bool m_unloaded = false;
    // Set while the close runs, so that an activation in between does not
    // load the options form again after its close step.
    bool m_closing = false;
    // Windows created after this one, oldest first, for the newest-first close.
    QList<QPointer<QWidget>> m_laterWindows;
};

} // namespace kestrion
