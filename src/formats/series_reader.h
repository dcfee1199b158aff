#pragma once

#include "formats/price_table.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace kestrion {

// The lenient reading the chart relies on: any column order, blank lines,
// and the Wall Street City quote lines as well as the table layout.

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

} // namespace kestrion
