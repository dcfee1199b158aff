// The chart window as a person sees it: pictures taken offscreen and checked
// where the dates and prices are.
#include "formats/metastock_folder_writer.h"
#include "gui_support.h"
#include "testsupport.h"
#include "tools/ui/chart_view.h"
#include "tools/ui/frmChart.h"
#include "tools/ui/frmView.h"
#include "core/app_state.h"

#include <QAction>
#include <QImageReader>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;
using test::MessageWatcher;

namespace {

// Weekday rows, newest first as the sources write them; every third bar a
// down day. `skip` leaves bars out; `splitAfter` halves the raw prices
// after that bar with Adj Close running on.
QByteArray table(int count, const QList<int>& skip = {}, int splitAfter = -1)
{
    QList<QByteArray> rows;
    QDate d(2024, 1, 1);
    for (int i = 0; i < count; d = d.addDays(1)) {
        if (d.dayOfWeek() > 5)
            continue;
        if (!skip.contains(i)) {
            const double base = 100 + i;
            const double f = (splitAfter >= 0 && i <= splitAfter) ? 2 : 1;
            const bool down = i % 3 == 2;
            const double open = (down ? base + 1 : base) * f, close = (down ? base : base + 1) * f;
            rows.prepend(QStringLiteral("%1,%2,%3,%4,%5,%6,%7")
                             .arg(d.toString(Qt::ISODate))
                             .arg(open)
                             .arg((base + 2) * f)
                             .arg((base - 2) * f)
                             .arg(close)
                             .arg(1000 + i)
                             .arg(close / f)
                             .toLatin1());
        }
        ++i;
    }
    return "Date,Open,High,Low,Close,Volume,Adj Close\n" + rows.join('\n') + '\n';
}

bool isColour(QRgb pixel, const QColor& c)
{
    return qRed(pixel) == c.red() && qGreen(pixel) == c.green() && qBlue(pixel) == c.blue();
}

// Columns of the price plot between x0 and x1 holding a bar colour.
int colouredColumns(const QImage& image, const ChartModel& m, int x0, int x1)
{
    int found = 0;
    for (int x = x0; x <= x1; ++x) {
        for (int y = int(m.priceArea().top()) + 1; y < int(m.priceArea().bottom()); ++y) {
            const QRgb p = image.pixel(x, y);
            if (isColour(p, ChartColours::up()) || isColour(p, ChartColours::down())) {
                ++found;
                break;
            }
        }
    }
    return found;
}

} // namespace

class TestChart : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void upAndDownDays_data();
    void upAndDownDays();
    void readoutIsTheRow();
    void zoomNarrowsDates_data();
    void zoomNarrowsDates();
    void adjustedRemovesCliff();
    void gapStaysAGap();
    void savesPngAtWindowSize();
    void badFileNamesLine();
    void metaStockFolderList();
    void viewerChartCommand_data();
    void viewerChartCommand();
    void commandLine();
    void exportFormatFollowsName_data();
    void exportFormatFollowsName();
    void toolbarFitsDefaultWidth();

private:
    frmChart* open(const QByteArray& bytes, const QString& name = QStringLiteral("TEST.csv"));
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<frmChart> m_window;
};

void TestChart::init()
{
    m_window.reset();
    m_dir = std::make_unique<QTemporaryDir>();
}

frmChart* TestChart::open(const QByteArray& bytes, const QString& name)
{
    const QString path = m_dir->filePath(name);
    if (!test::writeFile(path, bytes))
        return nullptr;
    m_window = std::make_unique<frmChart>();
    m_window->setAttribute(Qt::WA_DeleteOnClose, false);
    m_window->resize(1000, 600);
    m_window->show();
    QSignalSpy done(m_window.get(), &frmChart::loadFinished);
    if (!m_window->openPath(path) || !done.wait(10000) || !done.first().first().toBool())
        return nullptr;
    return m_window.get();
}

void TestChart::upAndDownDays_data()
{
    QTest::addColumn<int>("bar");
    QTest::addColumn<bool>("up");
    QTest::newRow("up day") << 3 << true;
    QTest::newRow("down day") << 5 << false;
}

void TestChart::upAndDownDays()
{
    QFETCH(int, bar);
    QFETCH(bool, up);
    frmChart* w = open(table(30));
    QVERIFY(w);
    const ChartModel& m = w->chartView()->model();
    const QImage image = w->chartView()->grab().toImage();
    const int x = int(m.xOfBar(bar));
    const int y = int(m.yOfPrice((m.shownOpen(bar) + m.shownClose(bar)) / 2));
    const QColor expected = up ? ChartColours::up() : ChartColours::down();
    QVERIFY2(isColour(image.pixel(x, y), expected), qPrintable(QColor(image.pixel(x, y)).name()));
    // And in the volume pane below it, a bar in the lighter shade.
    QVERIFY(image.pixel(x, int(m.volumeArea().bottom()) - 1) != ChartColours::background().rgb());
}

void TestChart::readoutIsTheRow()
{
    frmChart* w = open(table(30));
    QVERIFY(w);
    const ChartModel& m = w->chartView()->model();
    const auto* readout = w->findChild<QLabel*>(QStringLiteral("lblReadout"));
    QTest::mouseMove(w->chartView(), QPoint(int(m.xOfBar(7)), int(m.priceArea().center().y())));
    QTRY_COMPARE(readout->text(),
                 QStringLiteral("2024-01-10  Open 107  High 109  Low 105  Close 108  Volume 1007  Adj Close 108"));
    QTest::mouseMove(w->chartView(), QPoint(int(m.xOfBar(8)), int(m.priceArea().center().y())));
    QTRY_VERIFY(readout->text().startsWith(QStringLiteral("2024-01-11  Open 109  High 110")));
}

void TestChart::zoomNarrowsDates_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("plus") << int(Qt::Key_Plus);
    QTest::newRow("wheel") << 0;
}

void TestChart::zoomNarrowsDates()
{
    QFETCH(int, key);
    frmChart* w = open(table(300));
    QVERIFY(w);
    ChartView* view = w->chartView();
    const QDate first = view->model().firstVisibleDate(), last = view->model().lastVisibleDate();
    if (key) {
        QTest::keyClick(view, Qt::Key(key));
    } else {
        const QPointF at = view->model().priceArea().center();
        QWheelEvent wheel(at, view->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
    }
    const QDate zFirst = view->model().firstVisibleDate(), zLast = view->model().lastVisibleDate();
    QVERIFY(zFirst > first);
    QVERIFY(zLast < last);
    // Home and End go to the ends at the same zoom.
    QTest::keyClick(view, Qt::Key_Home);
    QCOMPARE(view->model().firstVisibleDate(), first);
    QTest::keyClick(view, Qt::Key_End);
    QCOMPARE(view->model().lastVisibleDate(), last);
    QCOMPARE(zFirst.daysTo(zLast), view->model().firstVisibleDate().daysTo(view->model().lastVisibleDate()));
    // The picture follows: the first visible date's candle is drawn.
    const QImage image = view->grab().toImage();
    QVERIFY(colouredColumns(image, view->model(), int(view->model().priceArea().left()) + 2,
                            int(view->model().priceArea().left()) + 30) > 0);
}

void TestChart::adjustedRemovesCliff()
{
    frmChart* w = open(table(40, {}, 20));
    QVERIFY(w);
    const ChartModel& m = w->chartView()->model();
    auto cliff = [&] { return std::abs(m.yOfPrice(m.shownClose(21)) - m.yOfPrice(m.shownClose(20))); };
    QVERIFY2(cliff() > m.priceArea().height() / 3, qPrintable(QString::number(cliff())));
    auto* adjusted = w->findChild<QAction*>(QStringLiteral("actAdjusted"));
    QVERIFY(adjusted->isEnabled());
    adjusted->trigger();
    QVERIFY(cliff() < m.priceArea().height() / 20);
    QVERIFY(w->windowTitle().contains(QStringLiteral("TEST")));
    // On the picture: the day after the split sits beside the day before.
    const QImage image = w->chartView()->grab().toImage();
    const int y = int(m.yOfPrice(m.shownClose(20)));
    bool near = false;
    for (int dy = -8; dy <= 8 && !near; ++dy) {
        const QRgb p = image.pixel(int(m.xOfBar(21)), y + dy);
        near = isColour(p, ChartColours::up()) || isColour(p, ChartColours::down());
    }
    QVERIFY(near);
}

void TestChart::gapStaysAGap()
{
    // Bars 10 to 14 (2024-01-15 to 2024-01-19) are missing.
    frmChart* w = open(table(40, {10, 11, 12, 13, 14}));
    QVERIFY(w);
    const ChartModel& m = w->chartView()->model();
    const QImage image = w->chartView()->grab().toImage();
    const double slot = m.slotWidth();
    const int before = int(m.xOfBar(9) + slot), after = int(m.xOfBar(10) - slot);
    QVERIFY(after - before > 3 * slot);
    QCOMPARE(colouredColumns(image, m, before, after), 0);
    // The same in the close-line style: the line breaks.
    w->findChild<QAction*>(QStringLiteral("actCloseLine"))->trigger();
    const QImage line = w->chartView()->grab().toImage();
    int dark = 0;
    for (int x = before; x <= after; ++x) {
        for (int y = int(m.priceArea().top()) + 1; y < int(m.priceArea().bottom()); ++y)
            dark += qGray(line.pixel(x, y)) < 100;
    }
    QCOMPARE(dark, 0);
}

void TestChart::savesPngAtWindowSize()
{
    frmChart* w = open(table(30));
    QVERIFY(w);
    const QString path = m_dir->filePath(QStringLiteral("out"));
    w->setSaveFileChooser([&](QWidget*, const QString& suggested) {
        return suggested.endsWith(QLatin1String("TEST.png")) ? path : QString();
    });
    w->saveAsPng();
    const QImage saved(path + QStringLiteral(".png"));
    QVERIFY(!saved.isNull());
    QCOMPARE(saved.size(), w->chartView()->size());
    // A folder that cannot be written: a message naming the file, nothing claimed.
    const QString bad = m_dir->filePath(QStringLiteral("missing/x.png"));
    w->setSaveFileChooser([&](QWidget*, const QString&) { return bad; });
    MessageWatcher watcher;
    w->saveAsPng();
    QCOMPARE(watcher.texts.size(), 1);
    QVERIFY(watcher.texts.first().contains(bad));
    QVERIFY(!QFile::exists(bad));
}

void TestChart::badFileNamesLine()
{
    const QString path = m_dir->filePath(QStringLiteral("BAD.csv"));
    QVERIFY(test::writeFile(path, "Date,Open,High,Low,Close,Volume\n2024-01-02,1,2,0.5,1,5\n2024-01-03,1,2,x,1,5\n"));
    frmChart w;
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    QSignalSpy done(&w, &frmChart::loadFinished);
    MessageWatcher watcher;
    QVERIFY(w.openPath(path));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.first().first().toBool(), false);
    QTRY_COMPARE(watcher.texts.size(), 1);
    QVERIFY(watcher.texts.first().contains(QStringLiteral("BAD.csv")));
    QVERIFY(watcher.texts.first().contains(QStringLiteral("line 3: the Low value \"x\" is not a number")));
    QVERIFY(w.chartView()->model().isEmpty());
}

void TestChart::metaStockFolderList()
{
    const QString dir = m_dir->filePath(QStringLiteral("ms"));
    QVERIFY(QDir().mkdir(dir));
    {
        MetaStockFolderWriter writer;
        writer.createFolder(dir);
        writer.addSecurity(QStringLiteral("AAA"), QStringLiteral("AAA"), 1);
        writer.addQuote(20240102, 0, 1, 2, 0.5f, 1.5f, 100, 0);
        writer.addQuote(20240103, 0, 1, 2, 0.5f, 1.5f, 100, 0);
        writer.addSecurity(QStringLiteral("BBB"), QStringLiteral("BBB"), 1);
        writer.addQuote(20240104, 0, 3, 4, 2.5f, 3.5f, 200, 0);
    }
    frmChart w;
    w.setAttribute(Qt::WA_DeleteOnClose, false);
    QSignalSpy done(&w, &frmChart::loadFinished);
    QVERIFY(w.openPath(dir + QStringLiteral("/MASTER")));
    QVERIFY(done.wait(10000));
    QVERIFY(!w.securityList()->isHidden());
    QCOMPARE(w.securityList()->count(), 2);
    QCOMPARE(w.chartView()->model().series().symbol, QStringLiteral("AAA"));
    w.securityList()->setCurrentRow(1);
    QVERIFY(done.wait(10000));
    QCOMPARE(w.chartView()->model().series().symbol, QStringLiteral("BBB"));
    QCOMPARE(w.chartView()->model().series().bars.size(), size_t(1));
    // A security whose data file went: a message, and BBB stays shown.
    QVERIFY(QFile::remove(dir + QStringLiteral("/F1.DAT")));
    MessageWatcher watcher;
    w.securityList()->setCurrentRow(0);
    QVERIFY(done.wait(10000));
    QTRY_COMPARE(watcher.texts.size(), 1);
    QVERIFY(watcher.texts.first().contains(QStringLiteral("F1.DAT: data file missing")));
    QCOMPARE(w.chartView()->model().series().symbol, QStringLiteral("BBB"));
    QCOMPARE(w.securityList()->currentRow(), 1);
}

void TestChart::viewerChartCommand_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("price table") << table(5) << true;
    QTest::newRow("error log") << QByteArray("MSFT: not-found\n") << false;
}

void TestChart::viewerChartCommand()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, enabled);
    const QString path = m_dir->filePath(QStringLiteral("V.csv"));
    QVERIFY(test::writeFile(path, bytes));
    appState().strViewFile = path;
    frmView viewer(path);
    QCOMPARE(viewer.mnuChart->isEnabled(), enabled);
    if (!enabled)
        return;
    viewer.mnuChart->trigger();
    auto* chart = viewer.findChild<frmChart*>();
    QVERIFY(chart);
    QTRY_VERIFY(!chart->chartView()->model().isEmpty());
    QCOMPARE(chart->chartView()->model().series().symbol, QStringLiteral("V"));
    delete chart;
}

void TestChart::commandLine()
{
    QProcess p;
    p.start(test::binPath(QStringLiteral("kestrion")), {QStringLiteral("--help")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(QString::fromUtf8(p.readAllStandardOutput()).contains(QStringLiteral("--chart FILE")));

    const QString csv = m_dir->filePath(QStringLiteral("C.csv"));
    const QString png = m_dir->filePath(QStringLiteral("c.png"));
    QVERIFY(test::writeFile(csv, table(60)));
    p.start(test::binPath(QStringLiteral("kestrion")),
            {QStringLiteral("--chart"), csv, QStringLiteral("--export"), png, QStringLiteral("--size"), QStringLiteral("640x400")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QImage(png).size(), QSize(640, 400));

    QVERIFY(test::writeFile(csv, "Date,Open,High,Low,Close\n2024-01-02,1,1,1\n"));
    p.start(test::binPath(QStringLiteral("kestrion")), {QStringLiteral("--chart"), csv, QStringLiteral("--export"), png});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("line 2")));
}

void TestChart::exportFormatFollowsName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("format"); // what the written file is; empty: none written
    QTest::addColumn<QString>("message"); // a part of standard error
    QTest::newRow("jpg") << "out.jpg" << 0 << QByteArray("jpeg") << "";
    QTest::newRow("JPEG") << "OUT.JPEG" << 0 << QByteArray("jpeg") << "";
    QTest::newRow("bmp") << "out.bmp" << 0 << QByteArray("bmp") << "";
    QTest::newRow("png") << "out.png" << 0 << QByteArray("png") << "";
    QTest::newRow("gif refused") << "out.gif" << 2 << QByteArray() << "--export writes .png, .jpg";
    QTest::newRow("empty name is a usage error") << "" << 2 << QByteArray() << "--export needs a file name";
}

void TestChart::exportFormatFollowsName()
{
    QFETCH(QString, name);
    QFETCH(int, code);
    QFETCH(QByteArray, format);
    QFETCH(QString, message);
    const QString csv = m_dir->filePath(QStringLiteral("F.csv"));
    QVERIFY(test::writeFile(csv, table(40)));
    const QString out = name.isEmpty() ? QString() : m_dir->filePath(name);
    QProcess p;
    p.start(test::binPath(QStringLiteral("kestrion")),
            {QStringLiteral("--chart"), csv, QStringLiteral("--export"), out, QStringLiteral("--size"),
             QStringLiteral("400x300")});
    // A window would wait for a user: the run must end by itself.
    const bool ended = p.waitForFinished(30000);
    if (!ended)
        p.kill();
    QVERIFY(ended);
    QCOMPARE(p.exitCode(), code);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains(message), qPrintable(err));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("F.csv")} + (format.isEmpty() ? QStringList() : QStringList{name}));
    if (format.isEmpty())
        return;
    QImageReader reader(out);
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.read().size(), QSize(400, 300));
}

void TestChart::toolbarFitsDefaultWidth()
{
    frmChart window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* bar = window.findChild<QToolBar*>(QStringLiteral("tbChart"));
    QVERIFY(bar);
    // Every button shows; none is pushed into the overflow menu.
    for (QAction* a : bar->actions()) {
        QWidget* shown = bar->widgetForAction(a);
        QVERIFY2(shown && shown->isVisible(), qPrintable(a->text()));
    }
    auto* overflow = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
    QVERIFY(!overflow || !overflow->isVisible());

    // The styles share a button that names the style shown.
    auto* style = bar->findChild<QToolButton*>(QStringLiteral("btnStyle"));
    QVERIFY(style);
    QCOMPARE(style->text(), QStringLiteral("Candlesticks"));
    QCOMPARE(style->menu()->actions().size(), 3);
    window.findChild<QAction*>(QStringLiteral("actCloseLine"))->trigger();
    QCOMPARE(style->text(), QStringLiteral("Close Line"));
    QCOMPARE(window.chartView()->model().style(), ChartStyle::CloseLine);
}

QTEST_MAIN(TestChart)
#include "test_chart.moc"
