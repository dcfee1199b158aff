#include "download/download_run.h"
#include "download/run_ticker.h"

#include "core/app_state.h"
#include "formats/error_log.h"
#include "download/metastock_components.h"
#include "download/output_files.h"
#include "sources/quote_source.h"
#include "platform/http_fetch.h"
#include "platform/program_launcher.h"
#include "platform/staged_file.h"
#include "sources/source_registry.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>

namespace kestrion {

namespace {
const QString kDownloading = QStringLiteral("...Downloading ");
const QString kCouldNotGet = QStringLiteral("Could not get ");
const QString kComplete = QStringLiteral("Download Complete!");
const QString kErrorsLogged = QStringLiteral("ERRORS LOGGED!");
const QString kNoList = QStringLiteral("No ticker list is open");
const QString kEmptyList = QStringLiteral("The ticker list is empty");
const QString kNoTicker = QStringLiteral("Select a ticker first");

// Open tickers beyond those asking: answered, being converted and written,
// or waiting for their turn.
constexpr int kWriting = 4;

bool isDefinite(FailureReason r)
{
    return r == FailureReason::NotFound || r == FailureReason::Unauthorized;
}

// "Delete Existing Files": the files a run of these inputs writes go to the
// trash, and for a list run the error log; nothing else in the folder is
// touched. False, with the reason in result, when one of them could not go.
bool trashRunFiles(const RunInputs& in, RunResult& result)
{
    const QString& dir = in.downloadDir;
    if (dir.isEmpty() || !QFileInfo(dir).isDir() || !in.listOpen)
        return true;
    QStringList symbols = in.symbols;
    if (in.singleStock)
        symbols = in.currentRow >= 0 && in.currentRow < symbols.size() ? QStringList{symbols.at(in.currentRow)}
                                                                       : QStringList{};
    if (symbols.isEmpty())
        return true;
    QStringList paths;
    for (const QString& symbol : std::as_const(symbols))
        paths << dataFilePath(dir, symbol, in.settings, in.request);
    if (!in.singleStock)
        paths << ErrorLog::path(dir);
    const QString problem = moveFilesToTrash(paths);
    if (problem.isEmpty())
        return true;
    result.notStarted = QStringLiteral("Download did not start: ") + problem;
    return false;
}

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

DownloadRun::DownloadRun(RunHost& host, MetaStockFactory& metastock, QObject* parent)
    : QObject(parent)
    , m_host(host)
    , m_factory(metastock)
    , m_launcher(&ProgramLauncher::start)
{
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &DownloadRun::resume);
}

DownloadRun::~DownloadRun()
{
    // The workers' results hold files; tickers before the client, as their
    // transfers belong to it.
    m_workers.drop();
    m_open.clear();
}

MetaStockWriter& DownloadRun::writer()
{
    if (!m_writer)
        m_writer = m_factory.createWriter();
    return *m_writer;
}

MetaStockDownloader& DownloadRun::downloader()
{
    if (!m_downloader)
        m_downloader = m_factory.createDownloader();
    return *m_downloader;
}

void DownloadRun::start(const RunInputs& inputs)
{
    if (m_running)
        return;
    m_in = inputs;
    m_result = RunResult{};
    m_result.downloadDir = m_in.downloadDir;
    m_open.clear();
    m_claimed.clear();
    m_source.reset();
    m_next = m_head = m_stored = 0;
    m_rows = 0;
    m_pauses = 0;
    m_running = true;
    m_http = std::make_unique<HttpClient>(m_in.services.fetchTimeoutSeconds);
    // One worker for each ticker that may be open at once: much of their
    // work is waiting for the disk, which others can use to compute.
    m_workers.setThreads(effectiveParallelRequests(m_in.settings) + kWriting);
    begin();
}

void DownloadRun::begin()
{
    downloader().setRunSetting(kDownloaderRunSetting);
    m_host.disableInputs();
    // Before the log is deleted: it goes to the trash with the data files.
    if (m_in.settings.deleteExistingFiles.on() && !trashRunFiles(m_in, m_result)) {
        m_host.setStatus(m_result.notStarted);
        if (m_running)
            end();
        return;
    }
    ErrorLog::remove(m_in.downloadDir);
    m_values = RunRequestValues::from(m_in.request);
    m_source = makeQuoteSource(SourceSetup{m_in.settings, m_in.services, m_values, m_in.downloadDir, m_in.apiKey});
    m_gate = RateGate();

    const QString& dir = m_in.downloadDir;
    if (dir.isEmpty() || !QFileInfo::exists(dir)) {
        m_result.directoryMissing = true;
        m_result.downloadDir = m_host.promptCreateDirectory();
        m_in.downloadDir = m_result.downloadDir;
        if (m_running)
            end();
        return;
    }
    // Away from this thread: a large folder takes a while to list.
    m_workers.start([dir] {
        removeStalePartFiles(dir);
        return RunWorkers::Then([] { });
    });
    if (!m_in.listOpen || m_in.symbols.isEmpty()
        || (m_in.singleStock && (m_in.currentRow < 0 || m_in.currentRow >= m_in.symbols.size()))) {
        // Nothing to fetch: say which, rather than end as if all went well.
        m_result.noList = true;
        m_host.setStatus(!m_in.listOpen ? kNoList : m_in.symbols.isEmpty() ? kEmptyList : kNoTicker);
        end();
        return;
    }
    m_emasterPresent = QFileInfo::exists(m_in.downloadDir + QStringLiteral("/EMASTER"));
    if (m_in.singleStock) {
        m_in.symbols = QStringList{m_in.symbols.at(m_in.currentRow)};
        m_host.progressToMinimum();
    } else {
        folderStep(m_emasterPresent);
        m_host.setProgressRange(0, int(m_in.symbols.size()));
    }
    m_rows = int(m_in.symbols.size());
    advance();
}

void DownloadRun::fill()
{
    // The MetaStock downloader keeps one folder open: one ticker at a time.
    const bool component = componentPath(m_in.settings);
    const int jobs = component ? 1 : effectiveParallelRequests(m_in.settings);
    const auto asking = [this] {
        return int(std::count_if(m_open.cbegin(), m_open.cend(), [](const auto& open) {
            const Ticker& t = *open.second;
            return t.transfer || t.waiting || t.reading;
        }));
    };
    // A ticker whose answer has come no longer holds a request: the next one
    // goes out while it is converted and written. Writing waits for the disk
    // longer than a quick service takes to answer, so a few tickers may be
    // written at once; what is open stays bounded all the same.
    while (m_running && m_next < m_rows && asking() < jobs && int(m_open.size()) < (component ? 1 : jobs + kWriting)) {
        auto ticker = std::make_unique<Ticker>();
        ticker->row = m_next++;
        ticker->symbol = m_in.symbols.at(ticker->row);
        ticker->path = dataFilePath(m_in.downloadDir, ticker->symbol, m_in.settings, m_in.request);
        Ticker& t = *ticker;
        m_open.emplace(t.row, std::move(ticker));
        if (!component && claimedByEarlier(t))
            continue;
        if (componentPath(m_in.settings))
            sendComponent(t);
        else
            send(t);
    }
}

bool DownloadRun::claimedByEarlier(Ticker& t)
{
    // Names are claimed before anything is asked, so the later ticker fails
    // without a request and the earlier one's file is never touched. File
    // names keep the symbol's case, so they are compared as they are.
    const auto [claim, claimed] = m_claimed.try_emplace(t.path, t.symbol);
    if (claimed)
        return false;
    t.outcome = Outcome::failure(FailureReason::NameClash, claim->second, true);
    t.done = true;
    return true;
}

bool DownloadRun::show(Ticker& t, const QString& text)
{
    if (t.row == m_head)
        m_host.setStatus(text);
    else
        t.pending << text;
    // The window may close (and cancel the run) from inside any call.
    return m_running;
}

void DownloadRun::send(Ticker& t)
{
    if (readOldFile(t))
        return;
    if (m_in.singleStock)
        folderStep(m_emasterPresent);
    if (m_gate.stopped()) {
        t.outcome = notAskedAgain(t);
        t.done = true;
        advance();
        return;
    }
    if (m_pause.isActive()) {
        t.waiting = true;
        return;
    }
    planRange(t);
    const std::optional<HttpGet> query = m_source->queryPage(t.symbol);
    if (!query) {
        sendData(t, QByteArray(), FailureReason::None);
        return;
    }
    t.page.clear();
    t.pageSink.open(QIODevice::WriteOnly | QIODevice::Truncate);
    t.transfer = m_http->get(*query, &t.pageSink);
    connect(t.transfer, &HttpTransfer::finished, this, [this, row = t.row](const FetchResult& r) {
        Ticker& t = *m_open.at(row);
        t.transfer->deleteLater();
        t.transfer = nullptr;
        t.pageSink.close();
        FailureReason queryFailure = FailureReason::None;
        if (!r.ok()) {
            t.page.clear(); // a failed query is an empty page
            queryFailure = fetchReason(r);
        }
        if (show(t, kDownloading + t.symbol))
            sendData(t, t.page, queryFailure);
    });
}

void DownloadRun::sendData(Ticker& t, const QByteArray& page, FailureReason queryFailure)
{
    const HttpGet request = m_source->dataRequest(t.symbol, page, t.range);
    // The answer waits in a temporary file, so memory stays flat whatever
    // arrives. A body kept as sent goes beside its data file, to be renamed
    // into place when complete.
    QIODevice* sink = nullptr;
    t.answerSynced = false;
    t.writeError.clear();
    if (m_source->storesBodyAsSent()) {
        t.answer = std::make_unique<QTemporaryFile>(
            QDir(m_in.downloadDir).filePath(QStringLiteral(".kestrion-XXXXXX.part")));
        if (t.answer->open())
            sink = t.answer.get();
        else
            t.answer.reset(); // the request is still made; there is nowhere to keep it
    } else {
        t.buffer = std::make_unique<AnswerBuffer>();
        t.buffer->open(QIODevice::ReadWrite | QIODevice::Unbuffered);
        sink = t.buffer.get();
    }
    const quint64 pauseAtSend = m_pauses;
    t.transfer = m_http->get(request, sink);
    connect(t.transfer, &HttpTransfer::finished, this,
            [this, row = t.row, queryFailure, pauseAtSend](const FetchResult& http) {
                m_open.at(row)->transfer->deleteLater();
                m_open.at(row)->transfer = nullptr;
                // A good answer frees its place at once: the next request
                // travels while this one is judged and converted.
                if (http.ok()) {
                    fill();
                    if (!m_running || !m_open.count(row))
                        return;
                }
                Ticker& t = *m_open.at(row);
                if (show(t, kDownloading + t.symbol))
                    answered(t, Answered{http, queryFailure, pauseAtSend});
            });
}

DownloadRun::Outcome DownloadRun::notAskedAgain(const Ticker& t) const
{
    // A ticker the source answered keeps the reason of its own answer; the
    // source's refusals of other tickers say nothing about it.
    if (t.ownFailure.reason != FailureReason::None) {
        Outcome o = t.ownFailure;
        o.definite = true;
        return o;
    }
    return Outcome::failure(FailureReason::RateLimited, m_source->name() + QStringLiteral(" refused further requests"),
                            true);
}

void DownloadRun::settle(Ticker& t, Outcome o, const FetchResult& http, quint64 pauseAtSend)
{
    if (o.attempt == Attempt::Failed)
        t.ownFailure = o;
    // A quota notice sent as a normal answer is a refusal too.
    const bool refusal = o.attempt == Attempt::Failed
        && (isRefusal(http) || (http.ok() && o.reason == FailureReason::RateLimited && !o.definite));
    if (!refusal) {
        // An answer to a request sent before the latest pause says nothing
        // about whether the source has stopped refusing.
        if (pauseAtSend == m_pauses)
            m_gate.answered();
        if (o.attempt == Attempt::Failed && !o.definite)
            o.definite = m_source->trustsDefiniteAnswers() && isDefinite(o.reason);
        if (o.attempt == Attempt::Failed && !o.definite && ++t.failures < kAttempts) {
            send(t);
            return;
        }
        t.outcome = o;
        t.done = true;
        advance();
        return;
    }
    if (m_gate.stopped()) {
        t.outcome = Outcome::failure(FailureReason::RateLimited,
                                     m_source->name() + QStringLiteral(" refused further requests"), true);
        t.done = true;
        advance();
        return;
    }
    // Requests sent before the pause began were refused for the same reason:
    // they wait for it without counting again.
    if (pauseAtSend != m_pauses || m_pause.isActive()) {
        if (m_pause.isActive())
            t.waiting = true;
        else
            send(t);
        return;
    }
    const std::optional<qint64> wait = m_gate.refused(http.retryAfter);
    if (!wait) {
        const QString text = m_source->name() + QStringLiteral(" refused further requests");
        m_result.sourceStopped = true;
        m_host.setStatus(text);
        m_host.sourceStopped(text);
        if (!m_running)
            return;
        t.outcome = Outcome::failure(FailureReason::RateLimited, text, true);
        t.done = true;
        // Tickers waiting for the source fail now, without a request.
        for (auto& [row, other] : m_open) {
            if (other->waiting) {
                other->waiting = false;
                other->outcome = notAskedAgain(*other);
                other->done = true;
            }
        }
        advance();
        return;
    }
    ++m_pauses;
    m_host.setStatus(
        QStringLiteral("...Waiting %1 s: %2 is limiting requests").arg((*wait + 999) / 1000).arg(m_source->name()));
    if (!m_running)
        return;
    t.waiting = true;
    m_pause.start(int(*wait));
}

void DownloadRun::resume()
{
    // In list order, so the first tickers get the first answers.
    std::vector<int> due;
    for (const auto& [row, t] : m_open) {
        if (t->waiting)
            due.push_back(row);
    }
    for (int row : due) {
        const auto it = m_open.find(row);
        if (!m_running || m_pause.isActive() || it == m_open.end())
            break;
        it->second->waiting = false;
        send(*it->second);
    }
    advance();
}

void DownloadRun::sendComponent(Ticker& t)
{
    if (m_in.singleStock)
        folderStep(m_emasterPresent);
    if (!show(t, kDownloading + t.symbol))
        return;
    const CompactDates dates = compactDates(m_values);
    downloader().downloadTicker(t.symbol, QString(), dates.start, dates.end, m_values.period.number, m_in.downloadDir,
                                QString(), true, [this, row = t.row](int error) {
                                    // Handled from the event loop, also when
                                    // the component answers at once.
                                    QMetaObject::invokeMethod(
                                        this,
                                        [this, row, error] {
                                            const auto it = m_open.find(row);
                                            if (!m_running || it == m_open.end())
                                                return;
                                            it->second->componentError = error;
                                            it->second->done = true;
                                            advance();
                                        },
                                        Qt::QueuedConnection);
                                });
}

void DownloadRun::advance()
{
    if (m_advancing || !m_running)
        return;
    m_advancing = true;
    bool goOn = true;
    for (;;) {
        fill();
        const auto it = m_open.find(m_head);
        if (it == m_open.end() || !it->second->done)
            break;
        const std::unique_ptr<Ticker> t = std::move(it->second);
        m_open.erase(it);
        goOn = finishTicker(*t);
        if (!m_running) {
            m_advancing = false;
            return; // cancelled while a prompt was open
        }
        if (!goOn)
            break;
        ++m_head;
        const auto next = m_open.find(m_head);
        if (next != m_open.end()) {
            const QStringList pending = std::exchange(next->second->pending, {});
            for (const QString& text : pending) {
                if (m_running)
                    m_host.setStatus(text);
            }
        }
    }
    m_advancing = false;
    if (!goOn) {
        dropOpenTickers();
        if (m_running)
            end();
    } else if (m_head >= m_rows) {
        complete();
        if (m_running)
            end();
    }
}

bool DownloadRun::finishTicker(Ticker& t)
{
    for (const QString& text : std::as_const(t.pending)) {
        m_host.setStatus(text);
        if (!m_running)
            return false;
    }

    if (componentPath(m_in.settings)) {
        if (t.componentError == MetaStockDownloader::kErrorCouldNotDownload
            || t.componentError == MetaStockDownloader::kErrorCouldNotStore) {
            logTicker(m_in.downloadDir, t.symbol, m_result);
            ++m_result.failed;
            if (t.componentError == MetaStockDownloader::kErrorCouldNotStore)
                m_host.tickerFailed(t.symbol, FailureReason::WriteFailed, QString());
            m_host.tickerFinished(t.symbol, false, QString());
        } else {
            ++m_result.stored;
            m_host.tickerFinished(t.symbol, true, m_in.downloadDir);
        }
        if (!m_in.singleStock)
            m_host.setProgressValue(++m_stored - 1);
        return true;
    }

    if (t.outcome.attempt == Attempt::Passed && storeFile(t)) {
        if (!m_in.singleStock)
            m_host.setProgressValue(++m_stored - 1);
        if (!m_running)
            return false;
        const bool converting = writerCondition(m_in.settings) || tableWriterCondition(m_in.settings);
        if (converting && !convert(t.path, t.symbol)) {
            // Not in the MetaStock folder, which stays as it was; the data
            // file stays too, the only copy of the quotes.
            ++m_result.failed;
            if (!m_in.singleStock)
                logTicker(m_in.downloadDir, t.symbol, m_result);
            m_host.tickerFailed(t.symbol, FailureReason::WriteFailed,
                                QStringLiteral("the MetaStock folder could not be written"));
            m_host.tickerFinished(t.symbol, false, QString());
            return !m_in.singleStock;
        }
        ++m_result.stored;
        m_host.tickerFinished(t.symbol, true, converting ? m_in.downloadDir : t.path);
        return true;
    }

    // Given up: a body kept as sent that failed leaves no file behind,
    // unless the file was there to be updated.
    m_host.setStatus(kCouldNotGet + t.symbol);
    if (!m_running)
        return false;
    if (m_source->storesBodyAsSent() && !m_in.settings.updatesExistingFiles()
        && t.outcome.reason != FailureReason::NameClash) // the file is the earlier ticker's
        QFile::remove(t.path);
    ++m_result.failed;
    bool stop = false;
    if (!m_in.singleStock) {
        // Once the source has refused further requests, asking whether to go
        // on after each remaining ticker would only repeat its answer.
        stop = m_in.settings.activeAlerts.on() && !m_result.sourceStopped && m_host.askStop();
        if (!m_running)
            return false;
        logTicker(m_in.downloadDir, t.symbol, m_result);
    }
    m_host.tickerFailed(t.symbol, t.outcome.reason, t.outcome.detail);
    m_host.tickerFinished(t.symbol, false, QString());
    if (stop)
        m_result.stopped = true;
    return !stop && !m_in.singleStock;
}

void DownloadRun::dropOpenTickers()
{
    // Aborts their requests; their temporary files go with them, and with
    // the workers' results those they have written.
    m_pause.stop();
    m_open.clear();
    m_workers.drop();
}

void DownloadRun::complete()
{
    m_result.completed = true;
    m_host.progressToMaximum();
    m_host.setStatus(kComplete);
    if (m_running && m_in.settings.playSound.on())
        m_host.showCompletionMessage();
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
    const qint16 period = m_values.period.number;
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
    m_host.enableInputs();
    m_host.refreshGrid();
    if (!m_result.notStarted.isEmpty()) {
        m_host.setStatus(m_result.notStarted); // an earlier run's log is not this run's
    } else if (ErrorLog::check(m_in.downloadDir)) {
        m_result.errorsLogged = true;
        m_host.setStatus(kErrorsLogged);
    }
    if (!m_result.errorLogProblem.isEmpty())
        m_host.setStatus(m_result.errorLogProblem);
    if (appState().autoRunMarker == 1 && m_in.settings.autoStartApp.on())
        m_launcher(m_in.settings.appName);
    Q_EMIT finished(m_result);
}

void DownloadRun::cancel()
{
    if (!m_running)
        return;
    m_running = false;
    m_result.cancelled = true;
    dropOpenTickers();
    if (m_downloader)
        m_downloader->cancel();
    releaseComponents();
    // Nothing of the run is left in the folder now: a lock on it, once runs
    // take one, is released here (and in end()).
    Q_EMIT finished(m_result);
}

} // namespace kestrion
