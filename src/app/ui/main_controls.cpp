#include "app/ui/main_controls.h"

#include "core/settings_record.h"
#include "sources/quote_request.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrion {

namespace {

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

QStringList numbered(int first, int last, int width)
{
    QStringList result;
    for (int i = first; i <= last; ++i)
        result << QStringLiteral("%1").arg(i, width, 10, QLatin1Char('0'));
    return result;
}

void setDate(QComboBox* month, QComboBox* day, QComboBox* year, const QString& m, const QString& d, const QString& y)
{
    setComboText(month, m);
    setComboText(day, d);
    setComboText(year, y);
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

QLineEdit* lineEdit(QWidget* parent, const char* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

// Left column: the ticker list and its editing buttons.
QLayout* buildListColumn(QWidget* central, MainControls& c)
{
    c.tickerLabel = label(central, "Label1", QStringLiteral("Ticker Symbol:"));
    c.tickerEdit = lineEdit(central, "txtTicker");
    c.tickerLabel->setBuddy(c.tickerEdit);
    c.addButton = button(central, "cmdAdd", QStringLiteral("Add"), QStringLiteral("Add Record"));
    c.deleteButton = button(central, "cmdDelete", QStringLiteral("Delete"), QStringLiteral("Delete Record"));

    c.tickerGrid = new QTableView(central);
    QTableView* grid = c.tickerGrid;
    grid->setObjectName(QStringLiteral("DBGrid1"));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setTabKeyNavigation(false);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->horizontalHeader()->setSectionsClickable(false);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
    grid->verticalHeader()->setMinimumWidth(16);
    grid->setMinimumSize(120, 80);

    c.singleStockBox = new QCheckBox(QStringLiteral("Single Stock"), central);
    c.singleStockBox->setObjectName(QStringLiteral("chkSingleStock"));

    // Narrower than the style's usual button width, so both columns fit the
    // default window size.
    c.addButton->setMinimumWidth(60);
    c.deleteButton->setMinimumWidth(60);
    auto* editButtons = new QHBoxLayout;
    editButtons->addWidget(c.addButton);
    editButtons->addWidget(c.deleteButton);
    auto* left = new QVBoxLayout;
    left->addWidget(c.tickerLabel);
    left->addWidget(c.tickerEdit);
    left->addLayout(editButtons);
    left->addWidget(grid, 1);
    left->addWidget(c.singleStockBox);
    return left;
}

// The frame of the date range and the history period.
QGroupBox* buildDateFrame(QWidget* central, MainControls& c)
{
    auto* frame = new QGroupBox(QStringLiteral("Load Data From: "), central);
    frame->setObjectName(QStringLiteral("Frame2"));
    c.datesFrame = frame;
    c.startDateLabel = label(frame, "Label2", QStringLiteral("Start Date:"));
    c.startMonthBox = dateBox(frame, "cbxStartMonth", QStringLiteral("Start Month"));
    c.startDayBox = dateBox(frame, "cbxStartDay", QStringLiteral("Start Day"));
    c.startYearBox = dateBox(frame, "cbxStartYear", QStringLiteral("Start Year"));
    c.endDateLabel = label(frame, "Label3", QStringLiteral("End Date:"));
    c.endMonthBox = dateBox(frame, "cbxEndMonth", QStringLiteral("End Month"));
    c.endDayBox = dateBox(frame, "cbxEndDay", QStringLiteral("End Day"));
    c.endYearBox = dateBox(frame, "cbxEndYear", QStringLiteral("End Year"));
    c.dailyButton = option(frame, "optDaily", QStringLiteral("Daily"), QStringLiteral("Daily History"));
    c.weeklyButton = option(frame, "optWeekly", QStringLiteral("Weekly"), QStringLiteral("Weekly History"));
    c.monthlyButton = option(frame, "optMonthly", QStringLiteral("Monthly"), QStringLiteral("Monthly History"));
    c.dailyButton->setChecked(true);

    auto* dates = new QGridLayout;
    dates->addWidget(c.startDateLabel, 0, 0, 1, 3);
    dates->addWidget(c.startMonthBox, 1, 0);
    dates->addWidget(c.startDayBox, 1, 1);
    dates->addWidget(c.startYearBox, 1, 2);
    dates->addWidget(c.endDateLabel, 2, 0, 1, 3);
    dates->addWidget(c.endMonthBox, 3, 0);
    dates->addWidget(c.endDayBox, 3, 1);
    dates->addWidget(c.endYearBox, 3, 2);
    dates->setColumnStretch(0, 3);
    dates->setColumnStretch(1, 2);
    dates->setColumnStretch(2, 3);
    auto* periods = new QHBoxLayout;
    periods->addWidget(c.dailyButton);
    periods->addWidget(c.weeklyButton);
    periods->addWidget(c.monthlyButton);
    periods->addStretch(1);
    auto* layout = new QVBoxLayout(frame);
    layout->addLayout(dates);
    layout->addLayout(periods);
    return frame;
}

// Right column: where the files go, which dates and period, and the run.
QLayout* buildRunColumn(QWidget* central, MainControls& c)
{
    c.directoryFrame = new QGroupBox(QStringLiteral("Specify Download Directory:"), central);
    c.directoryFrame->setObjectName(QStringLiteral("Frame1"));
    c.downloadDirEdit = lineEdit(c.directoryFrame, "txtDownloadDir");
    c.downloadDirEdit->setToolTip(QStringLiteral("Download Directory"));
    c.browseButton = button(c.directoryFrame, "cmdBrowse", QStringLiteral("Browse"), QStringLiteral("Browse Files"));
    c.browseButton->setMinimumWidth(60);
    auto* dirRow = new QHBoxLayout(c.directoryFrame);
    dirRow->addWidget(c.downloadDirEdit, 1);
    dirRow->addWidget(c.browseButton);

    QGroupBox* dateFrame = buildDateFrame(central, c);

    c.getDataButton = button(central, "cmdGetUpdate", QStringLiteral("Get Historical Data"));
    c.progressLabel = label(central, "Label4", QStringLiteral("Progress:"));
    c.progressBar = new QProgressBar(central);
    c.progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    c.progressBar->setRange(0, 100);
    c.progressBar->setValue(0);
    c.progressBar->setTextVisible(false);

    auto* right = new QVBoxLayout;
    right->addWidget(c.directoryFrame);
    right->addWidget(dateFrame);
    right->addWidget(c.getDataButton);
    right->addWidget(c.progressLabel);
    right->addWidget(c.progressBar);
    right->addStretch(1);
    return right;
}

void buildMenus(QMainWindow& window, MainControls& c)
{
    auto menu = [&window](const char* name, const QString& caption) {
        QMenu* m = window.menuBar()->addMenu(caption);
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };
    auto item = [](QMenu* m, const char* name, const QString& caption, const char* keys) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(QKeySequence(QLatin1String(keys)));
        return a;
    };
    auto bar = [](QMenu* m, const char* name) {
        QAction* a = m->addSeparator();
        a->setObjectName(QLatin1String(name));
        return a;
    };

    c.fileMenu = menu("mnuFile", QStringLiteral("&File"));
    c.createListAction = item(c.fileMenu, "mnuCreateNewList", QStringLiteral("Create &New List"), "Ctrl+N");
    c.openListAction = item(c.fileMenu, "mnuOpenList", QStringLiteral("&Open List"), "Ctrl+O");
    c.importListAction = item(c.fileMenu, "mnuImportList", QStringLiteral("&Import List"), "Ctrl+I");
    c.fileSeparator1 = bar(c.fileMenu, "mnuFileBar1");
    c.launchAction = item(c.fileMenu, "mnuLaunch", QStringLiteral("Launch Application"), "Ctrl+L");
    c.fileSeparator2 = bar(c.fileMenu, "mnuFileBar2");
    c.exitAction = item(c.fileMenu, "mnuFileExit", QStringLiteral("E&xit"), "Ctrl+X");

    c.viewMenu = menu("mnuView", QStringLiteral("&View"));
    c.viewFileAction = item(c.viewMenu, "mnuViewFile", QStringLiteral("&View File"), "Ctrl+V");
    c.viewErrorLogAction = item(c.viewMenu, "mnuViewErrorLog", QStringLiteral("View &Error Log"), "Ctrl+E");
    c.viewChartAction = item(c.viewMenu, "mnuViewChart", QStringLiteral("&Chart File..."), "");
    c.viewSeparator1 = bar(c.viewMenu, "mnuViewBar1");
    c.analyzeStockAction = item(c.viewMenu, "mnuAnalyzeStock", QStringLiteral("Analy&ze Stock"), "Ctrl+Z");
    c.viewSeparator2 = bar(c.viewMenu, "mnuViewBar2");
    c.toolbarAction = item(c.viewMenu, "mnuViewToolbar", QStringLiteral("&Toolbar"), "Ctrl+T");
    c.toolbarAction->setCheckable(true);
    c.toolbarAction->setChecked(true);
    c.statusBarAction = item(c.viewMenu, "mnuViewStatusBar", QStringLiteral("Status &Bar"), "Ctrl+B");
    c.statusBarAction->setCheckable(true);
    c.statusBarAction->setChecked(true);
    c.viewSeparator3 = bar(c.viewMenu, "mnuViewBar3");
    c.optionsAction = item(c.viewMenu, "mnuViewOptions", QStringLiteral("O&ptions..."), "Ctrl+P");

    c.helpMenu = menu("mnuHelp", QStringLiteral("&Help"));
    c.helpContentsAction = item(c.helpMenu, "mnuHelpContents", QStringLiteral("&Contents"), "Ctrl+C");
    c.helpSeparator1 = bar(c.helpMenu, "mnuHelpBar1");
    c.aboutAction = item(c.helpMenu, "mnuHelpAbout", QStringLiteral("&About Kestrion..."), "Ctrl+A");
}

void buildToolBar(QMainWindow& window, MainControls& c)
{
    c.toolBar = new QToolBar(QStringLiteral("Toolbar"), &window);
    c.toolBar->setObjectName(QStringLiteral("tbToolBar"));
    c.toolBar->setMovable(false);
    c.toolBar->setFloatable(false);
    c.toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    window.addToolBar(Qt::TopToolBarArea, c.toolBar);

    QStyle* s = window.style();
    c.toolbarIcons = {s->standardIcon(QStyle::SP_DialogOpenButton), s->standardIcon(QStyle::SP_FileIcon),
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
        QAction* a = c.toolBar->addAction(c.toolbarIcons.at(i++), QLatin1String(b.key));
        a->setData(QLatin1String(b.key));
        a->setToolTip(QLatin1String(b.tip));
    }
}

} // namespace

QList<QAction*> MainControls::shortcutCommands() const
{
    return {createListAction, openListAction,     importListAction,   launchAction,  exitAction,
            viewFileAction,   viewErrorLogAction, analyzeStockAction, toolbarAction, statusBarAction,
            optionsAction,    helpContentsAction, aboutAction};
}

QAction* MainControls::toolbarButton(const QString& key) const
{
    const QList<QAction*> actions = toolBar->actions();
    for (QAction* a : actions) {
        if (a->data().toString() == key)
            return a;
    }
    return nullptr;
}

void buildMainControls(QMainWindow& window, MainControls& c)
{
    auto* central = new QWidget(&window);
    central->setObjectName(QStringLiteral("centralWidget"));
    window.setCentralWidget(central);
    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(6, 6, 6, 6);
    columns->addLayout(buildListColumn(central, c), 2);
    columns->addLayout(buildRunColumn(central, c), 3);

    buildMenus(window, c);
    buildToolBar(window, c);

    c.autoDownloadTimer = new QTimer(&window);
    c.autoDownloadTimer->setObjectName(QStringLiteral("Timer1"));
}

void showDates(const MainControls& c, const WindowValues& values, const QDate& today)
{
    setDate(c.startMonthBox, c.startDayBox, c.startYearBox, values.startMonth, values.startDay, values.startYear);

    const QStringList months = monthNames();
    const QStringList days = numbered(1, 31, 2);
    const QStringList years = numbered(1970, std::max(today.year(), 1970), 4);
    fillKeepingText(c.startMonthBox, months);
    fillKeepingText(c.startDayBox, days);
    fillKeepingText(c.startYearBox, years);
    fillKeepingText(c.endMonthBox, months);
    fillKeepingText(c.endDayBox, days);
    fillKeepingText(c.endYearBox, years);

    showEndDate(c, today);

    if (c.startMonthBox->currentText().isEmpty())
        setDate(c.startMonthBox, c.startDayBox, c.startYearBox, QStringLiteral("Jan"), QStringLiteral("01"),
                QStringLiteral("2003"));
    if (c.endMonthBox->currentText().isEmpty())
        setDate(c.endMonthBox, c.endDayBox, c.endYearBox, QStringLiteral("Jan"), QStringLiteral("31"),
                QStringLiteral("2003"));
}

void showEndDate(const MainControls& c, const QDate& day)
{
    const DayTexts texts = DayTexts::of(day);
    setDate(c.endMonthBox, c.endDayBox, c.endYearBox, texts.month, texts.day, texts.year);
}

} // namespace kestrion
