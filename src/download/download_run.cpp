#include "download/download_run.h"
#include "download/run_ticker.h"

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
#include <QPointer>
#include <QTemporaryFile>

#include <algorithm>

namespace kestrion {

namespace {
const QString kDownloading = QStringLiteral("...Downloading ");
const QString kNoList = QStringLiteral("No ticker list is open");
const QString kEmptyList = QStringLiteral("The ticker list is empty");
const QString kNoTicker = QStringLiteral("Select a ticker first");

// Open tickers beyond those asking: answered, being converted and written,
// or waiting for their turn.
constexpr int kWriting = 4;

// "Delete Existing Files": the files a run of these inputs writes go to the
// trash, and for a list run the error log; nothing else in the folder is
// touched. False, with the reason in result, when one of them could not go.
bool trashRunFiles(const DownloadRequest& in, RunResult& result)
{
    const QString& dir = in.downloadDir;
    if (dir.isEmpty() || !QFileInfo(dir).isDir() || in.symbols.isEmpty())
        return true;
    QStringList paths;
    for (const QString& symbol : std::as_const(in.symbols))
        paths << dataFilePath(dir, symbol, in.settings, DayTexts::of(in.range.to));
    if (!in.singleTicker)
        paths << ErrorLog::path(dir);
    const QString problem = moveFilesToTrash(paths);
    if (problem.isEmpty())
        return true;
    result.notStarted = QStringLiteral("Download did not start: ") + problem;
    return false;
}
} // namespace

DownloadRun::DownloadRun(RunView& view, MetaStockFactory& metastock, QObject* parent)
    : QObject(parent)
    , m_view(view)
    , m_factory(metastock)
    , m_launcher(&ProgramLauncher::start)
{
    m_clock.start();
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

void DownloadRun::start(const DownloadRequest& request)
{
    if (m_running)
        return;
    m_in = request;
    ++m_runs;
    m_asking = false;
    m_result = RunResult{};
    m_result.downloadDir = m_in.downloadDir;
    m_open.clear();
    m_claimed.clear();
    m_lanes.clear();
    m_next = m_head = m_stored = 0;
    m_rows = 0;
    m_running = true;
    m_http = std::make_unique<HttpClient>(m_in.services.fetchTimeoutSeconds);
    // One worker for each ticker that may be open at once: much of their
    // work is waiting for the disk, which others can use to compute.
    m_workers.setThreads(effectiveParallelRequests(m_in.settings) + kWriting);
    m_view.runStarting();
    begin();
}

bool DownloadRun::lockFolder()
{
    const QString& dir = m_in.downloadDir;
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return true; // nothing to write into yet
    m_lock = std::make_unique<QLockFile>(QDir(dir).filePath(kFolderLockName));
    // Held as long as the run lasts, however long: only a lock whose process
    // is gone is stale.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    const bool busy = m_lock->error() == QLockFile::LockFailedError;
    qint64 pid = 0;
    QString host, app;
    m_lock->getLockInfo(&pid, &host, &app);
    m_lock.reset();
    if (!busy)
        return true; // a folder that takes no lock file fails at its first write, as before
    m_result.folderBusy = QStringLiteral("another Kestrion run is writing to %1 (process %2)")
                              .arg(QDir::toNativeSeparators(dir))
                              .arg(pid);
    m_result.notStarted = QStringLiteral("Download did not start: ") + m_result.folderBusy;
    return false;
}

void DownloadRun::begin()
{
    downloader().setRunSetting(kDownloaderRunSetting);
    m_view.setInputsEnabled(false);
    // Before anything in the folder changes, the trash included.
    if (!lockFolder()) {
        m_view.setStatusText(m_result.notStarted);
        if (m_running)
            end();
        return;
    }
    // Before the log is deleted: it goes to the trash with the data files.
    if (m_in.settings.deleteExistingFiles.on() && !trashRunFiles(m_in, m_result)) {
        m_view.setStatusText(m_result.notStarted);
        if (m_running)
            end();
        return;
    }
    ErrorLog::remove(m_in.downloadDir);
    makeLanes();

    const QString& dir = m_in.downloadDir;
    if (dir.isEmpty() || !QFileInfo::exists(dir)) {
        m_result.directoryMissing = true;
        m_asking = true;
        m_view.askCreateDirectory(dir, [self = QPointer<DownloadRun>(this), run = m_runs](const QString& created) {
            if (self)
                self->later(run, [self, created] {
                    self->m_asking = false;
                    self->m_result.downloadDir = created;
                    self->m_in.downloadDir = created;
                    self->end();
                });
        });
        return;
    }
    // Away from this thread: a large folder takes a while to list.
    m_workers.start([dir] {
        removeStalePartFiles(dir);
        return RunWorkers::Then([] { });
    });
    if (m_in.nothing != NothingToFetch::None || m_in.symbols.isEmpty()) {
        // Nothing to fetch: say which, rather than end as if all went well.
        m_result.noList = true;
        m_view.setStatusText(m_in.nothing == NothingToFetch::NoList     ? kNoList
                                 : m_in.nothing == NothingToFetch::NoTicker ? kNoTicker
                                                                            : kEmptyList);
        end();
        return;
    }
    m_emasterPresent = QFileInfo::exists(m_in.downloadDir + QStringLiteral("/EMASTER"));
    if (m_in.singleTicker) {
        m_view.progressToMinimum();
    } else {
        folderStep(m_emasterPresent);
        m_view.setProgressRange(0, int(m_in.symbols.size()));
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
    // Tickers waiting for a free place at their source go before new ones.
    for (int lane = 0; lane < int(m_lanes.size()) && !component; ++lane)
        wake(lane);
    // A ticker whose answer has come no longer holds a request: the next one
    // goes out while it is converted and written. Writing waits for the disk
    // longer than a quick service takes to answer, so a few tickers may be
    // written at once; what is open stays bounded all the same.
    while (m_running && m_next < m_rows && asking() < jobs && int(m_open.size()) < (component ? 1 : jobs + kWriting)) {
        auto ticker = std::make_unique<Ticker>();
        ticker->row = m_next++;
        ticker->symbol = m_in.symbols.at(ticker->row);
        ticker->path = dataFilePath(m_in.downloadDir, ticker->symbol, m_in.settings, DayTexts::of(m_in.range.to));
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
        m_view.setStatusText(text);
    else
        t.pending << text;
    // The window may close (and cancel the run) from inside any call.
    return m_running;
}

void DownloadRun::send(Ticker& t)
{
    t.judging = false;
    if (readOldFile(t))
        return;
    if (m_in.singleTicker)
        folderStep(m_emasterPresent);
    Lane& lane = laneOf(t);
    if (lane.gate.stopped()) {
        if (nextSource(t, notAskedAgain(t)))
            send(t);
        else
            advance();
        return;
    }
    if (lane.pause.isActive() || lane.paced.isActive() || inFlight(t.lane) >= lane.limit()) {
        t.waiting = true;
        return;
    }
    if (const qint64 wait = lane.pacer.waitMs(m_clock.elapsed()); wait > 0) {
        t.waiting = true;
        lane.paced.start(int(wait));
        m_view.setStatusText(QStringLiteral("...Waiting %1 s: %2 allows %3 requests a minute")
                                 .arg((wait + 999) / 1000)
                                 .arg(lane.source->name())
                                 .arg(lane.requestsPerMinute));
        return;
    }
    lane.pacer.started(m_clock.elapsed());
    planRange(t);
    const std::optional<HttpGet> query = lane.source->queryPage(t.symbol);
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
    const Lane& lane = laneOf(t);
    const HttpGet request = lane.source->dataRequest(t.symbol, page, t.range);
    // The answer waits in a temporary file, so memory stays flat whatever
    // arrives. A body kept as sent goes beside its data file, to be renamed
    // into place when complete.
    QIODevice* sink = nullptr;
    t.answerSynced = false;
    t.writeError.clear();
    if (lane.source->storesBodyAsSent()) {
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
    const quint64 pauseAtSend = lane.pauses;
    t.transfer = m_http->get(request, sink);
    connect(t.transfer, &HttpTransfer::finished, this,
            [this, row = t.row, queryFailure, pauseAtSend](const FetchResult& http) {
                m_open.at(row)->transfer->deleteLater();
                m_open.at(row)->transfer = nullptr;
                // A good answer frees its place at once: the next request
                // travels while this one is judged and converted. A source
                // that refused lately waits for the judgement first: a 200
                // may be its quota notice.
                if (http.ok() && !laneOf(*m_open.at(row)).cautious) {
                    fill();
                    if (!m_running || !m_open.count(row))
                        return;
                }
                Ticker& t = *m_open.at(row);
                t.judging = true;
                const QString text = t.lane == 0
                    ? kDownloading + t.symbol
                    : kDownloading + t.symbol + QStringLiteral(" from ") + laneOf(t).source->name();
                if (show(t, text))
                    answered(t, Answered{http, queryFailure, pauseAtSend});
            });
}

void DownloadRun::sendComponent(Ticker& t)
{
    if (m_in.singleTicker)
        folderStep(m_emasterPresent);
    if (!show(t, kDownloading + t.symbol))
        return;
    const CompactDates dates = compactDates(m_in.range);
    downloader().downloadTicker(t.symbol, QString(), dates.start, dates.end, periodValues(m_in.period).number,
                                m_in.downloadDir,
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

} // namespace kestrion
