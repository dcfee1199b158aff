#pragma once

#include "download/price_table.h"

#include <QByteArray>
#include <QDate>

// The quote services' answers turned into the data file's table: each
// converter reads one service's format and reports why an answer is unusable.

namespace kestrion {

// Yahoo chart JSON (v8 "chart" answer of daily bars) to the data file's
// bytes. Bars are dated in the exchange's own zone (timestamp +
// meta.gmtoffset), kept when inside [from, to] (an invalid date leaves that
// end open) and when no price or volume is null, then folded into the period
// by foldDailyBars: same-date rows become one, so a file never holds one date
// twice, and a weekly or monthly row holds only days inside the range. The
// days of events.splits and events.dividends go into events.
TableResult yahooChartTable(const QByteArray& json, QDate from, QDate to, HistoryPeriod period);

// Tiingo daily-prices CSV (daily rows) to the data file's bytes. Raw prices are
// split-adjusted by the split factors of all later rows; Adj Close is taken
// as sent. Range and merging as for Yahoo. Rows whose splitFactor is not 1
// or whose divCash (where sent) is not 0 go into events.
TableResult tiingoTable(const QByteArray& csv, QDate from, QDate to, HistoryPeriod period);

} // namespace kestrion
