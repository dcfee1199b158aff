// kestrion-chart-qtcharts-bench: the same history drawn with Qt Charts (one
// graphics item per candle), to compare with kestrion-chart-bench. Built only
// where Qt Charts is installed; the program itself does not use it.
//   kestrion-chart-qtcharts-bench [--rows N] [--steps N]
#include "chart_bench_data.h"
#include "tools/price_series.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QCandlestickSeries>
#include <QCandlestickSet>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QElapsedTimer>
#include <QPainter>
#include <QTemporaryDir>
#include <QValueAxis>

#include <cstdio>

using namespace kestrion;

int main(int argc, char* argv[])
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const bench::Setup setup = bench::setUp(QApplication::arguments(), dir, 40, 4);
    if (setup.path.isEmpty())
        return 1;
    const int rows = setup.rows, steps = setup.steps;
    const QString& path = setup.path;

    const QSize size(1920, 1080);
    QImage target(size, QImage::Format_RGB32);
    const long before = bench::residentKb();
    QElapsedTimer t;
    t.start();
    SeriesLoad load = readPriceFile(path);
    auto* series = new QCandlestickSeries;
    series->setIncreasingColor(QColor(22, 150, 80));
    series->setDecreasingColor(QColor(210, 50, 45));
    for (const PriceBar& b : load.series.bars)
        series->append(new QCandlestickSet(b.open, b.high, b.low, b.close,
                                           double(b.date.startOfDay(Qt::UTC).toMSecsSinceEpoch())));
    auto* chart = new QChart;
    chart->addSeries(series);
    chart->createDefaultAxes();
    chart->legend()->hide();
    QChartView view(chart);
    view.resize(size);
    auto draw = [&] {
        QPainter p(&target);
        view.render(&p);
    };
    draw();
    const double firstMs = t.nsecsElapsed() / 1e6;
    const long after = bench::residentKb();

    std::vector<double> zoomMs, panMs;
    for (int i = 0; i < steps; ++i) {
        QElapsedTimer s;
        s.start();
        const bool zoom = i % 2 == 0;
        if (zoom)
            chart->zoom(i % 8 < 4 ? 1.25 : 0.8);
        else
            chart->scroll((i % 8 < 4 ? 1 : -1) * 60, 0);
        draw();
        (zoom ? zoomMs : panMs).push_back(s.nsecsElapsed() / 1e6);
    }
    std::printf("kestrion-chart-qtcharts-bench: Qt Charts, %d rows, %dx%d, candles\n", rows, size.width(),
                size.height());
    std::printf("  read + first paint        %8.1f ms\n", firstMs);
    std::printf("  zoom step, median / p95   %8.2f / %.2f ms\n", bench::median(zoomMs),
                bench::percentile(zoomMs, 0.95));
    std::printf("  pan step, median / p95    %8.2f / %.2f ms\n", bench::median(panMs), bench::percentile(panMs, 0.95));
    std::printf("  memory for the series     %8.1f MB resident growth\n", (after - before) / 1024.0);
    return 0;
}
