#pragma once

#include "formats/metastock_writer.h"

#include <QString>

#include <functional>
#include <memory>

namespace kestrion {

// The component that fetches one ticker and stores it as MetaStock data itself.
class MetaStockDownloader
{
public:
    static constexpr int kErrorCouldNotDownload = 1602;
    // The quotes came but could not be written (a full disk, no rights).
    static constexpr int kErrorCouldNotStore = 1603;
    // 0, or an error number (1602: the ticker could not be downloaded;
    // 1603: it could not be stored).
    using Done = std::function<void(int error)>;

    virtual ~MetaStockDownloader() = default;
    virtual void setRunSetting(qint16 value) = 0;
    // Stops the call under way; its done is then never called.
    virtual void cancel() { }
    // Starts one ticker; done is called once when it is stored or has
    // failed, possibly before this returns.
    virtual void downloadTicker(const QString& symbol, const QString& name, qint32 startDate, qint32 endDate,
                                qint16 period, const QString& directory, const QString& reserved, bool overwrite,
                                Done done)
        = 0;
};

// Creates the components on first use in a run; the run releases them at its end.
class MetaStockFactory
{
public:
    virtual ~MetaStockFactory() = default;
    virtual std::unique_ptr<MetaStockWriter> createWriter() = 0;
    virtual std::unique_ptr<MetaStockDownloader> createDownloader() = 0;
};

} // namespace kestrion
