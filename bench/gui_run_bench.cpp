// kestrion-gui-bench: how responsive the main window stays while "Get
// Historical Data" runs over a long list. Starts the local quote service with
// a fixed delay per answer, runs the real main window offscreen on a private
// settings store, clicks the button and timestamps every turn of the window's
// event loop (a 0 ms timer fires once per turn). Prints the run's wall time
// and the largest and 99th-percentile gaps between two turns.
//   kestrion-gui-bench [--symbols N] [--delay-ms N] [--source S] [--jobs N] [--top N]
#include "app/ui/frmMain.h"
#include "core/settings_record.h"
#include "sources/quote_source.h"
#include "download/ui/download_controller.h"
#include "lists/ticker_list.h"
#include "platform/settings_store.h"
#include "sources/source_registry.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace kestrion;

namespace {

int fail(const char* what)
{
    std::fprintf(stderr, "kestrion-gui-bench: %s\n", what);
    return 1;
}

// CPU time the calling thread has used, in nanoseconds.
qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    // Nearest rank.
    const auto rank = std::size_t(std::ceil(p / 100.0 * double(values.size())));
    return values.at(std::clamp<std::size_t>(rank, 1, values.size()) - 1);
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings and the user's list folder go to a private place; nothing of
    // the user's own setup is read or written.
    QTemporaryDir work;
    if (!work.isValid())
        return fail("cannot create a temporary folder");
    qputenv("XDG_CONFIG_HOME", work.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", work.filePath(QStringLiteral("data")).toUtf8());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, work.filePath(QStringLiteral("config")));

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Kestrion"));
    QApplication::setApplicationName(QStringLiteral("Kestrion"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures how long the main window's event loop waits between "
                                                    "two turns during a download run."));
    parser.addHelpOption();
    const QCommandLineOption symbolsOpt(QStringLiteral("symbols"), QStringLiteral("Tickers in the list (default 200)."),
                                        QStringLiteral("N"), QStringLiteral("200"));
    const QCommandLineOption delayOpt(QStringLiteral("delay-ms"),
                                      QStringLiteral("Delay of the quote service per answer (default 50)."),
                                      QStringLiteral("MS"), QStringLiteral("50"));
    const QCommandLineOption topOpt(QStringLiteral("top"),
                                    QStringLiteral("Also list the N largest gaps with their CPU time (default 0)."),
                                    QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption sourceOpt(QStringLiteral("source"),
                                       QStringLiteral("Quote source, as kestrion-cli names it (default yahoo-chart)."),
                                       QStringLiteral("S"), QStringLiteral("yahoo-chart"));
    const QCommandLineOption jobsOpt(QStringLiteral("jobs"),
                                     QStringLiteral("Parallel Requests, the requests in flight (default 4)."),
                                     QStringLiteral("N"), QStringLiteral("4"));
    parser.addOptions({symbolsOpt, delayOpt, sourceOpt, jobsOpt, topOpt});
    parser.process(app);
    const int count = parser.value(symbolsOpt).toInt();
    const int delay = parser.value(delayOpt).toInt();
    const int jobs = parser.value(jobsOpt).toInt();
    const int top = parser.value(topOpt).toInt();
    if (count <= 0 || delay < 0 || top < 0 || jobs < 1 || jobs > kMaxParallelRequests)
        return fail("--symbols must be above 0, --jobs 1 to 8, --delay-ms and --top not below 0");
    QString source;
    for (const QuoteSourceEntry& e : quoteSourceEntries()) {
        if (e.cliName == parser.value(sourceOpt))
            source = e.storedText;
    }
    if (source.isEmpty())
        return fail("--source must be yahoo-chart, tiingo, yahoo or wsc");
    // The service's default key, for Tiingo.
    qputenv("KESTRION_TIINGO_TOKEN", "sim-tiingo-token");

    QProcess service;
    service.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/kestrion-quote-sim"));
    service.setArguments(
        {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--delay-ms"), QString::number(delay)});
    service.start();
    if (!service.waitForStarted(10000))
        return fail("kestrion-quote-sim does not start (is it built beside this program?)");
    while (!service.canReadLine()) {
        if (!service.waitForReadyRead(10000))
            return fail("kestrion-quote-sim does not say where it listens");
    }
    const QString host = QStringLiteral("127.0.0.1:")
        + QString::fromUtf8(service.readLine()).trimmed().section(QLatin1Char(':'), -1);

    const QString listPath = work.filePath(QStringLiteral("bench.mdb"));
    const QString dl = work.filePath(QStringLiteral("dl"));
    QStringList symbols;
    for (int i = 1; i <= count; ++i)
        symbols << QStringLiteral("S%1").arg(i);
    {
        TickerList list;
        if (!TickerList::create(listPath) || !list.open(listPath) || list.appendAll(symbols) != count)
            return fail("cannot make the ticker list");
    }
    if (!QDir().mkpath(dl))
        return fail("cannot make the download folder");
    {
        SettingsStore store;
        for (const char* key : {"Yahoo History Host", "WSC Query Host", "WSC File Host", "Chart Host"})
            store.save(QStringLiteral("Services"), QLatin1String(key), host);
        // The current sources default to https; the local service speaks http.
        for (const char* key : {"Yahoo Chart Host", "Tiingo Host"})
            store.save(QStringLiteral("Services"), QLatin1String(key), QStringLiteral("http://") + host);
        store.save(QStringLiteral("Services"), QStringLiteral("Fetch Timeout"), QStringLiteral("30"));
        store.save(kDownloadSection, QStringLiteral("Parallel Requests"), QString::number(jobs));
        const QList<QPair<QString, QString>> settings{{QStringLiteral("Database Name"), listPath},
                                                      {QStringLiteral("DownloadDir"), dl},
                                                      {QStringLiteral("Data Source"), source},
                                                      {QStringLiteral("File Extension"), QStringLiteral(".csv")},
                                                      {QStringLiteral("StartMonth"), QStringLiteral("Jan")},
                                                      {QStringLiteral("StartDay"), QStringLiteral("01")},
                                                      {QStringLiteral("StartYear"), QStringLiteral("2024")}};
        for (const auto& [name, value] : settings)
            store.save(QStringLiteral("Settings"), name, value);
        if (!store.sync())
            return fail("cannot write the settings store");
    }

    frmMain window;
    window.show();
    // Let the first paint and the window's own start-up happen before measuring.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // The window's controls, found by the names users' settings know them by.
    auto* downloadDir = window.findChild<QLineEdit*>(QStringLiteral("txtDownloadDir"));
    auto* getUpdate = window.findChild<QPushButton*>(QStringLiteral("cmdGetUpdate"));
    if (!downloadDir || !getUpdate)
        return fail("the window has no download directory box or download button");
    if (downloadDir->text() != dl || window.list().count() != count)
        return fail("the window did not pick up the prepared list and folder");

    DownloadController& controller = window.downloadController();
    QElapsedTimer clock;
    // Per turn: wall time since the click, and the window thread's CPU time,
    // which tells its own work apart from time the system gave to others.
    std::vector<qint64> turns;
    std::vector<qint64> cpu;
    turns.reserve(1 << 22);
    cpu.reserve(1 << 22);
    QTimer everyTurn;
    everyTurn.setInterval(0);
    QObject::connect(&everyTurn, &QTimer::timeout, [&] {
        turns.push_back(clock.nsecsElapsed());
        cpu.push_back(threadCpuNs());
    });
    QEventLoop loop;
    QObject::connect(&controller, &DownloadController::finished, &loop, &QEventLoop::quit);

    everyTurn.start();
    const qint64 cpuAtClick = threadCpuNs();
    clock.start();
    getUpdate->click();
    if (!controller.isRunning())
        return fail("the click did not start a run");
    loop.exec();
    const qint64 wallNs = clock.nsecsElapsed();
    const qint64 cpuAtEnd = threadCpuNs();
    everyTurn.stop();

    // Gaps between consecutive turns, counting the click and the end of the
    // run as turns too.
    std::vector<double> gaps;
    std::vector<double> busy;
    gaps.reserve(turns.size() + 1);
    busy.reserve(turns.size() + 1);
    qint64 previous = 0;
    qint64 previousCpu = cpuAtClick;
    for (std::size_t i = 0; i < turns.size(); ++i) {
        gaps.push_back(double(turns[i] - previous) / 1e6);
        busy.push_back(double(cpu[i] - previousCpu) / 1e6);
        previous = turns[i];
        previousCpu = cpu[i];
    }
    gaps.push_back(double(wallNs - previous) / 1e6);
    busy.push_back(double(cpuAtEnd - previousCpu) / 1e6);
    const double largest = *std::max_element(gaps.cbegin(), gaps.cend());
    const double p99 = percentile(gaps, 99);
    const double largestBusy = *std::max_element(busy.cbegin(), busy.cend());
    const int stored = int(QDir(dl).entryList({QStringLiteral("*.csv")}, QDir::Files).size());

    std::printf("symbols                     %d (%d stored)\n", count, stored);
    std::printf("source, requests in flight  %s, %d\n", qPrintable(source), jobs);
    std::printf("delay per answer            %d ms\n", delay);
    std::printf("status at the end           %s\n", qPrintable(window.statusText()));
    // The service's delays alone, with jobs answers waited for at once.
    const double delaysS = double((count + jobs - 1) / jobs) * delay / 1000.0;
    std::printf("run wall time               %.3f s   (%.1f ms per ticker; the delays alone take %.3f s)\n",
                double(wallNs) / 1e9, double(wallNs) / 1e6 / count, delaysS);
    std::printf("event-loop turns            %zu\n", turns.size());
    std::printf("largest event-loop gap      %.2f ms   (target: no gap over 100 ms)\n", largest);
    std::printf("99th-percentile gap         %.3f ms\n", p99);
    std::printf("largest gap in CPU time     %.2f ms   (the window thread's own work between two turns)\n",
                largestBusy);

    if (top > 0) {
        struct Gap
        {
            double wall, cpu, end;
        };
        std::vector<Gap> at;
        for (std::size_t i = 0; i < gaps.size(); ++i)
            at.push_back({gaps[i], busy[i], i < turns.size() ? double(turns[i]) / 1e6 : double(wallNs) / 1e6});
        std::sort(at.begin(), at.end(), [](const Gap& a, const Gap& b) { return a.wall > b.wall; });
        for (std::size_t i = 0; i < std::min<std::size_t>(std::size_t(top), at.size()); ++i)
            std::printf("  gap %.2f ms (%.2f ms CPU) ending at %.1f ms\n", at[i].wall, at[i].cpu, at[i].end);
    }

    window.close();
    service.terminate();
    if (!service.waitForFinished(5000))
        service.kill();
    return stored == count ? 0 : 1;
}
