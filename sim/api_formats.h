#pragma once

#include "price_model.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <optional>
#include <vector>

namespace kestrion::sim {

// The answers of the two current quote APIs, Yahoo Chart (JSON) and Tiingo
// (CSV), laid out the way the real services send them.

// text as a JSON string literal, quotes included.
QByteArray jsonString(const QString& text);

// Seconds since 1970-01-01 00:00 UTC of that date's midnight, UTC.
qint64 unixDay(const QDate& date);

struct ChartRow
{
    qint64 timestamp = 0;
    bool missing = false; // every value null, as Yahoo sends holidays
    double open = 0, high = 0, low = 0, close = 0, adjclose = 0;
    qint64 volume = 0;
};

struct ChartAnswer
{
    QString symbol; // upper case, decoded
    bool tokyo = false;
    BarPeriod period = BarPeriod::Daily;
    std::vector<ChartRow> rows; // oldest first
    std::optional<qint64> dividendAt; // timestamp of the row carrying it
    double dividend = 0;
    std::optional<qint64> splitAt; // a 2:1 split
};

// {"chart":{"result":[...],"error":null}}; without rows the result has no
// "timestamp" and empty quote and adjclose blocks.
QByteArray yahooChartJson(const ChartAnswer& answer);
// {"chart":{"result":null,"error":{"code":..,"description":..}}}
QByteArray yahooChartError(const QString& code, const QString& description);

struct TiingoRow
{
    QDate date;
    qint64 open = 0, high = 0, low = 0, close = 0; // unadjusted, in cents
    qint64 volume = 0;
    double adjOpen = 0, adjHigh = 0, adjLow = 0, adjClose = 0;
    qint64 adjVolume = 0;
    double divCash = 0;
    double splitFactor = 1;
};

// The header line and one line per row, LF line ends.
QByteArray tiingoCsv(const std::vector<TiingoRow>& rows);
// {"detail":"..."}, the shape of every Tiingo error.
QByteArray tiingoDetail(const QString& detail);

} // namespace kestrion::sim
