#include "download/ui/download_controller.h"

#include "app/ui/frmMain.h"
#include "core/app_state.h"
#include "download/download_run.h"
#include "download/metastock_factory.h"
#include "download/quote_source.h"
#include "download/ui/frmNoData.h"
#include "lists/ticker_list.h"
#include "platform/api_key_store.h"
#include "schedule/ui/dlgCreateDownloadDir.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QThread>
#include <QToolBar>

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
    WindowHost(frmMain& window, QObject* context, std::shared_ptr<const std::atomic_bool> closing)
        : m_window(window)
        , m_context(context)
        , m_closing(std::move(closing))
    {
    }

    void disableInputs() override
    {
        post([w = &m_window] { setInputsEnabled(*w, false); });
    }
    void enableInputs() override
    {
        post([w = &m_window] { setInputsEnabled(*w, true); });
    }
    void refreshGrid() override
    {
        post([w = &m_window] { w->refreshGrid(); });
    }
    void setStatus(const QString& text) override
    {
        post([w = &m_window, text] { w->setStatusText(text); });
    }
    void setProgressRange(int minimum, int maximum) override
    {
        post([w = &m_window, minimum, maximum] {
            // An empty list must not turn the bar into a busy indicator.
            if (maximum > minimum)
                w->ProgressBar1->setRange(minimum, maximum);
        });
    }
    void setProgressValue(int value) override
    {
        post([w = &m_window, value] { w->ProgressBar1->setValue(value); });
    }
    void progressToMinimum() override
    {
        post([w = &m_window] { w->ProgressBar1->setValue(w->ProgressBar1->minimum()); });
    }
    void progressToMaximum() override
    {
        post([w = &m_window] { w->ProgressBar1->setValue(w->ProgressBar1->maximum()); });
    }
    bool askStop() override
    {
        return ask<bool>([w = &m_window] { return frmNoData::ask(w); }, true);
    }
    QString promptCreateDirectory() override
    {
        return ask<QString>(
            [w = &m_window] {
                const QString dir = dlgCreateDownloadDir::ask(w);
                w->txtDownloadDir->setText(dir);
                return dir;
            },
            QString());
    }
    void showCompletionMessage() override
    {
        ask<bool>(
            [w = &m_window, failures = m_failures, last = m_lastFailure] {
                QMessageBox box(QMessageBox::Warning, w->windowTitle(), QStringLiteral("Download Complete!"),
                                QMessageBox::Ok, w);
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
        post([w = &m_window, text = m_lastFailure] { w->pnlStatus->setToolTip(failureTip(text)); });
    }
    void sourceStopped(const QString& text) override
    {
        m_lastFailure = text;
        post([w = &m_window, text] { w->pnlStatus->setToolTip(failureTip(text)); });
    }
    static QString failureTip(const QString& failure)
    {
        return QStringLiteral("Download Status\nLast failure: ") + failure;
    }

    static void setInputsEnabled(frmMain& w, bool enabled)
    {
        for (QWidget* c : std::initializer_list<QWidget*>{
                 w.txtTicker, w.txtDownloadDir, w.cmdGetUpdate, w.cmdAdd, w.cmdDelete, w.cmdBrowse, w.cbxStartMonth,
                 w.cbxStartDay, w.cbxStartYear, w.cbxEndMonth, w.cbxEndDay, w.cbxEndYear, w.DBGrid1, w.tbToolBar})
            c->setEnabled(enabled);
        // What changes the open list or the settings the run reads waits for
        // its end, so the window always shows what is being downloaded.
        for (QAction* a : {w.mnuOpenList, w.mnuCreateNewList, w.mnuImportList, w.mnuViewOptions, w.mnuLaunch})
            a->setEnabled(enabled);
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

    frmMain& m_window;
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

DownloadController::DownloadController(frmMain& window)
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

static HistoryPeriod chosenPeriod(const frmMain& w)
{
    // Tested in the order Daily, Weekly, Monthly; the last one set wins.
    HistoryPeriod p = HistoryPeriod::None;
    if (w.optDaily->isChecked())
        p = HistoryPeriod::Daily;
    if (w.optWeekly->isChecked())
        p = HistoryPeriod::Weekly;
    if (w.optMonthly->isChecked())
        p = HistoryPeriod::Monthly;
    return p;
}

void DownloadController::start(bool automatic)
{
    if (m_worker || m_keyStore)
        return;
    frmMain& w = m_window;

    RunInputs in;
    const AppState& state = appState();
    in.settings = state.settings;
    in.services = state.services;
    in.request = {w.cbxStartMonth->currentText(),
                  w.cbxStartDay->currentText(),
                  w.cbxStartYear->currentText(),
                  w.cbxEndMonth->currentText(),
                  w.cbxEndDay->currentText(),
                  w.cbxEndYear->currentText(),
                  chosenPeriod(w)};
    in.downloadDir = w.txtDownloadDir->text();
    in.singleStock = w.chkSingleStock->isChecked();
    in.listOpen = w.list().isOpen();
    QString listError;
    if (in.listOpen && !w.list().readSymbols(in.symbols, &listError)) {
        // Nothing is fetched from a list that cannot be read, and nothing
        // pretends that all went well.
        w.setStatusText(QStringLiteral("Download did not start: the ticker list could not be read"));
        QMessageBox::warning(&w, w.windowTitle(),
                             QStringLiteral("The download did not start: the ticker list \"%1\" could not be read.\n%2")
                                 .arg(QDir::toNativeSeparators(w.list().path()), listError));
        Q_EMIT finished();
        return;
    }
    in.currentRow = w.currentRow();
    in.automatic = automatic;

    // Inputs go grey at once, so nothing can change between the click and
    // the run's own first step.
    WindowHost::setInputsEnabled(w, false);
    w.pnlStatus->setToolTip(QStringLiteral("Download Status"));

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
            WindowHost::setInputsEnabled(m_window, true);
            m_window.setStatusText(QStringLiteral("No API key for ") + in.settings.dataSource);
            if (!in.automatic)
                QMessageBox::warning(&m_window, m_window.windowTitle(), text);
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
    frmMain& w = m_window;
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
        WindowHost::setInputsEnabled(m_window, true);
    }
    if (!m_worker)
        return;
    *m_worker->closing = true;
    m_worker->run->cancel();
    m_worker->thread->wait();
    m_worker.reset();
    // A cancelled run skips its end steps. When the window stays open after
    // all (another window refused to close) it must not stay locked.
    WindowHost::setInputsEnabled(m_window, true);
}

} // namespace kestrion
