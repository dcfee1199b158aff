#pragma once

#include <QString>

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
