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
    c.Label1 = label(central, "Label1", QStringLiteral("Ticker Symbol:"));
    c.txtTicker = lineEdit(central, "txtTicker");
    c.Label1->setBuddy(c.txtTicker);
    c.cmdAdd = button(central, "cmdAdd", QStringLiteral("Add"), QStringLiteral("Add Record"));
    c.cmdDelete = button(central, "cmdDelete", QStringLiteral("Delete"), QStringLiteral("Delete Record"));

    c.DBGrid1 = new QTableView(central);
    QTableView* grid = c.DBGrid1;
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

    c.chkSingleStock = new QCheckBox(QStringLiteral("Single Stock"), central);
    c.chkSingleStock->setObjectName(QStringLiteral("chkSingleStock"));

    // Narrower than the style's usual button width, so both columns fit the
    // default window size.
    c.cmdAdd->setMinimumWidth(60);
    c.cmdDelete->setMinimumWidth(60);
    auto* editButtons = new QHBoxLayout;
    editButtons->addWidget(c.cmdAdd);
    editButtons->addWidget(c.cmdDelete);
    auto* left = new QVBoxLayout;
    left->addWidget(c.Label1);
    left->addWidget(c.txtTicker);
    left->addLayout(editButtons);
    left->addWidget(grid, 1);
    left->addWidget(c.chkSingleStock);
    return left;
}

// The frame of the date range and the history period.
QGroupBox* buildDateFrame(QWidget* central, MainControls& c)
{
    auto* frame = new QGroupBox(QStringLiteral("Load Data From: "), central);
    frame->setObjectName(QStringLiteral("Frame2"));
    c.Frame2 = frame;
    c.Label2 = label(frame, "Label2", QStringLiteral("Start Date:"));
    c.cbxStartMonth = dateBox(frame, "cbxStartMonth", QStringLiteral("Start Month"));
    c.cbxStartDay = dateBox(frame, "cbxStartDay", QStringLiteral("Start Day"));
    c.cbxStartYear = dateBox(frame, "cbxStartYear", QStringLiteral("Start Year"));
    c.Label3 = label(frame, "Label3", QStringLiteral("End Date:"));
    c.cbxEndMonth = dateBox(frame, "cbxEndMonth", QStringLiteral("End Month"));
    c.cbxEndDay = dateBox(frame, "cbxEndDay", QStringLiteral("End Day"));
    c.cbxEndYear = dateBox(frame, "cbxEndYear", QStringLiteral("End Year"));
    c.optDaily = option(frame, "optDaily", QStringLiteral("Daily"), QStringLiteral("Daily History"));
    c.optWeekly = option(frame, "optWeekly", QStringLiteral("Weekly"), QStringLiteral("Weekly History"));
    c.optMonthly = option(frame, "optMonthly", QStringLiteral("Monthly"), QStringLiteral("Monthly History"));
    c.optDaily->setChecked(true);

    auto* dates = new QGridLayout;
    dates->addWidget(c.Label2, 0, 0, 1, 3);
    dates->addWidget(c.cbxStartMonth, 1, 0);
    dates->addWidget(c.cbxStartDay, 1, 1);
    dates->addWidget(c.cbxStartYear, 1, 2);
    dates->addWidget(c.Label3, 2, 0, 1, 3);
    dates->addWidget(c.cbxEndMonth, 3, 0);
    dates->addWidget(c.cbxEndDay, 3, 1);
    dates->addWidget(c.cbxEndYear, 3, 2);
    dates->setColumnStretch(0, 3);
    dates->setColumnStretch(1, 2);
    dates->setColumnStretch(2, 3);
    auto* periods = new QHBoxLayout;
    periods->addWidget(c.optDaily);
    periods->addWidget(c.optWeekly);
    periods->addWidget(c.optMonthly);
    periods->addStretch(1);
    auto* layout = new QVBoxLayout(frame);
    layout->addLayout(dates);
    layout->addLayout(periods);
    return frame;
}

// Right column: where the files go, which dates and period, and the run.
QLayout* buildRunColumn(QWidget* central, MainControls& c)
{
    c.Frame1 = new QGroupBox(QStringLiteral("Specify Download Directory:"), central);
    c.Frame1->setObjectName(QStringLiteral("Frame1"));
    c.txtDownloadDir = lineEdit(c.Frame1, "txtDownloadDir");
    c.txtDownloadDir->setToolTip(QStringLiteral("Download Directory"));
    c.cmdBrowse = button(c.Frame1, "cmdBrowse", QStringLiteral("Browse"), QStringLiteral("Browse Files"));
    c.cmdBrowse->setMinimumWidth(60);
    auto* dirRow = new QHBoxLayout(c.Frame1);
    dirRow->addWidget(c.txtDownloadDir, 1);
    dirRow->addWidget(c.cmdBrowse);

    QGroupBox* dateFrame = buildDateFrame(central, c);

    c.cmdGetUpdate = button(central, "cmdGetUpdate", QStringLiteral("Get Historical Data"));
    c.Label4 = label(central, "Label4", QStringLiteral("Progress:"));
    c.ProgressBar1 = new QProgressBar(central);
    c.ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    c.ProgressBar1->setRange(0, 100);
    c.ProgressBar1->setValue(0);
    c.ProgressBar1->setTextVisible(false);

    auto* right = new QVBoxLayout;
    right->addWidget(c.Frame1);
    right->addWidget(dateFrame);
    right->addWidget(c.cmdGetUpdate);
    right->addWidget(c.Label4);
    right->addWidget(c.ProgressBar1);
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

    c.mnuFile = menu("mnuFile", QStringLiteral("&File"));
    c.mnuCreateNewList = item(c.mnuFile, "mnuCreateNewList", QStringLiteral("Create &New List"), "Ctrl+N");
    c.mnuOpenList = item(c.mnuFile, "mnuOpenList", QStringLiteral("&Open List"), "Ctrl+O");
    c.mnuImportList = item(c.mnuFile, "mnuImportList", QStringLiteral("&Import List"), "Ctrl+I");
    c.mnuFileBar1 = bar(c.mnuFile, "mnuFileBar1");
    c.mnuLaunch = item(c.mnuFile, "mnuLaunch", QStringLiteral("Launch Application"), "Ctrl+L");
    c.mnuFileBar2 = bar(c.mnuFile, "mnuFileBar2");
    c.mnuFileExit = item(c.mnuFile, "mnuFileExit", QStringLiteral("E&xit"), "Ctrl+X");

    c.mnuView = menu("mnuView", QStringLiteral("&View"));
    c.mnuViewFile = item(c.mnuView, "mnuViewFile", QStringLiteral("&View File"), "Ctrl+V");
    c.mnuViewErrorLog = item(c.mnuView, "mnuViewErrorLog", QStringLiteral("View &Error Log"), "Ctrl+E");
    c.mnuViewChart = item(c.mnuView, "mnuViewChart", QStringLiteral("&Chart File..."), "");
    c.mnuViewBar1 = bar(c.mnuView, "mnuViewBar1");
    c.mnuAnalyzeStock = item(c.mnuView, "mnuAnalyzeStock", QStringLiteral("Analy&ze Stock"), "Ctrl+Z");
    c.mnuViewBar2 = bar(c.mnuView, "mnuViewBar2");
    c.mnuViewToolbar = item(c.mnuView, "mnuViewToolbar", QStringLiteral("&Toolbar"), "Ctrl+T");
    c.mnuViewToolbar->setCheckable(true);
    c.mnuViewToolbar->setChecked(true);
    c.mnuViewStatusBar = item(c.mnuView, "mnuViewStatusBar", QStringLiteral("Status &Bar"), "Ctrl+B");
    c.mnuViewStatusBar->setCheckable(true);
    c.mnuViewStatusBar->setChecked(true);
    c.mnuViewBar3 = bar(c.mnuView, "mnuViewBar3");
    c.mnuViewOptions = item(c.mnuView, "mnuViewOptions", QStringLiteral("O&ptions..."), "Ctrl+P");

    c.mnuHelp = menu("mnuHelp", QStringLiteral("&Help"));
    c.mnuHelpContents = item(c.mnuHelp, "mnuHelpContents", QStringLiteral("&Contents"), "Ctrl+C");
    c.mnuHelpBar1 = bar(c.mnuHelp, "mnuHelpBar1");
    c.mnuHelpAbout = item(c.mnuHelp, "mnuHelpAbout", QStringLiteral("&About Kestrion..."), "Ctrl+A");
}

void buildToolBar(QMainWindow& window, MainControls& c)
{
    c.tbToolBar = new QToolBar(QStringLiteral("Toolbar"), &window);
    c.tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    c.tbToolBar->setMovable(false);
    c.tbToolBar->setFloatable(false);
    c.tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    window.addToolBar(Qt::TopToolBarArea, c.tbToolBar);

    QStyle* s = window.style();
    c.imlIcons = {s->standardIcon(QStyle::SP_DialogOpenButton), s->standardIcon(QStyle::SP_FileIcon),
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
        QAction* a = c.tbToolBar->addAction(c.imlIcons.at(i++), QLatin1String(b.key));
        a->setData(QLatin1String(b.key));
        a->setToolTip(QLatin1String(b.tip));
    }
}

} // namespace

QList<QAction*> MainControls::shortcutCommands() const
{
    return {mnuCreateNewList, mnuOpenList,     mnuImportList,   mnuLaunch,      mnuFileExit,
            mnuViewFile,      mnuViewErrorLog, mnuAnalyzeStock, mnuViewToolbar, mnuViewStatusBar,
            mnuViewOptions,   mnuHelpContents, mnuHelpAbout};
}

QAction* MainControls::toolbarButton(const QString& key) const
{
    const QList<QAction*> actions = tbToolBar->actions();
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

    c.Timer1 = new QTimer(&window);
    c.Timer1->setObjectName(QStringLiteral("Timer1"));
}

void showDates(const MainControls& c, const WindowValues& values, const QDate& today)
{
    setDate(c.cbxStartMonth, c.cbxStartDay, c.cbxStartYear, values.startMonth, values.startDay, values.startYear);

    const QStringList months = monthNames();
    const QStringList days = numbered(1, 31, 2);
    const QStringList years = numbered(1970, std::max(today.year(), 1970), 4);
    fillKeepingText(c.cbxStartMonth, months);
    fillKeepingText(c.cbxStartDay, days);
    fillKeepingText(c.cbxStartYear, years);
    fillKeepingText(c.cbxEndMonth, months);
    fillKeepingText(c.cbxEndDay, days);
    fillKeepingText(c.cbxEndYear, years);

    showEndDate(c, today);

    if (c.cbxStartMonth->currentText().isEmpty())
        setDate(c.cbxStartMonth, c.cbxStartDay, c.cbxStartYear, QStringLiteral("Jan"), QStringLiteral("01"),
                QStringLiteral("2003"));
    if (c.cbxEndMonth->currentText().isEmpty())
        setDate(c.cbxEndMonth, c.cbxEndDay, c.cbxEndYear, QStringLiteral("Jan"), QStringLiteral("31"),
                QStringLiteral("2003"));
}

void showEndDate(const MainControls& c, const QDate& day)
{
    const DayTexts texts = DayTexts::of(day);
    setDate(c.cbxEndMonth, c.cbxEndDay, c.cbxEndYear, texts.month, texts.day, texts.year);
}

} // namespace kestrion
