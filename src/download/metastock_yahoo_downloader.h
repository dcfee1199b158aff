#pragma once

#include "core/settings_record.h"
#include "download/metastock_components.h"
#include "formats/metastock_conversion.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QTemporaryFile;

#include <memory>

namespace kestrion {

class HttpClient;
class HttpTransfer;
class MetaStockFolderWriter;

// Fetches one ticker's history from the Yahoo! history host and stores it in
// the MetaStock folder of the download directory under the ticker's file
// stem (BCE.TO as BCE-TO), adding to a folder that is there already.
// Construct it with the service hosts and time-out in force for the run;
// it keeps one folder writer open for its lifetime, so the tickers of a run
// all go into the same folder, and each ticker is on disk when its done is
// called.
class YahooMetaStockDownloader : public MetaStockDownloader
{
public:
    explicit YahooMetaStockDownloader(ServiceConfig services);
    ~YahooMetaStockDownloader() override;

    // Kept for the run; it changes nothing in how tickers are fetched.
    void setRunSetting(qint16 value) override { m_runSetting = value; }
    qint16 runSetting() const { return m_runSetting; }

    // Dates are yyyymmdd and period 1, 2 or 3. Gives 0 when the ticker is
    // stored, 1602 when it could not be fetched (no answer, an error page,
    // "No data" text, a table without rows) or the dates or the period are
    // not valid, 1603 when its quotes could not be written (the folder is
    // then as it was before the ticker). The name is not used (the
    // file stem names the security); existing quotes of the same security
    // and period are merged with the new ones, whatever "overwrite" says.
    void downloadTicker(const QString& symbol, const QString& name, qint32 startDate, qint32 endDate, qint16 period,
                        const QString& directory, const QString& reserved, bool overwrite, Done done) override;

    // Aborts the request under way and any later one.
    void cancel() override;

private:
    MetaStockFolderWriter& writerFor(const QString& directory);
    int store(QTemporaryFile& answer, const QString& symbol, qint16 period, const QString& directory);

    ServiceConfig m_services;
    qint16 m_runSetting = 0;
    std::unique_ptr<HttpClient> m_client; // made on first use
    HttpTransfer* m_transfer = nullptr; // the request under way, owned by m_client
    bool m_cancelled = false;
    std::unique_ptr<MetaStockFolderWriter> m_writer;
    QString m_writerDir;
};

} // namespace kestrion
