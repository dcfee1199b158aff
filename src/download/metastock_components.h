#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace kestrion {

// The MetaStock writer a run feeds with converted Wall Street City quotes.
// Everything must be on disk when the object is destroyed (the end of a run).
class MetaStockWriter
{
public:
    virtual ~MetaStockWriter() = default;
    virtual void createFolder(const QString& directory) = 0;
    virtual void openFolder(const QString& directory) = 0;
    virtual void addSecurity(const QString& symbol, const QString& name, qint16 period) = 0;
    // date is yyyymmdd; time is always 0 for end-of-day quotes; the six values
    // are open, high, low, close, volume and open interest.
    virtual void addQuote(qint32 date, qint32 time, float v1, float v2, float v3, float v4, float v5, float v6) = 0;
    // Stores what was added so far (the conversion calls it after each
    // ticker, whose data file is deleted next). False when it could not.
    virtual bool flush() { return true; }
};

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

// Conversion of one stored data file: add security (stem twice, period), one
// add-quote per convertible line; the caller deletes the file afterwards.
// False when the writer could not store the quotes: the data file is then
// the only copy and should be kept. A file that cannot be read adds nothing
// and gives true.
bool convertToMetaStock(const QString& dataFile, const QString& stem, qint16 period, MetaStockWriter& writer);
// The same for a file in the table layout (Date,Open,High,Low,Close,Volume,
// Adj Close), as the current sources store it.
bool convertTableToMetaStock(const QString& dataFile, const QString& stem, qint16 period, MetaStockWriter& writer);

} // namespace kestrion
