#include "download/download_run.h"

#include "download/error_log.h"
#include "download/metastock_components.h"
#include "download/output_files.h"
#include "download/quote_source.h"
#include "platform/http_fetch.h"
#include "platform/program_launcher.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

namespace kestrion {

namespace {
const QString kDownloading = QStringLiteral("...Downloading ");
const QString kCouldNotGet = QStringLiteral("Could not get ");
const QString kComplete = QStringLiteral("Download Complete!");
const QString kErrorsLogged = QStringLiteral("ERRORS LOGGED!");
const QString kNoList = QStringLiteral("No ticker list is open");
const QString kEmptyList = QStringLiteral("The ticker list is empty");
const QString kNoTicker = QStringLiteral("Select a ticker first");
bool isDefinite(FailureReason r)
{
    return r == FailureReason::NotFound || r == FailureReason::Unauthorized;
}
} // namespace

DownloadRun::DownloadRun(RunHost& host, MetaStockFactory& metastock)
    : m_host(host)
    , m_factory(metastock)
    , m_launcher(&ProgramLauncher::start)
{
}

DownloadRun::~DownloadRun() = default;

void DownloadRun::cancel()
{
    {
        const std::lock_guard lock(m_waitMutex);
        m_cancel = true;
    }
    m_waitCancelled.notify_all();
    if (HttpFetcher* f = m_fetcher.load())
        f->abort();
    const std::lock_guard lock(m_downloaderMutex);
    if (m_downloader)
        m_downloader->cancel();
}

MetaStockWriter& DownloadRun::writer()
{
    if (!m_writer)
        m_writer = m_factory.createWriter();
    return *m_writer;
}

MetaStockDownloader& DownloadRun::downloader()
{
    if (!m_downloader) {
        auto created = m_factory.createDownloader();
        const std::lock_guard lock(m_downloaderMutex);
        m_downloader = std::move(created);
        if (m_cancel)
            m_downloader->cancel();
    }
    return *m_downloader;
}

RunResult DownloadRun::run(const RunInputs& inputs)
{
    m_in = inputs;
    m_result = RunResult{};
    m_result.downloadDir = m_in.downloadDir;
    HttpFetcher fetcher(m_in.services.fetchTimeoutSeconds);
    m_fetcher = &fetcher;
    if (m_cancel)
        fetcher.abort();

    downloader().setRunSetting(kDownloaderRunSetting);
    m_host.disableInputs();
    ErrorLog::remove(m_in.downloadDir);
    m_values = RunRequestValues::from(m_in.request);
    m_source = makeQuoteSource(SourceSetup{m_in.settings, m_in.services, m_values, m_in.downloadDir, m_in.apiKey});
    m_gate = RateGate();

    const QString& dir = m_in.downloadDir;
    if (dir.isEmpty() || !QFileInfo::exists(dir)) {
        m_result.directoryMissing = true;
        m_result.downloadDir = m_host.promptCreateDirectory();
        m_in.downloadDir = m_result.downloadDir;
    } else if (!m_in.listOpen || m_in.symbols.isEmpty()
               || (m_in.singleStock && (m_in.currentRow < 0 || m_in.currentRow >= m_in.symbols.size()))) {
        // Nothing to fetch: say which, rather than end as if all went well.
        m_result.noList = true;
        m_host.setStatus(!m_in.listOpen ? kNoList : m_in.symbols.isEmpty() ? kEmptyList : kNoTicker);
    } else if (m_in.singleStock) {
        if (singleRun(m_in.symbols.at(m_in.currentRow)))
            complete();
    } else {
        if (listRun())
            complete();
    }

    // Release the components first: their data must be on disk before the
    // launched program reads it.
    m_writer.reset();
    {
        const std::lock_guard lock(m_downloaderMutex);
        m_downloader.reset();
    }
    m_fetcher = nullptr;
    m_source.reset();
    if (m_result.cancelled)
        return m_result;

    m_host.enableInputs();
    m_host.refreshGrid();
    if (ErrorLog::check(m_in.downloadDir)) {
        m_result.errorsLogged = true;
        m_host.setStatus(kErrorsLogged);
    }
    if (m_in.automatic && m_in.settings.autoStartApp == 1)
        m_launcher(m_in.settings.appName);
    return m_result;
}

void DownloadRun::complete()
{
    m_result.completed = true;
    m_host.progressToMaximum();
    m_host.setStatus(kComplete);
    if (m_in.settings.playsSound())
        m_host.showCompletionMessage();
}

void DownloadRun::folderStep(bool emasterPresent)
{
    if (!m_in.settings.writerCondition() && !m_in.settings.tableWriterCondition())
        return;
    if (emasterPresent)
        writer().openFolder(m_in.downloadDir);
    else
        writer().createFolder(m_in.downloadDir);
}

void DownloadRun::componentTicker(const QString& symbol)
{
    m_host.setStatus(kDownloading + symbol);
    const CompactDates dates = compactDates(m_values);
    const int error = downloader().downloadTicker(symbol, QString(), dates.start, dates.end, m_values.period.number,
                                                  m_in.downloadDir, QString(), true);
    if (error == MetaStockDownloader::kErrorCouldNotDownload) {
        ErrorLog::logTicker(m_in.downloadDir, symbol);
        ++m_result.failed;
        m_host.tickerFinished(symbol, false, QString());
    } else {
        ++m_result.stored;
        m_host.tickerFinished(symbol, true, m_in.downloadDir);
    }
}

bool DownloadRun::waitCancellable(qint64 ms)
{
    std::unique_lock lock(m_waitMutex);
    return !m_waitCancelled.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_cancel.load(); });
}

DownloadRun::Outcome DownloadRun::attempt(const QString& symbol, QString& path)
{
    for (;;) {
        if (m_gate.stopped()) {
            path = dataFilePath(m_in.downloadDir, symbol, m_in.settings, m_in.request);
            return Outcome::failure(FailureReason::RateLimited,
                                    m_source->name() + QStringLiteral(" refused further requests"), true);
        }
        FetchResult http;
        Outcome o = fetchAndStore(symbol, path, http);
        // A quota notice sent as a normal answer is a refusal too.
        const bool refusal = o.attempt == Attempt::Failed
            && (isRefusal(http) || (http.ok() && o.reason == FailureReason::RateLimited));
        if (!refusal) {
            m_gate.answered();
            o.definite = o.attempt == Attempt::Failed && m_source->trustsDefiniteAnswers() && isDefinite(o.reason);
            return o;
        }
        const std::optional<qint64> wait = m_gate.refused(http.retryAfter);
        if (!wait) {
            const QString text = m_source->name() + QStringLiteral(" refused further requests");
            m_result.sourceStopped = true;
            m_host.setStatus(text);
            m_host.sourceStopped(text);
            return Outcome::failure(FailureReason::RateLimited, text, true);
        }
        m_host.setStatus(
            QStringLiteral("...Waiting %1 s: %2 is limiting requests").arg((*wait + 999) / 1000).arg(m_source->name()));
        if (!waitCancellable(*wait))
            return Outcome::with(Attempt::Cancelled);
    }
}

DownloadRun::Outcome DownloadRun::fetchAndStore(const QString& symbol, QString& path, FetchResult& http)
{
    if (m_cancel)
        return Outcome::with(Attempt::Cancelled);
    HttpFetcher& fetcher = *m_fetcher.load();
    path = dataFilePath(m_in.downloadDir, symbol, m_in.settings, m_in.request);

    QByteArray page;
    FailureReason queryFailure = FailureReason::None;
    if (const std::optional<HttpGet> query = m_source->queryPage(symbol)) {
        QBuffer sink(&page);
        sink.open(QIODevice::WriteOnly);
        const FetchResult r = fetcher.fetchTo(*query, sink);
        if (!r.ok()) {
            page.clear(); // a failed query is an empty page
            queryFailure = fetchReason(r);
        }
        if (m_cancel)
            return Outcome::with(Attempt::Cancelled);
        m_host.setStatus(kDownloading + symbol);
    }
    const HttpGet request = m_source->dataRequest(symbol, page);
    Outcome o = m_source->storesBodyAsSent() ? storeBodyAsSent(fetcher, symbol, request, path, http)
                                             : storeConverted(fetcher, symbol, request, path, http);
    // Without its query page the second request was bound to fail; the
    // page's failure is the one to tell.
    if (o.attempt == Attempt::Failed && queryFailure != FailureReason::None)
        o.reason = queryFailure;
    return o;
}

DownloadRun::Outcome DownloadRun::storeBodyAsSent(HttpFetcher& fetcher, const QString& symbol, const HttpGet& request,
                                                  const QString& path, FetchResult& http)
{
    // The body goes to a temporary file beside the data file and replaces it
    // only when complete: no half-written file ever stands under its name.
    QSaveFile out(path);
    const bool opened = out.open(QIODevice::WriteOnly);
    if (opened) {
        http = fetcher.fetchTo(request, out);
    } else {
        QBuffer nowhere; // the request is still made; there is nowhere to keep it
        nowhere.open(QIODevice::WriteOnly);
        http = fetcher.fetchTo(request, nowhere);
    }
    if (m_cancel) {
        out.cancelWriting();
        return Outcome::with(Attempt::Cancelled);
    }
    m_host.setStatus(kDownloading + symbol);
    if (!opened || !http.ok() || !out.commit()) {
        out.cancelWriting();
        // A failed fetch is an empty body: the old file goes, the test fails.
        QFile::remove(path);
        return Outcome::failure(http.ok() ? FailureReason::WriteFailed : fetchReason(http));
    }
    if (contentTest(path))
        return Outcome::with(Attempt::Passed);
    QFile stored(path);
    const QByteArray start = stored.open(QIODevice::ReadOnly) ? stored.read(2) : QByteArray();
    return Outcome::failure(m_source->judgeStoredBody(start));
}

DownloadRun::Outcome DownloadRun::storeConverted(HttpFetcher& fetcher, const QString& symbol, const HttpGet& request,
                                                 const QString& path, FetchResult& http)
{
    // The answer waits in a temporary file, so memory stays flat whatever
    // arrives; only a good table ever replaces the data file.
    QTemporaryFile answer;
    if (!answer.open()) {
        m_host.setStatus(kDownloading + symbol);
        return Outcome::failure(FailureReason::WriteFailed, answer.errorString());
    }
    http = fetcher.fetchTo(request, answer);
    if (m_cancel)
        return Outcome::with(Attempt::Cancelled);
    m_host.setStatus(kDownloading + symbol);

    QByteArray body;
    if (answer.size() <= kMaxPriceAnswerBytes && answer.seek(0))
        body = answer.readAll();
    if (!http.ok()) {
        // An error answer may still say more than its status (Yahoo's JSON
        // names an unknown symbol); its reason stays the status's.
        const FailureReason reason = fetchReason(http);
        const TableResult said = m_source->convert(body);
        const QString detail = said.reason == reason && !said.detail.isEmpty()
            ? said.detail
            : (http.status ? QStringLiteral("HTTP %1").arg(http.status) : QString());
        return Outcome::failure(reason, detail);
    }
    if (answer.size() > kMaxPriceAnswerBytes)
        return Outcome::failure(FailureReason::BadData, QStringLiteral("the answer is too large to be a price table"));
    const TableResult table = m_source->convert(body);
    if (!table.ok())
        return Outcome::failure(table.reason, table.detail);

    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(table.table) != table.table.size() || !out.commit()) {
        const QString why = out.errorString();
        out.cancelWriting();
        return Outcome::failure(FailureReason::WriteFailed, why);
    }
    return Outcome::with(Attempt::Passed);
}

bool DownloadRun::convert(const QString& path, const QString& symbol)
{
    const QString stem = fileStem(symbol);
    const qint16 period = m_values.period.number;
    const bool stored = m_in.settings.tableWriterCondition() ? convertTableToMetaStock(path, stem, period, writer())
                                                             : convertToMetaStock(path, stem, period, writer());
    if (!stored)
        return false; // not stored as MetaStock data: keep the downloaded file
    QFile::remove(path);
    return true;
}

void DownloadRun::tickerStored(const QString& symbol, const QString& path)
{
    ++m_result.stored;
    const bool converted = (m_in.settings.writerCondition() || m_in.settings.tableWriterCondition())
        && convert(path, symbol);
    m_host.tickerFinished(symbol, true, converted ? m_in.downloadDir : path);
}

void DownloadRun::giveUp(const QString& symbol, const QString& path)
{
    m_host.setStatus(kCouldNotGet + symbol);
    QFile::remove(path);
    ++m_result.failed;
}

void DownloadRun::failed(const QString& symbol, const Outcome& why)
{
    m_host.tickerFailed(symbol, why.reason, why.detail);
    m_host.tickerFinished(symbol, false, QString());
}

bool DownloadRun::singleRun(const QString& symbol)
{
    m_host.progressToMinimum();
    const bool emasterPresent = QFileInfo::exists(m_in.downloadDir + QStringLiteral("/EMASTER"));
    int attempts = 0;
    for (;;) {
        folderStep(emasterPresent);
        if (m_in.settings.componentPath()) {
            componentTicker(symbol);
            return true;
        }
        QString path;
        const Outcome o = attempt(symbol, path);
        if (o.attempt == Attempt::Cancelled) {
            m_result.cancelled = true;
            return false;
        }
        if (o.attempt == Attempt::Passed) {
            tickerStored(symbol, path);
            return true;
        }
        if (!o.definite && ++attempts < kAttempts)
            continue;
        giveUp(symbol, path);
        failed(symbol, o);
        return false;
    }
}

bool DownloadRun::listRun()
{
    if (m_in.settings.deleteExistingFiles == 1)
        clearDownloadDirectory(m_in.downloadDir);
    folderStep(QFileInfo::exists(m_in.downloadDir + QStringLiteral("/EMASTER")));

    const int rows = int(m_in.symbols.size());
    m_host.setProgressRange(0, rows);
    int done = 0;
    int attempts = 0;
    for (int row = 0; row < rows;) {
        const QString& symbol = m_in.symbols.at(row);
        m_host.repaint();
        if (m_in.settings.componentPath()) {
            if (m_cancel) {
                m_result.cancelled = true;
                return false;
            }
            componentTicker(symbol);
            ++done;
            attempts = 0;
            m_host.setProgressValue(done - 1);
            ++row;
            continue;
        }
        QString path;
        const Outcome o = attempt(symbol, path);
        if (o.attempt == Attempt::Cancelled) {
            m_result.cancelled = true;
            return false;
        }
        if (o.attempt == Attempt::Passed) {
            ++done;
            attempts = 0;
            m_host.setProgressValue(done - 1);
            ++row;
            tickerStored(symbol, path);
            continue;
        }
        if (!o.definite && ++attempts < kAttempts)
            continue;
        giveUp(symbol, path);
        attempts = 0;
        // Once the source has refused further requests, asking whether to go
        // on after each remaining ticker would only repeat its answer.
        const bool stop = m_in.settings.activeAlerts != 0 && !m_result.sourceStopped && m_host.askStop();
        ErrorLog::logTicker(m_in.downloadDir, symbol);
        failed(symbol, o);
        if (stop) {
            m_result.stopped = true;
            return false;
        }
        ++row;
    }
    return true;
}

} // namespace kestrion
