#include "download/metastock_yahoo_downloader.h"

#include "formats/metastock_conversion.h"
#include "formats/metastock_folder_writer.h"
#include "download/output_files.h"
#include "formats/price_table.h"
#include "sources/quote_request.h"
#include "platform/http_fetch.h"
#include "sources/yahoo_table_source.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <optional>

namespace kestrion {

namespace {

// A compact date (yyyymmdd) as the three selector texts of a request.
// A day the components give as year, month and day run together: 20030101.
QDate compactDay(qint32 compact)
{
    const int y = compact / 10000, m = (compact / 100) % 100, d = compact % 100;
    if (compact <= 0 || y < 1000)
        return {};
    return QDate(y, m, d); // invalid when there is no such day
}

} // namespace

YahooMetaStockDownloader::YahooMetaStockDownloader(ServiceConfig services)
    : m_services(std::move(services))
{
}

YahooMetaStockDownloader::~YahooMetaStockDownloader() = default;

MetaStockFolderWriter& YahooMetaStockDownloader::writerFor(const QString& directory)
{
    if (!m_writer || m_writerDir != directory) {
        m_writer = std::make_unique<MetaStockFolderWriter>();
        m_writerDir = directory;
        if (QFileInfo::exists(QDir(directory).filePath(QStringLiteral("EMASTER"))))
            m_writer->openFolder(directory);
        else
            m_writer->createFolder(directory);
    }
    return *m_writer;
}

void YahooMetaStockDownloader::downloadTicker(const QString& symbol, const QString& name, qint32 startDate,
                                              qint32 endDate, qint16 period, const QString& directory,
                                              const QString& reserved, bool overwrite, Done done)
{
    Q_UNUSED(name)
    Q_UNUSED(reserved)
    Q_UNUSED(overwrite)
    const HistoryPeriod asked = period == 1 ? HistoryPeriod::Daily
        : period == 2                        ? HistoryPeriod::Weekly
        : period == 3                        ? HistoryPeriod::Monthly
                                             : HistoryPeriod::None;
    const DateRange range{compactDay(startDate), compactDay(endDate)};
    // Through a temporary file, so that memory stays flat whatever arrives.
    auto answer = std::make_shared<QTemporaryFile>();
    if (m_cancelled || asked == HistoryPeriod::None || symbol.isEmpty() || directory.isEmpty()
        || !range.from.isValid() || !range.to.isValid() || !answer->open()) {
        if (!m_cancelled)
            done(kErrorCouldNotDownload);
        return;
    }
    if (!m_client)
        m_client = std::make_unique<HttpClient>(m_services.fetchTimeoutSeconds);
    const QString url = yahooUrl(m_services.yahooHistoryHost, range, asked, symbol);
    m_transfer = m_client->get(HttpGet{url, {}}, answer.get());
    QObject::connect(m_transfer, &HttpTransfer::finished, m_transfer,
                     [this, answer, symbol, period, directory, done = std::move(done)](const FetchResult& r) {
                         m_transfer->deleteLater();
                         m_transfer = nullptr;
                         if (m_cancelled)
                             return;
                         done(r.ok() ? store(*answer, symbol, period, directory) : kErrorCouldNotDownload);
                     });
}

int YahooMetaStockDownloader::store(QTemporaryFile& answer, const QString& symbol, qint16 period,
                                    const QString& directory)
{
    if (answer.size() > kMaxPriceAnswerBytes || !answer.seek(0))
        return kErrorCouldNotDownload;
    const QByteArray body = answer.readAll();
    // The same test a stored data file has to pass.
    if (body.isEmpty() || body.startsWith("<h") || body.startsWith("No"))
        return kErrorCouldNotDownload;
    const QList<YahooQuote> quotes = parseYahooTable(body);
    if (quotes.isEmpty())
        return kErrorCouldNotDownload;

    MetaStockFolderWriter& writer = writerFor(directory);
    const QString stem = fileStem(symbol);
    writer.addSecurity(stem, stem, period);
    for (const YahooQuote& q : quotes)
        writer.addQuote(q.date, 0, q.open, q.high, q.low, q.close, q.volume, 0.0f);
    return writer.flush() ? 0 : kErrorCouldNotStore;
}

void YahooMetaStockDownloader::cancel()
{
    m_cancelled = true;
    if (m_transfer)
        m_transfer->abort();
}

} // namespace kestrion
