#include "app/ui/single_windows.h"
#include "core/app_state.h"
#include "testsupport.h"
#include "tools/ui/frmBrowser.h"

#include <QApplication>
#include <QTest>
#include <QtTest>

#ifdef KESTRION_HAVE_WEBENGINE

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineView>

#include <memory>

using namespace kestrion;

namespace {

// Every title the window shows, in order.
class TitleLog
{
public:
    explicit TitleLog(QWidget* window)
    {
        QObject::connect(window, &QWidget::windowTitleChanged, [this](const QString& t) { titles << t; });
    }
    QStringList titles;
};

QAction* toolButton(frmBrowser* window, const QString& key)
{
    for (QAction* action : window->tbToolBar->actions())
        if (action->data().toString() == key)
            return action;
    return nullptr;
}

// A port on 127.0.0.1 with nothing listening.
int closedPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 1;
    const int port = server.serverPort();
    server.close();
    return port;
}

} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void firstNavigation_data();
    void firstNavigation();
    void controlsAtOpen();
    void periodButton_data();
    void periodButton();
    void historyListsEachAddressOnceMostRecentFirst();
    void enterInAddressBoxNavigates();
    void selectingFromTheListNavigates();
    void toolbar_data();
    void toolbar();
    void stopEndsTheBusyIndicator();
    void secondShowKeepsFirstChartUntilClosed();
    void failingAddressDoesNotEndTheProgram_data();
    void failingAddressDoesNotEndTheProgram();
    void resizeRule_data();
    void resizeRule();

private:
    // Loads a browser for the ticker and waits for its first page.
    std::unique_ptr<frmBrowser> loaded(const QString& ticker, TitleLog** log = nullptr);
    bool waitForLoad(frmBrowser* window, int timeout = 20000);
    QString chart(const QString& query) const;

    test::QuoteService m_service;
    std::unique_ptr<TitleLog> m_log;
};

void TestBrowser::initTestCase()
{
    // Every answer waits a little, so "Working..." is there to be seen.
    QVERIFY(m_service.start({QStringLiteral("--delay-ms"), QStringLiteral("150")}));
}

void TestBrowser::init()
{
    resetAppState();
    appState().services.chartHost = m_service.host();
}

void TestBrowser::cleanup()
{
    m_log.reset();
}

QString TestBrowser::chart(const QString& query) const
{
    return QStringLiteral("http://") + m_service.host() + QStringLiteral("/intchart/frames/main.asp?") + query;
}

bool TestBrowser::waitForLoad(frmBrowser* window, int timeout)
{
    QSignalSpy finished(window->brwWebBrowser, &QWebEngineView::loadFinished);
    if (!finished.wait(timeout))
        return false;
    // Let the busy indicator see the idle view.
    return QTest::qWaitFor([window] { return !window->timTimer->isActive(); }, 5000);
}

std::unique_ptr<frmBrowser> TestBrowser::loaded(const QString& ticker, TitleLog** log)
{
    auto window = std::make_unique<frmBrowser>();
    m_log = std::make_unique<TitleLog>(window.get());
    if (log)
        *log = m_log.get();
    QSignalSpy finished(window->brwWebBrowser, &QWebEngineView::loadFinished);
    window->loadChart(ticker, m_service.host());
    if (!finished.wait(20000))
        return nullptr;
    QTest::qWait(50);
    return window;
}

void TestBrowser::firstNavigation_data()
{
    QTest::addColumn<QString>("ticker");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("title");

    QTest::newRow("BCE.TO") << "BCE.TO" << "symb=bce&time=8&freq=1&country=ca" << "BCE chart";
    QTest::newRow("MSFT") << "MSFT" << "symb=msft&time=8&freq=1&country=us" << "MSFT chart";
    QTest::newRow("t.xyz.to") << "t.xyz.to" << "symb=xyz&time=8&freq=1&country=ca" << "XYZ chart";
    QTest::newRow("empty ticker") << "" << "symb=&time=8&freq=1&country=us" << "Chart";
}

void TestBrowser::firstNavigation()
{
    QFETCH(QString, ticker);
    QFETCH(QString, query);
    QFETCH(QString, title);

    TitleLog* log = nullptr;
    auto window = loaded(ticker, &log);
    QVERIFY(window);
    const QString address = chart(query);
    QCOMPARE(window->StartingAddress, address);
    QCOMPARE(window->brwWebBrowser->url().toString(), address);
    QTRY_COMPARE(window->windowTitle(), title);
    QTRY_VERIFY(!window->timTimer->isActive());

    // The busy indicator came first, then the page's name, and nothing after.
    QVERIFY2(log->titles.contains(QStringLiteral("Working...")), qPrintable(log->titles.join(QLatin1Char('|'))));
    QCOMPARE(log->titles.last(), title);
    QVERIFY(log->titles.indexOf(QStringLiteral("Working...")) < log->titles.lastIndexOf(title));

    QCOMPARE(window->addressList(), QStringList{address});
    QCOMPARE(window->cboAddress->count(), 1);
    QCOMPARE(window->cboAddress->currentText(), address);
}

void TestBrowser::controlsAtOpen()
{
    auto window = loaded(QStringLiteral("BCE.TO"));
    QVERIFY(window);
    QStringList captions;
    for (QRadioButton* button : window->periodButtons()) {
        QVERIFY(!button->isChecked());
        captions << button->text();
    }
    QCOMPARE(captions, (QStringList{"1 Day", "5 Day", "1 Mo.", "3 Mo.", "6 Mo.", "1 Yr.", "2 Yr.", "5 Yr."}));
    QStringList keys;
    for (QAction* action : window->tbToolBar->actions()) {
        keys << action->data().toString();
        QCOMPARE(action->toolTip(), action->data().toString());
    }
    QCOMPARE(keys, (QStringList{"Back", "Forward", "Stop", "Refresh", "Home", "Search"}));
    // The address box sits just under its label; the web view has the focus.
    QCOMPARE(window->cboAddress->y(), 18);
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus == window->brwWebBrowser || window->brwWebBrowser->isAncestorOf(focus));
}

void TestBrowser::periodButton_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("query");

    QTest::newRow("2 Yr.") << "opt2Yr" << "symb=bce&time=9&freq=1&country=ca";
    QTest::newRow("1 Day") << "opt1Day" << "symb=bce&time=1&freq=6&country=ca";
    QTest::newRow("5 Yr.") << "opt5Yr" << "symb=bce&time=12&freq=1&country=ca";
    QTest::newRow("1 Yr. again") << "opt1Yr" << "symb=bce&time=8&freq=1&country=ca";
}

void TestBrowser::periodButton()
{
    QFETCH(QString, button);
    QFETCH(QString, query);
    auto window = loaded(QStringLiteral("BCE.TO"));
    QVERIFY(window);
    QTRY_VERIFY(!window->timTimer->isActive());
    const QString first = window->StartingAddress;

    auto* option = window->findChild<QRadioButton*>(button);
    QVERIFY(option);
    QSignalSpy finished(window->brwWebBrowser, &QWebEngineView::loadFinished);
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(4, option->height() / 2));
    QCOMPARE(window->StartingAddress, chart(query));
    // The buttons neither touch the address box nor switch the indicator on.
    QCOMPARE(window->cboAddress->currentText(), first);
    QVERIFY(!window->timTimer->isActive());

    QVERIFY(finished.wait(20000));
    QCOMPARE(window->brwWebBrowser->url().toString(), chart(query));
    QCOMPARE(window->windowTitle(), QStringLiteral("BCE chart"));
    QCOMPARE(window->cboAddress->currentText(), chart(query));
    const QStringList expected = query == QLatin1String("symb=bce&time=8&freq=1&country=ca")
        ? QStringList{first}
        : QStringList{chart(query), first};
    QCOMPARE(window->addressList(), expected);
}

void TestBrowser::historyListsEachAddressOnceMostRecentFirst()
{
    auto window = loaded(QStringLiteral("MSFT"));
    QVERIFY(window);
    const QString oneYear = window->StartingAddress;
    const QString twoYears = chart(QStringLiteral("symb=msft&time=9&freq=1&country=us"));
    const QString fiveDays = chart(QStringLiteral("symb=msft&time=3&freq=7&country=us"));

    QSignalSpy finished(window->brwWebBrowser, &QWebEngineView::loadFinished);
    window->opt2Yr->click();
    QVERIFY(finished.wait(20000));
    QCOMPARE(window->addressList(), (QStringList{twoYears, oneYear}));

    window->opt5Day->click();
    QVERIFY(finished.wait(20000));
    QCOMPARE(window->addressList(), (QStringList{fiveDays, twoYears, oneYear}));

    // Going back to a listed address moves it to the top, no second copy.
    window->opt1Yr->click();
    QVERIFY(finished.wait(20000));
    QCOMPARE(window->addressList(), (QStringList{oneYear, fiveDays, twoYears}));
    QStringList items;
    for (int i = 0; i < window->cboAddress->count(); ++i)
        items << window->cboAddress->itemText(i);
    QCOMPARE(items, window->addressList());
    QCOMPARE(window->cboAddress->currentText(), oneYear);
}

void TestBrowser::enterInAddressBoxNavigates()
{
    auto window = loaded(QStringLiteral("BCE.TO"));
    QVERIFY(window);
    QTRY_VERIFY(!window->timTimer->isActive());
    m_log->titles.clear();

    const QString home = QStringLiteral("http://") + m_service.host() + QLatin1Char('/');
    QLineEdit* edit = window->cboAddress->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, home);
    QSignalSpy finished(window->brwWebBrowser, &QWebEngineView::loadFinished);
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(window->timTimer->isActive());
    QVERIFY(finished.wait(20000));
    QTRY_COMPARE(window->windowTitle(), QStringLiteral("Kestrion Home"));
    QTRY_VERIFY(!window->timTimer->isActive());
    QCOMPARE(m_log->titles.first(), QStringLiteral("Working..."));
    QCOMPARE(m_log->titles.last(), QStringLiteral("Kestrion Home"));
    QCOMPARE(window->addressList(), (QStringList{home, window->StartingAddress}));
    // Enter did not add the typed text as an entry of its own.
    QCOMPARE(window->cboAddress->count(), 2);

    // An address without "http://" is completed like in any browser.
    edit->selectAll();
    QTest::keyClicks(edit, m_service.host() + QStringLiteral("/search"));
    QTest::keyClick(edit, Qt::Key_Enter);
    QVERIFY(finished.wait(20000));
    QTRY_COMPARE(window->windowTitle(), QStringLiteral("Kestrion Search"));
    QCOMPARE(window->addressList().first(), QStringLiteral("http://") + m_service.host() + QStringLiteral("/search"));
}

void TestBrowser::selectingFromTheListNavigates()
{
    auto window = loaded(QStringLiteral("BCE.TO"));
    QVERIFY(window);
    const QString first = window->StartingAddress;
    QSignalSpy finished(window->brwWebBrowser, &QWebEngineView::loadFinished);
    window->opt3Mo->click();
    QVERIFY(finished.wait(20000));
    QCOMPARE(window->addressList().size(), 2);

    // Pick the older entry, as a click in the drop-down list does.
    window->cboAddress->setCurrentIndex(1);
    Q_EMIT window->cboAddress->activated(1);
    QVERIFY(window->timTimer->isActive());
    QVERIFY(finished.wait(20000));
    QCOMPARE(window->brwWebBrowser->url().toString(), first);
    QCOMPARE(window->addressList().first(), first);

    // While the list is rewritten a selection does nothing.
    window->bSuppressNavigate = true;
    QSignalSpy started(window->brwWebBrowser, &QWebEngineView::loadStarted);
    window->cboAddress->setCurrentIndex(1);
    Q_EMIT window->cboAddress->activated(1);
    window->bSuppressNavigate = false;
    QTest::qWait(400);
    QCOMPARE(started.size(), 0);
    QCOMPARE(window->brwWebBrowser->url().toString(), first);
}

void TestBrowser::toolbar_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("query");

    // Starting from the one-year chart and then the 2 Yr. chart.
    QTest::newRow("Back") << QStringList{"Back"} << "BCE chart" << "symb=bce&time=8&freq=1&country=ca";
    QTest::newRow("Back then Forward") << QStringList{"Back", "Forward"} << "BCE chart"
                                       << "symb=bce&time=9&freq=1&country=ca";
    QTest::newRow("Refresh") << QStringList{"Refresh"} << "BCE chart" << "symb=bce&time=9&freq=1&country=ca";
    QTest::newRow("Home") << QStringList{"Home"} << "Kestrion Home" << "";
    QTest::newRow("Search") << QStringList{"Search"} << "Kestrion Search" << "";
}

void TestBrowser::toolbar()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, title);
    QFETCH(QString, query);
    auto window = loaded(QStringLiteral("BCE.TO"));
    QVERIFY(window);
    QSignalSpy finished(window->brwWebBrowser, &QWebEngineView::loadFinished);
    window->opt2Yr->click();
    QVERIFY(finished.wait(20000));
    QTRY_VERIFY(!window->timTimer->isActive());

    for (const QString& key : keys) {
        QAction* action = toolButton(window.get(), key);
        QVERIFY(action);
        finished.clear();
        m_log->titles.clear();
        action->trigger();
        QVERIFY(window->timTimer->isActive());
        QVERIFY(finished.wait(20000));
        QTRY_VERIFY(!window->timTimer->isActive());
        QCOMPARE(m_log->titles.first(), QStringLiteral("Working..."));
    }
    QCOMPARE(window->windowTitle(), title);
    if (!query.isEmpty())
        QCOMPARE(window->brwWebBrowser->url().toString(), chart(query));
}

void TestBrowser::stopEndsTheBusyIndicator()
{
    auto window = loaded(QStringLiteral("BCE.TO"));
    QVERIFY(window);
    QTRY_VERIFY(!window->timTimer->isActive());
    // Nothing earlier to go back to: Back does nothing, but the indicator
    // goes on and finds the view idle.
    window->buttonClick(QStringLiteral("Back"));
    QTRY_VERIFY(!window->timTimer->isActive());
    QCOMPARE(window->windowTitle(), QStringLiteral("BCE chart"));

    // A page that never answers, then Stop.
    window->cboAddress->setEditText(chart(QStringLiteral("symb=HANG_X&time=8&freq=1&country=us")));
    window->addressSelected();
    QTRY_COMPARE(window->windowTitle(), QStringLiteral("Working..."));
    window->buttonClick(QStringLiteral("Stop"));
    QVERIFY(!window->timTimer->isActive());
    QVERIFY(window->windowTitle() != QStringLiteral("Working..."));
    QTRY_VERIFY(!window->isBusy());
    // Any other key only switches the indicator on, which then goes off.
    window->buttonClick(QStringLiteral("Bogus"));
    QVERIFY(window->timTimer->isActive());
    QTRY_VERIFY(!window->timTimer->isActive());
    QVERIFY(window->windowTitle() != QStringLiteral("Working..."));
}

void TestBrowser::secondShowKeepsFirstChartUntilClosed()
{
    QWidget mainWindow;
    SingleWindows windows(&mainWindow, appState().settings);
    const auto showChartBrowser = [&windows] {
        return windows.showChartBrowser(appState().strTicker, appState().services.chartHost);
    };
    appState().strTicker = QStringLiteral("BCE.TO");
    QPointer<frmBrowser> first = qobject_cast<frmBrowser*>(showChartBrowser());
    QVERIFY(first);
    QVERIFY(first->isVisible());
    // Not owned: the main window stays usable beside it.
    QCOMPARE(first->parentWidget(), nullptr);
    QVERIFY(first->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(windows.chartBrowser(), first.data());
    QVERIFY(waitForLoad(first));
    QCOMPARE(first->windowTitle(), QStringLiteral("BCE chart"));

    appState().strTicker = QStringLiteral("MSFT");
    QCOMPARE(showChartBrowser(), first.data());
    QCOMPARE(first->chartSymbol().symbol, QStringLiteral("bce"));
    QCOMPARE(first->chartSymbol().country, QStringLiteral("ca"));
    QCOMPARE(first->StartingAddress, chart(QStringLiteral("symb=bce&time=8&freq=1&country=ca")));
    QCOMPARE(first->brwWebBrowser->url().toString(), first->StartingAddress);
    // The period buttons keep using the symbol it was loaded with.
    first->opt6Mo->click();
    QCOMPARE(first->StartingAddress, chart(QStringLiteral("symb=bce&time=7&freq=1&country=ca")));
    QVERIFY(waitForLoad(first));

    // Closed by the user: the next call loads afresh.
    first->close();
    QTRY_VERIFY(first.isNull());
    QCOMPARE(windows.chartBrowser(), nullptr);
    auto* second = qobject_cast<frmBrowser*>(showChartBrowser());
    QVERIFY(second);
    QVERIFY(waitForLoad(second));
    QCOMPARE(second->StartingAddress, chart(QStringLiteral("symb=msft&time=8&freq=1&country=us")));
    QCOMPARE(second->windowTitle(), QStringLiteral("MSFT chart"));
    QCOMPARE(second->addressList(), QStringList{second->StartingAddress});

    // Shutdown closes the browser; it has no owner that would.
    QPointer<frmBrowser> last = second;
    windows.closeChartBrowser();
    QCOMPARE(windows.chartBrowser(), nullptr);
    QTRY_VERIFY(last.isNull());
}

void TestBrowser::failingAddressDoesNotEndTheProgram_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("loads");
    QTest::newRow("closed port") << QStringLiteral("http://127.0.0.1:%1/intchart/frames/main.asp?symb=x").arg(closedPort())
                                 << true;
    QTest::newRow("connection reset") << "RESET" << true;
    QTest::newRow("server error") << "E500" << true;
    QTest::newRow("empty address") << "" << false;
    QTest::newRow("blanks only") << "   " << false;
}

void TestBrowser::failingAddressDoesNotEndTheProgram()
{
    QFETCH(QString, address);
    QFETCH(bool, loads);
    if (address == QLatin1String("RESET"))
        address = chart(QStringLiteral("symb=RESET_X&time=8&freq=1&country=us"));
    else if (address == QLatin1String("E500"))
        address = chart(QStringLiteral("symb=E500_X&time=8&freq=1&country=us"));

    auto window = loaded(QStringLiteral("BCE.TO"));
    QVERIFY(window);
    QTRY_VERIFY(!window->timTimer->isActive());
    QSignalSpy finished(window->brwWebBrowser, &QWebEngineView::loadFinished);
    window->cboAddress->setEditText(address);
    QTest::keyClick(window->cboAddress->lineEdit(), Qt::Key_Return);
    QVERIFY(window->timTimer->isActive());
    if (loads)
        QVERIFY(finished.wait(20000));
    // The indicator gives way to whatever the view shows; nothing hangs.
    QTRY_VERIFY_WITH_TIMEOUT(!window->timTimer->isActive(), 10000);
    QVERIFY(window->windowTitle() != QStringLiteral("Working..."));
    QVERIFY(window->isVisible());

    // And the window still works.
    finished.clear();
    window->opt1Mo->click();
    QVERIFY(finished.wait(20000));
    QTRY_COMPARE(window->windowTitle(), QStringLiteral("BCE chart"));
}

void TestBrowser::resizeRule_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("widthApplies");
    QTest::addColumn<bool>("heightApplies");

    QTest::newRow("design size") << QSize(489, 489) << true << true;
    QTest::newRow("large") << QSize(1000, 700) << true << true;
    QTest::newRow("too low for the web view") << QSize(400, 100) << true << false;
    QTest::newRow("too small for both") << QSize(5, 60) << false << false;
}

void TestBrowser::resizeRule()
{
    QFETCH(QSize, size);
    QFETCH(bool, widthApplies);
    QFETCH(bool, heightApplies);
    auto window = loaded(QStringLiteral("MSFT"));
    QVERIFY(window);
    window->resize(600, 600);
    QTest::qWait(20);
    const QSize before = window->brwWebBrowser->size();
    const int comboBefore = window->cboAddress->width();
    window->resize(size);
    QTest::qWait(20);
    QCOMPARE(window->size(), size);

    const QSize view = window->brwWebBrowser->size();
    // 125 twips beside, 1825 twips above and below, at 15 twips a pixel.
    QCOMPARE(view.width(), widthApplies ? qRound((size.width() * 15 - 125) / 15.0) : before.width());
    QCOMPARE(window->cboAddress->width(), widthApplies ? view.width() : comboBefore);
    QCOMPARE(view.height(), heightApplies ? qRound((size.height() * 15 - 1825) / 15.0) : before.height());
    QCOMPARE(window->brwWebBrowser->pos(), QPoint(5, 120));
    QCOMPARE(window->Frame1->pos(), QPoint(5, 80));
}

#else

class TestBrowser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void webEngineMissing() { QSKIP("built without Qt WebEngine"); }
};

#endif

int main(int argc, char** argv)
{
    // Qt WebEngine needs the shared OpenGL context before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestBrowser test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_browser.moc"
