#pragma once

#include "sources/quote_source.h"

namespace kestrion {

// The Yahoo table service of old: one request per ticker, its CSV body kept
// as sent.
std::unique_ptr<QuoteSource> makeYahooTableSource(const SourceSetup& setup);

QString yahooUrl(const QString& host, const DateRange& range, HistoryPeriod period, const QString& symbol);

} // namespace kestrion
