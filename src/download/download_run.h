#pragma once

#include "core/settings_record.h"
#include "formats/price_table.h"
#include "sources/quote_request.h"
#include "download/rate_gate.h"
#include "download/run_workers.h"
#include "platform/http_fetch.h"
#include "sources/failure_reason.h"

#include <QIODevice>
#include <QString>
#include <QStringList>

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

namespace kestrion {

class HttpClient;
class MetaStockFactory;
class MetaStockWriter;
class MetaStockDownloader;
class QuoteSource;

// What a download run shows and asks. The window implements it with its
// controls and prompts; the command-line runner prints and never asks. The
// run calls these in the order the user sees them, on its own thread (the
// window's), and a prompt may simply run a modal dialog.
class RunHost
{
public:
    virtual ~RunHost() = default;
    virtual void disableInputs() { }
    virtual void enableInputs() { }
    virtual void refreshGrid() { }
    virtual void setStatus(const QString& text) = 0;
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void progressToMinimum() = 0;
    virtual void progressToMaximum() = 0;
    // The "No Data!" prompt: returns the stop answer after it closes.
    virtual bool askStop() = 0;
    // The missing-directory prompt: returns the created-directory text that
    // becomes the download directory box's text.
    virtual QString promptCreateDirectory() = 0;
    virtual void showCompletionMessage() = 0;
    // A ticker is done: stored (path of its file, or the MetaStock folder) or
    // given up / not downloaded (empty path).
    virtual void tickerFinished(const QString& symbol, bool ok, const QString& path)
    {
        Q_UNUSED(symbol)
        Q_UNUSED(ok)
        Q_UNUSED(path)
    }
    // Why a ticker failed, told just before tickerFinished() reports it.
    virtual void tickerFailed(const QString& symbol, FailureReason reason, const QString& detail)
    {
        Q_UNUSED(symbol)
        Q_UNUSED(reason)
        Q_UNUSED(detail)
    }
    // The source refused further requests; text says so, for the user.
    virtual void sourceStopped(const QString& text) { Q_UNUSED(text) }
};

struct RunInputs
{
    Settings settings;
    ServiceConfig services;
    RequestInputs request;
    QString downloadDir;
    bool singleStock = false;
    bool listOpen = false;
    QStringList symbols; // rows of the open list in stored order
    int currentRow = -1; // the grid's current row, for a single-stock run
    QString apiKey; // the chosen source's key, where it needs one
};

struct RunResult
{
    bool cancelled = false; // stopped because the program is closing
    bool stopped = false; // the user answered "No" at the "No Data!" prompt
    bool completed = false; // "Download Complete!" was reached
    bool errorsLogged = false;
    bool directoryMissing = false;
    bool noList = false; // nothing to fetch: no list, an empty list or no current row
    int stored = 0; // tickers stored
    int failed = 0; // tickers given up or not downloaded
    bool sourceStopped = false; // the source refused further requests
    QString downloadDir; // the directory box's text after the run
    // Why a run with a list and a directory asked for nothing: a file
    // "Delete Existing Files" could not move to the trash.
    QString notStarted;
    // errorlog.txt could not be written: which file and why.
    QString errorLogProblem;
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

    DownloadRun(RunHost& host, MetaStockFactory& metastock, QObject* parent = nullptr);
    ~DownloadRun() override;

    // Starts the program after a run the automatic download timer started
    // (the program-wide automatic-run marker is 1); defaults to the
    // platform launcher.
    void setLauncher(std::function<bool(const QString&)> launcher) { m_launcher = std::move(launcher); }

    // Starts the run; finished() comes when it has ended. Its first steps
    // (and a prompt) may happen before this returns.
    void start(const RunInputs& inputs);
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

    // What came with an answer, to judge it by.
    struct Answered
    {
        FetchResult http;
        FailureReason queryFailure = FailureReason::None; // a two-stage source's failed query page
        quint64 pauseAtSend = 0;
    };

    void begin();
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
    // The open ticker of row that work token was handed out for; null once
    // it is gone or has moved on.
    Ticker* ticker(int row, quint64 token);
    void sendComponent(Ticker& t);
    void resume();
    // True when an earlier ticker of the run has t's file name: t is then
    // done, failed with NameClash naming that ticker.
    bool claimedByEarlier(Ticker& t);
    // A text for the user about ticker t: shown now when t is the oldest
    // open ticker, otherwise when it becomes so. False when the run has
    // been cancelled meanwhile.
    bool show(Ticker& t, const QString& text);
    // Finishes the oldest tickers that are done, in list order.
    void advance();
    // False when the run stops here.
    bool finishTicker(Ticker& t);
    bool storeFile(Ticker& t);
    void dropOpenTickers();
    void folderStep(bool emasterPresent);
    bool convert(const QString& path, const QString& symbol);
    void complete();
    void end();
    void releaseComponents();
    MetaStockWriter& writer();
    MetaStockDownloader& downloader();

    RunHost& m_host;
    MetaStockFactory& m_factory;
    std::function<bool(const QString&)> m_launcher;

    // Per run
    RunInputs m_in;
    RunRequestValues m_values;
    RunResult m_result;
    std::unique_ptr<QuoteSource> m_source;
    std::unique_ptr<HttpClient> m_http;
    RateGate m_gate;
    QTimer m_pause; // a refusing source's wait; tickers due meanwhile wait for it
    quint64 m_pauses = 0; // pauses begun so far
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
    quint64 m_lastJob = 0;
    // Last: their work reads the source, so it ends before anything else goes.
    RunWorkers m_workers;
};

} // namespace kestrion
