// kestrion-chart-bench: how fast the chart window reads and draws a long
// history, with the QPainter drawing it uses. Prints the figures.
//   kestrion-chart-bench [--rows N] [--steps N]
#include "chart_bench_data.h"
#include "tools/chart_model.h"
#include "tools/price_series.h"
#include "tools/ui/chart_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>

using namespace kestrion;

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const bench::Setup setup = bench::setUp(QApplication::arguments(), dir, 200, 10);
    if (setup.path.isEmpty())
        return 1;
    const int rows = setup.rows, steps = setup.steps;
    const QString& path = setup.path;

    const QSize size(1920, 1080);
    QImage target(size, QImage::Format_RGB32); // what a window's backing store is
    {
        // Fonts and the painter engine warm up once, as they have in a running program.
        QPainter warm(&target);
        warm.drawText(10, 10, QStringLiteral("warm"));
    }
    const long before = bench::residentKb();

    QElapsedTimer t;
    t.start();
    SeriesLoad load = readPriceFile(path);
    const double readMs = t.nsecsElapsed() / 1e6;
    if (!load.ok()) {
        std::fprintf(stderr, "read failed: %s\n", qPrintable(load.error));
        return 1;
    }
    ChartModel model;
    model.setSize(size);
    model.setSeries(std::move(load.series));
    for (int a = 0; a < 3; ++a)
        model.setAverageShown(a, true);
    {
        QPainter p(&target);
        paintChart(p, model, QPointF(900, 500));
    }
    const double firstMs = t.nsecsElapsed() / 1e6;
    const long after = bench::residentKb();

    std::vector<double> zoomMs, panMs;
    for (int i = 0; i < steps; ++i) {
        const bool zoom = i % 2 == 0;
        QElapsedTimer s;
        s.start();
        if (zoom)
            model.zoom(i % 40 < 20 ? 1.25 : 0.8, 300 + (i * 37) % 1400);
        else
            model.panPixels((i % 40 < 20 ? 1 : -1) * 60);
        QPainter p(&target);
        paintChart(p, model, QPointF(200 + (i * 13) % 1500, 500));
        p.end();
        (zoom ? zoomMs : panMs).push_back(s.nsecsElapsed() / 1e6);
    }
    model.fitAll();
    std::vector<double> fullMs;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer s;
        s.start();
        QPainter p(&target);
        paintChart(p, model, QPointF(900, 500));
        p.end();
        fullMs.push_back(s.nsecsElapsed() / 1e6);
    }

    std::printf("kestrion-chart-bench: QPainter, %d rows, %dx%d, candles with SMA 20/50/200\n", rows, size.width(),
                size.height());
    std::printf("  read file                 %8.1f ms\n", readMs);
    std::printf("  read + first paint        %8.1f ms   (target < 300)\n", firstMs);
    std::printf("  zoom step, median / p95   %8.2f / %.2f ms   (target median < 16)\n", bench::median(zoomMs),
                bench::percentile(zoomMs, 0.95));
    std::printf("  pan step, median / p95    %8.2f / %.2f ms\n", bench::median(panMs), bench::percentile(panMs, 0.95));
    std::printf("  repaint of all rows       %8.2f ms median\n", bench::median(fullMs));
    std::printf("  memory for the series     %8.1f MB resident growth   (target < 50)\n", (after - before) / 1024.0);
    return 0;
}
