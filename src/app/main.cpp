#include "app/ui/frmMain.h"
#include "app/ui/frmSplash.h"
#include "core/app_state.h"
#include "platform/browser_sandbox.h"
#include "platform/memory_reuse.h"
#include "platform/shutdown_signals.h"
#include "platform/single_instance.h"
#include "platform/ui/prompt.h"
#include "sources/source_registry.h"
#include "tools/chart_command.h"
#include "tools/chart_model.h"
#include "tools/ui/chart_view.h"
#include "tools/ui/frmChart.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QImageWriter>
#include <QListWidget>
#include <QSaveFile>

#include <cstdio>
#include <memory>

using namespace kestrion;

namespace {

// kestrion --chart FILE --export PICTURE: the chart drawn into a picture, for
// scripts; no window, messages on standard error.
int exportChart(const ChartCommand& command)
{
    const QString file = QDir::toNativeSeparators(command.chartPath);
    QString error;
    const std::unique_ptr<PriceSource> source = openPriceSource(command.chartPath, &error);
    SeriesLoad load;
    if (source)
        load = source->load(0);
    else
        load.error = error;
    if (!load.ok()) {
        std::fprintf(stderr, "kestrion: %s could not be charted: %s\n", qPrintable(file), qPrintable(load.error));
        return 1;
    }
    ChartModel model;
    model.setSize(command.size);
    model.setSeries(std::move(load.series));
    model.setAdjusted(command.adjusted);
    model.setLogScale(command.logScale);
    for (int i = 0; i < int(ChartModel::kAveragePeriods.size()); ++i)
        model.setAverageShown(i, command.averages.contains(ChartModel::kAveragePeriods[size_t(i)]));
    model.setSize(command.size); // rescales for the options
    QSaveFile out(command.exportPath);
    QImageWriter writer(&out, command.exportFormat);
    if (command.exportFormat == "jpeg")
        writer.setQuality(90); // thin chart lines blur at the default

    if (!out.open(QIODevice::WriteOnly) || !writer.write(renderChart(model)) || !out.commit()) {
        std::fprintf(
            stderr, "kestrion: %s could not be written: %s\n", qPrintable(QDir::toNativeSeparators(command.exportPath)),
            qPrintable(writer.error() != QImageWriter::UnknownError ? writer.errorString() : out.errorString()));
        return 1;
    }
    return 0;
}

// kestrion --chart FILE: the chart window alone. It needs no settings and
// holds no lock, so it opens beside a running Kestrion.
int showChart(const ChartCommand& command)
{
    frmChart window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    for (int n : command.averages) {
        if (QAction* a = window.findChild<QAction*>(QStringLiteral("actSma%1").arg(n)))
            a->setChecked(true);
    }
    for (const char* name : {command.adjusted ? "actAdjusted" : "", command.logScale ? "actLogScale" : ""}) {
        if (QAction* a = *name ? window.findChild<QAction*>(QLatin1String(name)) : nullptr)
            a->setChecked(true);
    }
    int failed = 0;
    QObject::connect(&window, &frmChart::loadFinished, &window, [&](bool ok) {
        if (!ok && window.chartView()->model().isEmpty() && !window.securityList()->isVisible()) {
            failed = 1;
            window.close();
        }
    });
    if (!window.openPath(command.chartPath))
        return 1;
    window.show();
    const int result = QApplication::exec();
    return failed ? failed : result;
}

} // namespace

int main(int argc, char* argv[])
{
    // Our own options are read before Qt starts, so --help needs no display;
    // QApplication sees to Qt's.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ChartCommand command = parseChartCommand(arguments);
    if (!command.error.isEmpty()) {
        std::fprintf(stderr, "kestrion: %s\nTry \"kestrion --help\".\n", qPrintable(command.error));
        return 2;
    }
    if (command.help) {
        std::fputs(qPrintable(chartCommandHelp()), stdout);
        return 0;
    }

    // Before the application object: the browser engine reads it when it
    // first starts, and refuses to run as root with its sandbox on.
    prepareBrowserSandbox();
    QApplication app(argc, argv);
    setApplicationIdentity();
    keepFreedBuffersForReuse();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/kestrion-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    // Lets the desktop match the windows to the installed menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kestrion.Kestrion"));
    if (!command.exportPath.isEmpty())
        return exportChart(command);
    if (!command.chartPath.isEmpty())
        return showChart(command);
    // The main window ends the run itself once its settings are saved; the
    // splash closing just before the main window shows must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance single(SingleInstance::defaultLockPath());
    // When no lock can be made at all the rule can't be enforced; starting
    // anyway beats refusing to start.
    if (single.tryAcquire() == SingleInstance::Result::AlreadyRunning) {
        Prompt::ask(nullptr, QMessageBox::Warning, QStringLiteral("Previous Instance Detected"),
                    QStringLiteral("Program already running, terminating this instance..."), QMessageBox::Ok);
        return 0;
    }

    // The services described in files join the built-in ones before anything
    // asks which sources there are.
    loadDescribedSources();

    // The main window, made by the splash once its three seconds are up.
    std::unique_ptr<frmMain> mainWindow;
    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::requested, [&mainWindow] {
        if (mainWindow)
            mainWindow->close(); // as File > Exit: the settings are saved
        else
            // Nothing to save yet. Queued, because the request can come while
            // the splash is still being shown, before the event loop runs,
            // and an exit asked for then is dropped.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    shutdown.install();

    int result = 0;
    {
        frmSplash splash(mainWindow);
        splash.show();
        splash.repaint();
        result = QApplication::exec();
    }
    // The splash goes first, then the main window, and only then the signal
    // watcher and the lock.
    mainWindow.reset();
    return result;
}
