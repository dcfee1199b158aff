#pragma once

#include "formats/series_reader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace kestrion {

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
