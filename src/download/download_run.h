#pragma once

#include "core/settings_record.h"
#include "download/price_table.h"
#include "download/quote_request.h"
#include "download/rate_gate.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace kestrion {

class HttpFetcher;
class MetaStockFactory;
class MetaStockWriter;
class MetaStockDownloader;
class QuoteSource;
struct FetchResult;
struct HttpGet;

// What a download run shows and asks. The window implements it with its
// controls and prompts; the command-line runner prints and never asks. The
// run calls these in the order the user sees them, from the thread it runs on.
class RunHost
{
public:
    virtual ~RunHost() = default;
    virtual void disableInputs() { }
    virtual void enableInputs() { }
    virtual void refreshGrid() { }
    virtual void repaint() { }
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
    bool automatic = false; // started by the automatic download timer
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
};

// One download run over the open list or its current row: requests, retries,
// data files, MetaStock output, the error log and the post-run launch.
class DownloadRun
{
public:
    static constexpr int kAttempts = 3;
    static constexpr qint16 kDownloaderRunSetting = 20;

    DownloadRun(RunHost& host, MetaStockFactory& metastock);
    ~DownloadRun();

    // Starts the program after an automatic run; defaults to the platform launcher.
    void setLauncher(std::function<bool(const QString&)> launcher) { m_launcher = std::move(launcher); }

    RunResult run(const RunInputs& inputs);
    // Thread-safe: stops the run after the request under way.
    void cancel();

private:
    enum class Attempt { Passed, Failed, Cancelled };
    struct Outcome
    {
        Attempt attempt = Attempt::Failed;
        FailureReason reason = FailureReason::None;
        QString detail;
        bool definite = false; // no use asking again

        static Outcome with(Attempt a) { return Outcome{a, FailureReason::None, QString(), false}; }
        static Outcome failure(FailureReason r, const QString& detail = QString(), bool definite = false)
        {
            return Outcome{Attempt::Failed, r, detail, definite};
        }
    };

    // One attempt, with the waits a refusing source asks for; a refusal
    // costs no attempt.
    Outcome attempt(const QString& symbol, QString& path);
    Outcome fetchAndStore(const QString& symbol, QString& path, FetchResult& http);
    Outcome storeBodyAsSent(HttpFetcher& fetcher, const QString& symbol, const HttpGet& request, const QString& path,
                            FetchResult& http);
    Outcome storeConverted(HttpFetcher& fetcher, const QString& symbol, const HttpGet& request, const QString& path,
                           FetchResult& http);
    // Waits, or returns false at once when the run is cancelled.
    bool waitCancellable(qint64 ms);
    void failed(const QString& symbol, const Outcome& why);
    void folderStep(bool emasterPresent);
    void componentTicker(const QString& symbol);
    bool convert(const QString& path, const QString& symbol);
    // A ticker whose file passed the content test: converted where asked.
    void tickerStored(const QString& symbol, const QString& path);
    // The third failed attempt: status text, the bad file gone.
    void giveUp(const QString& symbol, const QString& path);
    bool singleRun(const QString& symbol);
    bool listRun();
    void complete();
    MetaStockWriter& writer();
    MetaStockDownloader& downloader();

    RunHost& m_host;
    MetaStockFactory& m_factory;
    std::function<bool(const QString&)> m_launcher;
    std::atomic_bool m_cancel{false};
    std::mutex m_waitMutex;
    std::condition_variable m_waitCancelled;
    std::atomic<HttpFetcher*> m_fetcher{nullptr};

    // Per run
    RunInputs m_in;
    RunRequestValues m_values;
    RunResult m_result;
    std::unique_ptr<QuoteSource> m_source;
    RateGate m_gate;
    std::unique_ptr<MetaStockWriter> m_writer;
    std::unique_ptr<MetaStockDownloader> m_downloader;
    std::mutex m_downloaderMutex; // cancel() reaches the downloader from another thread
};

} // namespace kestrion
