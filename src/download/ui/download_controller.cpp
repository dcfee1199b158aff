#include "download/ui/download_controller.h"

#include "core/app_state.h"
#include "download/download_run.h"
#include "download/download_request.h"
#include "download/run_view.h"
#include "lists/ticker_list.h"
#include "download/metastock_factory.h"
#include "download/run_keys.h"
#include "platform/memory_reuse.h"
#include "platform/ui/prompt.h"
#include "sources/source_registry.h"

#include <QDir>

#include <algorithm>
#include <QMessageBox>
#include <QWidget>

namespace kestrion {

DownloadController::DownloadController(QWidget& window, RunView& view)
    : m_window(window)
    , m_view(view)
{
}

DownloadController::~DownloadController()
{
    cancel();
}

bool DownloadController::isRunning() const
{
    return m_run != nullptr || m_keys != nullptr;
}

void DownloadController::warnAndEnd(const QString& text)
{
    // The run is over once the user has read why.
    Prompt::open(&m_window, QMessageBox::Warning, m_window.windowTitle(), text, QMessageBox::Ok, QMessageBox::NoButton,
                 [this](Prompt::Button) { endRun(); });
}

void DownloadController::start(const ShownRequest& shown, bool automatic)
{
    if (isRunning())
        return;
    // The program-wide marker says while the run goes on that the timer
    // started it; endRun() clears it. The run itself reads the request.
    appState().autoRunMarker = automatic ? 1 : 0;

    DownloadRequest request;
    const AppState& state = appState();
    request.settings = state.settings;
    request.services = state.services;
    request.downloadDir = shown.downloadDir;
    request.period = shown.period;
    request.automatic = automatic;
    // A range that cannot be asked for (Feb 30, or an end before the start)
    // is never sent: the service would only answer with errors per ticker.
    if (const QString problem = rangeProblem(shown.start, shown.end); !problem.isEmpty()) {
        m_view.setStatusText(QStringLiteral("Download did not start: ") + problem);
        if (automatic)
            endRun();
        else
            warnAndEnd(QStringLiteral("The download did not start: %1.\nChoose the dates again.").arg(problem));
        return;
    }
    request.range = {shown.start.date(), shown.end.date()};
    const bool listOpen = shown.list && shown.list->isOpen();
    QStringList symbols;
    QString listError;
    if (listOpen && !shown.list->readSymbols(symbols, &listError)) {
        // Nothing is fetched from a list that cannot be read, and nothing
        // pretends that all went well.
        m_view.setStatusText(QStringLiteral("Download did not start: the ticker list could not be read"));
        warnAndEnd(QStringLiteral("The download did not start: the ticker list \"%1\" could not be read.\n%2")
                       .arg(QDir::toNativeSeparators(shown.list->path()), listError));
        return;
    }
    pickTickers(request, listOpen, symbols, shown.singleStock, shown.currentRow);

    // Inputs go grey at once, so nothing can change between the click and
    // the run's own first step.
    m_view.setInputsEnabled(false);
    m_view.setStatusToolTip(QStringLiteral("Download Status"));

    const QuoteSourceEntry& source = quoteSourceEntry(request.settings);
    if (!source.serves(request.period)) {
        // A described service may give monthly prices only, say.
        const QString text = QStringLiteral("The download did not start: %1 cannot give %2 prices.\nChoose "
                                            "another period or another source.")
                                 .arg(request.settings.dataSource,
                                      request.period == HistoryPeriod::Daily      ? QStringLiteral("daily")
                                          : request.period == HistoryPeriod::Weekly ? QStringLiteral("weekly")
                                                                                    : QStringLiteral("monthly"));
        m_view.setInputsEnabled(true);
        m_view.setStatusText(text.section(QLatin1Char('\n'), 0, 0));
        if (request.automatic)
            endRun();
        else
            warnAndEnd(text);
        return;
    }
    const QStringList chain = fallbackChain(request.settings);
    const auto takesKey = [](const QuoteSourceEntry& e) { return e.needsApiKey || e.takesApiKey; };
    if (!takesKey(source) && std::none_of(chain.cbegin(), chain.cend(), [&](const QString& name) {
            return takesKey(quoteSourceEntry(name));
        })) {
        for (const QString& name : chain)
            request.fallbacks.push_back({name, QString()});
        launch(request);
        return;
    }
    // The secret store answers over D-Bus: ask it without blocking the window.
    // Each service's key is kept under its own name; an optional one may be
    // missing and the run goes on without it, as it goes on without a
    // fallback that lacks the key it needs.
    m_keys = new RunKeys(this);
    m_keys->read(request, chain, [this](DownloadRequest request, bool chosenKeyMissing) {
        m_keys->deleteLater();
        m_keys = nullptr;
        if (chosenKeyMissing) {
            const QString text = QStringLiteral("%1 needs an API key. Enter it on the Sources page of the options "
                                                "dialog, or set the environment variable %2.")
                                     .arg(request.settings.dataSource,
                                          quoteSourceEntry(request.settings).keyPlace.variable);
            m_view.setInputsEnabled(true);
            m_view.setStatusText(QStringLiteral("No API key for ") + request.settings.dataSource);
            if (request.automatic)
                endRun();
            else
                warnAndEnd(text);
            return;
        }
        launch(request);
    });
}

void DownloadController::launch(const DownloadRequest& request)
{
    m_metastock = makeMetaStockFactory(request.services);
    m_run = new DownloadRun(m_view, *m_metastock, this);
    // The window stays open for days: what the run's workers kept for
    // reuse goes back once the run and its buffers are gone.
    connect(m_run, &QObject::destroyed, this, [] { releaseFreedBuffers(); });
    connect(m_run, &DownloadRun::finished, this, [this, automatic = request.automatic](const RunResult& result) {
        // The run may still be on the stack (it ends from inside its own
        // calls): it goes once control is back in the event loop.
        m_run->deleteLater();
        m_run = nullptr;
        if (result.cancelled)
            return;
        // The run said so in the status bar; a run the user started says it
        // in a message too. Nothing was asked or written.
        if (!result.folderBusy.isEmpty() && !automatic) {
            warnAndEnd(QStringLiteral("The download did not start: %1.").arg(result.folderBusy));
            return;
        }
        endRun();
    });
    m_run->start(request);
}

void DownloadController::endRun()
{
    // Whatever ended the run (done, stopped at a prompt, declined to
    // start), it no longer counts as automatic.
    appState().autoRunMarker = 0;
    Q_EMIT finished();
}

void DownloadController::cancel()
{
    if (m_keys) {
        delete m_keys; // its answer never comes now
        m_keys = nullptr;
        m_view.setInputsEnabled(true);
    }
    if (!m_run)
        return;
    m_run->cancel();
    appState().autoRunMarker = 0; // a stopped run is over as well
    // A cancelled run skips its end steps. When the window stays open after
    // all (another window refused to close) it must not stay locked.
    m_view.setInputsEnabled(true);
}

} // namespace kestrion
