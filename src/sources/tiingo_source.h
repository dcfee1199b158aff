#pragma once

#include "sources/quote_source.h"

#include <QByteArray>
#include <QDate>

namespace kestrion {

// Tiingo's daily prices as CSV; the key goes in a header, never the address.
std::unique_ptr<QuoteSource> makeTiingoSource(const SourceSetup& setup);

// Tiingo daily-prices CSV (daily rows) to the data file's bytes. Raw prices are
// split-adjusted by the split factors of all later rows; Adj Close is taken
// as sent. Range and merging as for Yahoo. Rows whose splitFactor is not 1
// or whose divCash (where sent) is not 0 go into events.
TableResult tiingoTable(const QByteArray& csv, QDate from, QDate to, HistoryPeriod period);

} // namespace kestrion
