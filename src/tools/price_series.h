#pragma once

#include "download/price_table.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace kestrion {

// One price history ready to chart: bars oldest first, one per date.
struct PriceSeries
{
    QString symbol;
    char period = 0; // 'D', 'W', 'M'; 0 when nothing says
    bool hasAdjClose = false; // false: adjClose equals close in every bar
    std::vector<PriceBar> bars;

    // The period as stored, or as the spacing of the bars suggests (a median
    // gap of up to 4 days is daily, up to 10 weekly, more monthly).
    char effectivePeriod() const;
};

// A series, or why there is none. The reason names the line (or record) of
// the first row that could not be read; a series is never returned with
// rows left out.
struct SeriesLoad
{
    PriceSeries series;
    QString error;

    bool ok() const { return error.isEmpty(); }
};

// The table layout: a header naming the columns (Date, Open, High, Low,
// Close, Volume and Adj Close in any order and case; Volume and Adj Close
// may be missing), then one row per date in any order. Blank lines are
// allowed; a row with a missing or unreadable value, a date that is no
// calendar day, or a date given twice is an error.
SeriesLoad parsePriceTable(const QByteArray& bytes);

// The Wall Street City quote lines the MetaStock conversion reads
// (TICKER,PERIOD,DATE,OPEN,HIGH,LOW,CLOSE,VOLUME,OPENINT), an optional
// header line first. Dates in any form the conversion accepts.
SeriesLoad parseQuoteLines(const QByteArray& bytes);

// True when a first line is a table header naming Date, Open, High, Low and
// Close: the file can be charted.
bool isPriceTableHeader(const QString& firstLine);

// Reads one data file, telling the layouts apart by their first line.
SeriesLoad readPriceFile(const QString& path);

// Where charts come from: one data file holds one series, a MetaStock
// folder one per security. load() only reads, so it may run on a worker
// thread while the window goes on.
class PriceSource
{
public:
    virtual ~PriceSource() = default;
    // The file or folder as given.
    virtual QString path() const = 0;
    virtual bool isFolder() const { return false; }
    // One line per series to choose from ("MSFT - Microsoft (daily)").
    virtual QStringList entries() const = 0;
    // Things found wrong that did not stop the listing.
    virtual QStringList warnings() const { return {}; }
    virtual SeriesLoad load(int entry) const = 0;
    // The entry of a symbol (its file stem, as the MetaStock conversion
    // names securities); 0 when none matches.
    virtual int find(const QString& symbol) const
    {
        Q_UNUSED(symbol);
        return 0;
    }
};

// A data file, or a MetaStock folder (the folder itself or one of its index
// files). Null, with the reason, for a path that is neither.
std::unique_ptr<PriceSource> openPriceSource(const QString& path, QString* error);

// Where a ticker of the grid is charted from: its data file in the
// download directory, or, when that is not there and the directory is a
// MetaStock folder listing the ticker, that folder. Empty path when neither;
// lookedFor always names the data file searched for.
struct ChartTarget
{
    QString path;
    QString symbol; // the security to select in a MetaStock folder
    QString lookedFor;
};
ChartTarget chartTargetFor(const QString& dataFile, const QString& downloadDir, const QString& symbol);

} // namespace kestrion
