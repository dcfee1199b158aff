#include "app/ui/frmMain.h"

#include "app/ui/help_window.h"
#include "app/ui/single_windows.h"
#include "core/app_state.h"
#include "core/settings_record.h"
#include "download/output_files.h"
#include "download/quote_request.h"
#include "download/ui/download_controller.h"
#include "lists/access_import.h"
#include "lists/list_import.h"
#include "lists/ui/access_import_ui.h"
#include "platform/settings_store.h"
#include "schedule/ui/download_directory.h"
#include "tools/ui/frmAbout.h"
#include "tools/ui/frmChart.h"
#include "tools/ui/frmView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace kestrion {

namespace {

frmMain* s_instance = nullptr;

constexpr double kTwipsPerPixel = 15;
// Stored coordinates are only ever written by the program, but a hand-edited
// huge value must not overflow the pixel conversion or the window system's
// 16-bit coordinates.
constexpr double kMaxPixels = 32000;

const QString kTitle = QStringLiteral("Kestrion");
const QString kListFilter = QStringLiteral("Database Files (*.mdb)");
const QString kOpenFilter = QStringLiteral("Database Files (*.mdb);;Access Databases (*.mdb *.accdb)");
const QString kImportFilter = QStringLiteral(
    "Spreadsheet Files (*.csv);;Access Databases (*.mdb *.accdb);;Database Files (*.mdb)");
const QString kDataError = QStringLiteral("Data error... Please try again.");

int toPixels(float twips)
{
    return qRound(std::clamp(double(twips) / kTwipsPerPixel, -kMaxPixels, kMaxPixels));
}

// Shows the text in the box, selecting the matching list entry if there is
// one; a text the list doesn't hold stays as typed.
void setComboText(QComboBox* box, const QString& text)
{
    box->setCurrentIndex(box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
    box->setEditText(text);
}

// Adding the first entries to an empty combo box selects the first of them,
// which would replace the text already loaded from the settings.
void fillKeepingText(QComboBox* box, const QStringList& entries)
{
    const QString text = box->currentText();
    box->addItems(entries);
    setComboText(box, text);
}

QComboBox* dateBox(QWidget* parent, const char* name, const QString& tip)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setToolTip(tip);
    box->setEditable(true);
    // Typed text is taken as it is: no completion, and nothing added to the list.
    box->setCompleter(nullptr);
    box->setInsertPolicy(QComboBox::NoInsert);
    // As wide as the longest entry: the boxes hold short texts.
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QString& tip = {})
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    if (!tip.isEmpty())
        b->setToolTip(tip);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption)
{
    auto* l = new QLabel(caption, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

QRadioButton* option(QWidget* parent, const char* name, const QString& caption, const QString& tip)
{
    auto* o = new QRadioButton(caption, parent);
    o->setObjectName(QLatin1String(name));
    o->setToolTip(tip);
    return o;
}

QLabel* panel(QWidget* parent, const char* name, const QString& text, const QString& tip)
{
    auto* p = new QLabel(text, parent);
    p->setObjectName(QLatin1String(name));
    p->setToolTip(tip);
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Sunken);
    p->setContentsMargins(2, 0, 2, 0);
    return p;
}

QStringList numbered(int first, int last, int width)
{
    QStringList result;
    for (int i = first; i <= last; ++i)
        result << QStringLiteral("%1").arg(i, width, 10, QLatin1Char('0'));
    return result;
}

bool isClosableWindow(const QWidget* w)
{
    if (!w || !w->isWindow())
        return false;
    switch (w->windowType()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::Desktop:
        return false;
    default:
        return true;
    }
}

} // namespace

frmMain* frmMain::instance()
{
    return s_instance;
}

frmMain::frmMain(QWidget* parent)
    : QMainWindow(parent)
    , m_windows(std::make_unique<SingleWindows>(this, appState().settings))
{
    if (!s_instance)
        s_instance = this;
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kTitle);

    buildControls();
    buildMenus();
    buildToolBar();
    buildStatusBar();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);

    m_download = std::make_unique<DownloadController>(static_cast<DownloadView&>(*this));
    // Whatever ended the run (done, stopped at a prompt, declined to start),
    // it no longer counts as automatic.
    connect(m_download.get(), &DownloadController::finished, this, [] { appState().autoRunMarker = 0; });
    connect(cmdGetUpdate, &QPushButton::clicked, this, &frmMain::cmdGetUpdate_Click);
    connect(cmdAdd, &QPushButton::clicked, this, &frmMain::cmdAdd_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmMain::cmdDelete_Click);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmMain::cmdBrowse_Click);

    // Sees window creation (for the newest-first close), the menu shortcuts
    // typed into text boxes and clicks on the status bar panels.
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &frmMain::onFocusWindowChanged);

    Form_Load();
}

frmMain::~frmMain()
{
    qApp->removeEventFilter(this);
    if (m_download)
        m_download->cancelAndWait();
    if (s_instance == this)
        s_instance = nullptr;
}

void frmMain::buildControls()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(central);

    // Left: the ticker list and its editing buttons.
    Label1 = label(central, "Label1", QStringLiteral("Ticker Symbol:"));
    txtTicker = new QLineEdit(central);
    txtTicker->setObjectName(QStringLiteral("txtTicker"));
    Label1->setBuddy(txtTicker);
    cmdAdd = button(central, "cmdAdd", QStringLiteral("Add"), QStringLiteral("Add Record"));
    cmdDelete = button(central, "cmdDelete", QStringLiteral("Delete"), QStringLiteral("Delete Record"));

    DBGrid1 = new QTableView(central);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    m_gridModel = new QStandardItemModel(0, 1, this);
    m_gridModel->setHorizontalHeaderLabels({QStringLiteral("Symbol")});
    DBGrid1->setModel(m_gridModel);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setTabKeyNavigation(false);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    DBGrid1->horizontalHeader()->setSectionsClickable(false);
    DBGrid1->verticalHeader()->setDefaultSectionSize(DBGrid1->fontMetrics().height() + 4);
    DBGrid1->verticalHeader()->setMinimumWidth(16);
    DBGrid1->setMinimumSize(120, 80);
    connect(DBGrid1, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { chartRow(index.row()); });

    chkSingleStock = new QCheckBox(QStringLiteral("Single Stock"), central);
    chkSingleStock->setObjectName(QStringLiteral("chkSingleStock"));

    // Narrower than the style's usual button width, so both columns fit the
    // default window size.
    cmdAdd->setMinimumWidth(60);
    cmdDelete->setMinimumWidth(60);
    auto* editButtons = new QHBoxLayout;
    editButtons->addWidget(cmdAdd);
    editButtons->addWidget(cmdDelete);
    auto* left = new QVBoxLayout;
    left->addWidget(Label1);
    left->addWidget(txtTicker);
    left->addLayout(editButtons);
    left->addWidget(DBGrid1, 1);
    left->addWidget(chkSingleStock);

    // Right: where the files go, which dates and period, and the run.
    Frame1 = new QGroupBox(QStringLiteral("Specify Download Directory:"), central);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    txtDownloadDir = new QLineEdit(Frame1);
    txtDownloadDir->setObjectName(QStringLiteral("txtDownloadDir"));
    txtDownloadDir->setToolTip(QStringLiteral("Download Directory"));
    cmdBrowse = button(Frame1, "cmdBrowse", QStringLiteral("Browse"), QStringLiteral("Browse Files"));
    cmdBrowse->setMinimumWidth(60);
    auto* dirRow = new QHBoxLayout(Frame1);
    dirRow->addWidget(txtDownloadDir, 1);
    dirRow->addWidget(cmdBrowse);

    Frame2 = new QGroupBox(QStringLiteral("Load Data From: "), central);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Label2 = label(Frame2, "Label2", QStringLiteral("Start Date:"));
    cbxStartMonth = dateBox(Frame2, "cbxStartMonth", QStringLiteral("Start Month"));
    cbxStartDay = dateBox(Frame2, "cbxStartDay", QStringLiteral("Start Day"));
    cbxStartYear = dateBox(Frame2, "cbxStartYear", QStringLiteral("Start Year"));
    Label3 = label(Frame2, "Label3", QStringLiteral("End Date:"));
    cbxEndMonth = dateBox(Frame2, "cbxEndMonth", QStringLiteral("End Month"));
    cbxEndDay = dateBox(Frame2, "cbxEndDay", QStringLiteral("End Day"));
    cbxEndYear = dateBox(Frame2, "cbxEndYear", QStringLiteral("End Year"));
    optDaily = option(Frame2, "optDaily", QStringLiteral("Daily"), QStringLiteral("Daily History"));
    optWeekly = option(Frame2, "optWeekly", QStringLiteral("Weekly"), QStringLiteral("Weekly History"));
    optMonthly = option(Frame2, "optMonthly", QStringLiteral("Monthly"), QStringLiteral("Monthly History"));
    optDaily->setChecked(true);

    auto* dates = new QGridLayout;
    dates->addWidget(Label2, 0, 0, 1, 3);
    dates->addWidget(cbxStartMonth, 1, 0);
    dates->addWidget(cbxStartDay, 1, 1);
    dates->addWidget(cbxStartYear, 1, 2);
    dates->addWidget(Label3, 2, 0, 1, 3);
    dates->addWidget(cbxEndMonth, 3, 0);
    dates->addWidget(cbxEndDay, 3, 1);
    dates->addWidget(cbxEndYear, 3, 2);
    dates->setColumnStretch(0, 3);
    dates->setColumnStretch(1, 2);
    dates->setColumnStretch(2, 3);
    auto* periods = new QHBoxLayout;
    periods->addWidget(optDaily);
    periods->addWidget(optWeekly);
    periods->addWidget(optMonthly);
    periods->addStretch(1);
    auto* frame2Layout = new QVBoxLayout(Frame2);
    frame2Layout->addLayout(dates);
    frame2Layout->addLayout(periods);

    cmdGetUpdate = button(central, "cmdGetUpdate", QStringLiteral("Get Historical Data"));
    Label4 = label(central, "Label4", QStringLiteral("Progress:"));
    ProgressBar1 = new QProgressBar(central);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    auto* right = new QVBoxLayout;
    right->addWidget(Frame1);
    right->addWidget(Frame2);
    right->addWidget(cmdGetUpdate);
    right->addWidget(Label4);
    right->addWidget(ProgressBar1);
    right->addStretch(1);

    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(6, 6, 6, 6);
    columns->addLayout(left, 2);
    columns->addLayout(right, 3);
}

void frmMain::buildMenus()
{
    auto menu = [this](const char* name, const QString& caption) {
        QMenu* m = menuBar()->addMenu(caption);
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };
    auto item = [this](QMenu* m, const char* name, const QString& caption, const char* keys, auto slot) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(QKeySequence(QLatin1String(keys)));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto bar = [](QMenu* m, const char* name) {
        QAction* a = m->addSeparator();
        a->setObjectName(QLatin1String(name));
        return a;
    };

    mnuFile = menu("mnuFile", QStringLiteral("&File"));
    mnuCreateNewList = item(mnuFile, "mnuCreateNewList", QStringLiteral("Create &New List"), "Ctrl+N",
                            &frmMain::mnuCreateNewList_Click);
    mnuOpenList = item(mnuFile, "mnuOpenList", QStringLiteral("&Open List"), "Ctrl+O", &frmMain::mnuOpenList_Click);
    mnuImportList = item(mnuFile, "mnuImportList", QStringLiteral("&Import List"), "Ctrl+I",
                         &frmMain::mnuImportList_Click);
    mnuFileBar1 = bar(mnuFile, "mnuFileBar1");
    mnuLaunch = item(mnuFile, "mnuLaunch", QStringLiteral("Launch Application"), "Ctrl+L", &frmMain::mnuLaunch_Click);
    mnuFileBar2 = bar(mnuFile, "mnuFileBar2");
    mnuFileExit = item(mnuFile, "mnuFileExit", QStringLiteral("E&xit"), "Ctrl+X", &frmMain::mnuFileExit_Click);

    mnuView = menu("mnuView", QStringLiteral("&View"));
    mnuViewFile = item(mnuView, "mnuViewFile", QStringLiteral("&View File"), "Ctrl+V", &frmMain::mnuViewFile_Click);
    mnuViewErrorLog = item(mnuView, "mnuViewErrorLog", QStringLiteral("View &Error Log"), "Ctrl+E",
                           &frmMain::mnuViewErrorLog_Click);
    mnuViewChart = item(mnuView, "mnuViewChart", QStringLiteral("&Chart File..."), "", &frmMain::mnuViewChart_Click);
    mnuViewBar1 = bar(mnuView, "mnuViewBar1");
    mnuAnalyzeStock = item(mnuView, "mnuAnalyzeStock", QStringLiteral("Analy&ze Stock"), "Ctrl+Z",
                           &frmMain::mnuAnalyzeStock_Click);
    mnuViewBar2 = bar(mnuView, "mnuViewBar2");
    mnuViewToolbar = item(mnuView, "mnuViewToolbar", QStringLiteral("&Toolbar"), "Ctrl+T",
                          &frmMain::mnuViewToolbar_Click);
    mnuViewToolbar->setCheckable(true);
    mnuViewToolbar->setChecked(true);
    mnuViewStatusBar = item(mnuView, "mnuViewStatusBar", QStringLiteral("Status &Bar"), "Ctrl+B",
                            &frmMain::mnuViewStatusBar_Click);
    mnuViewStatusBar->setCheckable(true);
    mnuViewStatusBar->setChecked(true);
    mnuViewBar3 = bar(mnuView, "mnuViewBar3");
    mnuViewOptions = item(mnuView, "mnuViewOptions", QStringLiteral("O&ptions..."), "Ctrl+P",
                          &frmMain::mnuViewOptions_Click);

    mnuHelp = menu("mnuHelp", QStringLiteral("&Help"));
    mnuHelpContents = item(mnuHelp, "mnuHelpContents", QStringLiteral("&Contents"), "Ctrl+C",
                           &frmMain::mnuHelpContents_Click);
    mnuHelpBar1 = bar(mnuHelp, "mnuHelpBar1");
    mnuHelpAbout = item(mnuHelp, "mnuHelpAbout", QStringLiteral("&About Kestrion..."), "Ctrl+A",
                        &frmMain::mnuHelpAbout_Click);
}

void frmMain::buildToolBar()
{
    tbToolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, tbToolBar);

    QStyle* s = style();
    imlIcons = {s->standardIcon(QStyle::SP_DialogOpenButton), s->standardIcon(QStyle::SP_FileIcon),
                s->standardIcon(QStyle::SP_FileDialogContentsView), s->standardIcon(QStyle::SP_MediaPlay)};
    const struct
    {
        const char* key;
        const char* tip;
    } buttons[] = {{"Open List", "Open Stock List"},
                   {"View File", "View/Edit File"},
                   {"Analyze Stock", "Analyze Stock"},
                   {"Launch Application", "Launch Application"}};
    int i = 0;
    for (const auto& b : buttons) {
        QAction* a = tbToolBar->addAction(imlIcons.at(i++), QLatin1String(b.key));
        a->setData(QLatin1String(b.key));
        a->setToolTip(QLatin1String(b.tip));
    }
    connect(tbToolBar, &QToolBar::actionTriggered, this, &frmMain::tbToolBar_ButtonClick);
}

void frmMain::buildStatusBar()
{
    sbStatusBar = new QStatusBar(this);
    sbStatusBar->setObjectName(QStringLiteral("sbStatusBar"));
    setStatusBar(sbStatusBar);
    pnlStatus = panel(sbStatusBar, "Status", QStringLiteral("Status"), QStringLiteral("Download Status"));
    pnlDataSource = panel(sbStatusBar, "DataSource", QString(), QStringLiteral("Data Source"));
    pnlDataSource->setAlignment(Qt::AlignCenter);
    pnlDataSource->setMinimumWidth(100);
    pnlADT = panel(sbStatusBar, "ADT", QStringLiteral("ADT"), QStringLiteral("Automatic Download Time"));
    pnlADT->setMinimumWidth(90);
    // Permanent widgets stay visible when a status tip is shown.
    sbStatusBar->addPermanentWidget(pnlStatus, 1);
    sbStatusBar->addPermanentWidget(pnlDataSource);
    sbStatusBar->addPermanentWidget(pnlADT);
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

    m_loadedTwips[0] = values.mainLeft;
    m_loadedTwips[1] = values.mainTop;
    m_loadedTwips[2] = values.mainWidth;
    m_loadedTwips[3] = values.mainHeight;
    m_loadedPixels = QRect(toPixels(values.mainLeft), toPixels(values.mainTop), toPixels(values.mainWidth),
                           toPixels(values.mainHeight));
    setGeometry(m_loadedPixels);

    const QString listPath = resolveDatabasePath(settings, defaultListFolder());
    txtDownloadDir->setText(values.downloadDir);
    setComboText(cbxStartMonth, values.startMonth);
    setComboText(cbxStartDay, values.startDay);
    setComboText(cbxStartYear, values.startYear);

    // The automatic download clock looks back over the seconds since the
    // previous tick, so a late tick never steps over the time; a precise
    // timer keeps the start close to it.
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->start(1000);

    const QStringList months = monthNames();
    const QStringList days = numbered(1, 31, 2);
    const QDate today = QDate::currentDate();
    const QStringList years = numbered(1970, std::max(today.year(), 1970), 4);
    fillKeepingText(cbxStartMonth, months);
    fillKeepingText(cbxStartDay, days);
    fillKeepingText(cbxStartYear, years);
    fillKeepingText(cbxEndMonth, months);
    fillKeepingText(cbxEndDay, days);
    fillKeepingText(cbxEndYear, years);

    // English month names whatever the locale: the download run knows no others.
    setComboText(cbxEndMonth, months.at(today.month() - 1));
    setComboText(cbxEndDay, QStringLiteral("%1").arg(today.day(), 2, 10, QLatin1Char('0')));
    setComboText(cbxEndYear, QStringLiteral("%1").arg(today.year(), 4, 10, QLatin1Char('0')));

    if (cbxStartMonth->currentText().isEmpty()) {
        setComboText(cbxStartMonth, QStringLiteral("Jan"));
        setComboText(cbxStartDay, QStringLiteral("01"));
        setComboText(cbxStartYear, QStringLiteral("2003"));
    }
    if (cbxEndMonth->currentText().isEmpty()) {
        setComboText(cbxEndMonth, QStringLiteral("Jan"));
        setComboText(cbxEndDay, QStringLiteral("31"));
        setComboText(cbxEndYear, QStringLiteral("2003"));
    }

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
        QMessageBox::warning(this, windowTitle(), text);
}

void frmMain::showListMessage(const QString& text)
{
    if (isVisible())
        QMessageBox::warning(this, windowTitle(), text);
    else
        m_pendingMessage = text;
}

void frmMain::onFocusWindowChanged(QWindow* focusWindow)
{
    // Focus passes straight from one of our windows to another; coming back
    // from another program, the application had no focus window in between.
    const bool fromOurWindow = m_previousFocusWasOurs;
    m_previousFocusWasOurs = focusWindow != nullptr;
    if (!focusWindow || focusWindow != windowHandle())
        return;
    if (fromOurWindow || !m_activatedOnce) {
        m_activatedOnce = true;
        Form_Activate();
    }
}

void frmMain::Form_Activate()
{
    // The close runs the options form's close step; reading its time now
    // would load it again behind the close's back.
    if (m_closing || m_unloaded)
        return;
    refreshHiddenOptionsDialog();
    pnlADT->setText(QStringLiteral("ADT = ") + adtText());
    const QPixmap picture(sourcePicturePath());
    if (picture.isNull())
        pnlDataSource->clear();
    else
        pnlDataSource->setPixmap(picture);
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
    QString picture = QStringLiteral("/wallstreetcity.bmp");
    switch (appState().settings.source()) {
    case Settings::Source::Yahoo:
    case Settings::Source::YahooChart:
        picture = QStringLiteral("/yahoofinance.bmp");
        break;
    case Settings::Source::Tiingo:
        picture = QStringLiteral("/tiingo.bmp");
        break;
    case Settings::Source::WallStreetCity:
        break;
    }
    return applicationFolder() + picture;
}

WindowValues frmMain::windowValues() const
{
    // A minimized window (or one minimized from maximized) is saved where it
    // will come back to; a maximized one with its maximized bounds.
    const QRect r = isMinimized() ? normalGeometry() : geometry();
    const int pixels[4] = {r.x(), r.y(), r.width(), r.height()};
    const int loaded[4] = {m_loadedPixels.x(), m_loadedPixels.y(), m_loadedPixels.width(), m_loadedPixels.height()};
    float twips[4];
    for (int i = 0; i < 4; ++i)
        twips[i] = pixels[i] == loaded[i] ? m_loadedTwips[i] : float(pixels[i] * kTwipsPerPixel);

    WindowValues w;
    w.mainLeft = twips[0];
    w.mainTop = twips[1];
    w.mainWidth = twips[2];
    w.mainHeight = twips[3];
    w.downloadDir = txtDownloadDir->text();
    w.startMonth = cbxStartMonth->currentText();
    w.startDay = cbxStartDay->currentText();
    w.startYear = cbxStartYear->currentText();
    return w;
}

bool frmMain::closeOtherWindows()
{
    QList<QPointer<QWidget>> windows;
    for (auto it = m_laterWindows.crbegin(); it != m_laterWindows.crend(); ++it) {
        if (*it && *it != this && isClosableWindow(*it))
            windows << *it;
    }
    // Windows that became top-level after they were made, visible ones only.
    const QWidgetList topLevel = QApplication::topLevelWidgets();
    for (QWidget* w : topLevel) {
        if (w != this && w->isVisible() && isClosableWindow(w) && !windows.contains(w))
            windows << w;
    }
    for (const QPointer<QWidget>& w : windows) {
        // A window that refuses (it asked the user, who said no) keeps the
        // program running rather than losing what that window holds.
        if (w && !w->close())
            return false;
    }
    return true;
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    m_closing = true;
    m_download->cancelAndWait();
    // A stopped run is over as well.
    appState().autoRunMarker = 0;
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
    Timer1->stop();

    SettingsStore store;
    saveSettings(store, appState().settings, windowValues());
    if (!store.sync()) {
        // Said now, while the user can still note what was changed.
        QMessageBox::warning(this, windowTitle(),
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

bool frmMain::isWindowShortcut(const QKeySequence& keys) const
{
    for (const QAction* a :
         {mnuCreateNewList, mnuOpenList, mnuImportList, mnuLaunch, mnuFileExit, mnuViewFile, mnuViewErrorLog,
          mnuAnalyzeStock, mnuViewToolbar, mnuViewStatusBar, mnuViewOptions, mnuHelpContents, mnuHelpAbout}) {
        if (a->isEnabled() && a->shortcut() == keys)
            return true;
    }
    return false;
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Create:
        if (watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w != this && isClosableWindow(w)) {
                m_laterWindows.removeAll(nullptr);
                m_laterWindows << w;
            }
        }
        break;
    case QEvent::ShortcutOverride:
        // Text and combo boxes claim Ctrl+C, Ctrl+V, Ctrl+X, Ctrl+Z and Ctrl+A
        // for editing; in this window those keys belong to the menu.
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
            const auto* key = static_cast<QKeyEvent*>(event);
            Qt::KeyboardModifiers modifiers = key->modifiers();
            modifiers.setFlag(Qt::KeypadModifier, false);
            const QKeySequence keys(QKeyCombination(modifiers, Qt::Key(key->key())));
            if (isWindowShortcut(keys)) {
                event->ignore();
                return true;
            }
        }
        break;
    case QEvent::MouseButtonPress:
        if (watched == pnlStatus || watched == pnlDataSource || watched == pnlADT)
            sbStatusBar_PanelClick(static_cast<QLabel*>(watched));
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmMain::openList(const QString& path)
{
    QString why;
    const bool ok = m_list.open(path, &why);
    m_rows.clear();
    m_gridModel->removeRows(0, m_gridModel->rowCount());
    refreshGrid();
    if (ok) {
        setCurrentRow(m_rows.isEmpty() ? -1 : 0);
    } else {
        showListMessage(QStringLiteral("The ticker list \"%1\" could not be opened: %2.\n\n"
                                       "No list is open. Choose one with File > Open List.")
                            .arg(QDir::toNativeSeparators(path), why));
    }
    return ok;
}

int frmMain::currentRow() const
{
    const QModelIndex current = DBGrid1->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

qint64 frmMain::currentRowId() const
{
    const int row = currentRow();
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).id : -1;
}

void frmMain::setCurrentRow(int row)
{
    QItemSelectionModel* selection = DBGrid1->selectionModel();
    if (row < 0 || row >= m_gridModel->rowCount()) {
        selection->clear();
        return;
    }
    const QModelIndex index = m_gridModel->index(row, 0);
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    DBGrid1->scrollTo(index);
}

void frmMain::refreshGrid()
{
    const int oldRow = currentRow();
    const qint64 oldId = currentRowId();

    QVector<TickerList::Row> rows;
    // A list that can't be read just now (another program holds it locked)
    // keeps showing the rows last read rather than an empty list.
    if (m_list.isOpen() && !m_list.readRows(rows))
        return;
    m_rows = rows;
    m_gridModel->setRowCount(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i) {
        auto* item = new QStandardItem(m_rows.at(i).symbol);
        item->setEditable(false);
        m_gridModel->setItem(i, 0, item);
    }

    int row = -1;
    if (oldId >= 0) {
        const auto found = std::find_if(m_rows.cbegin(), m_rows.cend(),
                                        [oldId](const TickerList::Row& r) { return r.id == oldId; });
        row = found != m_rows.cend() ? int(found - m_rows.cbegin()) : std::min(oldRow, int(m_rows.size()) - 1);
    } else if (!m_rows.isEmpty()) {
        row = 0;
    }
    setCurrentRow(row);
}

RequestInputs frmMain::requestInputs() const
{
    // Tested in the order Daily, Weekly, Monthly; the last one set wins.
    HistoryPeriod period = HistoryPeriod::None;
    if (optDaily->isChecked())
        period = HistoryPeriod::Daily;
    if (optWeekly->isChecked())
        period = HistoryPeriod::Weekly;
    if (optMonthly->isChecked())
        period = HistoryPeriod::Monthly;
    return {cbxStartMonth->currentText(),
            cbxStartDay->currentText(),
            cbxStartYear->currentText(),
            cbxEndMonth->currentText(),
            cbxEndDay->currentText(),
            cbxEndYear->currentText(),
            period};
}

QString frmMain::downloadDir() const
{
    return txtDownloadDir->text();
}

bool frmMain::singleStock() const
{
    return chkSingleStock->isChecked();
}

bool frmMain::listOpen() const
{
    return m_list.isOpen();
}

QString frmMain::listPath() const
{
    return m_list.path();
}

bool frmMain::readListSymbols(QStringList& symbols, QString* error) const
{
    return m_list.readSymbols(symbols, error);
}

int frmMain::currentListRow() const
{
    return currentRow();
}

void frmMain::setDownloadDir(const QString& dir)
{
    txtDownloadDir->setText(dir);
}

void frmMain::setInputsEnabled(bool enabled)
{
    for (QWidget* c : std::initializer_list<QWidget*>{txtTicker, txtDownloadDir, cmdGetUpdate, cmdAdd, cmdDelete,
                                                      cmdBrowse, cbxStartMonth, cbxStartDay, cbxStartYear, cbxEndMonth,
                                                      cbxEndDay, cbxEndYear, DBGrid1, tbToolBar})
        c->setEnabled(enabled);
    // What changes the open list or the settings the run reads waits for
    // its end, so the window always shows what is being downloaded.
    for (QAction* a : {mnuOpenList, mnuCreateNewList, mnuImportList, mnuViewOptions, mnuLaunch})
        a->setEnabled(enabled);
}

void frmMain::setStatusToolTip(const QString& text)
{
    pnlStatus->setToolTip(text);
}

void frmMain::setProgressRange(int minimum, int maximum)
{
    // An empty list must not turn the bar into a busy indicator.
    if (maximum > minimum)
        ProgressBar1->setRange(minimum, maximum);
}

void frmMain::setProgressValue(int value)
{
    ProgressBar1->setValue(value);
}

void frmMain::progressToMinimum()
{
    ProgressBar1->setValue(ProgressBar1->minimum());
}

void frmMain::progressToMaximum()
{
    ProgressBar1->setValue(ProgressBar1->maximum());
}

void frmMain::refreshList()
{
    refreshGrid();
}

QWidget* frmMain::promptParent()
{
    return this;
}

QAction* frmMain::toolbarButton(const QString& key) const
{
    const QList<QAction*> actions = tbToolBar->actions();
    for (QAction* a : actions) {
        if (a->data().toString() == key)
            return a;
    }
    return nullptr;
}

void frmMain::setStatusText(const QString& text)
{
    pnlStatus->setText(text);
    Q_EMIT statusTextChanged(text);
}

QString frmMain::statusText() const
{
    return pnlStatus->text();
}

// List dialogs start beside the user's default list: the program's own
// folder may not be writable once installed.
QString frmMain::chooseOpenFile()
{
    return QFileDialog::getOpenFileName(this, QStringLiteral("Open List"), defaultListFolder(), kOpenFilter);
}

QString frmMain::chooseSaveFile()
{
    // No overwrite question: an existing file is refused anyway.
    return QFileDialog::getSaveFileName(this, QStringLiteral("Create New List"), defaultListFolder(), kListFilter,
                                        nullptr, QFileDialog::DontConfirmOverwrite);
}

void frmMain::mnuCreateNewList_Click()
{
    const QString chosen = chooseSaveFile();
    if (chosen.isEmpty())
        return;
    QString created;
    QString why;
    // Saying nothing when the file exists would look like success.
    if (!TickerList::create(chosen, &created, &why)) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The ticker list \"%1\" could not be created: %2.")
                                 .arg(QDir::toNativeSeparators(created), why));
    }
}

void frmMain::mnuOpenList_Click()
{
    const QString chosen = chooseOpenFile();
    if (chosen.isEmpty())
        return;
    if (isAccessFile(chosen)) {
        importAccessAsNewList(chosen);
        return;
    }
    appState().settings.databaseName = chosen;
    openList(chosen);
}

QString frmMain::chooseNewListFor(const QString& proposed)
{
    // No overwrite question: an existing file is refused anyway.
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save Imported List As"), proposed, kListFilter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void frmMain::importAccessAsNewList(const QString& accessPath)
{
    AccessImportUi access(this, accessPath);
    access.setOutcomeOnFailure(QStringLiteral("No list was made."));
    if (!access.confirmNewList())
        return;
    const std::optional<ImportValues> values = access.chooseAndRead();
    if (!values)
        return;
    QString proposed = proposedListPathFor(accessPath);
    for (;;) {
        const QString target = chooseNewListFor(proposed);
        if (target.isEmpty())
            return;
        QString created;
        QString why;
        if (createListWithSymbols(target, values->symbols, &created, &why)) {
            appState().settings.databaseName = created;
            if (openList(created))
                access.reportSkipped(*values);
            return;
        }
        // The tickers are read already: let the user pick another name
        // rather than start over.
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The ticker list \"%1\" could not be created: %2.\n\n"
                                            "Choose another name, or Cancel to make no list.")
                                 .arg(QDir::toNativeSeparators(created), why));
        proposed = created;
    }
}

QString frmMain::chooseImportFile()
{
    return QFileDialog::getOpenFileName(this, QStringLiteral("Import List"), QDir::homePath(), kImportFilter);
}

QDateTime frmMain::now() const
{
    return QDateTime::currentDateTime();
}

QString frmMain::helpFilePath() const
{
    return applicationFolder() + QStringLiteral("/Kestrion.html");
}

HelpWindow* frmMain::helpWindow() const
{
    return m_windows->helpWindow();
}

void frmMain::showNoListMessage()
{
    QMessageBox::warning(this, windowTitle(),
                         QStringLiteral("No ticker list is open.\n\n"
                                        "Open one with File > Open List, or make one with File > Create New List."));
}

void frmMain::showDataError()
{
    QMessageBox::warning(this, windowTitle(), kDataError);
}

void frmMain::cmdAdd_Click()
{
    if (!m_list.isOpen()) {
        showNoListMessage();
        return;
    }
    // The text goes in exactly as typed: blanks, case and duplicates are the
    // user's business.
    switch (m_list.add(txtTicker->text())) {
    case TickerList::WriteResult::Done:
        refreshGrid();
        DBGrid1->scrollToBottom();
        break;
    case TickerList::WriteResult::Refused:
        // A text the list can't hold (empty, over 10 characters) adds no row.
        break;
    case TickerList::WriteResult::Failed:
        showDataError();
        refreshGrid();
        break;
    }
}

void frmMain::cmdDelete_Click()
{
    if (!m_list.isOpen()) {
        showNoListMessage();
        return;
    }
    const qint64 id = currentRowId();
    if (id < 0) {
        // No current row: either the list is empty, or the current row was
        // just deleted and the user has not picked another yet.
        QVector<TickerList::Row> rows;
        if (!m_list.readRows(rows)) {
            showDataError();
            refreshGrid();
        } else if (rows.isEmpty()) {
            QMessageBox::warning(this, windowTitle(), QStringLiteral("No data to delete!"));
            refreshGrid();
        }
        return;
    }
    switch (m_list.removeRow(id)) {
    case TickerList::WriteResult::Done:
    case TickerList::WriteResult::Refused: // gone already
        refreshGrid();
        // No row becomes current by itself: a second Delete must not take
        // the next row without the user choosing it.
        setCurrentRow(-1);
        break;
    case TickerList::WriteResult::Failed:
        showDataError();
        refreshGrid();
        break;
    }
}

void frmMain::mnuImportList_Click()
{
    if (!m_list.isOpen()) {
        showNoListMessage();
        return;
    }
    const QString chosen = chooseImportFile();
    if (chosen.isEmpty())
        return;
    QString why;
    if (isAccessFile(chosen)) {
        AccessImportUi access(this, chosen);
        access.setOutcomeOnFailure(QStringLiteral("The list was not changed."));
        const std::optional<ImportValues> values = access.chooseAndRead();
        if (!values)
            return;
        // One transaction, as for a text file.
        const int added = m_list.appendAll(values->symbols, &why);
        refreshGrid();
        if (added < 0) {
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("The symbols of \"%1\" could not be added to the list: %2.\n\n"
                                                "The list was not changed.")
                                     .arg(QDir::toNativeSeparators(chosen), why));
        } else {
            access.reportSkipped(*values);
        }
        return;
    }
    QStringList lines;
    // Another Kestrion list gives its symbols; read as text, its database
    // pages would add fragments of binary data as symbols.
    TickerList source;
    if (TickerList::isDatabaseFile(chosen)) {
        QVector<TickerList::Row> rows;
        if (!source.open(chosen, &why) || !source.readRows(rows, &why)) {
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("The ticker list \"%1\" could not be read: %2.\n\n"
                                                "The list was not changed.")
                                     .arg(QDir::toNativeSeparators(chosen), why));
            return;
        }
        for (const TickerList::Row& row : rows)
            lines << row.symbol;
        source.close();
    } else if (!readImportLines(chosen, lines, &why)) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The file \"%1\" could not be read: %2.\n\nThe list was not changed.")
                                 .arg(QDir::toNativeSeparators(chosen), why));
        return;
    }
    // One transaction: either every line the list can hold is added, or
    // nothing is.
    if (m_list.appendAll(lines, &why) < 0) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The symbols of \"%1\" could not be added to the list: %2.\n\n"
                                            "The list was not changed.")
                                 .arg(QDir::toNativeSeparators(chosen), why));
        refreshGrid();
        return;
    }
    refreshGrid();
    // A line that is no symbol is never dropped without a word.
    const QString overlong = overlongLinesReport(lines);
    if (!overlong.isEmpty())
        QMessageBox::information(this, windowTitle(), overlong);
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
    viewFile(this, txtDownloadDir->text());
}

void frmMain::mnuViewErrorLog_Click()
{
    viewErrorLog(this, txtDownloadDir->text());
}

void frmMain::mnuViewChart_Click()
{
    chartFile(this, txtDownloadDir->text());
}

void frmMain::chartRow(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    const QString symbol = m_rows.at(row).symbol;
    const RequestInputs inputs{cbxStartMonth->currentText(), cbxStartDay->currentText(), cbxStartYear->currentText(),
                               cbxEndMonth->currentText(),   cbxEndDay->currentText(),   cbxEndYear->currentText(),
                               HistoryPeriod::Daily};
    const QString dir = txtDownloadDir->text();
    chartTicker(this, dataFilePath(dir, symbol, appState().settings, inputs), dir, symbol);
}

void frmMain::mnuAnalyzeStock_Click()
{
    // Without a current row the browser shows the ticker it was last given.
    const int row = currentRow();
    if (row >= 0 && row < m_rows.size())
        appState().strTicker = m_rows.at(row).symbol;
    m_windows->showChartBrowser(appState().strTicker, appState().services.chartHost);
}

void frmMain::mnuViewToolbar_Click()
{
    const bool show = tbToolBar->isHidden();
    tbToolBar->setVisible(show);
    mnuViewToolbar->setChecked(show);
}

void frmMain::mnuViewStatusBar_Click()
{
    const bool show = sbStatusBar->isHidden();
    sbStatusBar->setVisible(show);
    mnuViewStatusBar->setChecked(show);
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
        QMessageBox::information(this, windowTitle(),
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
    const QString key = button ? button->data().toString() : QString();
    if (key == QLatin1String("Open List"))
        mnuOpenList_Click();
    else if (key == QLatin1String("View File"))
        mnuViewFile_Click();
    else if (key == QLatin1String("Analyze Stock"))
        mnuAnalyzeStock_Click();
    else if (key == QLatin1String("Launch Application"))
        mnuLaunch_Click();
}

void frmMain::sbStatusBar_PanelClick(QLabel*)
{
    setStatusText(QStringLiteral("Status"));
}

void frmMain::cmdGetUpdate_Click()
{
    m_download->start(false);
}

void frmMain::cmdBrowse_Click()
{
    browseForDownloadDirectory(this, txtDownloadDir);
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

    // The run downloads up to today; English month names whatever the
    // locale, the only ones the request knows.
    const QDate today = moment.date();
    setComboText(cbxEndMonth, monthNames().at(today.month() - 1));
    setComboText(cbxEndDay, QStringLiteral("%1").arg(today.day(), 2, 10, QLatin1Char('0')));
    setComboText(cbxEndYear, QStringLiteral("%1").arg(today.year(), 4, 10, QLatin1Char('0')));

    appState().autoRunMarker = 1;
    m_download->start(true);
}

} // namespace kestrion
