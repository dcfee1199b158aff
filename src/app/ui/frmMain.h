#pragma once

#include "app/ui/file_choices.h"
#include "lists/ticker_list.h"
#include "schedule/adt_clock.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;

namespace kestrion {

class ActivationWatcher;
class DownloadController;
class HelpWindow;
class ListEditor;
class MenuKeysFirst;
class StatusPanels;
class WindowCloseOrder;
class WindowDownloadView;
class WindowPlacement;
struct MainControls;
class SingleWindows;
struct WindowValues;

// The program's main window: the open ticker list, the download directory,
// the date range and history period, the download button, menus, toolbar and
// status bar. One instance per run; every other window is opened from it.
// Its controls are its own (MainControls); the tests find them by their object
// names, which stay as they are whatever the C++ members are called.
class frmMain final : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The toolbar button with this key ("Open List", ...), or null.
    QAction* toolbarButton(const QString& key) const;

    // The open ticker list (not open when the last chosen file could not be).
    TickerList& list();
    const TickerList& list() const;
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
    void setStatusText(const QString& text);
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

    // What the window asks the outside world, file dialogs and the system
    // clock unless set otherwise: the files the list commands ask for, the
    // clock the automatic download compares with "ADT", and the document
    // Help > Contents shows.
    void setFileChoices(FileChoices choices);
    void setClock(std::function<QDateTime()> now);
    void setHelpFilePath(const QString& path);

Q_SIGNALS:
    // Every text the status panel is given, also a repeat of the same text.
    void statusTextChanged(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    QMenu* createPopupMenu() override;

private:
    void connectCommands();
    void Form_Load();
    void Form_Activate();
    WindowValues windowValues() const;
    void showListMessage(const QString& text);
    void refreshHiddenOptionsDialog();
    void showPendingMessage();
    bool closeOtherWindows();
    QDateTime now() const;
    QString helpFilePath() const;

    void mnuLaunch_Click();
    void mnuFileExit_Click();
    void mnuViewFile_Click();
    void mnuViewErrorLog_Click();
    void mnuViewChart_Click();
    // Charts the ticker of a grid row from the download directory.
    void chartRow(int row);
    void mnuAnalyzeStock_Click();
    void mnuViewToolbar_Click();
    void mnuViewStatusBar_Click();
    void mnuViewOptions_Click();
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();
    void tbToolBar_ButtonClick(QAction* button);
    void cmdGetUpdate_Click();
    void cmdBrowse_Click();
    void Timer1_Timer();

    std::unique_ptr<MainControls> m_ui;
    std::unique_ptr<StatusPanels> m_panels;
    std::unique_ptr<ListEditor> m_lists;
    std::unique_ptr<WindowDownloadView> m_downloadView;
    std::unique_ptr<DownloadController> m_download;
    std::unique_ptr<WindowPlacement> m_placement;
    std::unique_ptr<WindowCloseOrder> m_closeOrder;
    std::unique_ptr<MenuKeysFirst> m_menuKeys;
    std::unique_ptr<ActivationWatcher> m_activation;

    AutomaticDownloadClock m_adtClock;
    std::unique_ptr<SingleWindows> m_windows;
    std::function<QDateTime()> m_now;
    QString m_helpFile;

    QString m_pendingMessage;
    bool m_shownOnce = false;
    bool m_unloaded = false;
    // Set while the close runs, so that an activation in between does not
    // load the options form again after its close step.
    bool m_closing = false;
};

} // namespace kestrion
