#include "core/app_state.h"
#include "app/ui/frmMain.h"
#include "sources/quote_request.h"
#include "gui_support.h"
#include "lists/ticker_list.h"
#include "platform/settings_store.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <functional>
#include <memory>

using namespace kestrion;
using namespace kestrion::test;

namespace {

const QStringList kSettingNames = {
    "MainLeft",      "MainTop",      "MainWidth",   "MainHeight",    "Database Name",
    "DownloadDir",   "StartMonth",   "StartDay",    "StartYear",     "Data Source",
    "Data Format",   "Active Alerts", "Delete Existing Files", "Date Stamp", "File Extension",
    "Auto Start App", "Convert to MS", "Play Sound", "App Name",      "ADT"};

// Notes every menu command as it is triggered (by its item, its shortcut or
// a toolbar button). The stubbed commands are cut off from the window, so
// that only the note is left of them.
class CommandLog
{
public:
    explicit CommandLog(TestWindow& w, const QStringList& stubbed = kStubbed)
    {
        for (QAction* a : w->findChildren<QAction*>()) {
            const QString name = a->objectName();
            if (!name.startsWith(QLatin1String("mnu")) || a->isSeparator() || a->menu())
                continue;
            if (stubbed.contains(name))
                QObject::disconnect(a, &QAction::triggered, w.get(), nullptr);
            QObject::connect(a, &QAction::triggered, &m_context, [this, name] { calls << name; });
        }
    }
    QStringList calls;

    // The commands that would open other windows.
    static inline const QStringList kStubbed{"mnuImportList", "mnuLaunch",      "mnuViewFile",     "mnuViewErrorLog",
                                             "mnuViewChart",  "mnuAnalyzeStock", "mnuViewOptions", "mnuHelpContents",
                                             "mnuHelpAbout"};

private:
    QObject m_context;
};

// Another window of the program; it can refuse to close and notes its closing.
class OtherWindow : public QWidget
{
public:
    OtherWindow(QStringList* log, const QString& name, bool refuse = false)
        : m_log(log)
        , m_name(name)
        , m_refuse(refuse)
    {
        setWindowTitle(name);
    }
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent* e) override
    {
        *m_log << m_name;
        if (onClose)
            onClose();
        if (m_refuse)
            e->ignore();
        else
            e->accept();
    }

private:
    QStringList* m_log;
    QString m_name;
    bool m_refuse;
};

QString todayMonth()
{
    return monthNames().at(QDate::currentDate().month() - 1);
}

QStringList comboItems(const QComboBox* box)
{
    QStringList result;
    for (int i = 0; i < box->count(); ++i)
        result << box->itemText(i);
    return result;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    GuiCase m_case;
    QString m_startFolder;

    QString settingsFile() const { return m_case.settingsFile(); }
    void store(const QString& name, const QString& value) { m_case.store(name, value); }
    QString saved(const QString& name) const { return m_case.saved(name); }
    bool savedContains(const QString& name) const
    {
        QSettings s(settingsFile(), QSettings::IniFormat);
        return s.contains(QStringLiteral("Settings/") + name);
    }
    // The default list is the user's own copy of the shipped starter list.
    QString shippedList() const { return applicationFolder() + QStringLiteral("/dbase.mdb"); }
    QString starterList() const { return defaultListFolder() + QStringLiteral("/dbase.mdb"); }

private Q_SLOTS:
    void initTestCase()
    {
        m_case.startTest();
        m_startFolder = QDir::currentPath();
        QVERIFY2(QFile::exists(shippedList()), "the starter list must lie beside the tests");
    }

    void init()
    {
        m_case.startCase();
        QDir::setCurrent(m_startFolder);
        QLocale::setDefault(QLocale::c());
    }

    void cleanup()
    {
        m_case.endCase();
        QDir::setCurrent(m_startFolder);
        QLocale::setDefault(QLocale::c());
    }

    // --- start-up ---------------------------------------------------------

    void emptyStoreStartsFromDefaults()
    {
        TestWindow w;
        const Settings& s = appState().settings;
        QCOMPARE(s.databaseName, QStringLiteral("dbase.mdb"));
        QVERIFY(w->list().isOpen());
        QCOMPARE(QFileInfo(w->list().path()).canonicalFilePath(), QFileInfo(starterList()).canonicalFilePath());
        QVERIFY(starterList() != shippedList());
        TickerList reference;
        QVERIFY(reference.open(shippedList()));
        QCOMPARE(gridSymbols(*w), reference.symbols());
        QCOMPARE(w->currentRow(), 0);

        QCOMPARE(w.txtDownloadDir->text(), QString());
        QCOMPARE(w.cbxStartMonth->currentText(), QStringLiteral("Jan"));
        QCOMPARE(w.cbxStartDay->currentText(), QStringLiteral("01"));
        QCOMPARE(w.cbxStartYear->currentText(), QStringLiteral("2003"));
        QCOMPARE(s.dataFormat, QStringLiteral("5"));
        QCOMPARE(s.dataSource, QStringLiteral("Yahoo Chart")); // the one source that needs no key
        QCOMPARE(s.fileExtension, QStringLiteral(".csv"));
        QCOMPARE(s.appName, QString());
        QCOMPARE(s.adt, QString());
        QCOMPARE(s.activeAlerts, qint16(0));
        QCOMPARE(s.deleteExistingFiles, qint16(0));
        QCOMPARE(s.dateStamp, qint16(0));
        QCOMPARE(s.autoStartApp, qint16(0));
        QVERIFY(!s.convertToMS.on());
        QVERIFY(!s.playSound.on());
        QVERIFY(w.optDaily->isChecked());
        QVERIFY(!w.optWeekly->isChecked());
        QVERIFY(!w.optMonthly->isChecked());
        QVERIFY(w.Timer1->isActive());
        QCOMPARE(w.Timer1->interval(), 1000);
        QCOMPARE(w->geometry(), QRect(67, 67, 433, 433));

        MessageWatcher messages;
        showAndActivate(*w);
        QCOMPARE(w.pnlADT->text(), QStringLiteral("ADT = "));
        QVERIFY(w->sourcePicturePath().endsWith(QStringLiteral("/yahoofinance.bmp")));
        QTest::qWait(100);
        QCOMPARE(messages.texts, QStringList());
    }

    void loadsStoredValues_data()
    {
        QTest::addColumn<QStringList>("stored"); // name=value pairs
        QTest::addColumn<QString>("startMonth");
        QTest::addColumn<QString>("startDay");
        QTest::addColumn<QString>("startYear");
        QTest::addColumn<int>("startYearIndex");

        QTest::newRow("stored date") << QStringList{"StartMonth=Mar", "StartDay=15", "StartYear=2001"} << "Mar"
                                     << "15"
                                     << "2001" << 2001 - 1970;
        QTest::newRow("year before the list shown as typed")
            << QStringList{"StartMonth=Feb", "StartDay=02", "StartYear=1965"} << "Feb"
            << "02"
            << "1965" << -1;
        QTest::newRow("free texts kept") << QStringList{"StartMonth=March", "StartDay=7", "StartYear=99"} << "March"
                                         << "7"
                                         << "99" << -1;
        QTest::newRow("empty month replaces the whole date")
            << QStringList{"StartMonth=", "StartDay=15", "StartYear=1999"} << "Jan"
            << "01"
            << "2003" << 2003 - 1970;
        QTest::newRow("absent month with a day") << QStringList{"StartDay=15"} << "Jan"
                                                 << "01"
                                                 << "2003" << 2003 - 1970;
    }

    void loadsStoredValues()
    {
        QFETCH(QStringList, stored);
        QFETCH(QString, startMonth);
        QFETCH(QString, startDay);
        QFETCH(QString, startYear);
        QFETCH(int, startYearIndex);
        for (const QString& pair : stored)
            store(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));

        TestWindow w;
        QCOMPARE(w.cbxStartMonth->currentText(), startMonth);
        QCOMPARE(w.cbxStartDay->currentText(), startDay);
        QCOMPARE(w.cbxStartYear->currentText(), startYear);
        QCOMPARE(w.cbxStartYear->currentIndex(), startYearIndex);
        // Typed texts are not added to the lists.
        QCOMPARE(w.cbxStartMonth->count(), 12);
        QCOMPARE(w.cbxStartDay->count(), 31);
        // The end date is always today.
        QCOMPARE(w.cbxEndMonth->currentText(), todayMonth());
    }

    void otherStoredValuesReachTheWindowAndRecord()
    {
        store("DownloadDir", "/data/quotes");
        store("Data Source", "Yahoo");
        store("Data Format", "");
        store("Active Alerts", "-1");
        store("Convert to MS", "1");
        store("ADT", "18:30:00");
        TestWindow w;
        QCOMPARE(w.txtDownloadDir->text(), QStringLiteral("/data/quotes"));
        QCOMPARE(appState().settings.dataSource, QStringLiteral("Yahoo"));
        QCOMPARE(appState().settings.dataFormat, QStringLiteral("5"));
        QCOMPARE(appState().settings.activeAlerts, qint16(-1));
        QVERIFY(appState().settings.convertToMS.on());
        QCOMPARE(appState().settings.adt, QStringLiteral("18:30:00"));
    }

    void servicesAreLoaded()
    {
        m_case.config().set(QStringLiteral("Services"), QStringLiteral("Yahoo History Host"), QStringLiteral("127.0.0.1:9"));
        TestWindow w;
        QCOMPARE(appState().services.yahooHistoryHost, QStringLiteral("127.0.0.1:9"));
    }

    void selectorListsAreEnglishWhateverTheLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        TestWindow w;
        const QStringList months{"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        QStringList days;
        for (int d = 1; d <= 31; ++d)
            days << QString::asprintf("%02d", d);
        QStringList years;
        for (int y = 1970; y <= QDate::currentDate().year(); ++y)
            years << QString::number(y);
        QCOMPARE(comboItems(w.cbxStartMonth), months);
        QCOMPARE(comboItems(w.cbxEndMonth), months);
        QCOMPARE(comboItems(w.cbxStartDay), days);
        QCOMPARE(comboItems(w.cbxEndDay), days);
        QCOMPARE(comboItems(w.cbxStartYear), years);
        QCOMPARE(comboItems(w.cbxEndYear), years);

        const QDate today = QDate::currentDate();
        QCOMPARE(w.cbxEndMonth->currentText(), months.at(today.month() - 1));
        QCOMPARE(w.cbxEndDay->currentText(), QString::asprintf("%02d", today.day()));
        QCOMPARE(w.cbxEndYear->currentText(), QString::number(today.year()));
        for (QComboBox* box : {w.cbxStartMonth, w.cbxStartDay, w.cbxStartYear, w.cbxEndMonth, w.cbxEndDay,
                               w.cbxEndYear})
            QVERIFY2(box->isEditable(), qPrintable(box->objectName()));
    }

    void databaseNameChoosesTheList_data()
    {
        QTest::addColumn<bool>("absent");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("usesStarterList");
        QTest::addColumn<QString>("recordAfter");

        QTest::newRow("absent") << true << QString() << true << "dbase.mdb";
        QTest::newRow("empty") << false << QString() << true << "dbase.mdb";
        QTest::newRow("bare dbase.mdb") << false << "dbase.mdb" << true << "dbase.mdb";
        // Compared case-sensitively: any other text is a path, used as it is.
        QTest::newRow("DBASE.MDB is a relative path") << false << "DBASE.MDB" << false << "DBASE.MDB";
    }

    void databaseNameChoosesTheList()
    {
        QFETCH(bool, absent);
        QFETCH(QString, stored);
        QFETCH(bool, usesStarterList);
        QFETCH(QString, recordAfter);

        QTemporaryDir here;
        QVERIFY(makeList(here.filePath(QStringLiteral("DBASE.MDB")), {"ZZZ", "AAA", "ZZZ"}));
        QVERIFY(QDir::setCurrent(here.path()));
        if (!absent)
            store(QStringLiteral("Database Name"), stored);

        TestWindow w;
        QCOMPARE(appState().settings.databaseName, recordAfter);
        QVERIFY(w->list().isOpen());
        if (usesStarterList) {
            QCOMPARE(QFileInfo(w->list().path()).canonicalFilePath(), QFileInfo(starterList()).canonicalFilePath());
        } else {
            QCOMPARE(w->list().path(), stored);
            // Stored order, duplicates kept.
            QCOMPARE(gridSymbols(*w), (QStringList{"ZZZ", "AAA", "ZZZ"}));
        }
    }

    void unopenableListReportedOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not a database") << "text" << "not a ticker list database";
        QTest::newRow("missing file") << "missing" << "does not exist";
        QTest::newRow("database without Table1") << "otherTable" << "Table1";
        QTest::newRow("folder") << "folder" << "not a file";
    }

    void unopenableListReportedOnce()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("broken.mdb"));
        if (kind == QLatin1String("text")) {
            QVERIFY(writeFile(path, "MSFT\nIBM\n"));
        } else if (kind == QLatin1String("otherTable")) {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make-other"));
                db.setDatabaseName(path);
                QVERIFY(db.open());
                QVERIFY(QSqlQuery(db).exec(QStringLiteral("CREATE TABLE Other (Symbol TEXT)")));
                db.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("make-other"));
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path));
        }
        store(QStringLiteral("Database Name"), path);

        MessageWatcher messages;
        TestWindow w;
        QVERIFY(!w->list().isOpen());
        QCOMPARE(w.DBGrid1->model()->rowCount(), 0);
        QCOMPARE(w->currentRow(), -1);
        QCOMPARE(w->currentRowId(), qint64(-1));
        // The message comes over the window once it is on screen.
        QCOMPARE(messages.texts.size(), 0);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTRY_COMPARE(messages.texts.size(), 1);
        QTest::qWait(200);
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts.first().contains(QDir::toNativeSeparators(path)), qPrintable(messages.texts.first()));
        QVERIFY2(messages.texts.first().contains(reason), qPrintable(messages.texts.first()));
        QCOMPARE(messages.titles.first(), w->windowTitle());
        QCOMPARE(messages.icons.first(), QMessageBox::Warning);
        // The setting keeps the path: nothing the user chose is thrown away.
        QCOMPARE(appState().settings.databaseName, path);
        QVERIFY(w->isVisible());
    }

    // --- controls, menus, toolbar, status bar -------------------------------

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");

        auto row = [](const char* name, const char* cls, const char* text, const char* tip) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls) << QString::fromLatin1(text)
                                << QString::fromLatin1(tip);
        };
        row("Label1", "QLabel", "Ticker Symbol:", "");
        row("txtTicker", "QLineEdit", "", "");
        row("cmdAdd", "QPushButton", "Add", "Add Record");
        row("cmdDelete", "QPushButton", "Delete", "Delete Record");
        row("DBGrid1", "QTableView", nullptr, "");
        row("chkSingleStock", "QCheckBox", "Single Stock", "");
        row("Frame1", "QGroupBox", "Specify Download Directory:", "");
        row("txtDownloadDir", "QLineEdit", "", "Download Directory");
        row("cmdBrowse", "QPushButton", "Browse", "Browse Files");
        row("Frame2", "QGroupBox", "Load Data From: ", "");
        row("Label2", "QLabel", "Start Date:", "");
        row("cbxStartMonth", "QComboBox", nullptr, "Start Month");
        row("cbxStartDay", "QComboBox", nullptr, "Start Day");
        row("cbxStartYear", "QComboBox", nullptr, "Start Year");
        row("Label3", "QLabel", "End Date:", "");
        row("cbxEndMonth", "QComboBox", nullptr, "End Month");
        row("cbxEndDay", "QComboBox", nullptr, "End Day");
        row("cbxEndYear", "QComboBox", nullptr, "End Year");
        row("optDaily", "QRadioButton", "Daily", "Daily History");
        row("optWeekly", "QRadioButton", "Weekly", "Weekly History");
        row("optMonthly", "QRadioButton", "Monthly", "Monthly History");
        row("cmdGetUpdate", "QPushButton", "Get Historical Data", "");
        row("Label4", "QLabel", "Progress:", "");
        row("ProgressBar1", "QProgressBar", nullptr, "");
        row("tbToolBar", "QToolBar", nullptr, "");
        row("sbStatusBar", "QStatusBar", nullptr, "");
        row("Status", "QLabel", "Status", "Download Status");
        row("ADT", "QLabel", "ADT", "Automatic Download Time");
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, text);
        QFETCH(QString, tip);

        TestWindow w;
        const QList<QWidget*> found = w->findChildren<QWidget*>(name);
        QCOMPARE(found.size(), 1);
        QWidget* c = found.first();
        QVERIFY2(c->inherits(qPrintable(className)), c->metaObject()->className());
        if (!text.isNull()) {
            const char* property = qobject_cast<QGroupBox*>(c) ? "title" : "text";
            QCOMPARE(c->property(property).toString(), text);
        }
        QCOMPARE(c->toolTip(), tip);
        QVERIFY(w->isAncestorOf(c));
    }

    void gridIsAReadOnlyRowSelector()
    {
        TestWindow w;
        QTableView* grid = w.DBGrid1;
        QCOMPARE(grid->model()->columnCount(), 1);
        QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Symbol"));
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(grid->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(!(grid->model()->flags(grid->model()->index(0, 0)) & Qt::ItemIsEditable));

        showAndActivate(*w);
        const QModelIndex third = grid->model()->index(2, 0);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(third).center());
        QCOMPARE(w->currentRow(), 2);
        QCOMPARE(grid->selectionModel()->selectedRows(), QModelIndexList{third});
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(w->currentRow(), 3);
        QCOMPARE(grid->selectionModel()->selectedRows().value(0).row(), 3);
    }

    void refreshKeepsTheCurrentRow()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("list.mdb"));
        QVERIFY(makeList(path, {"A", "B", "C", "D"}));
        store(QStringLiteral("Database Name"), path);
        TestWindow w;
        QCOMPARE(w->currentRow(), 0);
        w->setCurrentRow(2);
        const qint64 idOfC = w->currentRowId();
        QCOMPARE(w->list().rows().at(2).id, idOfC);

        QVERIFY(w->list().append(QStringLiteral("E")));
        w->refreshGrid();
        QCOMPARE(gridSymbols(*w), (QStringList{"A", "B", "C", "D", "E"}));
        QCOMPARE(w->currentRow(), 2);

        // A row above goes: the current row is still "C".
        QVERIFY(w->list().remove(w->list().rows().at(0).id));
        w->refreshGrid();
        QCOMPARE(w->currentRow(), 1);
        QCOMPARE(w->currentRowId(), idOfC);

        // The current row itself goes: the same place stays current.
        QVERIFY(w->list().remove(idOfC));
        w->refreshGrid();
        QCOMPARE(gridSymbols(*w), (QStringList{"B", "D", "E"}));
        QCOMPARE(w->currentRow(), 1);

        // The last row goes while current: the new last row is current.
        w->setCurrentRow(2);
        QVERIFY(w->list().remove(w->currentRowId()));
        w->refreshGrid();
        QCOMPARE(w->currentRow(), 1);

        while (w->list().count() > 0)
            QVERIFY(w->list().remove(w->list().rows().first().id));
        w->refreshGrid();
        QCOMPARE(w->currentRow(), -1);
        QCOMPARE(w->currentRowId(), qint64(-1));
    }

    void menus_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<bool>("checkable");

        struct Item
        {
            const char* name;
            const char* caption;
            const char* keys;
            bool checkable;
        };
        const struct
        {
            const char* menu;
            QList<Item> items;
        } tree[] = {
            {"mnuFile",
             {{"mnuCreateNewList", "Create &New List", "Ctrl+N", false},
              {"mnuOpenList", "&Open List", "Ctrl+O", false},
              {"mnuImportList", "&Import List", "Ctrl+I", false},
              {"mnuFileBar1", nullptr, "", false},
              {"mnuLaunch", "Launch Application", "Ctrl+L", false},
              {"mnuFileBar2", nullptr, "", false},
              {"mnuFileExit", "E&xit", "Ctrl+X", false}}},
            {"mnuView",
             {{"mnuViewFile", "&View File", "Ctrl+V", false},
              {"mnuViewErrorLog", "View &Error Log", "Ctrl+E", false},
              {"mnuViewChart", "&Chart File...", "", false},
              {"mnuViewBar1", nullptr, "", false},
              {"mnuAnalyzeStock", "Analy&ze Stock", "Ctrl+Z", false},
              {"mnuViewBar2", nullptr, "", false},
              {"mnuViewToolbar", "&Toolbar", "Ctrl+T", true},
              {"mnuViewStatusBar", "Status &Bar", "Ctrl+B", true},
              {"mnuViewBar3", nullptr, "", false},
              {"mnuViewOptions", "O&ptions...", "Ctrl+P", false}}},
            {"mnuHelp",
             {{"mnuHelpContents", "&Contents", "Ctrl+C", false},
              {"mnuHelpBar1", nullptr, "", false},
              {"mnuHelpAbout", "&About Kestrion...", "Ctrl+A", false}}},
        };
        for (const auto& m : tree) {
            int position = 0;
            for (const Item& i : m.items) {
                QTest::newRow(i.name) << QString::fromLatin1(i.name) << QString::fromLatin1(m.menu) << position++
                                      << (i.caption ? QString::fromLatin1(i.caption) : QString())
                                      << QString::fromLatin1(i.keys) << i.checkable;
            }
        }
    }

    void menus()
    {
        QFETCH(QString, name);
        QFETCH(QString, menu);
        QFETCH(int, position);
        QFETCH(QString, caption);
        QFETCH(QString, shortcut);
        QFETCH(bool, checkable);

        TestWindow w;
        auto* m = w->findChild<QMenu*>(menu);
        QVERIFY(m);
        QAction* a = m->actions().value(position);
        QVERIFY(a);
        QCOMPARE(a->objectName(), name);
        QCOMPARE(a->isSeparator(), caption.isNull());
        if (!caption.isNull())
            QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut(), QKeySequence(shortcut));
        QCOMPARE(a->isCheckable(), checkable);
        QCOMPARE(a->isChecked(), checkable); // the two toggles start checked
        QCOMPARE(m->actions().size(), menu == QLatin1String("mnuFile") ? 7 : menu == QLatin1String("mnuView") ? 10 : 3);
    }

    void topLevelMenus()
    {
        TestWindow w;
        const QList<QAction*> top = w->menuBar()->actions();
        QCOMPARE(top.size(), 3);
        const QStringList names{"mnuFile", "mnuView", "mnuHelp"};
        const QStringList captions{"&File", "&View", "&Help"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(top.at(i)->objectName(), names.at(i));
            QCOMPARE(top.at(i)->text(), captions.at(i));
            QCOMPARE(top.at(i)->menu()->objectName(), names.at(i));
        }
    }

    void toolbar_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("command");
        QTest::newRow("Open List") << 0 << "Open List" << "Open Stock List" << "mnuOpenList";
        QTest::newRow("View File") << 1 << "View File" << "View/Edit File" << "mnuViewFile";
        QTest::newRow("Analyze Stock") << 2 << "Analyze Stock" << "Analyze Stock" << "mnuAnalyzeStock";
        QTest::newRow("Launch Application") << 3 << "Launch Application" << "Launch Application" << "mnuLaunch";
    }

    void toolbar()
    {
        QFETCH(int, position);
        QFETCH(QString, key);
        QFETCH(QString, tip);
        QFETCH(QString, command);

        TestWindow w;
        QCOMPARE(w.tbToolBar->actions().size(), 4);
        QCOMPARE(w.tbToolBar->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QAction* b = w.tbToolBar->actions().at(position);
        QCOMPARE(b, w->toolbarButton(key));
        QCOMPARE(b->toolTip(), tip);
        QVERIFY(!b->icon().isNull());
        // Four pictures, one for each button.
        QSet<qint64> icons;
        for (const QAction* a : w.tbToolBar->actions())
            icons << a->icon().cacheKey();
        QCOMPARE(icons.size(), 4);

        CommandLog log(w);
        showAndActivate(*w);
        auto* tool = qobject_cast<QToolButton*>(w.tbToolBar->widgetForAction(b));
        QVERIFY(tool);
        QTest::mouseClick(tool, Qt::LeftButton);
        QCOMPARE(log.calls, QStringList{command});
    }

    void toolbarKeysMatchExactly()
    {
        TestWindow w;
        CommandLog log(w);
        for (const char* key : {"open list", "Open List ", "", "Options"}) {
            QAction other(QString::fromLatin1(key));
            other.setData(QString::fromLatin1(key));
            Q_EMIT w.tbToolBar->actionTriggered(&other);
        }
        Q_EMIT w.tbToolBar->actionTriggered(nullptr);
        QCOMPARE(log.calls, QStringList());
        QCOMPARE(w.openAsked, 0);
    }

    void togglesHideAndShowTheBars()
    {
        TestWindow w;
        showAndActivate(*w);
        QVERIFY(w.tbToolBar->isVisible());
        QVERIFY(w.sbStatusBar->isVisible());

        w.mnuViewToolbar->trigger();
        QVERIFY(!w.tbToolBar->isVisible());
        QVERIFY(!w.mnuViewToolbar->isChecked());
        QVERIFY(w.sbStatusBar->isVisible());
        w.mnuViewStatusBar->trigger();
        QVERIFY(!w.sbStatusBar->isVisible());
        QVERIFY(!w.mnuViewStatusBar->isChecked());

        w.mnuViewToolbar->trigger();
        QVERIFY(w.tbToolBar->isVisible());
        QVERIFY(w.mnuViewToolbar->isChecked());
        w.mnuViewStatusBar->trigger();
        QVERIFY(w.sbStatusBar->isVisible());
        QVERIFY(w.mnuViewStatusBar->isChecked());

        // Hidden bars are not remembered: the next window shows both.
        w.mnuViewToolbar->trigger();
        w.mnuViewStatusBar->trigger();
        w->close();
        TestWindow next;
        showAndActivate(*next);
        QVERIFY(next.tbToolBar->isVisible());
        QVERIFY(next.sbStatusBar->isVisible());
        QVERIFY(next.mnuViewToolbar->isChecked());
        QVERIFY(next.mnuViewStatusBar->isChecked());
    }

    void panelClickResetsStatus_data()
    {
        QTest::addColumn<int>("panel");
        QTest::newRow("panel 1") << 0;
        QTest::newRow("panel 2") << 1;
        QTest::newRow("panel 3") << 2;
    }

    void panelClickResetsStatus()
    {
        QFETCH(int, panel);
        TestWindow w;
        showAndActivate(*w);
        const QList<QLabel*> panels{w.pnlStatus, w.pnlDataSource, w.pnlADT};
        QCOMPARE(panels.at(1)->toolTip(), QStringLiteral("Data Source"));
        w->setStatusText(QStringLiteral("Download Complete!"));
        QCOMPARE(w->statusText(), QStringLiteral("Download Complete!"));
        QTest::mouseClick(panels.at(panel), Qt::LeftButton);
        QCOMPARE(w->statusText(), QStringLiteral("Status"));
        QCOMPARE(w.pnlStatus->text(), QStringLiteral("Status"));
    }

    void statusTipsDoNotHidePanels()
    {
        TestWindow w;
        showAndActivate(*w);
        w.sbStatusBar->showMessage(QStringLiteral("tip"));
        QVERIFY(w.pnlStatus->isVisible());
        QVERIFY(w.pnlADT->isVisible());
    }

    // --- activation -------------------------------------------------------

    void activationShowsSourceAndTime_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("adt");
        QTest::addColumn<QString>("picture");
        QTest::newRow("empty source is Yahoo Chart") << "" << "" << "yahoofinance.bmp";
        QTest::newRow("Yahoo Chart") << "Yahoo Chart" << "9:30" << "yahoofinance.bmp";
        QTest::newRow("Tiingo") << "Tiingo" << "9:30" << "tiingo.bmp";
        QTest::newRow("tiingo is not Tiingo") << "tiingo" << "9:30" << "wallstreetcity.bmp";
        QTest::newRow("Yahoo") << "Yahoo" << "09:30:00" << "yahoofinance.bmp";
        QTest::newRow("yahoo is not Yahoo") << "yahoo" << "9:30" << "wallstreetcity.bmp";
        QTest::newRow("Wall Street City") << "Wall Street City" << "17:00:00" << "wallstreetcity.bmp";
    }

    void activationShowsSourceAndTime()
    {
        QFETCH(QString, source);
        QFETCH(QString, adt);
        QFETCH(QString, picture);
        store(QStringLiteral("Data Source"), source);
        store(QStringLiteral("ADT"), adt);
        TestWindow w;
        QCOMPARE(w.pnlADT->text(), QStringLiteral("ADT"));
        showAndActivate(*w);
        QCOMPARE(w.pnlADT->text(), QStringLiteral("ADT = ") + adt);
        QCOMPARE(w->sourcePicturePath(), applicationFolder() + QLatin1Char('/') + picture);
        const QImage expected(applicationFolder() + QLatin1Char('/') + picture);
        QVERIFY(!expected.isNull());
        const QPixmap shown = w.pnlDataSource->pixmap();
        QVERIFY(!shown.isNull());
        QCOMPARE(shown.toImage().convertToFormat(QImage::Format_RGB32), expected.convertToFormat(QImage::Format_RGB32));
    }

    void reactivationFromAnotherWindowFollowsChanges()
    {
        TestWindow w;
        showAndActivate(*w);
        QCOMPARE(w.pnlADT->text(), QStringLiteral("ADT = "));
        const QImage first = w.pnlDataSource->pixmap().toImage();

        // Another window of the program changes the settings (as the options
        // dialog does), then the main window becomes active again.
        QWidget other;
        other.setWindowTitle(QStringLiteral("Options"));
        showAndActivate(other);
        appState().settings.adt = QStringLiteral("16:45:00");
        appState().settings.dataSource = QStringLiteral("Tiingo");
        QCOMPARE(w.pnlADT->text(), QStringLiteral("ADT = "));
        other.close();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTRY_COMPARE(w.pnlADT->text(), QStringLiteral("ADT = 16:45:00"));
        QVERIFY(w.pnlDataSource->pixmap().toImage() != first);
        QVERIFY(w->sourcePicturePath().endsWith(QStringLiteral("/tiingo.bmp")));
    }

    // --- shortcuts --------------------------------------------------------

    void shortcutsWinInTextAndComboBoxes_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("command");

        QTest::newRow("Ctrl+O in cbxEndYear") << "cbxEndYear" << int(Qt::Key_O) << "mnuOpenList";
        QTest::newRow("Ctrl+N in txtTicker") << "txtTicker" << int(Qt::Key_N) << "mnuCreateNewList";
        QTest::newRow("Ctrl+I in txtTicker") << "txtTicker" << int(Qt::Key_I) << "mnuImportList";
        QTest::newRow("Ctrl+L in cbxStartYear") << "cbxStartYear" << int(Qt::Key_L) << "mnuLaunch";
        QTest::newRow("Ctrl+E in txtDownloadDir") << "txtDownloadDir" << int(Qt::Key_E) << "mnuViewErrorLog";
        QTest::newRow("Ctrl+P in cbxStartDay") << "cbxStartDay" << int(Qt::Key_P) << "mnuViewOptions";
        QTest::newRow("Ctrl+T in cbxStartMonth") << "cbxStartMonth" << int(Qt::Key_T) << "mnuViewToolbar";
        QTest::newRow("Ctrl+B in txtTicker") << "txtTicker" << int(Qt::Key_B) << "mnuViewStatusBar";
        QTest::newRow("Ctrl+C in the grid") << "DBGrid1" << int(Qt::Key_C) << "mnuHelpContents";
        // The editing keys are the menu's outside text fields.
        QTest::newRow("Ctrl+V in the grid") << "DBGrid1" << int(Qt::Key_V) << "mnuViewFile";
        QTest::newRow("Ctrl+A in the grid") << "DBGrid1" << int(Qt::Key_A) << "mnuHelpAbout";
        QTest::newRow("Ctrl+Z in the grid") << "DBGrid1" << int(Qt::Key_Z) << "mnuAnalyzeStock";
        QTest::newRow("Ctrl+V on chkSingleStock") << "chkSingleStock" << int(Qt::Key_V) << "mnuViewFile";
    }

    void shortcutsWinInTextAndComboBoxes()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(QString, command);

        TestWindow w;
        CommandLog log(w);
        showAndActivate(*w);
        QApplication::clipboard()->setText(QStringLiteral("PASTED"));
        QWidget* target = w->findChild<QWidget*>(focus);
        QVERIFY(target);
        auto* edit = qobject_cast<QLineEdit*>(target);
        if (auto* combo = qobject_cast<QComboBox*>(target))
            edit = combo->lineEdit();
        if (edit) {
            edit->setText(QStringLiteral("AB"));
            edit->selectAll();
        }
        (edit ? edit : target)->setFocus();
        QTRY_VERIFY(QApplication::focusWidget() == target || QApplication::focusWidget() == edit);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::ControlModifier);
        QCOMPARE(log.calls, QStringList{command});
        if (edit) // the box did not act on the key itself (no paste, undo or cut)
            QCOMPARE(edit->text(), QStringLiteral("AB"));
        QCOMPARE(w.openAsked, command == QLatin1String("mnuOpenList") ? 1 : 0);
        QCOMPARE(w.saveAsked, command == QLatin1String("mnuCreateNewList") ? 1 : 0);
    }

    void clipboardKeysEditTextFields_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("typed");     // typed into the emptied box first; "" keeps its text
        QTest::addColumn<bool>("selectAll");    // the box's text selected before the key
        QTest::addColumn<QString>("text");      // the box's text after the key
        QTest::addColumn<QString>("clipboard"); // after the key; it held "PASTED"

        QTest::newRow("Ctrl+C copies in txtTicker") << "txtTicker" << int(Qt::Key_C) << "AB" << true << "AB" << "AB";
        QTest::newRow("Ctrl+X cuts in txtTicker") << "txtTicker" << int(Qt::Key_X) << "AB" << true << "" << "AB";
        QTest::newRow("Ctrl+V pastes in txtTicker")
            << "txtTicker" << int(Qt::Key_V) << "AB" << true << "PASTED" << "PASTED";
        QTest::newRow("Ctrl+Z undoes in txtTicker") << "txtTicker" << int(Qt::Key_Z) << "AB" << false << ""
                                                   << "PASTED";
        QTest::newRow("Ctrl+A selects in txtDownloadDir")
            << "txtDownloadDir" << int(Qt::Key_A) << "/x/dl" << false << "/x/dl" << "PASTED";
        QTest::newRow("Ctrl+V pastes in txtDownloadDir")
            << "txtDownloadDir" << int(Qt::Key_V) << "/x/dl" << true << "PASTED" << "PASTED";
        QTest::newRow("Ctrl+X cuts in txtDownloadDir")
            << "txtDownloadDir" << int(Qt::Key_X) << "/x/dl" << true << "" << "/x/dl";
        QTest::newRow("Ctrl+C copies in cbxStartMonth")
            << "cbxStartMonth" << int(Qt::Key_C) << "" << true << "Jan" << "Jan";
    }

    void clipboardKeysEditTextFields()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(QString, typed);
        QFETCH(bool, selectAll);
        QFETCH(QString, text);
        QFETCH(QString, clipboard);

        TestWindow w;
        CommandLog log(w);
        showAndActivate(*w);
        QApplication::clipboard()->setText(QStringLiteral("PASTED"));
        QWidget* target = w->findChild<QWidget*>(focus);
        QVERIFY(target);
        auto* edit = qobject_cast<QLineEdit*>(target);
        if (auto* combo = qobject_cast<QComboBox*>(target))
            edit = combo->lineEdit();
        QVERIFY(edit);
        edit->setFocus();
        QTRY_VERIFY(QApplication::focusWidget() == target || QApplication::focusWidget() == edit);
        if (!typed.isEmpty()) {
            edit->clear();
            QTest::keyClicks(QApplication::focusWidget(), typed);
        }
        if (selectAll)
            edit->selectAll();
        else
            edit->deselect();

        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::ControlModifier);
        QCOMPARE(log.calls, QStringList());
        QVERIFY(w->isVisible());
        QCOMPARE(edit->text(), text);
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
        if (key == Qt::Key_A)
            QCOMPARE(edit->selectedText(), text);
    }

    void ctrlXOutsideTextFieldsCloses()
    {
        TestWindow w;
        CommandLog log(w);
        showAndActivate(*w);
        w.txtTicker->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.txtTicker));
        QTest::keyClicks(w.txtTicker, QStringLiteral("MSFT"));
        w.txtTicker->selectAll();
        QWidget* grid = w->findChild<QWidget*>(QStringLiteral("DBGrid1"));
        QVERIFY(grid);
        grid->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), grid);
        QTest::keyClick(grid, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(log.calls, QStringList{"mnuFileExit"});
        QVERIFY(!w->isVisible());
        QCOMPARE(w.txtTicker->text(), QStringLiteral("MSFT"));
        QCOMPARE(saved(QStringLiteral("StartMonth")), QStringLiteral("Jan"));
        QCOMPARE(saved(QStringLiteral("MainWidth")), QStringLiteral("6500"));
    }

    void disabledCommandLeavesKeyToTheBox()
    {
        TestWindow w;
        CommandLog log(w);
        showAndActivate(*w);
        w.mnuAnalyzeStock->setEnabled(false);
        w.txtTicker->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.txtTicker));
        QTest::keyClicks(w.txtTicker, QStringLiteral("AB"));
        QTest::keyClick(w.txtTicker, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(log.calls, QStringList());
        QCOMPARE(w.txtTicker->text(), QString()); // the box's own undo
    }

    // --- shutdown ---------------------------------------------------------

    void closeSavesAllValues_data()
    {
        QTest::addColumn<QString>("state");
        QTest::newRow("normal") << "normal";
        QTest::newRow("minimized") << "minimized";
        QTest::newRow("maximized") << "maximized";
        QTest::newRow("minimized from maximized") << "minmax";
    }

    void closeSavesAllValues()
    {
        QFETCH(QString, state);
        QTemporaryDir dir;
        const QString listPath = dir.filePath(QStringLiteral("mine.mdb"));
        QVERIFY(makeList(listPath, {"IBM"}));
        store("Database Name", listPath);
        store("Data Source", "Wall Street City");
        store("Data Format", "3");
        store("Active Alerts", "-1");
        store("Delete Existing Files", "1");
        store("Date Stamp", "1");
        store("File Extension", ".txt");
        store("Auto Start App", "1");
        store("Convert to MS", "1");
        store("Play Sound", "1");
        store("App Name", "/usr/bin/charts --open");
        store("ADT", "18:00:00");

        TestWindow w;
        showAndActivate(*w);
        const QRect normal(120, 130, 500, 400);
        w->setGeometry(normal);
        QTRY_COMPARE(w->geometry(), normal);
        w.txtDownloadDir->setText(QStringLiteral("/data/quotes"));
        w.cbxStartMonth->setEditText(QStringLiteral("Feb"));
        w.cbxStartDay->setEditText(QStringLiteral("03"));
        w.cbxStartYear->setEditText(QStringLiteral("1999"));
        appState().settings.appName = QStringLiteral("/opt/other");

        QRect expected = normal;
        if (state == QLatin1String("minimized")) {
            w->showMinimized();
            QTRY_VERIFY(w->isMinimized());
        } else if (state == QLatin1String("maximized") || state == QLatin1String("minmax")) {
            w->showMaximized();
            QTRY_VERIFY(w->isMaximized());
            QTRY_VERIFY(w->geometry() != normal);
            if (state == QLatin1String("maximized")) {
                expected = w->geometry();
            } else {
                w->setWindowState(Qt::WindowMinimized | Qt::WindowMaximized);
                QTRY_VERIFY(w->isMinimized());
            }
        }
        QVERIFY(w->close());
        w.destroyWindow();

        for (const QString& name : kSettingNames)
            QVERIFY2(savedContains(name), qPrintable(name));
        QCOMPARE(saved("MainLeft"), QString::number(expected.x() * 15));
        QCOMPARE(saved("MainTop"), QString::number(expected.y() * 15));
        QCOMPARE(saved("MainWidth"), QString::number(expected.width() * 15));
        QCOMPARE(saved("MainHeight"), QString::number(expected.height() * 15));
        QCOMPARE(saved("Database Name"), listPath);
        QCOMPARE(saved("DownloadDir"), QStringLiteral("/data/quotes"));
        QCOMPARE(saved("StartMonth"), QStringLiteral("Feb"));
        QCOMPARE(saved("StartDay"), QStringLiteral("03"));
        QCOMPARE(saved("StartYear"), QStringLiteral("1999"));
        QCOMPARE(saved("Data Source"), QStringLiteral("Wall Street City"));
        QCOMPARE(saved("Data Format"), QStringLiteral("3"));
        QCOMPARE(saved("Active Alerts"), QStringLiteral("-1"));
        QCOMPARE(saved("Delete Existing Files"), QStringLiteral("1"));
        QCOMPARE(saved("Date Stamp"), QStringLiteral("1"));
        QCOMPARE(saved("File Extension"), QStringLiteral(".txt"));
        QCOMPARE(saved("Auto Start App"), QStringLiteral("1"));
        QCOMPARE(saved("Convert to MS"), QStringLiteral("1"));
        QCOMPARE(saved("Play Sound"), QStringLiteral("1"));
        QCOMPARE(saved("App Name"), QStringLiteral("/opt/other"));
        QCOMPARE(saved("ADT"), QStringLiteral("18:00:00"));

        // The next start opens a normal window at the saved bounds.
        resetAppState();
        TestWindow next;
        QCOMPARE(next->geometry(), expected);
        showAndActivate(*next);
        QVERIFY(!next->isMaximized());
        QVERIFY(!next->isMinimized());
        QCOMPARE(next.cbxStartYear->currentText(), QStringLiteral("1999"));
        QCOMPARE(next.txtDownloadDir->text(), QStringLiteral("/data/quotes"));
    }

    void defaultGeometrySurvivesRoundTrips()
    {
        for (int run = 0; run < 3; ++run) {
            resetAppState();
            TestWindow w;
            showAndActivate(*w);
            QCOMPARE(w->geometry(), QRect(67, 67, 433, 433));
            QVERIFY(w->close());
        }
        QCOMPARE(saved("MainLeft"), QStringLiteral("1000"));
        QCOMPARE(saved("MainTop"), QStringLiteral("1000"));
        QCOMPARE(saved("MainWidth"), QStringLiteral("6500"));
        QCOMPARE(saved("MainHeight"), QStringLiteral("6500"));
        QCOMPARE(saved("Database Name"), QStringLiteral("dbase.mdb"));
        QCOMPARE(saved("Data Format"), QStringLiteral("5"));
    }

    void oddStoredGeometryStaysUsable_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("savedLeft");
        QTest::newRow("huge") << "1e30" << "1e30" << "";
        QTest::newRow("negative size") << "-500" << "-6500" << "";
        QTest::newRow("not a number") << "abc" << "wide" << "1000";
        QTest::newRow("fraction kept") << "1007.5" << "6502.5" << "1007.5";
    }

    void oddStoredGeometryStaysUsable()
    {
        QFETCH(QString, left);
        QFETCH(QString, width);
        QFETCH(QString, savedLeft);
        store("MainLeft", left);
        store("MainWidth", width);
        TestWindow w;
        showAndActivate(*w);
        QVERIFY(w->width() >= w->minimumSizeHint().width());
        QVERIFY(w->width() <= 32767);
        QVERIFY(qAbs(w->x()) <= 32767);
        QVERIFY(w->close());
        bool ok = false;
        saved("MainLeft").toDouble(&ok);
        QVERIFY(ok);
        if (!savedLeft.isEmpty())
            QCOMPARE(saved("MainLeft"), savedLeft);
        saved("MainWidth").toDouble(&ok);
        QVERIFY(ok);
    }

    void closeRunsOtherWindowsFirstNewestFirst()
    {
        QStringList log;
        TestWindow w;
        showAndActivate(*w);
        OtherWindow older(&log, QStringLiteral("older"));
        OtherWindow hidden(&log, QStringLiteral("hidden"));
        OtherWindow newest(&log, QStringLiteral("newest"));
        older.show();
        newest.show();
        // A hidden window's close copies its values into the record, and that
        // must happen before the save.
        hidden.onClose = [] { appState().settings.adt = QStringLiteral("07:45:00"); };
        QVERIFY(w->close());
        QCOMPARE(log, (QStringList{"newest", "hidden", "older"}));
        QVERIFY(!older.isVisible());
        QVERIFY(!newest.isVisible());
        QCOMPARE(saved("ADT"), QStringLiteral("07:45:00"));
    }

    void windowRefusingToCloseKeepsTheProgram()
    {
        QStringList log;
        TestWindow w;
        showAndActivate(*w);
        OtherWindow editor(&log, QStringLiteral("editor"), true);
        editor.show();
        QVERIFY(!w->close());
        QVERIFY(w->isVisible());
        QVERIFY(!QFile::exists(settingsFile()));
        QVERIFY(w.Timer1->isActive());
    }

    void closeStopsTheTimer()
    {
        TestWindow w;
        QVERIFY(w.Timer1->isActive());
        QVERIFY(w->close());
        QVERIFY(!w.Timer1->isActive());
        // A second close request (a signal after File > Exit) saves nothing new.
        QFile::remove(settingsFile());
        w->close();
        QVERIFY(!QFile::exists(settingsFile()));
    }

    // --- lists --------------------------------------------------------------

    void openList_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a list") << "list";
        QTest::newRow("not a database") << "text";
        QTest::newRow("cancel") << "cancel";
    }

    void openList()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("chosen.mdb"));
        if (kind == QLatin1String("list"))
            QVERIFY(makeList(path, {"T", "BCE.TO", "T"}));
        else if (kind == QLatin1String("text"))
            QVERIFY(writeFile(path, "not a list"));

        TestWindow w;
        showAndActivate(*w);
        const QStringList before = gridSymbols(*w);
        w->setCurrentRow(3);
        w.openAnswer = kind == QLatin1String("cancel") ? QString() : path;
        MessageWatcher messages;
        w.mnuOpenList->trigger();
        QCOMPARE(w.openAsked, 1);

        if (kind == QLatin1String("cancel")) {
            QCOMPARE(appState().settings.databaseName, QStringLiteral("dbase.mdb"));
            QVERIFY(w->list().isOpen());
            QCOMPARE(gridSymbols(*w), before);
            QCOMPARE(w->currentRow(), 3);
        } else if (kind == QLatin1String("list")) {
            QCOMPARE(appState().settings.databaseName, path);
            QCOMPARE(w->list().path(), path);
            QCOMPARE(gridSymbols(*w), (QStringList{"T", "BCE.TO", "T"}));
            QCOMPARE(w->currentRow(), 0);
        } else {
            QTRY_COMPARE(messages.texts.size(), 1);
            QVERIFY(messages.texts.first().contains(QDir::toNativeSeparators(path)));
            // Stored before the open, as the user chose it.
            QCOMPARE(appState().settings.databaseName, path);
            QVERIFY(!w->list().isOpen());
            QCOMPARE(gridSymbols(*w), QStringList());
            QCOMPARE(w->currentRow(), -1);
        }
        QTest::qWait(100);
        QCOMPARE(messages.texts.size(), kind == QLatin1String("text") ? 1 : 0);
    }

    void createNewList_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expectedFile");
        QTest::addColumn<bool>("message");
        QTest::newRow("name without extension") << "new" << "fresh" << "fresh.mdb" << false;
        QTest::newRow("name with extension") << "new" << "fresh.mdb" << "fresh.mdb" << false;
        QTest::newRow("existing list kept") << "existing" << "old.mdb" << "old.mdb" << true;
        QTest::newRow("folder missing") << "nofolder" << "missing/sub/new.mdb" << "" << true;
        QTest::newRow("cancel") << "cancel" << "" << "" << false;
    }

    void createNewList()
    {
        QFETCH(QString, kind);
        QFETCH(QString, typed);
        QFETCH(QString, expectedFile);
        QFETCH(bool, message);

        QTemporaryDir dir;
        QByteArray existingBytes;
        if (kind == QLatin1String("existing")) {
            QVERIFY(makeList(dir.filePath(typed), {"KEEP", "ME"}));
            existingBytes = readAll(dir.filePath(typed));
        }
        TestWindow w;
        showAndActivate(*w);
        const QStringList before = gridSymbols(*w);
        w.saveAnswer = typed.isEmpty() ? QString() : dir.filePath(typed);
        MessageWatcher messages;
        w.mnuCreateNewList->trigger();
        QCOMPARE(w.saveAsked, 1);
        if (message)
            QTRY_COMPARE(messages.texts.size(), 1);
        QTest::qWait(100);
        QCOMPARE(messages.texts.size(), message ? 1 : 0);

        // The open list and the setting stay as they were.
        QCOMPARE(appState().settings.databaseName, QStringLiteral("dbase.mdb"));
        QCOMPARE(gridSymbols(*w), before);

        if (kind == QLatin1String("new")) {
            TickerList made;
            QVERIFY(made.open(dir.filePath(expectedFile)));
            QCOMPARE(made.count(), 0);
        } else if (kind == QLatin1String("existing")) {
            QCOMPARE(readAll(dir.filePath(typed)), existingBytes);
            QVERIFY(messages.texts.first().contains(QStringLiteral("already exists")));
            QVERIFY(messages.texts.first().contains(QDir::toNativeSeparators(dir.filePath(typed))));
        } else if (kind == QLatin1String("nofolder")) {
            QVERIFY(messages.texts.first().contains(QStringLiteral("new.mdb")));
        }
        if (kind == QLatin1String("cancel") || kind == QLatin1String("nofolder"))
            QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
