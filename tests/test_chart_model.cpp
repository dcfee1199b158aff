// The chart's layout without a window: the time axis, zooming and panning,
// merging bars per pixel, gaps, the readout and the adjusted prices.
#include "tools/chart_command.h"
#include "tools/chart_model.h"

#include <QtTest>

#include <cmath>

using namespace kestrion;

namespace {

// Weekday bars from `start`, prices rising by one a day; `skip` bars
// (counted from the first) are left out.
PriceSeries weekdays(QDate start, int count, const QList<int>& skip = {})
{
    PriceSeries s;
    s.symbol = QStringLiteral("T");
    s.hasAdjClose = true;
    QDate d = start;
    for (int i = 0; i < count; d = d.addDays(1)) {
        if (d.dayOfWeek() > 5)
            continue;
        if (!skip.contains(i)) {
            const double p = 100 + i;
            s.bars.push_back({d, p, p + 2, p - 2, p + 1, 1000 + i, p + 1});
        }
        ++i;
    }
    return s;
}

ChartModel modelOf(PriceSeries s, QSizeF size = {1000, 600})
{
    ChartModel m;
    m.setSize(size);
    m.setSeries(std::move(s));
    return m;
}

} // namespace

class TestChartModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void weekdayAxis();
    void zoomAndPan_data();
    void zoomAndPan();
    void mergesPerPixel();
    void gaps_data();
    void gaps();
    void barUnderCursor();
    void adjustedRemovesSplit();
    void averages();
    void dateLabels_data();
    void dateLabels();
    void logScale();
    void options_data();
    void options();
    void pictureFormats_data();
    void pictureFormats();
};

void TestChartModel::weekdayAxis()
{
    const ChartModel m = modelOf(weekdays(QDate(2024, 1, 1), 10));
    // Friday and the Monday after are neighbours; a Saturday sits on Monday.
    QCOMPARE(m.unitOf(QDate(2024, 1, 8)) - m.unitOf(QDate(2024, 1, 5)), 1.0);
    QCOMPARE(m.unitOf(QDate(2024, 1, 6)), m.unitOf(QDate(2024, 1, 8)));
    for (const QDate d : {QDate(2024, 1, 1), QDate(1969, 12, 31), QDate(2024, 2, 29)})
        QCOMPARE(m.dateOfUnit(m.unitOf(d)), d);
}

void TestChartModel::zoomAndPan_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QDate>("first");
    QTest::addColumn<QDate>("last");
    // 100 weekdays: 2024-01-01 to 2024-05-17.
    QTest::newRow("fit all") << "fit" << QDate(2024, 1, 1) << QDate(2024, 5, 17);
    QTest::newRow("zoom in keeps the end at the anchor") << "zoomAtEnd" << QDate(2024, 3, 18) << QDate(2024, 5, 17);
    QTest::newRow("Home after zooming") << "home" << QDate(2024, 1, 1) << QDate(2024, 3, 1);
    QTest::newRow("End after Home") << "end" << QDate(2024, 3, 18) << QDate(2024, 5, 17);
    QTest::newRow("pan never leaves the series") << "panFar" << QDate(2024, 1, 1) << QDate(2024, 3, 1);
    QTest::newRow("zoom out past everything") << "zoomOutFar" << QDate(2024, 1, 1) << QDate(2024, 5, 17);
}

void TestChartModel::zoomAndPan()
{
    QFETCH(QString, action);
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    ChartModel m = modelOf(weekdays(QDate(2024, 1, 1), 100));
    const double right = m.priceArea().right();
    if (action != QLatin1String("fit") && action != QLatin1String("zoomOutFar"))
        m.zoom(100.0 / 45, right); // 45 bars stay in view
    if (action == QLatin1String("home"))
        m.showFirst();
    if (action == QLatin1String("end")) {
        m.showFirst();
        m.showLast();
    }
    if (action == QLatin1String("panFar"))
        m.panPixels(-1e6);
    if (action == QLatin1String("zoomOutFar"))
        m.zoom(0.001, 10);
    QCOMPARE(m.firstVisibleDate(), first);
    QCOMPARE(m.lastVisibleDate(), last);
}

void TestChartModel::mergesPerPixel()
{
    ChartModel m = modelOf(weekdays(QDate(1985, 1, 1), 10000), {1920, 1080});
    const auto columns = m.columns();
    QVERIFY(columns.size() <= size_t(m.priceArea().width()) + 1);
    QVERIFY(columns.size() > size_t(m.priceArea().width()) / 2);
    // Nothing is lost in merging: every bar is in exactly one column and
    // each column's range covers its bars'.
    int next = 0;
    for (const auto& c : columns) {
        QCOMPARE(c.first, next);
        next = c.last + 1;
        for (int i = c.first; i <= c.last; ++i) {
            QVERIFY(c.high >= m.shownHigh(i));
            QVERIFY(c.low <= m.shownLow(i));
        }
        QCOMPARE(c.close, m.shownClose(c.last));
        QCOMPARE(c.open, m.shownOpen(c.first));
    }
    QCOMPARE(next, 10000);
    // Zoomed in far, one column per bar.
    m.zoom(1000, m.priceArea().center().x());
    const auto near = m.columns();
    QVERIFY(!near.empty());
    for (const auto& c : near)
        QCOMPARE(c.first, c.last);
}

void TestChartModel::gaps_data()
{
    QTest::addColumn<QList<int>>("skip");
    QTest::addColumn<QList<int>>("gapsBefore"); // bar indexes after the skip
    QTest::newRow("none") << QList<int>{} << QList<int>{};
    QTest::newRow("one holiday is no gap") << QList<int>{10} << QList<int>{};
    QTest::newRow("a missing week") << QList<int>{10, 11, 12, 13, 14} << QList<int>{10};
}

void TestChartModel::gaps()
{
    QFETCH(QList<int>, skip);
    QFETCH(QList<int>, gapsBefore);
    const ChartModel m = modelOf(weekdays(QDate(2024, 1, 1), 40, skip));
    QList<int> found;
    for (int i = 0; i < int(m.series().bars.size()); ++i) {
        if (m.gapBefore(i))
            found << i;
    }
    QCOMPARE(found, gapsBefore);
    for (const auto& c : m.columns())
        QCOMPARE(c.gapBefore, gapsBefore.contains(c.first));
    if (!gapsBefore.isEmpty()) {
        // The missing week keeps its room on the axis.
        const int i = gapsBefore.first();
        QVERIFY(m.xOfBar(i) - m.xOfBar(i - 1) > 5 * m.slotWidth());
        QVERIFY(!m.barAt((m.xOfBar(i) + m.xOfBar(i - 1)) / 2));
    }
}

void TestChartModel::barUnderCursor()
{
    const ChartModel m = modelOf(weekdays(QDate(2024, 1, 1), 30));
    for (int i : {0, 7, 29}) {
        QCOMPARE(m.barAt(m.xOfBar(i)), std::optional<int>(i));
        QCOMPARE(m.barAt(m.xOfBar(i) + m.slotWidth() * 0.4), std::optional<int>(i));
    }
    QVERIFY(!m.barAt(m.priceArea().left() - 1));
    QCOMPARE(m.readout(1), QStringLiteral("2024-01-02  Open 101  High 103  Low 99  Close 102  Volume 1001  Adj Close 102"));
}

void TestChartModel::adjustedRemovesSplit()
{
    // A 2:1 split after bar 20: raw prices halve, Adj Close runs on.
    PriceSeries s = weekdays(QDate(2024, 1, 1), 40);
    for (size_t i = 0; i < s.bars.size(); ++i) {
        PriceBar& b = s.bars[i];
        b.adjClose = b.close;
        if (i <= 20) {
            b.open *= 2;
            b.high *= 2;
            b.low *= 2;
            b.close *= 2;
        }
    }
    ChartModel m = modelOf(s);
    const double rawJump = m.shownClose(20) / m.shownClose(21);
    QVERIFY(rawJump > 1.9);
    m.setAdjusted(true);
    QVERIFY(m.adjusted());
    QVERIFY(std::abs(m.shownClose(20) / m.shownClose(21) - 1) < 0.02);
    QVERIFY(std::abs(m.shownHigh(20) - (m.shownClose(20) + 1)) < 1e-9);
    // The readout stays the file's row.
    QVERIFY(m.readout(20).contains(QStringLiteral("Close 242")));
    // Without an Adj Close column there is nothing to adjust by.
    s.hasAdjClose = false;
    ChartModel plain = modelOf(s);
    plain.setAdjusted(true);
    QVERIFY(!plain.adjusted());
}

void TestChartModel::averages()
{
    const ChartModel m = modelOf(weekdays(QDate(2024, 1, 1), 60));
    const std::vector<double>& sma20 = m.average(0);
    QVERIFY(std::isnan(sma20[18]));
    // Closes 101..120 at bars 0..19.
    QCOMPARE(sma20[19], 110.5);
    QCOMPARE(sma20[59], 150.5);
    QVERIFY(std::isnan(m.average(2)[59]));
}

void TestChartModel::dateLabels_data()
{
    QTest::addColumn<int>("bars");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("forty years: years") << 10000 << 1.0 << "^\\d{4}$";
    QTest::newRow("two years: months") << 500 << 1.0 << "^[A-Z][a-z]{2}( \\d{4})?$";
    QTest::newRow("two weeks: days") << 500 << 50.0 << "^\\d{1,2} [A-Z][a-z]{2}$";
    // 2023 begins on a Sunday and its quarters all start on weekends; they
    // still get their marks.
    QTest::newRow("quarters starting on weekends") << 390 << 1.0 << "^(Jan|Apr|Jul|Oct)( \\d{4})?$";
}

void TestChartModel::dateLabels()
{
    QFETCH(int, bars);
    QFETCH(double, zoom);
    QFETCH(QString, pattern);
    ChartModel m = modelOf(weekdays(bars == 390 ? QDate(2023, 1, 2) : QDate(1990, 1, 1), bars), {1200, 700});
    m.zoom(zoom, m.priceArea().center().x());
    const auto ticks = m.dateTicks();
    QVERIFY(ticks.size() >= 3);
    if (bars == 390)
        QCOMPARE(ticks.size(), size_t(6)); // Jan 2023 to Apr 2024
    const QRegularExpression re(pattern);
    for (size_t i = 0; i < ticks.size(); ++i) {
        QVERIFY2(re.match(ticks[i].label).hasMatch(), qPrintable(ticks[i].label));
        if (i > 0)
            QVERIFY(ticks[i].pos - ticks[i - 1].pos >= 40); // labels never crowd
    }
}

void TestChartModel::logScale()
{
    ChartModel m = modelOf(weekdays(QDate(2024, 1, 1), 50));
    m.setLogScale(true);
    m.setSize(m.size());
    QVERIFY(m.logScale());
    // Equal ratios, equal distances.
    QVERIFY(std::abs((m.yOfPrice(100) - m.yOfPrice(110)) - (m.yOfPrice(110) - m.yOfPrice(121))) < 1e-6);
    PriceSeries s = weekdays(QDate(2024, 1, 1), 5);
    s.bars[2].low = -1;
    ChartModel negative = modelOf(s);
    negative.setLogScale(true);
    QVERIFY(!negative.logScale());
}

void TestChartModel::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("chart");
    QTest::newRow("nothing") << QStringList{"kestrion"} << QString() << QString();
    QTest::newRow("chart") << QStringList{"kestrion", "--chart", "a.csv", "-platform", "offscreen"} << QString() << "a.csv";
    QTest::newRow("chart without a file") << QStringList{"kestrion", "--chart"} << "--chart needs a value" << QString();
    QTest::newRow("export without chart") << QStringList{"kestrion", "--export", "a.png"} << "--export needs --chart FILE" << QString();
    QTest::newRow("bad size") << QStringList{"kestrion", "--chart", "a", "--size", "10x10"}
                              << "--size takes WIDTHxHEIGHT, each from 320x220 to 8000x8000" << "a";
    QTest::newRow("bad average") << QStringList{"kestrion", "--chart", "a", "--sma", "20,30"}
                                 << "--sma takes 20, 50 and 200, not \"30\"" << "a";
    QTest::newRow("unknown") << QStringList{"kestrion", "--charts"} << "unknown option --charts" << QString();
    QTest::newRow("export to an empty name") << QStringList{"kestrion", "--chart", "a", "--export", ""}
                                             << "--export needs a file name" << "a";
    QTest::newRow("export, empty name, no chart") << QStringList{"kestrion", "--export", ""}
                                                  << "--export needs a file name" << QString();
    QTest::newRow("export to an unknown type") << QStringList{"kestrion", "--chart", "a", "--export", "a.gif"}
                                               << "--export writes .png, .jpg (or .jpeg) and .bmp pictures, not \"a.gif\""
                                               << "a";
    QTest::newRow("export without an extension") << QStringList{"kestrion", "--chart", "a", "--export", "chart"}
                                                 << "--export writes .png, .jpg (or .jpeg) and .bmp pictures, not \"chart\""
                                                 << "a";
}

void TestChartModel::options()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QFETCH(QString, chart);
    const ChartCommand c = parseChartCommand(args);
    QCOMPARE(c.error, error);
    QCOMPARE(c.chartPath, chart);
}

void TestChartModel::pictureFormats_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("png") << "out.png" << QByteArray("png");
    QTest::newRow("jpg") << "out.jpg" << QByteArray("jpeg");
    QTest::newRow("JPEG in capitals") << "/tmp/OUT.JPEG" << QByteArray("jpeg");
    QTest::newRow("bmp") << "a.b/out.bmp" << QByteArray("bmp");
    QTest::newRow("gif") << "out.gif" << QByteArray();
    QTest::newRow("dot in the folder only") << "a.png/out" << QByteArray();
    QTest::newRow("empty") << "" << QByteArray();
}

void TestChartModel::pictureFormats()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QCOMPARE(chartPictureFormat(path), format);
    if (format.isEmpty())
        return;
    const ChartCommand c = parseChartCommand({"kestrion", "--chart", "a", "--export", path});
    QCOMPARE(c.error, QString());
    QCOMPARE(c.exportFormat, format);
}

QTEST_GUILESS_MAIN(TestChartModel)
#include "test_chart_model.moc"
