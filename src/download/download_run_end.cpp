#include "download/download_run.h"
#include "download/run_ticker.h"

#include "download/metastock_components.h"
#include "download/output_files.h"
#include "formats/error_log.h"
#include "formats/file_stem.h"
#include "formats/metastock_conversion.h"
#include "sources/quote_request.h"
#include "sources/quote_source.h"
#include "sources/source_registry.h"

#include <QDir>
#include <QFile>
#include <QPointer>

namespace kestrion {

// How a run ends: its tickers finished in list order, the prompts it waits
// for, the MetaStock conversion and the end steps.

namespace {
const QString kCouldNotGet = QStringLiteral("Could not get ");
const QString kComplete = QStringLiteral("Download Complete!");
const QString kErrorsLogged = QStringLiteral("ERRORS LOGGED!");

// A given-up ticker goes into errorlog.txt; the first failure to write it
// is kept for the end of the run, which says so.
void logTicker(const QString& dir, const QString& symbol, RunResult& result)
{
    QString why;
    if (!ErrorLog::logTicker(dir, symbol, &why) && result.errorLogProblem.isEmpty())
        result.errorLogProblem
            = QStringLiteral("Could not write %1: %2").arg(QDir::toNativeSeparators(ErrorLog::path(dir)), why);
}

} // namespace

void DownloadRun::advance()
{
    if (m_advancing || m_asking || !m_running)
        return;
    m_advancing = true;
    Finish step = Finish::GoOn;
    for (;;) {
        fill();
        const auto it = m_open.find(m_head);
        if (it == m_open.end() || !it->second->done)
            break;
        const std::unique_ptr<Ticker> t = std::move(it->second);
        m_open.erase(it);
        step = finishTicker(*t);
        if (!m_running) {
            m_advancing = false;
            return; // cancelled from inside a call to the view
        }
        if (step != Finish::GoOn)
            break;
        moveHead();
    }
    m_advancing = false;
    if (step == Finish::Asking)
        return; // stopAnswered() goes on
    if (step == Finish::Stop) {
        dropOpenTickers();
        if (m_running)
            end();
    } else if (m_head >= m_rows) {
        complete();
    }
}

void DownloadRun::moveHead()
{
    ++m_head;
    const auto next = m_open.find(m_head);
    if (next == m_open.end())
        return;
    const QStringList pending = std::exchange(next->second->pending, {});
    for (const QString& text : pending) {
        if (m_running)
            m_view.setStatusText(text);
    }
}

void DownloadRun::later(quint64 run, std::function<void()> step)
{
    QMetaObject::invokeMethod(
        this,
        [this, run, step = std::move(step)] {
            if (m_running && m_runs == run)
                step();
        },
        Qt::QueuedConnection);
}

DownloadRun::Finish DownloadRun::finishTicker(Ticker& t)
{
    for (const QString& text : std::as_const(t.pending)) {
        m_view.setStatusText(text);
        if (!m_running)
            return Finish::Stop;
    }

    if (componentPath(m_in.settings)) {
        if (t.componentError == MetaStockDownloader::kErrorCouldNotDownload
            || t.componentError == MetaStockDownloader::kErrorCouldNotStore) {
            logTicker(m_in.downloadDir, t.symbol, m_result);
            ++m_result.failed;
            if (t.componentError == MetaStockDownloader::kErrorCouldNotStore)
                m_view.tickerFailed(t.symbol, FailureReason::WriteFailed, QString());
            m_view.tickerFinished(t.symbol, false, QString());
        } else {
            ++m_result.stored;
            m_view.tickerFinished(t.symbol, true, m_in.downloadDir);
        }
        if (!m_in.singleTicker)
            m_view.setProgressValue(++m_stored - 1);
        return Finish::GoOn;
    }

    if (t.outcome.attempt == Attempt::Passed && storeFile(t)) {
        if (!m_in.singleTicker)
            m_view.setProgressValue(++m_stored - 1);
        if (!m_running)
            return Finish::Stop;
        const bool converting = writerCondition(m_in.settings) || tableWriterCondition(m_in.settings);
        if (converting && !convert(t.path, t.symbol)) {
            // Not in the MetaStock folder, which stays as it was; the data
            // file stays too, the only copy of the quotes.
            ++m_result.failed;
            if (!m_in.singleTicker)
                logTicker(m_in.downloadDir, t.symbol, m_result);
            m_view.tickerFailed(t.symbol, FailureReason::WriteFailed,
                                QStringLiteral("the MetaStock folder could not be written"));
            m_view.tickerFinished(t.symbol, false, QString());
            return m_in.singleTicker ? Finish::Stop : Finish::GoOn;
        }
        ++m_result.stored;
        if (t.lane > 0)
            m_view.tickerServedBy(t.symbol, sourceOf(t).name());
        m_view.tickerFinished(t.symbol, true, converting ? m_in.downloadDir : t.path);
        return Finish::GoOn;
    }

    // Given up: a body kept as sent that failed leaves no file behind,
    // unless the file was there to be updated.
    m_view.setStatusText(kCouldNotGet + t.symbol);
    if (!m_running)
        return Finish::Stop;
    if (m_lanes.front()->source->storesBodyAsSent() && !m_in.settings.updatesExistingFiles()
        && t.outcome.reason != FailureReason::NameClash) // the file is the earlier ticker's
        QFile::remove(t.path);
    ++m_result.failed;
    // Once the source has refused further requests, asking whether to go on
    // after each remaining ticker would only repeat its answer.
    if (m_in.singleTicker || !m_in.settings.activeAlerts.on() || m_result.sourceStopped) {
        finishFailed(t.symbol, t.outcome, t.fallbackFailures, false);
        return m_in.singleTicker ? Finish::Stop : Finish::GoOn;
    }
    m_asking = true;
    m_view.askStop([self = QPointer<DownloadRun>(this), run = m_runs, symbol = t.symbol, outcome = t.outcome,
                    fallbackFailures = t.fallbackFailures](bool stop) {
        if (!self)
            return;
        self->later(run, [self, symbol, outcome, fallbackFailures, stop] {
            self->m_asking = false;
            self->finishFailed(symbol, outcome, fallbackFailures, stop);
            self->stopAnswered(stop);
        });
    });
    return Finish::Asking;
}

void DownloadRun::finishFailed(const QString& symbol, const Outcome& outcome, const QStringList& fallbackFailures,
                               bool stop)
{
    if (!m_in.singleTicker)
        logTicker(m_in.downloadDir, symbol, m_result);
    m_view.tickerFailed(symbol, outcome.reason, outcome.detail);
    if (!fallbackFailures.isEmpty())
        m_view.fallbacksFailed(symbol, fallbackFailures);
    m_view.tickerFinished(symbol, false, QString());
    if (stop)
        m_result.stopped = true;
}

void DownloadRun::stopAnswered(bool stop)
{
    if (!m_running)
        return;
    if (stop) {
        dropOpenTickers();
        end();
        return;
    }
    moveHead();
    advance();
}

void DownloadRun::dropOpenTickers()
{
    // Aborts their requests; their temporary files go with them, and with
    // the workers' results those they have written.
    for (const auto& lane : m_lanes) {
        lane->pause.stop();
        lane->paced.stop();
    }
    m_open.clear();
    m_workers.drop();
}

void DownloadRun::complete()
{
    m_result.completed = true;
    m_view.progressToMaximum();
    m_view.setStatusText(kComplete);
    if (!m_running)
        return;
    if (!m_in.settings.playSound.on()) {
        end();
        return;
    }
    m_asking = true;
    m_view.showCompletionMessage([self = QPointer<DownloadRun>(this), run = m_runs] {
        if (self)
            self->later(run, [self] {
                self->m_asking = false;
                self->end();
            });
    });
}

void DownloadRun::folderStep(bool emasterPresent)
{
    if (!writerCondition(m_in.settings) && !tableWriterCondition(m_in.settings))
        return;
    if (emasterPresent)
        writer().openFolder(m_in.downloadDir);
    else
        writer().createFolder(m_in.downloadDir);
}

bool DownloadRun::convert(const QString& path, const QString& symbol)
{
    const QString stem = fileStem(symbol);
    const qint16 period = periodValues(m_in.period).number;
    const bool stored = tableWriterCondition(m_in.settings) ? convertTableToMetaStock(path, stem, period, writer())
                                                             : convertToMetaStock(path, stem, period, writer());
    if (!stored)
        return false; // not stored as MetaStock data: keep the downloaded file
    QFile::remove(path);
    return true;
}

void DownloadRun::releaseComponents()
{
    // Their data must be on disk before a launched program reads it.
    m_writer.reset();
    m_downloader.reset();
}

void DownloadRun::end()
{
    m_workers.drop();
    releaseComponents();
    m_running = false;
    m_view.setInputsEnabled(true);
    m_view.refreshList();
    if (!m_result.notStarted.isEmpty()) {
        m_view.setStatusText(m_result.notStarted); // an earlier run's log is not this run's
    } else if (ErrorLog::check(m_in.downloadDir)) {
        m_result.errorsLogged = true;
        m_view.setStatusText(kErrorsLogged);
    }
    if (!m_result.errorLogProblem.isEmpty())
        m_view.setStatusText(m_result.errorLogProblem);
    m_lock.reset(); // unlocks and removes the lock file
    // The run that holds the folder starts the program when it is done.
    if (m_in.automatic && m_in.settings.autoStartApp.on() && m_result.folderBusy.isEmpty())
        m_launcher(m_in.settings.appName);
    Q_EMIT finished(m_result);
}

void DownloadRun::cancel()
{
    if (!m_running)
        return;
    m_running = false;
    m_asking = false; // a prompt still open answers into nothing now
    m_result.cancelled = true;
    dropOpenTickers();
    if (m_downloader)
        m_downloader->cancel();
    releaseComponents();
    // Nothing of the run is left in the folder now.
    m_lock.reset();
    Q_EMIT finished(m_result);
}

} // namespace kestrion
