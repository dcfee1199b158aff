#include "download/ui/download_controller.h"

#include "core/app_state.h"
#include "download/download_run.h"
#include "download/download_view.h"
#include "download/metastock_factory.h"
#include "download/quote_source.h"
#include "download/ui/frmNoData.h"
#include "platform/api_key_store.h"
#include "schedule/ui/dlgCreateDownloadDir.h"

#include <QDir>
#include <QMessageBox>
#include <QThread>

#include <chrono>
#include <future>

namespace kestrion {

namespace {

// Shows the run in the main window. The run calls it on its own thread; every
// call is handed to the window thread in order, so the window sees exactly
// the sequence the run produces. Prompts wait for their answer, unless the
// program is closing.
class WindowHost : public RunHost
{
public:
    WindowHost(DownloadView& window, QObject* context, std::shared_ptr<const std::atomic_bool> closing)
        : m_window(window)
        , m_context(context)
        , m_closing(std::move(closing))
    {
    }

    void disableInputs() override
    {
        post([w = &m_window] { w->setInputsEnabled(false); });
    }
    void enableInputs() override
    {
        post([w = &m_window] { w->setInputsEnabled(true); });
    }
    void refreshGrid() override
    {
        post([w = &m_window] { w->refreshList(); });
    }
    void setStatus(const QString& text) override
    {
        post([w = &m_window, text] { w->setStatusText(text); });
    }
    void setProgressRange(int minimum, int maximum) override
    {
        post([w = &m_window, minimum, maximum] { w->setProgressRange(minimum, maximum); });
    }
    void setProgressValue(int value) override
    {
        post([w = &m_window, value] { w->setProgressValue(value); });
    }
    void progressToMinimum() override
    {
        post([w = &m_window] { w->progressToMinimum(); });
    }
    void progressToMaximum() override
    {
        post([w = &m_window] { w->progressToMaximum(); });
    }
    bool askStop() override
    {
        return ask<bool>([w = &m_window] { return frmNoData::ask(w->promptParent()); }, true);
    }
    QString promptCreateDirectory() override
    {
        return ask<QString>(
            [w = &m_window] {
                const QString dir = dlgCreateDownloadDir::ask(w->promptParent());
                w->setDownloadDir(dir);
                return dir;
            },
            QString());
    }
    void showCompletionMessage() override
    {
        ask<bool>(
            [w = &m_window, failures = m_failures, last = m_lastFailure] {
                QWidget* parent = w->promptParent();
                QMessageBox box(QMessageBox::Warning, parent->windowTitle(), QStringLiteral("Download Complete!"),
                                QMessageBox::Ok, parent);
                if (failures > 0)
                    box.setInformativeText(
                        QStringLiteral("Tickers not downloaded: %1 (see errorlog.txt).\nLast failure: %2")
                            .arg(failures)
                            .arg(last));
                box.exec();
                return true;
            },
            true);
    }
    void tickerFailed(const QString& symbol, FailureReason reason, const QString& detail) override
    {
        ++m_failures;
        m_lastFailure = symbol + QStringLiteral(": ") + reasonText(reason);
        if (!detail.isEmpty())
            m_lastFailure += QStringLiteral(" (") + detail + QLatin1Char(')');
        post([w = &m_window, text = m_lastFailure] { w->setStatusToolTip(failureTip(text)); });
    }
    void sourceStopped(const QString& text) override
    {
        m_lastFailure = text;
        post([w = &m_window, text] { w->setStatusToolTip(failureTip(text)); });
    }
    static QString failureTip(const QString& failure)
    {
        return QStringLiteral("Download Status\nLast failure: ") + failure;
    }

private:
    // Calls still queued when the window closes are dropped: a closed window
    // must not show a prompt, a message box or a status text of its old run.
    template <class F> void post(F&& f)
    {
        QMetaObject::invokeMethod(
            m_context,
            [closing = m_closing, f = std::forward<F>(f)]() mutable {
                if (!*closing)
                    f();
            },
            Qt::QueuedConnection);
    }

    template <class T, class F> T ask(F&& f, T whenClosing)
    {
        auto answer = std::make_shared<std::promise<T>>();
        std::future<T> future = answer->get_future();
        post([answer, f = std::forward<F>(f)]() mutable { answer->set_value(f()); });
        while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
            if (*m_closing)
                return whenClosing;
        }
        return future.get();
    }

    DownloadView& m_window;
    QObject* m_context;
    std::shared_ptr<const std::atomic_bool> m_closing;
    // Kept on the run's thread, for the completion message.
    int m_failures = 0;
    QString m_lastFailure;
};

} // namespace

struct DownloadController::Worker
{
    // Shared with the calls the run has queued for the window, which can
    // outlive the worker.
    std::shared_ptr<std::atomic_bool> closing = std::make_shared<std::atomic_bool>(false);
    quint64 serial = 0;
    std::unique_ptr<QThread> thread;
    std::unique_ptr<WindowHost> host;
    std::unique_ptr<MetaStockFactory> metastock;
    std::unique_ptr<DownloadRun> run;
    RunResult result;
};

DownloadController::DownloadController(DownloadView& window)
    : m_window(window)
{
}

DownloadController::~DownloadController()
{
    cancelAndWait();
}

bool DownloadController::isRunning() const
{
    return m_worker != nullptr || m_keyStore != nullptr;
}

void DownloadController::start(bool automatic)
{
    if (m_worker || m_keyStore)
        return;
    DownloadView& w = m_window;

    RunInputs in;
    const AppState& state = appState();
    in.settings = state.settings;
    in.services = state.services;
    in.request = w.requestInputs();
    in.downloadDir = w.downloadDir();
    in.singleStock = w.singleStock();
    in.listOpen = w.listOpen();
    QString listError;
    if (in.listOpen && !w.readListSymbols(in.symbols, &listError)) {
        // Nothing is fetched from a list that cannot be read, and nothing
        // pretends that all went well.
        w.setStatusText(QStringLiteral("Download did not start: the ticker list could not be read"));
        QWidget* parent = w.promptParent();
        QMessageBox::warning(parent, parent->windowTitle(),
                             QStringLiteral("The download did not start: the ticker list \"%1\" could not be read.\n%2")
                                 .arg(QDir::toNativeSeparators(w.listPath()), listError));
        Q_EMIT finished();
        return;
    }
    in.currentRow = w.currentListRow();
    in.automatic = automatic;

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
            if (!in.automatic)
                QMessageBox::warning(parent, parent->windowTitle(), text);
            Q_EMIT finished();
            return;
        }
        in.apiKey = stored.key;
        launch(std::move(in));
    });
    m_keyStore->read();
}

void DownloadController::launch(RunInputs in)
{
    DownloadView& w = m_window;
    m_worker = std::make_unique<Worker>();
    Worker* worker = m_worker.get();
    worker->serial = ++m_serial;
    worker->host = std::make_unique<WindowHost>(w, this, worker->closing);
    worker->metastock = makeMetaStockFactory(in.services);
    worker->run = std::make_unique<DownloadRun>(*worker->host, *worker->metastock);
    worker->thread.reset(QThread::create([worker, in] { worker->result = worker->run->run(in); }));
    connect(worker->thread.get(), &QThread::finished, this, [this, serial = worker->serial] {
        // The notice of a run that cancelAndWait() has already ended arrives
        // late; it must not end (and wait for) a run started after it.
        if (!m_worker || m_worker->serial != serial)
            return;
        // Everything the run posted before it ended has been shown by now:
        // queued calls are handled in order.
        m_worker->thread->wait();
        m_worker.reset();
        Q_EMIT finished();
    });
    worker->thread->start();
}

void DownloadController::cancelAndWait()
{
    if (m_keyStore) {
        delete m_keyStore; // its answer never comes now
        m_keyStore = nullptr;
        m_window.setInputsEnabled(true);
    }
    if (!m_worker)
        return;
    *m_worker->closing = true;
    m_worker->run->cancel();
    m_worker->thread->wait();
    m_worker.reset();
    // A cancelled run skips its end steps. When the window stays open after
    // all (another window refused to close) it must not stay locked.
    m_window.setInputsEnabled(true);
}

} // namespace kestrion
