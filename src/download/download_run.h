#pragma once

#include "download/download_request.h"
#include "download/run_view.h"
#include "formats/price_table.h"
#include "download/rate_gate.h"
#include "download/request_pacer.h"
#include "download/run_workers.h"
#include "platform/http_fetch.h"
#include "sources/failure_reason.h"

#include <QIODevice>
#include <QLockFile>
#include <QString>
#include <QStringList>

#include <QObject>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

namespace kestrion {

// In the download directory while a run writes there.
inline const QString kFolderLockName = QStringLiteral(".kestrion.lock");

class HttpClient;
class MetaStockFactory;
class MetaStockWriter;
class MetaStockDownloader;
class QuoteSource;

struct RunResult
{
    bool cancelled = false; // stopped because the program is closing
    bool stopped = false; // the user answered "No" at the "No Data!" prompt
    bool completed = false; // "Download Complete!" was reached
    bool errorsLogged = false;
    bool directoryMissing = false;
    bool noList = false; // nothing to fetch: no list, an empty list or no ticker
    int stored = 0; // tickers stored
    int failed = 0; // tickers given up or not downloaded
    bool sourceStopped = false; // the source refused further requests
    QString downloadDir; // the directory box's text after the run
    // Why a run with a list and a directory asked for nothing: a file
    // "Delete Existing Files" could not move to the trash.
    QString notStarted;
    // errorlog.txt could not be written: which file and why.
    QString errorLogProblem;
    // Another run holds the download directory: "another Kestrion run is
    // writing to DIR (process PID)". Nothing was asked or written.
    QString folderBusy;
};

// One download run over the open list or its current row: requests, retries,
// data files, MetaStock output, the error log and the post-run launch.
//
// Event-driven: start() sends the first requests and returns; each answer
// that arrives is judged and the ticker stored, tried again or given up,
// and the next request goes out. Up to "Parallel Requests" tickers are asked at
// once, but everything the user sees (statuses, files renamed into place,
// prompts, error-log lines, finished tickers) happens in list order: a
// ticker's result waits until every ticker before it is done.
class DownloadRun : public QObject
{
    Q_OBJECT
public:
    static constexpr int kAttempts = 3;
    static constexpr qint16 kDownloaderRunSetting = 20;
    static constexpr int kMaxJobs = 8;

    DownloadRun(RunView& view, MetaStockFactory& metastock, QObject* parent = nullptr);
    ~DownloadRun() override;

    // Starts the program after an automatic run; defaults to the platform
    // launcher.
    void setLauncher(std::function<bool(const QString&)> launcher) { m_launcher = std::move(launcher); }

    // Starts the run; finished() comes when it has ended. Its first steps
    // may happen before this returns.
    void start(const DownloadRequest& request);
    // Ends the run at once: requests in flight are aborted and what they
    // brought is thrown away; the run shows nothing more and skips its end
    // steps. finished() comes before this returns, with cancelled set.
    void cancel();
    bool isRunning() const { return m_running; }
    const RunResult& result() const { return m_result; }

Q_SIGNALS:
    void finished(const kestrion::RunResult& result);

private:
    enum class Attempt { Passed, Failed };
    struct Outcome
    {
        Attempt attempt = Attempt::Failed;
        FailureReason reason = FailureReason::None;
        QString detail;
        bool definite = false; // no use asking again

        static Outcome passed() { return Outcome{Attempt::Passed, FailureReason::None, QString(), false}; }
        static Outcome failure(FailureReason r, const QString& detail = QString(), bool definite = false)
        {
            return Outcome{Attempt::Failed, r, detail, definite};
        }
    };
    struct Ticker;
    struct Lane;

    // What came with an answer, to judge it by.
    struct Answered
    {
        FetchResult http;
        FailureReason queryFailure = FailureReason::None; // a two-stage source's failed query page
        quint64 pauseAtSend = 0; // of the ticker's source
    };

    void begin();
    // Takes the download directory's lock; false, with the reason in the
    // result, when another run holds it.
    bool lockFolder();
    // Starts tickers while fewer than jobs are open.
    void fill();
    // One attempt: the query page where the source has one, then the data.
    void send(Ticker& t);
    // For an update: reads the ticker's file on a worker, then sends.
    bool readOldFile(Ticker& t);
    // The days to ask for: the run's range, or for an update only those the
    // ticker's file lacks.
    void planRange(Ticker& t);
    void sendData(Ticker& t, const QByteArray& page, FailureReason queryFailure);
    void answered(Ticker& t, const Answered& a);
    // On a worker: reads the answer, converts it (where the source does),
    // merges an update and writes the new file; then judged().
    void prepare(Ticker& t, std::unique_ptr<QIODevice> answer, bool convert, const Answered& a);
    // A body kept as sent that passed: synced on a worker, then judged().
    void syncKeptBody(Ticker& t, const Answered& a);
    void judged(Ticker& t, Outcome o, const Answered& a);
    // An update whose answer shows past prices changed: the whole range
    // again, at no cost of an attempt.
    void refetchInFull(Ticker& t);
    Outcome judgeBodyAsSent(Ticker& t, const FetchResult& http);
    Outcome judgeFailedConversion(Ticker& t, const FetchResult& http);
    // How a ticker ends that the stopped source is not asked for again.
    Outcome notAskedAgain(const Ticker& t) const;
    // A judged attempt: done, tried again, or waiting for a refusing source.
    void settle(Ticker& t, Outcome o, const FetchResult& http, quint64 pauseAtSend);
    // The ticker's source refused once too often: it and those waiting for
    // that source go on to the next source or fail.
    void sourceRefusedFurther(Ticker& t);
    // A ticker its source gave up on goes to the next fallback that may still
    // be asked (true: the caller sends it), or is done with its failures.
    bool nextSource(Ticker& t, const Outcome& o);
    Lane& laneOf(const Ticker& t) const;
    QuoteSource& sourceOf(const Ticker& t) const;
    // Requests under way to that source.
    int inFlight(int lane) const;
    // Sends tickers waiting for that source, in list order, while it takes
    // more requests.
    void wake(int lane);
    void makeLanes();
    // The open ticker of row that work token was handed out for; null once
    // it is gone or has moved on.
    Ticker* ticker(int row, quint64 token);
    void sendComponent(Ticker& t);
    // A source's pause or pacing wait ended.
    void resume(int lane);
    // True when an earlier ticker of the run has t's file name: t is then
    // done, failed with NameClash naming that ticker.
    bool claimedByEarlier(Ticker& t);
    // A text for the user about ticker t: shown now when t is the oldest
    // open ticker, otherwise when it becomes so. False when the run has
    // been cancelled meanwhile.
    bool show(Ticker& t, const QString& text);
    // Finishes the oldest tickers that are done, in list order.
    void advance();
    enum class Finish { GoOn, Stop, Asking };
    Finish finishTicker(Ticker& t);
    // The end of a given-up ticker, once "No Data!" (where asked) answered.
    void finishFailed(const QString& symbol, const Outcome& outcome, const QStringList& fallbackFailures, bool stop);
    // The head ticker is finished: the next one's waiting texts are shown.
    void moveHead();
    // Goes on with run after a prompt's answer, from the event loop, so a
    // prompt may answer at once or much later; nothing happens when that run
    // was cancelled or has ended meanwhile.
    void later(quint64 run, std::function<void()> step);
    void stopAnswered(bool stop);
    bool storeFile(Ticker& t);
    void dropOpenTickers();
    void folderStep(bool emasterPresent);
    bool convert(const QString& path, const QString& symbol);
    void complete();
    void end();
    void releaseComponents();
    MetaStockWriter& writer();
    MetaStockDownloader& downloader();

    RunView& m_view;
    MetaStockFactory& m_factory;
    std::function<bool(const QString&)> m_launcher;

    // Per run
    DownloadRequest m_in;
    RunResult m_result;
    std::unique_ptr<HttpClient> m_http;
    // Held while the run writes into its download directory, so that no
    // second run (the window's, a scheduled one) writes there meanwhile.
    std::unique_ptr<QLockFile> m_lock;
    // The chosen source, then the fallbacks in order; each paces, waits and
    // stops on its own.
    std::vector<std::unique_ptr<Lane>> m_lanes;
    QElapsedTimer m_clock;
    std::unique_ptr<MetaStockWriter> m_writer;
    std::unique_ptr<MetaStockDownloader> m_downloader;
    std::map<int, std::unique_ptr<Ticker>> m_open; // by list row
    std::map<QString, QString> m_claimed; // data file paths of the tickers started so far, and whose
    int m_next = 0; // the next row to start
    int m_head = 0; // the oldest row not finished
    int m_rows = 0;
    int m_stored = 0; // progress: tickers stored so far
    bool m_emasterPresent = false;
    bool m_running = false;
    bool m_advancing = false;
    bool m_asking = false; // a prompt is open: finishing waits for its answer
    quint64 m_runs = 0; // runs started, so a late answer knows its own
    quint64 m_lastJob = 0;
    // Last: their work reads the source, so it ends before anything else goes.
    RunWorkers m_workers;
};

} // namespace kestrion
