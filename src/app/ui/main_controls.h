#pragma once

#include <QIcon>
#include <QList>

class QAction;
class QCheckBox;
class QComboBox;
class QDate;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableView;
class QTimer;
class QToolBar;

namespace kestrion {

struct WindowValues;

// The main window's controls and menu items. Their object names are the
// ones users' settings, the documentation and the tests refer to.
struct MainControls
{
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

    // The menu items that have a shortcut, in menu order.
    QList<QAction*> shortcutCommands() const;
    // The toolbar button with this key ("Open List", ...), or null.
    QAction* toolbarButton(const QString& key) const;
};

// Makes the window's central controls, menus, toolbar and automatic
// download timer (stopped), all owned by the window; the status bar is
// made by StatusPanels. Nothing is connected yet.
void buildMainControls(QMainWindow& window, MainControls& c);

// Shows the stored start date and today as the end date, and fills the date
// lists: English month names whatever the locale (the download run knows no
// others), days 01 to 31 and the years from 1970 to this one. A stored text
// the lists don't hold stays as typed; an empty start or end date gets the
// old program's default dates.
void showDates(const MainControls& c, const WindowValues& values, const QDate& today);
// Shows the day as the end date, in the same English form.
void showEndDate(const MainControls& c, const QDate& day);

} // namespace kestrion
