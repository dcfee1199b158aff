#include "download/ui/download_controller.h"

#include "core/app_state.h"
#include "download/download_run.h"
#include "download/download_view.h"
#include "download/metastock_factory.h"
#include "sources/quote_request.h"
#include "sources/quote_source.h"
#include "download/ui/frmNoData.h"
#include "platform/api_key_store.h"
#include "platform/memory_reuse.h"
#include "schedule/ui/dlgCreateDownloadDir.h"
#include "sources/source_registry.h"

#include <QDir>
#include <QMessageBox>

namespace kestrion {

namespace {

// Shows the run in the main window. The run goes on in the window's thread,
// so every call lands directly; a prompt is a modal dialog.
class WindowHost : public RunHost
{
public:
    explicit WindowHost(DownloadView& window)
        : m_window(window)
    {
    }

    void disableInputs() override { m_window.setInputsEnabled(false); }
    void enableInputs() override { m_window.setInputsEnabled(true); }
    void refreshGrid() override { m_window.refreshList(); }
    void setStatus(const QString& text) override { m_window.setStatusText(text); }
    void setProgressRange(int minimum, int maximum) override { m_window.setProgressRange(minimum, maximum); }
    void setProgressValue(int value) override { m_window.setProgressValue(value); }
    void progressToMinimum() override { m_window.progressToMinimum(); }
    void progressToMaximum() override { m_window.progressToMaximum(); }
    bool askStop() override { return frmNoData::ask(m_window.promptParent()); }
    QString promptCreateDirectory() override
    {
        const QString dir = dlgCreateDownloadDir::ask(m_window.promptParent(), m_window.downloadDir());
        m_window.setDownloadDir(dir);
        return dir;
    }
    void showCompletionMessage() override
    {
        QWidget* parent = m_window.promptParent();
        QMessageBox box(QMessageBox::Warning, parent->windowTitle(), QStringLiteral("Download Complete!"),
                        QMessageBox::Ok, parent);
        if (m_failures > 0)
            box.setInformativeText(QStringLiteral("Tickers not downloaded: %1 (see errorlog.txt).\nLast failure: %2")
                                       .arg(m_failures)
                                       .arg(m_lastFailure));
        box.exec();
    }
    void tickerFailed(const QString& symbol, FailureReason reason, const QString& detail) override
    {
        ++m_failures;
        m_lastFailure = symbol + QStringLiteral(": ") + reasonText(reason);
        if (!detail.isEmpty())
            m_lastFailure += QStringLiteral(" (") + detail + QLatin1Char(')');
        m_window.setStatusToolTip(failureTip(m_lastFailure));
    }
    void sourceStopped(const QString& text) override
    {
        m_lastFailure = text;
        m_window.setStatusToolTip(failureTip(text));
    }

private:
    static QString failureTip(const QString& failure)
    {
        return QStringLiteral("Download Status\nLast failure: ") + failure;
    }

    DownloadView& m_window;
    int m_failures = 0;
    QString m_lastFailure;
};

} // namespace

DownloadController::DownloadController(DownloadView& view)
    : m_window(view)
{
}

DownloadController::~DownloadController()
{
    cancel();
}

bool DownloadController::isRunning() const
{
    return m_run != nullptr || m_keyStore != nullptr;
}

void DownloadController::start(bool automatic)
{
    if (isRunning())
        return;
    DownloadView& w = m_window;
    // The one place the automatic-run marker is set; endRun() clears it.
    appState().autoRunMarker = automatic ? 1 : 0;

    RunInputs in;
    const AppState& state = appState();
    in.settings = state.settings;
    in.services = state.services;
    in.request = w.requestInputs();
    in.downloadDir = w.downloadDir();
    in.singleStock = w.singleStock();
    in.listOpen = w.listOpen();
    // A range that cannot be asked for (Feb 30, or an end before the start)
    // is never sent: the service would only answer with errors per ticker.
    if (const QString problem = rangeProblem(in.request); !problem.isEmpty()) {
        w.setStatusText(QStringLiteral("Download did not start: ") + problem);
        if (!automatic) {
            QWidget* parent = w.promptParent();
            QMessageBox::warning(
                parent, parent->windowTitle(),
                QStringLiteral("The download did not start: %1.\nChoose the dates again.").arg(problem));
        }
        endRun();
        return;
    }
    QString listError;
    if (in.listOpen && !w.readListSymbols(in.symbols, &listError)) {
        // Nothing is fetched from a list that cannot be read, and nothing
        // pretends that all went well.
        w.setStatusText(QStringLiteral("Download did not start: the ticker list could not be read"));
        QWidget* parent = w.promptParent();
        QMessageBox::warning(parent, parent->windowTitle(),
                             QStringLiteral("The download did not start: the ticker list \"%1\" could not be read.\n%2")
                                 .arg(QDir::toNativeSeparators(w.listPath()), listError));
        endRun();
        return;
    }
    in.currentRow = w.currentListRow();

    // Inputs go grey at once, so nothing can change between the click and
    // the run's own first step.
    w.setInputsEnabled(false);
    w.setStatusToolTip(QStringLiteral("Download Status"));

    if (!quoteSourceEntry(in.settings.dataSource).needsApiKey) {
        launch(std::move(in));
        return;
    }
    // The secret store answers over D-Bus: ask it without blocking the window.
    m_keyStore = new ApiKeyStore(this);
    connect(m_keyStore, &ApiKeyStore::readDone, this, [this, in](const StoredKey& stored) mutable {
        m_keyStore->deleteLater();
        m_keyStore = nullptr;
        if (stored.key.isEmpty()) {
            const QString text = QStringLiteral("%1 needs an API key. Enter it on the Sources page of the options "
                                                "dialog, or set the environment variable %2.")
                                     .arg(in.settings.dataSource, ApiKeyStore::environmentVariable());
            m_window.setInputsEnabled(true);
            m_window.setStatusText(QStringLiteral("No API key for ") + in.settings.dataSource);
            QWidget* parent = m_window.promptParent();
            if (appState().autoRunMarker != 1)
                QMessageBox::warning(parent, parent->windowTitle(), text);
            endRun();
            return;
        }
        in.apiKey = stored.key;
        launch(std::move(in));
    });
    m_keyStore->read();
}

void DownloadController::launch(const RunInputs& in)
{
    m_host = std::make_unique<WindowHost>(m_window);
    m_metastock = makeMetaStockFactory(in.services);
    m_run = new DownloadRun(*m_host, *m_metastock, this);
    // The window stays open for days: what the run's workers kept for
    // reuse goes back once the run and its buffers are gone.
    connect(m_run, &QObject::destroyed, this, [] { releaseFreedBuffers(); });
    connect(m_run, &DownloadRun::finished, this, [this](const RunResult& result) {
        // The run may still be on the stack (it ends from inside its own
        // calls): it goes once control is back in the event loop.
        m_run->deleteLater();
        m_run = nullptr;
        if (!result.cancelled)
            endRun();
    });
    m_run->start(in);
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
    if (m_keyStore) {
        delete m_keyStore; // its answer never comes now
        m_keyStore = nullptr;
        m_window.setInputsEnabled(true);
    }
    if (!m_run)
        return;
    m_run->cancel();
    appState().autoRunMarker = 0; // a stopped run is over as well
    // A cancelled run skips its end steps. When the window stays open after
    // all (another window refused to close) it must not stay locked.
    m_window.setInputsEnabled(true);
}

} // namespace kestrion
