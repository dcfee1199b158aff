#include "app/ui/single_windows.h"
#include "gui_support.h"
#include "core/app_state.h"
#include "options/options_form.h"
#include "options/ui/frmOptions.h"
#include "platform/api_key_store.h"
#include "sources/source_registry.h"
#include "testsupport.h"

#include <QButtonGroup>
#include <QFile>
#include <QSettings>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using namespace kestrion;

namespace {

Settings& record()
{
    return appState().settings;
}

// The flag fields behind the options dialog's four plain check boxes.
double flagValue(const QString& field)
{
    const Settings& s = record();
    if (field == QLatin1String("Delete Existing Files"))
        return s.deleteExistingFiles.stored();
    if (field == QLatin1String("Date Stamp"))
        return s.dateStamp.stored();
    if (field == QLatin1String("Auto Start App"))
        return s.autoStartApp.stored();
    if (field == QLatin1String("Convert to MS"))
        return s.convertToMS.stored();
    qFatal("unknown field");
    return 0;
}

void setFlag(const QString& field, double value)
{
    Settings& s = record();
    if (field == QLatin1String("Delete Existing Files"))
        s.deleteExistingFiles = Flag::loaded(qint16(value));
    else if (field == QLatin1String("Date Stamp"))
        s.dateStamp = Flag::loaded(qint16(value));
    else if (field == QLatin1String("Auto Start App"))
        s.autoStartApp = Flag::loaded(qint16(value));
    else if (field == QLatin1String("Convert to MS"))
        s.convertToMS = NumberFlag::loaded(value);
    else
        qFatal("unknown field");
}

QString selectedFormat(const frmOptions& dlg)
{
    QString name;
    int count = 0;
    for (QRadioButton* b : dlg.formatButtons()) {
        if (b->isChecked()) {
            name = b->objectName();
            ++count;
        }
    }
    return count > 1 ? QStringLiteral("several") : name;
}

// Clicks a radio button or check box on its indicator: only the indicator
// and the caption take clicks, not the whole width of the widget.
void clickButton(QAbstractButton* button)
{
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

QString sourceButton(const frmOptions& dlg)
{
    QAbstractButton* b = dlg.sourceGroup->checkedButton();
    return b ? b->objectName() : QString();
}

QVariant storedKey(const QString& settingsFile)
{
    return QSettings(settingsFile, QSettings::IniFormat).value(QStringLiteral("Sources/Tiingo API Key"));
}

// Deferred deletions of closed dialogs.
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestOptions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void controlsAndCaptions_data();
    void controlsAndCaptions();
    void windowAndTabs();

    void dataSource_data();
    void dataSource();
    void chooseSource_data();
    void chooseSource();
    void dataFormat_data();
    void dataFormat();
    void chooseFormat_data();
    void chooseFormat();
    void yahooGreysFormatsAndKeepsChoice_data();
    void yahooGreysFormatsAndKeepsChoice();
    void alerts_data();
    void alerts();
    void checkBoxes_data();
    void checkBoxes();
    void fileExtension_data();
    void fileExtension();
    void emptiedExtensionComesBackAsCsv();
    void textFields_data();
    void textFields();
    void adtNotATimeKeepsTheDialogOpen();
    void autoRunGreysAppName_data();
    void autoRunGreysAppName();
    void playSoundWrittenOnEachClick_data();
    void playSoundWrittenOnEachClick();
    void tabSwitchShowsOnePage();

    void keyPageShowsWhereKeyIsKept_data();
    void keyPageShowsWhereKeyIsKept();
    void showKeyToggle();
    void keyUnreadIsLeftAlone();
    void keyWrittenAtCloseOnlyWhenChanged_data();
    void keyWrittenAtCloseOnlyWhenChanged();
    void sourcesPageLinesFit_data();
    void sourcesPageLinesFit();

    void firstRunStoresYahooChartAndCsv_data();
    void firstRunStoresYahooChartAndCsv();
    void loadRunsOncePerLoading();
    void reloadTakesTheRecordWithoutClosing();
    void activationReloadsOnlyAChangedRecord_data();
    void activationReloadsOnlyAChangedRecord();
    void everyButtonHasItsEntry();
    void closeWays_data();
    void closeWays();
    void modalShow_data();
    void modalShow();
    void closeDuringModalShow_data();
    void closeDuringModalShow();
    void closeStepWhenNotLoadedChangesNothing();
    void mainWindowGoneLeavesTheFormUsable();

    void parallelRequests_data();
    void parallelRequests();
    void deleteAndUpdateExcludeEachOther_data();
    void deleteAndUpdateExcludeEachOther();

private:
    OptionsForm& form() { return *m_form; }
    // The dialog bound to the form, built hidden over the main window as View
    // > Options builds it; a new one once the last was closed.
    frmOptions& dialog();
    // The close step as shutdown runs it: through the dialog while it is
    // open, else on the form alone.
    void closeStep();

    test::TempConfig m_config; // nothing here touches the store; keep it private anyway
    std::unique_ptr<QMainWindow> m_main;
    std::unique_ptr<OptionsForm> m_form;
    QPointer<frmOptions> m_dialog;
};

frmOptions& TestOptions::dialog()
{
    if (!m_dialog || m_dialog->isFinished()) {
        if (m_dialog)
            m_dialog->deleteLater();
        m_dialog = new frmOptions(*m_form, m_main.get());
    }
    return *m_dialog;
}

void TestOptions::closeStep()
{
    if (m_dialog && !m_dialog->isFinished())
        m_dialog->done(QDialog::Rejected);
    m_form->close();
}

void TestOptions::initTestCase()
{
    // No secret store answers here: the key goes to the settings file.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("KESTRION_TIINGO_TOKEN");
}

void TestOptions::init()
{
    resetAppState();
    m_main = std::make_unique<QMainWindow>();
    m_main->setWindowTitle(QStringLiteral("Kestrion"));
    m_form = std::make_unique<OptionsForm>(
        record(), [](const QString& storedText) { return quoteSourceEntry(storedText).storedText; });
}

void TestOptions::cleanup()
{
    closeStep();
    flushDeletes();
    m_main.reset();
    m_form.reset();
    resetAppState();
}

void TestOptions::controlsAndCaptions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("page"); // objectName of the page holding it

    const auto row = [](const char* name, const char* text, const char* page) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(text) << QString::fromLatin1(page);
    };
    row("fraFrom", "From:", "Frame1_0");
    row("optYahoo", "Yahoo! Finance", "Frame1_0");
    row("optWallSt", "Wall Street City", "Frame1_0");
    row("optYahooChart", "Yahoo Chart", "Frame1_0");
    row("optTiingo", "Tiingo", "Frame1_0");
    row("fraFormat", "Format:", "Frame1_0");
    row("optASCII1", "ASCII 1 - Quicken Format", "Frame1_0");
    row("optASCII7", "ASCII 7 - MetaStock, AIQ, Etc.", "Frame1_0");
    row("optDIF7", "DIF 7 - Spreadsheet Format", "Frame1_0");
    row("optHEADER5", "HEADER 5 - SuperCharts", "Frame1_0");
    row("optHEADER7", "HEADER 7 - SuperCharts", "Frame1_0");
    row("optYYMMDD7", "YYMMDD7 - Invest 5", "Frame1_0");
    row("fraAutoDownload", "Automatic Download Settings:", "Frame1_1");
    row("fraAlerts", "Download Alerts:", "Frame1_1");
    row("optActiveAlerts", "Active Download Alerts", "Frame1_1");
    row("optPassiveLog", "Passive Log to File", "Frame1_1");
    row("chkDelExistFiles", "Delete Existing Files", "Frame1_1");
    row("chkDateStamp", "Date Stamp Filenames", "Frame1_1");
    row("lblFileExt", "File Extension:", "Frame1_1");
    row("chkConvertoMS", "Convert Files to MetaStock Format", "Frame1_1");
    row("chkAutoRun", "Launch Application:", "Frame1_1");
    row("lblADT", "Auto Download Time:", "Frame1_1");
    row("lblADTHint", "(hh:mm:ss AM/PM)", "Frame1_1");
    row("chkPlaySound", "Alert When Download Complete", "Frame1_1");
    row("txtFileExt", "", "Frame1_1");
    row("txtAppName", "", "Frame1_1");
    row("txtADT", "", "Frame1_1");
    row("fraTiingo", "Tiingo:", "fraSources");
    row("lblTiingoKey", "API Key:", "fraSources");
    row("chkShowKey", "Show", "fraSources");
    row("txtTiingoKey", "", "fraSources");
    row("fraAllSources", "All Sources:", "fraSources");
    row("lblParallelRequests", "Parallel Requests:", "fraSources");
    row("spnParallelRequests", "", "fraSources");
    row("chkUpdateExisting", "Update Existing Files", "fraSources");
}

void TestOptions::controlsAndCaptions()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, page);

    frmOptions& dlg = dialog();
    const QList<QWidget*> found = dlg.findChildren<QWidget*>(name);
    QCOMPARE(found.size(), 1);
    QWidget* w = found.first();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        QCOMPARE(g->title(), text);
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        QCOMPARE(b->text(), text);
    else if (auto* l = qobject_cast<QLabel*>(w))
        QCOMPARE(l->text(), text);
    else
        QVERIFY(qobject_cast<QLineEdit*>(w) || qobject_cast<QSpinBox*>(w));
    QWidget* pageWidget = dlg.findChild<QWidget*>(page);
    QVERIFY(pageWidget);
    QVERIFY(pageWidget->isAncestorOf(w));
}

void TestOptions::windowAndTabs()
{
    frmOptions& dlg = dialog();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Options"));
    QCOMPARE(dlg.parentWidget(), m_main.get());
    QVERIFY(!dlg.isVisible()); // loaded hidden
    // Closing is the only way out: no OK or Cancel.
    QVERIFY(dlg.findChildren<QPushButton*>().isEmpty());

    QCOMPARE(dlg.TabStrip1->objectName(), QStringLiteral("TabStrip1"));
    QCOMPARE(dlg.TabStrip1->count(), 3);
    QCOMPARE(dlg.TabStrip1->tabText(0), QStringLiteral("Data Source"));
    QCOMPARE(dlg.TabStrip1->tabToolTip(0), QStringLiteral("Data Source Options"));
    QCOMPARE(dlg.TabStrip1->tabText(1), QStringLiteral("Miscellaneous Settings"));
    QCOMPARE(dlg.TabStrip1->tabToolTip(1), QStringLiteral("Miscellaneous Settings Options"));
    QCOMPARE(dlg.TabStrip1->widget(0), dlg.Frame1[0]);
    QCOMPARE(dlg.TabStrip1->widget(1), dlg.Frame1[1]);
    QCOMPARE(dlg.TabStrip1->tabText(2), QStringLiteral("Sources"));
    QCOMPARE(dlg.TabStrip1->widget(2), dlg.fraSources);
    QCOMPARE(dlg.Frame1[0]->objectName(), QStringLiteral("Frame1_0"));
    QCOMPARE(dlg.Frame1[1]->objectName(), QStringLiteral("Frame1_1"));

    // Each group of option buttons is its own choice.
    QCOMPARE(dlg.sourceGroup->buttons().size(), 4);
    QCOMPARE(dlg.formatGroup->buttons().size(), 6);
    QCOMPARE(dlg.alertsGroup->buttons().size(), 2);
    for (QButtonGroup* g : {dlg.sourceGroup, dlg.formatGroup, dlg.alertsGroup})
        QVERIFY(g->exclusive());

    // 7032 x 4000 twips, or more when the controls need it; nothing clipped.
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(dlg.width() >= 469);
    QVERIFY(dlg.height() >= 267);
    QVERIFY(dlg.width() >= dlg.minimumSizeHint().width());
    QVERIFY(dlg.height() >= dlg.minimumSizeHint().height());
}

void TestOptions::dataSource_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("closed");

    QTest::newRow("empty") << "" << "optYahooChart" << "Yahoo Chart";
    QTest::newRow("Yahoo") << "Yahoo" << "optYahoo" << "Yahoo";
    QTest::newRow("Wall Street City") << "Wall Street City" << "optWallSt" << "Wall Street City";
    QTest::newRow("Yahoo Chart") << "Yahoo Chart" << "optYahooChart" << "Yahoo Chart";
    QTest::newRow("Tiingo") << "Tiingo" << "optTiingo" << "Tiingo";
    QTest::newRow("other case") << "yahoo" << "optWallSt" << "Wall Street City";
    QTest::newRow("blank before") << " Yahoo" << "optWallSt" << "Wall Street City";
    QTest::newRow("other case Tiingo") << "TIINGO" << "optWallSt" << "Wall Street City";
    QTest::newRow("blank after Yahoo Chart") << "Yahoo Chart " << "optWallSt" << "Wall Street City";
    QTest::newRow("anything else") << "Quotes Inc." << "optWallSt" << "Wall Street City";
}

void TestOptions::dataSource()
{
    QFETCH(QString, stored);
    QFETCH(QString, button);
    QFETCH(QString, closed);

    record().dataSource = stored;
    record().dataFormat = QStringLiteral("5");
    frmOptions& dlg = dialog();
    QCOMPARE(sourceButton(dlg), button);
    const bool wallSt = button == QLatin1String("optWallSt");
    for (QRadioButton* b : dlg.formatButtons())
        QCOMPARE(b->isEnabled(), wallSt);
    QCOMPARE(selectedFormat(dlg), QStringLiteral("optHEADER7"));

    closeStep();
    QCOMPARE(record().dataSource, closed);
    QCOMPARE(record().dataFormat, QStringLiteral("5"));
}

void TestOptions::chooseSource_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("closed");

    const QStringList starts{QStringLiteral("Wall Street City"), QStringLiteral("Tiingo"), QString()};
    const struct
    {
        const char* button;
        const char* closed;
    } choices[] = {{"optYahoo", "Yahoo"},
                   {"optWallSt", "Wall Street City"},
                   {"optYahooChart", "Yahoo Chart"},
                   {"optTiingo", "Tiingo"}};
    for (const QString& start : starts) {
        for (const auto& c : choices)
            QTest::addRow("%s from '%s'", c.button, qPrintable(start)) << start << c.button << c.closed;
    }
}

void TestOptions::chooseSource()
{
    QFETCH(QString, stored);
    QFETCH(QString, button);
    QFETCH(QString, closed);

    record().dataSource = stored;
    record().dataFormat = QStringLiteral("3");
    frmOptions& dlg = dialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto* b = dlg.findChild<QRadioButton*>(button);
    QVERIFY(b);
    clickButton(b);
    QCOMPARE(sourceButton(dlg), button);
    // The layouts are Wall Street City's alone; the choice among them stays.
    for (QRadioButton* f : dlg.formatButtons())
        QCOMPARE(f->isEnabled(), button == QLatin1String("optWallSt"));
    QCOMPARE(selectedFormat(dlg), QStringLiteral("optDIF7"));
    dlg.close();
    QCOMPARE(record().dataSource, closed);
    QCOMPARE(record().dataFormat, QStringLiteral("3"));
}

void TestOptions::dataFormat_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("button"); // empty: none selected

    QTest::newRow("4 ASCII 1") << "4" << "optASCII1";
    QTest::newRow("1 ASCII 7") << "1" << "optASCII7";
    QTest::newRow("3 DIF 7") << "3" << "optDIF7";
    QTest::newRow("6 HEADER 5") << "6" << "optHEADER5";
    QTest::newRow("5 HEADER 7") << "5" << "optHEADER7";
    QTest::newRow("7 YYMMDD7") << "7" << "optYYMMDD7";
    QTest::newRow("no code 2") << "2" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("two digits") << "55" << "";
    QTest::newRow("blank before") << " 5" << "";
    QTest::newRow("word") << "HEADER 7" << "";
}

void TestOptions::dataFormat()
{
    QFETCH(QString, stored);
    QFETCH(QString, button);

    // A format chosen in an earlier loading must not linger in a fresh one.
    record().dataSource = QStringLiteral("Wall Street City");
    record().dataFormat = QStringLiteral("7");
    dialog();
    closeStep();

    record().dataFormat = stored;
    frmOptions& dlg = dialog();
    QCOMPARE(selectedFormat(dlg), button);
    closeStep();
    // Shown or not, the value comes back unchanged when nothing was chosen.
    QCOMPARE(record().dataFormat, stored);
}

void TestOptions::chooseFormat_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("code");

    QTest::newRow("ASCII 1") << "optASCII1" << "4";
    QTest::newRow("ASCII 7") << "optASCII7" << "1";
    QTest::newRow("DIF 7") << "optDIF7" << "3";
    QTest::newRow("HEADER 5") << "optHEADER5" << "6";
    QTest::newRow("HEADER 7") << "optHEADER7" << "5";
    QTest::newRow("YYMMDD7") << "optYYMMDD7" << "7";
}

void TestOptions::chooseFormat()
{
    QFETCH(QString, button);
    QFETCH(QString, code);

    for (const QString& start : {QStringLiteral("2"), QStringLiteral("4"), QStringLiteral("7")}) {
        record().dataSource = QStringLiteral("Wall Street City");
        record().dataFormat = start;
        frmOptions& dlg = dialog();
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* b = dlg.findChild<QRadioButton*>(button);
        QVERIFY(b);
        clickButton(b);
        QCOMPARE(selectedFormat(dlg), button);
        QCOMPARE(frmOptions::formatCode(b), code);
        dlg.close();
        QCOMPARE(record().dataFormat, code);
        QCOMPARE(record().dataSource, QStringLiteral("Wall Street City"));
        flushDeletes();
    }
}

void TestOptions::yahooGreysFormatsAndKeepsChoice_data()
{
    chooseFormat_data();
}

void TestOptions::yahooGreysFormatsAndKeepsChoice()
{
    QFETCH(QString, button);
    QFETCH(QString, code);

    record().dataSource = QStringLiteral("Wall Street City");
    record().dataFormat = QStringLiteral("2");
    {
        frmOptions& dlg = dialog();
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* b = dlg.findChild<QRadioButton*>(button);
        clickButton(b);
        clickButton(dlg.optYahoo);
        QVERIFY(dlg.optYahoo->isChecked());
        for (QRadioButton* f : dlg.formatButtons())
            QVERIFY(!f->isEnabled());
        QVERIFY(b->isChecked());
        // A greyed format cannot be changed by clicking it.
        QRadioButton* other = b == dlg.optASCII1 ? dlg.optDIF7 : dlg.optASCII1;
        clickButton(other);
        QVERIFY(b->isChecked());
        QVERIFY(!other->isChecked());
        dlg.close();
    }
    QCOMPARE(record().dataSource, QStringLiteral("Yahoo"));
    QCOMPARE(record().dataFormat, code);
    flushDeletes();

    // Next time Yahoo! Finance shows the kept format greyed; back to Wall
    // Street City it is selectable again and still chosen.
    frmOptions& dlg = dialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(dlg.optYahoo->isChecked());
    QCOMPARE(selectedFormat(dlg), button);
    for (QRadioButton* f : dlg.formatButtons())
        QVERIFY(!f->isEnabled());
    clickButton(dlg.optWallSt);
    for (QRadioButton* f : dlg.formatButtons())
        QVERIFY(f->isEnabled());
    QCOMPARE(selectedFormat(dlg), button);
    dlg.close();
    QCOMPARE(record().dataSource, QStringLiteral("Wall Street City"));
    QCOMPARE(record().dataFormat, code);
}

void TestOptions::alerts_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("activeShown");
    QTest::addColumn<QString>("click"); // button clicked before closing, or empty
    QTest::addColumn<int>("closed");

    QTest::newRow("-1 active") << -1 << true << "" << -1;
    QTest::newRow("0 passive") << 0 << false << "" << 0;
    QTest::newRow("1 shown passive") << 1 << false << "" << 0;
    QTest::newRow("2 shown passive") << 2 << false << "" << 0;
    QTest::newRow("-2 shown passive") << -2 << false << "" << 0;
    QTest::newRow("choose active") << 0 << false << "optActiveAlerts" << -1;
    QTest::newRow("choose passive") << -1 << true << "optPassiveLog" << 0;
}

void TestOptions::alerts()
{
    QFETCH(int, stored);
    QFETCH(bool, activeShown);
    QFETCH(QString, click);
    QFETCH(int, closed);

    record().activeAlerts = AlertFlag::loaded(qint16(stored));
    frmOptions& dlg = dialog();
    QCOMPARE(dlg.optActiveAlerts->isChecked(), activeShown);
    QCOMPARE(dlg.optPassiveLog->isChecked(), !activeShown);
    if (!click.isEmpty()) {
        dlg.show();
        dlg.TabStrip1->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        clickButton(dlg.findChild<QRadioButton*>(click));
        QCOMPARE(dlg.optActiveAlerts->isChecked(), closed == -1);
        QCOMPARE(dlg.optPassiveLog->isChecked(), closed == 0);
    }
    closeStep();
    QCOMPARE(int(record().activeAlerts.stored()), closed);
}

void TestOptions::checkBoxes_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("box");
    QTest::addColumn<double>("stored");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<bool>("click");
    QTest::addColumn<double>("closed");

    const QList<QPair<const char*, const char*>> boxes = {{"Delete Existing Files", "chkDelExistFiles"},
                                                          {"Date Stamp", "chkDateStamp"},
                                                          {"Auto Start App", "chkAutoRun"},
                                                          {"Convert to MS", "chkConvertoMS"}};
    for (const auto& [field, box] : boxes) {
        const auto row = [&](const char* what, double stored, bool ticked, bool click, double closed) {
            QTest::addRow("%s: %s", box, what)
                << QString::fromLatin1(field) << QString::fromLatin1(box) << stored << ticked << click << closed;
        };
        row("0 clear", 0, false, false, 0);
        row("1 ticked", 1, true, false, 1);
        // The program only counts exactly 1 as on; other values show what
        // the program does with them and close as plain 0.
        row("-1 clear", -1, false, false, 0);
        row("2 clear", 2, false, false, 0);
        row("tick", 0, false, true, 1);
        row("untick", 1, true, true, 0);
    }
}

void TestOptions::checkBoxes()
{
    QFETCH(QString, field);
    QFETCH(QString, box);
    QFETCH(double, stored);
    QFETCH(bool, ticked);
    QFETCH(bool, click);
    QFETCH(double, closed);

    setFlag(field, stored);
    frmOptions& dlg = dialog();
    auto* check = dlg.findChild<QCheckBox*>(box);
    QVERIFY(check);
    QCOMPARE(check->isChecked(), ticked);
    QCOMPARE(check->checkState(), ticked ? Qt::Checked : Qt::Unchecked);
    if (click) {
        dlg.show();
        dlg.TabStrip1->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        clickButton(check);
        QCOMPARE(check->isChecked(), !ticked);
        // Only "Play Sound" is written before the dialog closes.
        QCOMPARE(flagValue(field), stored);
    }
    closeStep();
    QCOMPARE(flagValue(field), closed);
}

void TestOptions::fileExtension_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("closed");

    QTest::newRow(".csv kept") << ".csv" << ".csv" << false << "" << ".csv";
    QTest::newRow(".txt kept") << ".txt" << ".txt" << false << "" << ".txt";
    QTest::newRow("empty shows .csv") << "" << ".csv" << false << "" << ".csv";
    QTest::newRow("emptied stores .csv") << ".prn" << ".prn" << true << "" << ".csv";
    QTest::newRow("odd text as typed") << "" << ".csv" << true << "dat x" << "dat x";
}

void TestOptions::fileExtension()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(bool, edit);
    QFETCH(QString, typed);
    QFETCH(QString, closed);

    record().fileExtension = stored;
    frmOptions& dlg = dialog();
    QCOMPARE(dlg.txtFileExt->text(), shown);
    if (edit) {
        dlg.show();
        dlg.TabStrip1->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.txtFileExt->setFocus();
        dlg.txtFileExt->selectAll();
        QTest::keyClick(dlg.txtFileExt, Qt::Key_Delete);
        QTest::keyClicks(dlg.txtFileExt, typed);
    }
    closeStep();
    QCOMPARE(record().fileExtension, closed);
}

void TestOptions::emptiedExtensionComesBackAsCsv()
{
    record().fileExtension = QStringLiteral(".txt");
    dialog().txtFileExt->clear();
    closeStep();
    QCOMPARE(record().fileExtension, QStringLiteral(".csv"));

    QCOMPARE(dialog().txtFileExt->text(), QStringLiteral(".csv"));
    closeStep();
    QCOMPARE(record().fileExtension, QStringLiteral(".csv"));
}

void TestOptions::textFields_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("closed");

    QTest::newRow("ADT kept") << "txtADT" << "9:30:00 PM" << false << "" << "9:30:00 PM";
    QTest::newRow("ADT empty") << "txtADT" << "" << false << "" << "";
    QTest::newRow("ADT not a time: stored one kept") << "txtADT" << "9:30:00 PM" << true << "25:99 XM"
                                                     << "9:30:00 PM";
    QTest::newRow("ADT in the clock's form") << "txtADT" << "" << true << "09:05:00 pm" << "9:05:00 PM";
    QTest::newRow("ADT cleared") << "txtADT" << "9:30:00 PM" << true << "" << "";
    QTest::newRow("App Name kept") << "txtAppName" << "\"/opt/My Charts/charts\" --open" << false << ""
                                   << "\"/opt/My Charts/charts\" --open";
    QTest::newRow("App Name missing file") << "txtAppName" << "" << true << "/no/such/program"
                                           << "/no/such/program";
    QTest::newRow("App Name cleared") << "txtAppName" << "/usr/bin/true" << true << "" << "";
}

void TestOptions::textFields()
{
    QFETCH(QString, box);
    QFETCH(QString, stored);
    QFETCH(bool, edit);
    QFETCH(QString, typed);
    QFETCH(QString, closed);

    const bool adt = box == QLatin1String("txtADT");
    (adt ? record().adt : record().appName) = stored;
    record().autoStartApp = true; // the path box is editable
    frmOptions& dlg = dialog();
    auto* text = dlg.findChild<QLineEdit*>(box);
    QCOMPARE(text->text(), stored);
    if (edit) {
        dlg.show();
        dlg.TabStrip1->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        text->setFocus();
        text->selectAll();
        QTest::keyClick(text, Qt::Key_Delete);
        QTest::keyClicks(text, typed);
    }
    closeStep();
    QCOMPARE(adt ? record().adt : record().appName, closed);
}

void TestOptions::adtNotATimeKeepsTheDialogOpen()
{
    record().adt = QStringLiteral("6:00:00 AM");
    frmOptions& dlg = dialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(dlg.lblADTError->isHidden());
    dlg.TabStrip1->setCurrentIndex(1);
    dlg.txtADT->setFocus();
    dlg.txtADT->selectAll();
    QTest::keyClicks(dlg.txtADT, QStringLiteral("99:99:99 XM"));
    QVERIFY(dlg.lblADTError->isVisible());
    QCOMPARE(dlg.lblADTError->text(), QStringLiteral("\"XM\" is neither AM nor PM."));

    // Closed from another page: it stays open on the field and its reason.
    dlg.TabStrip1->setCurrentIndex(0);
    QVERIFY(!dlg.close());
    QVERIFY(dlg.isVisible());
    QVERIFY(!dlg.isFinished());
    QCOMPARE(dlg.TabStrip1->currentWidget(), dlg.Frame1[1]);
    QCOMPARE(dlg.focusWidget(), dlg.txtADT);
    QCOMPARE(dlg.txtADT->selectedText(), QStringLiteral("99:99:99 XM"));
    QCOMPARE(record().adt, QStringLiteral("6:00:00 AM"));

    QTest::keyClicks(dlg.txtADT, QStringLiteral("21:15"));
    QVERIFY(dlg.lblADTError->isHidden());
    QVERIFY(dlg.close());
    QVERIFY(dlg.isFinished());
    QCOMPARE(record().adt, QStringLiteral("9:15:00 PM"));
}

void TestOptions::autoRunGreysAppName_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("click");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("closed");

    QTest::newRow("on: editable") << 1 << false << true << 1;
    QTest::newRow("off: greyed") << 0 << false << false << 0;
    QTest::newRow("cleared: greyed, text kept") << 1 << true << false << 0;
    QTest::newRow("ticked: editable") << 0 << true << true << 1;
}

void TestOptions::autoRunGreysAppName()
{
    QFETCH(int, stored);
    QFETCH(bool, click);
    QFETCH(bool, enabled);
    QFETCH(int, closed);

    const QString path = QStringLiteral("/opt/charts/run --fast");
    record().autoStartApp = Flag::loaded(qint16(stored));
    record().appName = path;
    frmOptions& dlg = dialog();
    if (click) {
        dlg.show();
        dlg.TabStrip1->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        clickButton(dlg.chkAutoRun);
    }
    QCOMPARE(dlg.txtAppName->isEnabled(), enabled);
    QCOMPARE(dlg.txtAppName->text(), path);
    closeStep();
    QCOMPARE(int(record().autoStartApp.stored()), closed);
    QCOMPARE(record().appName, path);
}

void TestOptions::playSoundWrittenOnEachClick_data()
{
    QTest::addColumn<double>("stored");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("how");

    for (const char* how : {"mouse", "space key"}) {
        QTest::addRow("0, %s", how) << 0.0 << false << QString::fromLatin1(how);
        QTest::addRow("1, %s", how) << 1.0 << true << QString::fromLatin1(how);
        QTest::addRow("2 shown clear, %s", how) << 2.0 << false << QString::fromLatin1(how);
    }
}

void TestOptions::playSoundWrittenOnEachClick()
{
    QFETCH(double, stored);
    QFETCH(bool, ticked);
    QFETCH(QString, how);

    record().playSound = NumberFlag::loaded(stored);
    frmOptions& dlg = dialog();
    QCOMPARE(dlg.chkPlaySound->isChecked(), ticked);
    QCOMPARE(record().playSound, stored); // loading writes nothing
    dlg.show();
    dlg.TabStrip1->setCurrentIndex(1);
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    const auto press = [&] {
        if (how == QLatin1String("mouse")) {
            clickButton(dlg.chkPlaySound);
        } else {
            dlg.chkPlaySound->setFocus();
            QTest::keyClick(dlg.chkPlaySound, Qt::Key_Space);
        }
    };
    press();
    QCOMPARE(dlg.chkPlaySound->isChecked(), !ticked);
    QCOMPARE(record().playSound, ticked ? 0.0 : 1.0);
    press();
    QCOMPARE(record().playSound, ticked ? 1.0 : 0.0);
    press();
    QCOMPARE(record().playSound, ticked ? 0.0 : 1.0);

    // The close step leaves it alone.
    record().playSound = NumberFlag::loaded(7);
    dlg.close();
    QCOMPARE(record().playSound, 7.0);
}

void TestOptions::tabSwitchShowsOnePage()
{
    frmOptions& dlg = dialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTabBar* bar = dlg.TabStrip1->tabBar();
    QWidget* page0 = dlg.Frame1[0];
    QWidget* page1 = dlg.Frame1[1];
    QVERIFY(page0->isVisible());
    QVERIFY(!page1->isVisible());

    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    QCOMPARE(dlg.TabStrip1->currentIndex(), 1);
    QVERIFY(!page0->isVisible());
    QVERIFY(page1->isVisible());
    QVERIFY(dlg.chkPlaySound->isVisible());
    QVERIFY(!dlg.optYahoo->isVisible());

    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    QCOMPARE(dlg.TabStrip1->currentIndex(), 0);
    QVERIFY(page0->isVisible());
    QVERIFY(!page1->isVisible());

    // Every loading starts on the "Data Source" page.
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    dlg.close();
    flushDeletes();
    QCOMPARE(dialog().TabStrip1->currentIndex(), 0);
}

void TestOptions::keyPageShowsWhereKeyIsKept_data()
{
    QTest::addColumn<QString>("env");
    QTest::addColumn<QString>("inFile");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QStringList>("note"); // parts of the storage line

    QTest::newRow("settings file") << "" << "filekey42" << "filekey42" << false
                                   << QStringList{"settings file", "readable by you only", "no secret store answered"};
    QTest::newRow("nothing stored") << "" << "" << "" << false
                                    << QStringList{"No key is stored", "settings file", "readable by you only"};
    QTest::newRow("environment overrides") << "envkey7" << "filekey42" << "envkey7" << true
                                           << QStringList{"KESTRION_TIINGO_TOKEN", "overrides"};
}

void TestOptions::keyPageShowsWhereKeyIsKept()
{
    QFETCH(QString, env);
    QFETCH(QString, inFile);
    QFETCH(QString, shown);
    QFETCH(bool, readOnly);
    QFETCH(QStringList, note);

    m_config.set(QStringLiteral("Sources"), QStringLiteral("Tiingo API Key"), inFile);
    if (!env.isEmpty())
        qputenv("KESTRION_TIINGO_TOKEN", env.toUtf8());
    const auto restore = qScopeGuard([] { qunsetenv("KESTRION_TIINGO_TOKEN"); });

    frmOptions& dlg = dialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.TabStrip1->setCurrentWidget(dlg.fraSources);
    QTRY_VERIFY(dlg.txtTiingoKey->isEnabled());
    QCOMPARE(dlg.txtTiingoKey->text(), shown);
    QCOMPARE(dlg.txtTiingoKey->echoMode(), QLineEdit::Password);
    QCOMPARE(dlg.txtTiingoKey->isReadOnly(), readOnly);
    for (const QString& part : note)
        QVERIFY2(dlg.lblKeyStorage->text().contains(part), qPrintable(dlg.lblKeyStorage->text()));
    // Where it is kept, never the key itself.
    if (!shown.isEmpty())
        QVERIFY(!dlg.lblKeyStorage->text().contains(shown));
    QVERIFY(dlg.lblKeyHelp->text().contains(QStringLiteral("https://www.tiingo.com")));
    dlg.close();
    QCOMPARE(storedKey(m_config.settingsFile()).toString(), inFile);
}

void TestOptions::sourcesPageLinesFit_data()
{
    QTest::addColumn<QString>("env");
    QTest::addColumn<QString>("inFile");
    QTest::newRow("settings file") << "" << "filekey42";
    QTest::newRow("nothing stored") << "" << "";
    QTest::newRow("environment") << "envkey7" << "";
}

void TestOptions::sourcesPageLinesFit()
{
    QFETCH(QString, env);
    QFETCH(QString, inFile);
    m_config.set(QStringLiteral("Sources"), QStringLiteral("Tiingo API Key"), inFile);
    if (!env.isEmpty())
        qputenv("KESTRION_TIINGO_TOKEN", env.toUtf8());
    const auto restore = qScopeGuard([] { qunsetenv("KESTRION_TIINGO_TOKEN"); });

    frmOptions& dlg = dialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.TabStrip1->setCurrentWidget(dlg.fraSources);
    QTRY_VERIFY(dlg.txtTiingoKey->isEnabled());
    QTest::qWait(50); // the layout settles after the storage line changed
    // Each group's lines keep to their own room: none overlaps another, and
    // each is inside its group and tall enough for its wrapped text.
    for (QGroupBox* box : {dlg.fraTiingo, dlg.fraAllSources}) {
        QVERIFY2(dlg.fraSources->rect().contains(box->geometry()), qPrintable(box->objectName()));
        QList<QWidget*> lines;
        for (QWidget* w : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (w->isVisible())
                lines << w;
        }
        for (QWidget* w : lines) {
            QVERIFY2(box->contentsRect().contains(w->geometry()), qPrintable(w->objectName()));
            if (auto* l = qobject_cast<QLabel*>(w); l && l->wordWrap() && !l->text().isEmpty())
                QVERIFY2(l->height() >= l->heightForWidth(l->width()), qPrintable(l->objectName()));
            for (QWidget* other : lines) {
                if (other != w)
                    QVERIFY2(!w->geometry().intersects(other->geometry()),
                             qPrintable(w->objectName() + QStringLiteral(" / ") + other->objectName()));
            }
        }
    }
}

void TestOptions::showKeyToggle()
{
    frmOptions& dlg = dialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.TabStrip1->setCurrentWidget(dlg.fraSources);
    QTRY_VERIFY(dlg.txtTiingoKey->isEnabled());
    QVERIFY(!dlg.chkShowKey->isChecked());
    QCOMPARE(dlg.txtTiingoKey->echoMode(), QLineEdit::Password);
    clickButton(dlg.chkShowKey);
    QCOMPARE(dlg.txtTiingoKey->echoMode(), QLineEdit::Normal);
    clickButton(dlg.chkShowKey);
    QCOMPARE(dlg.txtTiingoKey->echoMode(), QLineEdit::Password);
}

void TestOptions::keyUnreadIsLeftAlone()
{
    // The hidden dialog the main window loads never reads the key, and its
    // empty field must not clear the stored one at close.
    m_config.set(QStringLiteral("Sources"), QStringLiteral("Tiingo API Key"), QStringLiteral("keepme"));
    frmOptions& dlg = dialog();
    QVERIFY(!dlg.txtTiingoKey->isEnabled());
    QCOMPARE(dlg.txtTiingoKey->text(), QString());
    closeStep();
    QTest::qWait(300);
    QCOMPARE(storedKey(m_config.settingsFile()).toString(), QStringLiteral("keepme"));
}

void TestOptions::keyWrittenAtCloseOnlyWhenChanged_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after"); // empty: no value in the file

    QTest::newRow("new key") << "" << true << "tok123" << "tok123";
    QTest::newRow("replaced, blanks trimmed") << "old1" << true << " tok456 " << "tok456";
    QTest::newRow("cleared") << "old1" << true << "" << "";
    QTest::newRow("untouched") << "old1" << false << "" << "old1";
}

void TestOptions::keyWrittenAtCloseOnlyWhenChanged()
{
    QFETCH(QString, before);
    QFETCH(bool, edit);
    QFETCH(QString, typed);
    QFETCH(QString, after);

    const QString file = m_config.settingsFile();
    m_config.set(QStringLiteral("Sources"), QStringLiteral("Tiingo API Key"), before);
    // Widened behind the program's back: only a write narrows it again.
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));

    frmOptions& dlg = dialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.TabStrip1->setCurrentWidget(dlg.fraSources);
    QTRY_VERIFY(dlg.txtTiingoKey->isEnabled());
    QCOMPARE(dlg.txtTiingoKey->text(), before);
    if (edit) {
        dlg.txtTiingoKey->setFocus();
        dlg.txtTiingoKey->selectAll();
        QTest::keyClick(dlg.txtTiingoKey, Qt::Key_Delete);
        QTest::keyClicks(dlg.txtTiingoKey, typed);
    }
    dlg.close();
    flushDeletes();

    if (edit) {
        QTRY_COMPARE(storedKey(file).toString(), after);
        QCOMPARE(storedKey(file).isValid(), !after.isEmpty());
        if (!after.isEmpty())
            QCOMPARE(QFile::permissions(file)
                         & (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                            | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                            | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther),
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    } else {
        QTest::qWait(300);
        QCOMPARE(storedKey(file).toString(), before);
        QVERIFY(QFile::permissions(file) & QFileDevice::ReadGroup);
    }
    QCOMPARE(test::readStoredKey(3000).key, after);
}

void TestOptions::firstRunStoresYahooChartAndCsv_data()
{
    QTest::addColumn<bool>("throughDialog");
    QTest::newRow("form alone, as the main window loads it") << false;
    QTest::newRow("through the dialog") << true;
}

void TestOptions::firstRunStoresYahooChartAndCsv()
{
    QFETCH(bool, throughDialog);

    // What a first run holds before anything was chosen.
    QVERIFY(record().dataSource.isEmpty());
    QVERIFY(record().fileExtension.isEmpty());
    record().dataFormat = QStringLiteral("5");

    if (throughDialog) {
        frmOptions& dlg = dialog();
        QVERIFY(form().isLoaded());
        QVERIFY(!dlg.isVisible());
        QVERIFY(dlg.optYahooChart->isChecked());
        QCOMPARE(dlg.txtFileExt->text(), QStringLiteral(".csv"));
        QVERIFY(!dlg.txtAppName->isEnabled());
    } else {
        QVERIFY(!form().isLoaded());
        QCOMPARE(form().adt(), QString());
        QVERIFY(form().isLoaded());
        QCOMPARE(form().values().source, kSourceYahooChart);
        QCOMPARE(form().values().fileExtension, QStringLiteral(".csv"));
    }
    closeStep();
    QVERIFY(!form().isLoaded());

    const Settings& s = record();
    QCOMPARE(s.dataSource, QStringLiteral("Yahoo Chart"));
    QCOMPARE(s.fileExtension, QStringLiteral(".csv"));
    QCOMPARE(s.dataFormat, QStringLiteral("5"));
    QCOMPARE(s.activeAlerts, qint16(0));
    QCOMPARE(s.deleteExistingFiles, qint16(0));
    QCOMPARE(s.dateStamp, qint16(0));
    QCOMPARE(s.autoStartApp, qint16(0));
    QCOMPARE(s.convertToMS, 0.0);
    QCOMPARE(s.playSound, 0.0);
    QCOMPARE(s.appName, QString());
    QCOMPARE(s.adt, QString());
    QCOMPARE(s.parallelRequests, 0);
    QCOMPARE(s.updateExistingFiles, false);
}

void TestOptions::loadRunsOncePerLoading()
{
    record().adt = QStringLiteral("8:00:00 AM");
    QCOMPARE(form().adt(), QStringLiteral("8:00:00 AM"));
    form().values().adt = QStringLiteral("edited");

    // Later touches neither reload nor lose the edits.
    record().adt = QStringLiteral("changed behind its back");
    QCOMPARE(form().adt(), QStringLiteral("edited"));
    // A dialog opened now shows the form, not the record.
    QCOMPARE(dialog().txtADT->text(), QStringLiteral("edited"));

    closeStep();
    QCOMPARE(record().adt, QStringLiteral("edited"));
    record().adt = QStringLiteral("9:00:00 AM");
    QCOMPARE(form().adt(), QStringLiteral("9:00:00 AM"));
    QCOMPARE(dialog().txtADT->text(), QStringLiteral("9:00:00 AM"));
}

void TestOptions::reloadTakesTheRecordWithoutClosing()
{
    // Not loaded: a reload loads nothing.
    form().reload();
    QVERIFY(!form().isLoaded());

    record().adt = QStringLiteral("old");
    record().dataSource = QStringLiteral("odd");
    QCOMPARE(form().adt(), QStringLiteral("old"));
    form().values().adt = QStringLiteral("edited, never closed");
    record().adt = QStringLiteral("newer");
    form().reload();
    // The record kept its odd source: no close step ran.
    QCOMPARE(record().dataSource, QStringLiteral("odd"));
    QVERIFY(form().isLoaded());
    QCOMPARE(form().adt(), QStringLiteral("newer"));
    closeStep();
    QCOMPARE(record().adt, QStringLiteral("newer"));
    QCOMPARE(record().dataSource, QStringLiteral("Wall Street City"));
}

void TestOptions::activationReloadsOnlyAChangedRecord_data()
{
    QTest::addColumn<bool>("recordChanged");
    QTest::newRow("record as loaded: the form keeps its values") << false;
    QTest::newRow("record changed: the form loads it") << true;
}

void TestOptions::activationReloadsOnlyAChangedRecord()
{
    QFETCH(bool, recordChanged);
    SingleWindows windows(m_main.get(), record());
    // Not loaded: nothing is loaded.
    windows.reloadHiddenOptions();
    QVERIFY(!windows.options().isLoaded());

    record().adt = QStringLiteral("8:00:00 AM");
    QCOMPARE(windows.options().adt(), QStringLiteral("8:00:00 AM"));
    windows.options().values().appName = QStringLiteral("kept");
    if (recordChanged)
        record().adt = QStringLiteral("9:00:00 AM");
    windows.reloadHiddenOptions();
    QCOMPARE(windows.options().adt(), recordChanged ? QStringLiteral("9:00:00 AM") : QStringLiteral("8:00:00 AM"));
    QCOMPARE(windows.options().values().appName, recordChanged ? record().appName : QStringLiteral("kept"));
    // The form's own "Play Sound" write is no change of the record.
    windows.options().setPlaySound(true);
    windows.options().values().appName = QStringLiteral("kept again");
    windows.reloadHiddenOptions();
    QCOMPARE(windows.options().values().appName, QStringLiteral("kept again"));
}

void TestOptions::everyButtonHasItsEntry()
{
    // Each "From:" button stands for one registry entry and shows it.
    frmOptions& dlg = dialog();
    QSet<QString> stored;
    for (QAbstractButton* b : dlg.sourceGroup->buttons()) {
        const QuoteSourceEntry* entry = quoteSourceEntryForButton(b->objectName());
        QVERIFY2(entry, qPrintable(b->objectName()));
        stored.insert(entry->storedText);
    }
    QCOMPARE(stored.size(), int(quoteSourceEntries().size()));
}

void TestOptions::closeWays_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("close box") << "close box";
    QTest::newRow("Esc") << "Esc";
    QTest::newRow("reject") << "reject";
    QTest::newRow("accept") << "accept";
    QTest::newRow("close step while hidden") << "close step while hidden";
    QTest::newRow("close step while shown") << "close step while shown";
}

void TestOptions::closeWays()
{
    QFETCH(QString, way);

    record().dataSource = QStringLiteral("Yahoo");
    record().adt = QStringLiteral("6:00:00 AM");
    QPointer<frmOptions> dlg = &dialog();
    dlg->optWallSt->setChecked(true);
    dlg->txtADT->setText(QStringLiteral("7:00:00 PM"));
    const bool shown = !way.contains(QLatin1String("hidden"));
    if (shown) {
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
    }

    if (way == QLatin1String("close box"))
        dlg->close();
    else if (way == QLatin1String("Esc"))
        QTest::keyClick(dlg, Qt::Key_Escape);
    else if (way == QLatin1String("reject"))
        dlg->reject();
    else if (way == QLatin1String("accept"))
        dlg->accept();
    else
        closeStep();

    QVERIFY(dlg->isFinished());
    QVERIFY(!dlg->isVisible());
    QVERIFY(!form().isLoaded());
    QCOMPARE(record().dataSource, QStringLiteral("Wall Street City"));
    QCOMPARE(record().adt, QStringLiteral("7:00:00 PM"));
    // A second close applies nothing more.
    record().adt = QStringLiteral("after the close");
    dlg->finish();
    dlg->close();
    QVERIFY(!form().isLoaded());
    QCOMPARE(record().adt, QStringLiteral("after the close"));

    // Closed is unloaded: the next touch loads afresh from the record, and
    // the next close step applies those fresh values.
    record().adt = QStringLiteral("again");
    QCOMPARE(dialog().txtADT->text(), QStringLiteral("again"));
    QVERIFY(dialog().optWallSt->isChecked());
    record().adt = QStringLiteral("later");
    closeStep();
    QCOMPARE(record().adt, QStringLiteral("again"));
}

void TestOptions::modalShow_data()
{
    QTest::addColumn<bool>("loadedBefore"); // the form loaded and edited before the show
    QTest::newRow("not loaded") << false;
    QTest::newRow("loaded hidden") << true;
}

void TestOptions::modalShow()
{
    QFETCH(bool, loadedBefore);

    SingleWindows windows(m_main.get(), record());
    record().dataSource = QStringLiteral("Wall Street City");
    record().dataFormat = QStringLiteral("5");
    record().adt = QStringLiteral("8:00:00 AM");
    record().autoStartApp = true;
    record().appName = QStringLiteral("/opt/a");
    if (loadedBefore)
        windows.options().setAppName(QStringLiteral("/opt/edited"));
    const QString expectedApp = loadedBefore ? QStringLiteral("/opt/edited") : QStringLiteral("/opt/a");
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));

    bool seen = false;
    bool secondShowKeptOne = false;
    test::whenModal<frmOptions>([&](frmOptions& shown) {
        frmOptions* dlg = &shown;
        seen = dlg->isVisible() && dlg->parentWidget() == m_main.get() && dlg->isModal()
            && dlg->txtADT->text() == QLatin1String("8:00:00 AM") && dlg->txtAppName->text() == expectedApp
            && windows.options().isLoaded() && windows.optionsDialog() == dlg;
        // Asked again while open: the same dialog comes forward.
        windows.showOptions();
        secondShowKeptOne = m_main->findChildren<frmOptions*>().size() == 1 && windows.optionsDialog() == dlg;
        dlg->optHEADER5->click();
        dlg->txtADT->setText(QStringLiteral("8:15:00 PM"));
        QTest::keyClick(dlg, Qt::Key_Escape);
    });
    windows.showOptions();
    QVERIFY(seen);
    QVERIFY(secondShowKeptOne);

    QVERIFY(!windows.options().isLoaded());
    QCOMPARE(windows.optionsDialog(), nullptr);
    QCOMPARE(record().dataFormat, QStringLiteral("6"));
    QCOMPARE(record().adt, QStringLiteral("8:15:00 PM"));
    QCOMPARE(record().appName, expectedApp);
    QCOMPARE(test::modalWindow(), nullptr);
    flushDeletes();
    QVERIFY(m_main->findChildren<frmOptions*>().isEmpty());

    // The main window's next activation loads the form from the record.
    QCOMPARE(windows.options().adt(), QStringLiteral("8:15:00 PM"));
}

void TestOptions::closeDuringModalShow_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("a time") << "9:45:00 PM" << "9:45:00 PM";
    // Not a time: the end is not held up, and the stored time stays.
    QTest::newRow("not a time") << "99:99:99 XM" << "8:00:00 AM";
}

void TestOptions::closeDuringModalShow()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    // Shutdown can come while the dialog is up (the session ends): it still
    // applies, and the modal show ends cleanly.
    SingleWindows windows(m_main.get(), record());
    record().adt = QStringLiteral("8:00:00 AM");
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    bool wasModal = false;
    test::whenModal<frmOptions>([&](frmOptions& dlg) {
        wasModal = true;
        dlg.txtADT->setText(typed);
        windows.closeOptions();
    });
    windows.showOptions();
    QVERIFY(wasModal);
    QVERIFY(!windows.options().isLoaded());
    QCOMPARE(record().adt, stored);
    QCOMPARE(test::modalWindow(), nullptr);
    flushDeletes();
    QVERIFY(m_main->findChildren<frmOptions*>().isEmpty());
}

void TestOptions::closeStepWhenNotLoadedChangesNothing()
{
    record().dataSource = QStringLiteral("odd");
    record().fileExtension = QString();
    QVERIFY(!form().isLoaded());
    closeStep();
    QCOMPARE(record().dataSource, QStringLiteral("odd"));
    QCOMPARE(record().fileExtension, QString());
}

void TestOptions::mainWindowGoneLeavesTheFormUsable()
{
    record().adt = QStringLiteral("stored");
    QPointer<frmOptions> dlg = &dialog();
    dlg->txtADT->setText(QStringLiteral("typed, never closed"));
    m_main.reset();
    QVERIFY(dlg.isNull());
    // Gone without a close: the form keeps what it loaded, and no crash.
    QVERIFY(form().isLoaded());
    closeStep();
    QCOMPARE(record().adt, QStringLiteral("stored"));
    QVERIFY(form().values().source == kSourceYahooChart);
}

void TestOptions::parallelRequests_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("source"); // "Data Source" at load
    QTest::addColumn<QStringList>("keys"); // pressed in the spin box, in order
    QTest::addColumn<QString>("click"); // source button clicked afterwards, or empty
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("closed");

    const QStringList none;
    QTest::newRow("unset: 4") << 0 << "Yahoo Chart" << none << "" << 4 << 0;
    QTest::newRow("unset, nothing chosen yet: 4") << 0 << "" << none << "" << 4 << 0;
    QTest::newRow("unset, Tiingo: 1") << 0 << "Tiingo" << none << "" << 1 << 0;
    QTest::newRow("unset, switched to Tiingo: 1, still unset") << 0 << "Yahoo Chart" << none << "optTiingo" << 1 << 0;
    QTest::newRow("unset, switched away from Tiingo: 4") << 0 << "Tiingo" << none << "optWallSt" << 4 << 0;
    QTest::newRow("stored 6 on Tiingo") << 6 << "Tiingo" << none << "" << 6 << 6;
    QTest::newRow("stored 2 kept through a switch") << 2 << "Yahoo Chart" << none << "optTiingo" << 2 << 2;
    QTest::newRow("user steps down: stored") << 0 << "Yahoo Chart" << QStringList{"Down"} << "" << 3 << 3;
    QTest::newRow("user's number survives a switch") << 0 << "Yahoo Chart" << QStringList{"Up"} << "optTiingo" << 5 << 5;
    QTest::newRow("user steps back to the default: stored")
        << 0 << "Yahoo Chart" << QStringList{"Up", "Down"} << "optTiingo" << 4 << 4;
    QTest::newRow("at most 8") << 8 << "Yahoo" << QStringList{"Up"} << "" << 8 << 8;
    QTest::newRow("at least 1") << 0 << "Tiingo" << QStringList{"Down"} << "" << 1 << 0;
}

void TestOptions::parallelRequests()
{
    QFETCH(int, stored);
    QFETCH(QString, source);
    QFETCH(QStringList, keys);
    QFETCH(QString, click);
    QFETCH(int, shown);
    QFETCH(int, closed);

    record().parallelRequests = stored;
    record().dataSource = source;
    frmOptions& dlg = dialog();
    QCOMPARE(dlg.spnParallelRequests->minimum(), 1);
    QCOMPARE(dlg.spnParallelRequests->maximum(), 8);
    QCOMPARE(dlg.lblParallelRequests->buddy(), dlg.spnParallelRequests);
    QVERIFY(dlg.fraSources->isAncestorOf(dlg.spnParallelRequests));
    QVERIFY2(dlg.lblParallelNote->text().contains(QStringLiteral("Tiingo: 1")), qPrintable(dlg.lblParallelNote->text()));
    QVERIFY(dlg.lblParallelNote->text().contains(QStringLiteral("per hour")));
    dlg.show();
    dlg.TabStrip1->setCurrentWidget(dlg.fraSources);
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    for (const QString& key : keys)
        QTest::keyClick(dlg.spnParallelRequests, key == QLatin1String("Up") ? Qt::Key_Up : Qt::Key_Down);
    if (!click.isEmpty()) {
        dlg.TabStrip1->setCurrentIndex(0);
        clickButton(dlg.findChild<QRadioButton*>(click));
        QCOMPARE(sourceButton(dlg), click);
    }
    QCOMPARE(dlg.spnParallelRequests->value(), shown);
    // Nothing is stored before the close.
    QCOMPARE(record().parallelRequests, stored);
    dlg.close();
    QCOMPARE(record().parallelRequests, closed);
    QCOMPARE(effectiveParallelRequests(record()), shown);
}

void TestOptions::deleteAndUpdateExcludeEachOther_data()
{
    QTest::addColumn<int>("storedDelete");
    QTest::addColumn<bool>("storedUpdate");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<bool>("deleteShown");
    QTest::addColumn<bool>("updateShown");

    const QString del = QStringLiteral("chkDelExistFiles");
    const QString upd = QStringLiteral("chkUpdateExisting");
    QTest::newRow("neither") << 0 << false << QStringList() << false << false;
    QTest::newRow("delete stored") << 1 << false << QStringList() << true << false;
    QTest::newRow("update stored") << 0 << true << QStringList() << false << true;
    // Hand-edited into the store: delete, the older setting, wins.
    QTest::newRow("both stored") << 1 << true << QStringList() << true << false;
    QTest::newRow("ticking update clears delete") << 1 << false << QStringList{upd} << false << true;
    QTest::newRow("ticking delete clears update") << 0 << true << QStringList{del} << true << false;
    QTest::newRow("clearing update leaves delete clear") << 0 << true << QStringList{upd} << false << false;
    QTest::newRow("clearing delete leaves update clear") << 1 << false << QStringList{del} << false << false;
    QTest::newRow("update, then delete") << 0 << false << QStringList{upd, del} << true << false;
    QTest::newRow("delete, then update, then update again") << 0 << false << QStringList{del, upd, upd} << false
                                                            << false;
}

void TestOptions::deleteAndUpdateExcludeEachOther()
{
    QFETCH(int, storedDelete);
    QFETCH(bool, storedUpdate);
    QFETCH(QStringList, clicks);
    QFETCH(bool, deleteShown);
    QFETCH(bool, updateShown);

    record().deleteExistingFiles = Flag::loaded(qint16(storedDelete));
    record().updateExistingFiles = storedUpdate;
    frmOptions& dlg = dialog();
    QCOMPARE(dlg.chkUpdateExisting->text(), QStringLiteral("Update Existing Files"));
    QVERIFY(dlg.fraSources->isAncestorOf(dlg.chkUpdateExisting));
    if (!clicks.isEmpty()) {
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    }
    for (const QString& name : clicks) {
        auto* box = dlg.findChild<QCheckBox*>(name);
        QVERIFY(box);
        dlg.TabStrip1->setCurrentWidget(box == dlg.chkUpdateExisting ? dlg.fraSources : dlg.Frame1[1]);
        clickButton(box);
        // Never both, after any click.
        QVERIFY(!(dlg.chkDelExistFiles->isChecked() && dlg.chkUpdateExisting->isChecked()));
    }
    QCOMPARE(dlg.chkDelExistFiles->isChecked(), deleteShown);
    QCOMPARE(dlg.chkUpdateExisting->isChecked(), updateShown);
    closeStep();
    QCOMPARE(record().deleteExistingFiles, qint16(deleteShown ? 1 : 0));
    QCOMPARE(record().updateExistingFiles, updateShown);
}

QTEST_MAIN(TestOptions)
#include "test_options.moc"
