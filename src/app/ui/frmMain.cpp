#include "app/ui/frmMain.h"

#include "app/ui/help_window.h"
#include "app/ui/list_editor.h"
#include "app/ui/main_controls.h"
#include "app/ui/single_windows.h"
#include "app/ui/status_panels.h"
#include "app/ui/window_activation.h"
#include "app/ui/window_download_view.h"
#include "app/ui/window_placement.h"
#include "app/window_close_order.h"
#include "core/app_state.h"
#include "core/settings_record.h"
#include "download/output_files.h"
#include "platform/ui/prompt.h"
#include "sources/quote_request.h"
#include "download/ui/download_controller.h"
#include "platform/browser_sandbox.h"
#include "platform/settings_store.h"
#include "schedule/ui/download_directory.h"
#include "tools/ui/frmAbout.h"
#include "tools/ui/frmChart.h"
#include "tools/ui/frmView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>

#include <utility>

namespace kestrion {

namespace {

const QString kTitle = QStringLiteral("Kestrion");

} // namespace

frmMain::frmMain(QWidget* parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<MainControls>())
    , m_placement(std::make_unique<WindowPlacement>())
    , m_windows(std::make_unique<SingleWindows>(this, appState().settings))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kTitle);

    buildMainControls(*this, *m_ui);
    m_panels = std::make_unique<StatusPanels>(*this);
    m_lists = std::make_unique<ListEditor>(*this, *m_ui->tickerGrid, *m_ui->tickerEdit);
    m_downloadView = std::make_unique<WindowDownloadView>(*this, *m_ui, *m_lists, *m_panels);
    m_download = std::make_unique<DownloadController>(*this, *m_downloadView);
    connectCommands();

    // Windows made from here on are closed before this one, newest first.
    m_closeOrder = std::make_unique<WindowCloseOrder>(*this);
    m_menuKeys = std::make_unique<MenuKeysFirst>(*this, m_ui->shortcutCommands());
    m_activation = std::make_unique<ActivationWatcher>(*this);
    connect(m_activation.get(), &ActivationWatcher::activated, this, &frmMain::Form_Activate);

    Form_Load();
}

frmMain::~frmMain()
{
    if (m_download)
        m_download->cancel();
}

void frmMain::connectCommands()
{
    const MainControls& c = *m_ui;
    ListEditor* lists = m_lists.get();
    const auto on = [this](QAction* item, auto command) { connect(item, &QAction::triggered, this, command); };
    on(c.createListAction, [lists] { lists->createNewList(); });
    on(c.openListAction, [lists] { lists->openChosenList(); });
    on(c.importListAction, [lists] { lists->importIntoList(); });
    on(c.launchAction, &frmMain::mnuLaunch_Click);
    on(c.exitAction, &frmMain::mnuFileExit_Click);
    on(c.viewFileAction, &frmMain::mnuViewFile_Click);
    on(c.viewErrorLogAction, &frmMain::mnuViewErrorLog_Click);
    on(c.viewChartAction, &frmMain::mnuViewChart_Click);
    on(c.analyzeStockAction, &frmMain::mnuAnalyzeStock_Click);
    on(c.toolbarAction, &frmMain::mnuViewToolbar_Click);
    on(c.statusBarAction, &frmMain::mnuViewStatusBar_Click);
    on(c.optionsAction, &frmMain::mnuViewOptions_Click);
    on(c.helpContentsAction, &frmMain::mnuHelpContents_Click);
    on(c.aboutAction, &frmMain::mnuHelpAbout_Click);
    connect(c.toolBar, &QToolBar::actionTriggered, this, &frmMain::tbToolBar_ButtonClick);

    connect(c.getDataButton, &QPushButton::clicked, this, &frmMain::cmdGetUpdate_Click);
    connect(c.addButton, &QPushButton::clicked, this, [lists] { lists->add(); });
    connect(c.deleteButton, &QPushButton::clicked, this, [lists] { lists->deleteCurrent(); });
    connect(c.browseButton, &QPushButton::clicked, this, &frmMain::cmdBrowse_Click);
    connect(c.tickerGrid, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { chartRow(index.row()); });
    connect(c.autoDownloadTimer, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    connect(m_panels.get(), &StatusPanels::statusTextChanged, this, &frmMain::statusTextChanged);
    connect(lists, &ListEditor::listMessage, this, &frmMain::showListMessage);
}

QMenu* frmMain::createPopupMenu()
{
    // No right-click menu for hiding the bars: View > Toolbar and View > Status
    // Bar are the only switches, so their check marks stay right.
    return nullptr;
}

void frmMain::Form_Load()
{
    SettingsStore store;
    Settings& settings = appState().settings;
    WindowValues values;
    loadSettings(store, settings, values);

    m_placement->restore(*this, values);

    const QString listPath = resolveDatabasePath(settings, defaultListFolder());
    m_ui->downloadDirEdit->setText(values.downloadDir);

    // The automatic download clock looks back over the seconds since the
    // previous tick, so a late tick never steps over the time; a precise
    // timer keeps the start close to it.
    m_ui->autoDownloadTimer->setTimerType(Qt::PreciseTimer);
    m_ui->autoDownloadTimer->start(1000);

    showDates(*m_ui, values, QDate::currentDate());

    appState().services = ServiceConfig::load(store);

    openList(listPath);
}

void frmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        // A list that failed to open at start-up is reported over the window.
        if (!m_pendingMessage.isEmpty())
            QTimer::singleShot(0, this, &frmMain::showPendingMessage);
    }
}

void frmMain::showPendingMessage()
{
    const QString text = std::exchange(m_pendingMessage, QString());
    if (!text.isEmpty() && !m_unloaded)
        Prompt::ask(this, QMessageBox::Warning, windowTitle(), text);
}

void frmMain::showListMessage(const QString& text)
{
    if (isVisible())
        Prompt::ask(this, QMessageBox::Warning, windowTitle(), text);
    else
        m_pendingMessage = text;
}

void frmMain::Form_Activate()
{
    // The close runs the options form's close step; reading its time now
    // would load it again behind the close's back.
    if (m_closing || m_unloaded)
        return;
    refreshHiddenOptionsDialog();
    m_panels->showAutomaticDownloadTime(adtText());
    m_panels->showSourcePicture(sourcePicturePath());
}

void frmMain::refreshHiddenOptionsDialog()
{
    // The form loaded for the panel holds the record as it was then; the
    // record may be newer.
    m_windows->reloadHiddenOptions();
}

QString frmMain::adtText() const
{
    return m_windows->options().adt();
}

QString frmMain::sourcePicturePath() const
{
    return kestrion::sourcePicturePath(appState().settings);
}

WindowValues frmMain::windowValues() const
{
    WindowValues w;
    m_placement->store(*this, w);
    w.downloadDir = m_ui->downloadDirEdit->text();
    w.startMonth = m_ui->startMonthBox->currentText();
    w.startDay = m_ui->startDayBox->currentText();
    w.startYear = m_ui->startYearBox->currentText();
    return w;
}

bool frmMain::closeOtherWindows()
{
    return m_closeOrder->closeOthers();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    m_closing = true;
    m_download->cancel();
    // The options form copies its values into the record at its close step
    // (a first run stores the source and extension it showed). Loaded afresh
    // first, so it copies the record's newest values, and before the other
    // windows, so that what they write as they close stays.
    refreshHiddenOptionsDialog();
    m_windows->closeOptions();
    if (!closeOtherWindows()) {
        m_closing = false;
        event->ignore();
        return;
    }
    // A window that loaded it again as it closed.
    refreshHiddenOptionsDialog();
    m_windows->closeOptions();
    // The chart browser has no owner; it must not outlive the program's end.
    m_windows->closeChartBrowser();
    m_unloaded = true;
    m_ui->autoDownloadTimer->stop();

    SettingsStore store;
    saveSettings(store, appState().settings, windowValues());
    if (!store.sync()) {
        // Said now, while the user can still note what was changed.
        Prompt::ask(this, QMessageBox::Warning, windowTitle(),
                    QStringLiteral("The settings could not be saved to \"%1\".\n\n"
                                   "The choices made since the program started will not be there "
                                   "at the next start. Check that this file and its folder can be "
                                   "written.")
                        .arg(QDir::toNativeSeparators(store.fileName())));
    }

    event->accept();
    // The other windows are closed already and this one is closing, so
    // nothing can hold the quit up.
    QCoreApplication::quit();
}

TickerList& frmMain::list()
{
    return m_lists->list();
}

const TickerList& frmMain::list() const
{
    return m_lists->list();
}

bool frmMain::openList(const QString& path)
{
    return m_lists->openList(path);
}

int frmMain::currentRow() const
{
    return m_lists->currentRow();
}

qint64 frmMain::currentRowId() const
{
    return m_lists->currentRowId();
}

void frmMain::setCurrentRow(int row)
{
    m_lists->setCurrentRow(row);
}

void frmMain::refreshGrid()
{
    m_lists->refresh();
}

QAction* frmMain::toolbarButton(const QString& key) const
{
    return m_ui->toolbarButton(key);
}

void frmMain::setStatusText(const QString& text)
{
    m_panels->setStatusText(text);
}

QString frmMain::statusText() const
{
    return m_panels->statusText();
}

void frmMain::setFileChoices(FileChoices choices)
{
    m_lists->setFileChoices(std::move(choices));
}

void frmMain::setClock(std::function<QDateTime()> now)
{
    m_now = std::move(now);
}

void frmMain::setHelpFilePath(const QString& path)
{
    m_helpFile = path;
}

QDateTime frmMain::now() const
{
    return m_now ? m_now() : QDateTime::currentDateTime();
}

QString frmMain::helpFilePath() const
{
    return m_helpFile.isEmpty() ? applicationFolder() + QStringLiteral("/Kestrion.html") : m_helpFile;
}

HelpWindow* frmMain::helpWindow() const
{
    return m_windows->helpWindow();
}

void frmMain::mnuLaunch_Click()
{
    m_windows->launchApplication();
}

void frmMain::mnuFileExit_Click()
{
    close();
}

void frmMain::mnuViewFile_Click()
{
    viewFile(this, m_ui->downloadDirEdit->text());
}

void frmMain::mnuViewErrorLog_Click()
{
    viewErrorLog(this, m_ui->downloadDirEdit->text());
}

void frmMain::mnuViewChart_Click()
{
    chartFile(this, m_ui->downloadDirEdit->text());
}

void frmMain::chartRow(int row)
{
    if (row < 0 || row >= m_lists->rowCount())
        return;
    const QString symbol = m_lists->symbol(row);
    const QString dir = m_ui->downloadDirEdit->text();
    chartTicker(this, dataFilePath(dir, symbol, appState().settings, m_downloadView->shown().end), dir, symbol);
}

void frmMain::mnuAnalyzeStock_Click()
{
    // Without a current row the browser shows the ticker it was last given.
    const int row = currentRow();
    if (row >= 0 && row < m_lists->rowCount())
        appState().strTicker = m_lists->symbol(row);
    QString why;
    if (!m_windows->showChartBrowser(appState().strTicker, appState().services.chartHost, &why)) {
        if (!why.isEmpty())
            Prompt::ask(this, QMessageBox::Warning, windowTitle(),
                        QStringLiteral("The chart browser cannot start: %1.").arg(why));
        return;
    }
    const QString note = browserSandboxNoteOnce();
    if (!note.isEmpty())
        setStatusText(note);
}

void frmMain::mnuViewToolbar_Click()
{
    const bool show = m_ui->toolBar->isHidden();
    m_ui->toolBar->setVisible(show);
    m_ui->toolbarAction->setChecked(show);
}

void frmMain::mnuViewStatusBar_Click()
{
    QStatusBar* bar = m_panels->bar();
    const bool show = bar->isHidden();
    bar->setVisible(show);
    m_ui->statusBarAction->setChecked(show);
}

void frmMain::mnuViewOptions_Click()
{
    m_windows->showOptions();
}

void frmMain::mnuHelpContents_Click()
{
    const QString path = helpFilePath();
    QString why;
    if (!m_windows->showHelp(path, &why)) {
        Prompt::ask(this, QMessageBox::Information, windowTitle(),
                    QStringLiteral("Unable to display Help Contents: the help file \"%1\" could not be "
                                   "opened (%2).")
                        .arg(QDir::toNativeSeparators(path), why));
    }
}

void frmMain::mnuHelpAbout_Click()
{
    showAbout(this);
}

void frmMain::tbToolBar_ButtonClick(QAction* button)
{
    // The buttons run the menu's commands; they are disabled together.
    const QString key = button ? button->data().toString() : QString();
    if (key == QLatin1String("Open List"))
        m_ui->openListAction->trigger();
    else if (key == QLatin1String("View File"))
        m_ui->viewFileAction->trigger();
    else if (key == QLatin1String("Analyze Stock"))
        m_ui->analyzeStockAction->trigger();
    else if (key == QLatin1String("Launch Application"))
        m_ui->launchAction->trigger();
}

void frmMain::cmdGetUpdate_Click()
{
    m_download->start(m_downloadView->shown(), false);
}

void frmMain::cmdBrowse_Click()
{
    browseForDownloadDirectory(this, m_ui->downloadDirEdit);
}

void frmMain::Timer1_Timer()
{
    const QDateTime moment = now();
    // The clock sees every tick, also during a run, so that a second that
    // matched while a run was going on cannot start a late run afterwards.
    if (!m_adtClock.tick(moment, appState().settings.adt))
        return;
    if (m_closing || m_unloaded || m_download->isRunning())
        return;

    // The run downloads up to today, as the request knows its dates.
    showEndDate(*m_ui, moment.date());

    m_download->start(m_downloadView->shown(), true);
}

} // namespace kestrion
