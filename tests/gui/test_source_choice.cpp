// The options dialog with described services: the "Other service" choice,
// one key field per service that takes a key, and the description files that
// were left out. The registry is loaded from the shipped descriptions and a
// user folder holding one broken file.

#include "core/app_state.h"
#include "gui_support.h"
#include "options/options_form.h"
#include "options/ui/frmOptions.h"
#include "sources/source_registry.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPointer>
#include <QRadioButton>
#include <QScrollArea>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

#include <memory>

using namespace kestrion;

namespace {

QStringList describedNames()
{
    QStringList names;
    for (const QuoteSourceEntry& e : quoteSourceEntries()) {
        if (e.buttonName.isEmpty())
            names << e.storedText;
    }
    return names;
}

void clickButton(QAbstractButton* button)
{
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

} // namespace

class TestSourceChoice : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void otherServiceListed();
    void dataSourceRoundTrip_data();
    void dataSourceRoundTrip();
    void keyFieldPerKeyedService();
    void describedKeyFromEnvironmentAndStored();
    void leftOutFilesNamed();
    void noDescriptionsDisablesOther();

private:
    frmOptions& dialog();
    // The dialog shown on its Sources page, its keys read.
    frmOptions& sourcesPage();

    test::GuiCase m_case;
    QTemporaryDir m_userFolder;
    QStringList m_folders;
    std::unique_ptr<QMainWindow> m_main;
    std::unique_ptr<OptionsForm> m_form;
    QPointer<frmOptions> m_dialog;
};

void TestSourceChoice::initTestCase()
{
    // No secret store answers here: keys go to the settings file.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    m_case.startTest();
    QVERIFY(test::writeFile(m_userFolder.filePath(QStringLiteral("broken.json")), "{\"name\": \"Broken\", "));
    m_folders = {QStringLiteral(KESTRION_SOURCE_DIR "/share/kestrion/sources"), m_userFolder.path()};
}

void TestSourceChoice::init()
{
    m_case.startCase();
    const QStringList problems = loadDescribedSources(m_folders);
    QCOMPARE(problems.size(), 1);
    QVERIFY(!describedNames().isEmpty());
    m_main = std::make_unique<QMainWindow>();
    m_form = std::make_unique<OptionsForm>(
        appState().settings, [](const QString& storedText) { return quoteSourceEntry(storedText).storedText; });
}

void TestSourceChoice::cleanup()
{
    if (m_dialog && !m_dialog->isFinished())
        m_dialog->finish();
    delete m_dialog;
    m_main.reset();
    m_form.reset();
    m_case.endCase();
}

frmOptions& TestSourceChoice::dialog()
{
    if (!m_dialog)
        m_dialog = new frmOptions(*m_form, m_main.get());
    return *m_dialog;
}

frmOptions& TestSourceChoice::sourcesPage()
{
    frmOptions& dlg = dialog();
    dlg.show();
    [&] { QVERIFY(QTest::qWaitForWindowExposed(&dlg)); }();
    dlg.TabStrip1->setCurrentWidget(dlg.fraSources);
    [&] { QTRY_VERIFY(dlg.txtTiingoKey->isEnabled()); }();
    return dlg;
}

void TestSourceChoice::otherServiceListed()
{
    frmOptions& dlg = dialog();
    QVERIFY(dlg.optOtherSource->isEnabled());
    QStringList items;
    for (int i = 0; i < dlg.cboOtherSource->count(); ++i)
        items << dlg.cboOtherSource->itemText(i);
    QCOMPARE(items, describedNames());
    QVERIFY(items.contains(QStringLiteral("EODHD")));
    QVERIFY(!items.contains(QStringLiteral("Broken")));
    // The four built-in buttons stay as they were.
    QCOMPARE(dlg.sourceGroup->buttons().size(), 4);
}

void TestSourceChoice::dataSourceRoundTrip_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("click"); // a button, "next" for the list's next item, or empty
    QTest::addColumn<QString>("pick"); // a list item chosen after the click, or empty
    QTest::addColumn<QString>("checked");
    QTest::addColumn<QString>("after");

    QTest::newRow("described kept") << "Twelve Data" << "" << "" << "optOtherSource" << "Twelve Data";
    QTest::newRow("described to built-in") << "EODHD" << "optYahooChart" << "" << "optYahooChart" << "Yahoo Chart";
    QTest::newRow("built-in to described") << "Tiingo" << "optOtherSource" << "Massive" << "optOtherSource"
                                           << "Massive";
    QTest::newRow("list pick chooses it") << "Yahoo Chart" << "next" << "" << "optOtherSource" << "";
    QTest::newRow("Wall Street City") << "EODHD" << "optWallSt" << "" << "optWallSt" << "Wall Street City";
}

void TestSourceChoice::dataSourceRoundTrip()
{
    QFETCH(QString, stored);
    QFETCH(QString, click);
    QFETCH(QString, pick);
    QFETCH(QString, checked);
    QFETCH(QString, after);

    appState().settings.dataSource = stored;
    frmOptions& dlg = dialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    if (describedNames().contains(stored)) {
        QVERIFY(dlg.optOtherSource->isChecked());
        QCOMPARE(dlg.cboOtherSource->currentText(), stored);
    }
    if (click == QLatin1String("next")) {
        dlg.cboOtherSource->setFocus();
        QTest::keyClick(dlg.cboOtherSource, Qt::Key_Down);
        after = dlg.cboOtherSource->currentText();
        QCOMPARE(dlg.cboOtherSource->currentIndex(), 1);
    } else if (!click.isEmpty()) {
        clickButton(dlg.findChild<QRadioButton*>(click));
    }
    if (!pick.isEmpty())
        dlg.cboOtherSource->setCurrentIndex(dlg.cboOtherSource->findText(pick));

    // One button of the five is checked, and the formats follow it.
    int checkedCount = 0;
    for (QRadioButton* b : dlg.fraFrom->findChildren<QRadioButton*>()) {
        if (b->isChecked()) {
            ++checkedCount;
            QCOMPARE(b->objectName(), checked);
        }
    }
    QCOMPARE(checkedCount, 1);
    QCOMPARE(dlg.optASCII1->isEnabled(), checked == QLatin1String("optWallSt"));
    QCOMPARE(dlg.spnParallelRequests->value(), quoteSourceEntry(after).defaultParallelRequests);

    dlg.close();
    QCOMPARE(appState().settings.dataSource, after);
}

void TestSourceChoice::keyFieldPerKeyedService()
{
    frmOptions& dlg = sourcesPage();
    int keyed = 0;
    for (const QuoteSourceEntry& e : quoteSourceEntries()) {
        if (!e.takesApiKey)
            continue;
        ++keyed;
        const bool tiingo = e.storedText == QLatin1String("Tiingo");
        const QString suffix = QLatin1Char('_') + e.cliName;
        auto* edit = dlg.findChild<QLineEdit*>(tiingo ? QStringLiteral("txtTiingoKey") : "txtApiKey" + suffix);
        auto* show = dlg.findChild<QCheckBox*>(tiingo ? QStringLiteral("chkShowKey") : "chkShowKey" + suffix);
        auto* help = dlg.findChild<QLabel*>(tiingo ? QStringLiteral("lblKeyHelp") : "lblKeyHelp" + suffix);
        QVERIFY2(edit && show && help, qPrintable(e.cliName));
        QVERIFY(dlg.fraSources->isAncestorOf(edit));
        QTRY_VERIFY(edit->isEnabled());
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        show->setChecked(true);
        QCOMPARE(edit->echoMode(), QLineEdit::Normal);
        show->setChecked(false);
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        if (!tiingo) {
            // Where to get one, its address a link, the file's text not markup.
            QVERIFY(!e.keyHelp.isEmpty());
            const QString link = QRegularExpression(QStringLiteral("https?://[^ ;]+")).match(e.keyHelp).captured();
            QVERIFY2(help->text().contains(QStringLiteral("<a href=\"%1\">").arg(link)), qPrintable(help->text()));
        }
    }
    QCOMPARE(int(dlg.keyFields.size()), keyed);
    QVERIFY(keyed >= 2);
    QVERIFY(dlg.scrServiceKeys->isVisible());
}

void TestSourceChoice::describedKeyFromEnvironmentAndStored()
{
    // EODHD's key from the environment is shown masked and read-only, its
    // place named but never the key; Twelve Data's typed key is stored
    // under its own name at close.
    qputenv("KESTRION_EODHD_KEY", "envsecret9");
    const auto restore = qScopeGuard([] { qunsetenv("KESTRION_EODHD_KEY"); });
    frmOptions& dlg = sourcesPage();
    auto* eodhd = dlg.findChild<QLineEdit*>(QStringLiteral("txtApiKey_eodhd"));
    auto* eodhdPlace = dlg.findChild<QLabel*>(QStringLiteral("lblKeyStorage_eodhd"));
    auto* twelve = dlg.findChild<QLineEdit*>(QStringLiteral("txtApiKey_twelve-data"));
    QVERIFY(eodhd && eodhdPlace && twelve);
    QTRY_VERIFY(eodhd->isEnabled() && twelve->isEnabled());
    QCOMPARE(eodhd->text(), QStringLiteral("envsecret9"));
    QCOMPARE(eodhd->echoMode(), QLineEdit::Password);
    QVERIFY(eodhd->isReadOnly());
    QVERIFY(eodhdPlace->text().contains(QStringLiteral("KESTRION_EODHD_KEY")));
    QVERIFY(!eodhdPlace->text().contains(QStringLiteral("envsecret9")));

    twelve->setFocus();
    QTest::keyClicks(twelve, QStringLiteral(" td-key-1 "));
    dlg.close();
    const auto stored = [this](const QString& name) {
        return QSettings(m_case.settingsFile(), QSettings::IniFormat).value(QStringLiteral("Sources/") + name);
    };
    QTRY_COMPARE(stored(QStringLiteral("Twelve Data API Key")).toString(), QStringLiteral("td-key-1"));
    QVERIFY(!stored(QStringLiteral("EODHD API Key")).isValid());
    QVERIFY(!stored(QStringLiteral("Tiingo API Key")).isValid());
}

void TestSourceChoice::leftOutFilesNamed()
{
    frmOptions& dlg = sourcesPage();
    QVERIFY(dlg.lstSourceProblems->isVisible());
    QVERIFY(dlg.lblSourceProblems->isVisible());
    QCOMPARE(dlg.lstSourceProblems->count(), 1);
    const QString shown = dlg.lstSourceProblems->item(0)->text();
    QCOMPARE(shown, describedSourceProblems().first());
    QVERIFY2(shown.contains(QStringLiteral("broken.json: ")), qPrintable(shown));
}

void TestSourceChoice::noDescriptionsDisablesOther()
{
    QTemporaryDir empty;
    QVERIFY(loadDescribedSources({empty.path()}).isEmpty());
    // A stored described service no longer known reads as Wall Street City.
    appState().settings.dataSource = QStringLiteral("EODHD");
    frmOptions& dlg = sourcesPage();
    QVERIFY(!dlg.optOtherSource->isEnabled());
    QCOMPARE(dlg.cboOtherSource->count(), 0);
    QVERIFY(dlg.optWallSt->isChecked());
    QVERIFY(!dlg.optOtherSource->isChecked());
    QCOMPARE(int(dlg.keyFields.size()), 1);
    QVERIFY(!dlg.scrServiceKeys->isVisible());
    QVERIFY(!dlg.lstSourceProblems->isVisible());
}

QTEST_MAIN(TestSourceChoice)
#include "test_source_choice.moc"
