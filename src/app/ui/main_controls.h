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

// The main window's controls and menu items. Each keeps the object name it is
// made with (main_controls.cpp), which is what the tests find it by; the member
// names here are only C++ names and say what each control is.
struct MainControls
{
    QLabel* tickerLabel = nullptr;
    QLineEdit* tickerEdit = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QTableView* tickerGrid = nullptr;
    QCheckBox* singleStockBox = nullptr;
    QGroupBox* directoryFrame = nullptr;
    QLineEdit* downloadDirEdit = nullptr;
    QPushButton* browseButton = nullptr;
    QGroupBox* datesFrame = nullptr;
    QLabel* startDateLabel = nullptr;
    QComboBox* startMonthBox = nullptr;
    QComboBox* startDayBox = nullptr;
    QComboBox* startYearBox = nullptr;
    QLabel* endDateLabel = nullptr;
    QComboBox* endMonthBox = nullptr;
    QComboBox* endDayBox = nullptr;
    QComboBox* endYearBox = nullptr;
    QRadioButton* dailyButton = nullptr;
    QRadioButton* weeklyButton = nullptr;
    QRadioButton* monthlyButton = nullptr;
    QPushButton* getDataButton = nullptr;
    QLabel* progressLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QToolBar* toolBar = nullptr;
    QList<QIcon> toolbarIcons;
    QTimer* autoDownloadTimer = nullptr;

    // Menus and their items; separators are items too.
    QMenu* fileMenu = nullptr;
    QAction* createListAction = nullptr;
    QAction* openListAction = nullptr;
    QAction* importListAction = nullptr;
    QAction* fileSeparator1 = nullptr;
    QAction* launchAction = nullptr;
    QAction* fileSeparator2 = nullptr;
    QAction* exitAction = nullptr;
    QMenu* viewMenu = nullptr;
    QAction* viewFileAction = nullptr;
    QAction* viewErrorLogAction = nullptr;
    QAction* viewChartAction = nullptr;
    QAction* viewSeparator1 = nullptr;
    QAction* analyzeStockAction = nullptr;
    QAction* viewSeparator2 = nullptr;
    QAction* toolbarAction = nullptr;
    QAction* statusBarAction = nullptr;
    QAction* viewSeparator3 = nullptr;
    QAction* optionsAction = nullptr;
    QMenu* helpMenu = nullptr;
    QAction* helpContentsAction = nullptr;
    QAction* helpSeparator1 = nullptr;
    QAction* aboutAction = nullptr;

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
