#pragma once

#include "sources/quote_source.h"

#include <QByteArray>
#include <QDate>

namespace kestrion {

// Yahoo's chart API: JSON, bars stamped in the exchange's own time zone.
std::unique_ptr<QuoteSource> makeYahooChartSource(const SourceSetup& setup);

// Yahoo chart JSON (v8 "chart" answer of daily bars) to the data file's
// bytes. Bars are dated in the exchange's own zone (timestamp +
// meta.gmtoffset), kept when inside [from, to] (an invalid date leaves that
// end open) and when no price or volume is null, then folded into the period
// by foldDailyBars: same-date rows become one, so a file never holds one date
// twice, and a weekly or monthly row holds only days inside the range. The
// days of events.splits and events.dividends go into events.
TableResult yahooChartTable(const QByteArray& json, QDate from, QDate to, HistoryPeriod period);

} // namespace kestrion
