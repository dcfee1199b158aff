#include "download/download_run.h"

#include "download/error_log.h"
#include "download/metastock_components.h"
#include "download/output_files.h"
#include "platform/http_fetch.h"
#include "platform/program_launcher.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kestrion {

namespace {
const QString kDownloading = QStringLiteral("...Downloading ");
const QString kCouldNotGet = QStringLiteral("Could not get ");
const QString kComplete = QStringLiteral("Download Complete!");
const QString kErrorsLogged = QStringLiteral("ERRORS LOGGED!");
const QString kNoList = QStringLiteral("No ticker list is open");
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
    m_cancel = true;
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

    const QString& dir = m_in.downloadDir;
    if (dir.isEmpty() || !QFileInfo::exists(dir)) {
        m_result.directoryMissing = true;
        m_result.downloadDir = m_host.promptCreateDirectory();
        m_in.downloadDir = m_result.downloadDir;
    } else if (!m_in.listOpen || (m_in.singleStock && (m_in.currentRow < 0 || m_in.currentRow >= m_in.symbols.size()))) {
        // Nothing to fetch: say so rather than end silently.
        m_result.noList = true;
        m_host.setStatus(kNoList);
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
    if (!m_in.settings.writerCondition())
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

DownloadRun::Attempt DownloadRun::fetchAndStore(const QString& symbol, QString& path)
{
    if (m_cancel)
        return Attempt::Cancelled;
    HttpFetcher& fetcher = *m_fetcher.load();
    path = dataFilePath(m_in.downloadDir, symbol, m_in.settings, m_in.request);

    QString url;
    if (m_in.settings.isYahoo()) {
        url = yahooUrl(m_in.services.yahooHistoryHost, m_values, symbol);
    } else {
        const QByteArray page = fetcher.fetch(
            wscQueryUrl(m_in.services.wscQueryHost, m_values, symbol, m_in.settings.dataFormat));
        if (m_cancel)
            return Attempt::Cancelled;
        m_host.setStatus(kDownloading + symbol);
        url = wscResultUrl(m_in.services.wscFileHost, page, m_in.downloadDir);
    }

    // The body goes to a temporary file beside the data file and replaces it
    // only when complete: no half-written file ever stands under its name.
    QSaveFile out(path);
    bool fetched = false;
    if (out.open(QIODevice::WriteOnly)) {
        fetched = fetcher.fetchTo(url, out);
    } else {
        fetcher.fetch(url); // the request is still made; there is nowhere to keep it
    }
    if (m_cancel) {
        out.cancelWriting();
        return Attempt::Cancelled;
    }
    m_host.setStatus(kDownloading + symbol);
    if (!fetched || !out.commit()) {
        out.cancelWriting();
        // A failed fetch is an empty body: the old file goes, the test fails.
        QFile::remove(path);
        return Attempt::Failed;
    }
    return contentTest(path) ? Attempt::Passed : Attempt::Failed;
}

bool DownloadRun::convert(const QString& path, const QString& symbol)
{
    if (!convertToMetaStock(path, fileStem(symbol), m_values.period.number, writer()))
        return false; // not stored as MetaStock data: keep the downloaded file
    QFile::remove(path);
    return true;
}

void DownloadRun::tickerStored(const QString& symbol, const QString& path)
{
    ++m_result.stored;
    const bool converted = m_in.settings.writerCondition() && convert(path, symbol);
    m_host.tickerFinished(symbol, true, converted ? m_in.downloadDir : path);
}

void DownloadRun::giveUp(const QString& symbol, const QString& path)
{
    m_host.setStatus(kCouldNotGet + symbol);
    QFile::remove(path);
    ++m_result.failed;
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
        const Attempt a = fetchAndStore(symbol, path);
        if (a == Attempt::Cancelled) {
            m_result.cancelled = true;
            return false;
        }
        if (a == Attempt::Passed) {
            tickerStored(symbol, path);
            return true;
        }
        if (++attempts < kAttempts)
            continue;
        giveUp(symbol, path);
        m_host.tickerFinished(symbol, false, QString());
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
        const Attempt a = fetchAndStore(symbol, path);
        if (a == Attempt::Cancelled) {
            m_result.cancelled = true;
            return false;
        }
        if (a == Attempt::Passed) {
            ++done;
            attempts = 0;
            m_host.setProgressValue(done - 1);
            ++row;
            tickerStored(symbol, path);
            continue;
        }
        if (++attempts < kAttempts)
            continue;
        giveUp(symbol, path);
        attempts = 0;
        const bool stop = m_in.settings.activeAlerts != 0 && m_host.askStop();
        ErrorLog::logTicker(m_in.downloadDir, symbol);
        m_host.tickerFinished(symbol, false, QString());
        if (stop) {
            m_result.stopped = true;
            return false;
        }
        ++row;
    }
    return true;
}

} // namespace kestrion
