#pragma once


#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <vector>

namespace kestrion {

// How many days one row of a price table stands for.
enum class HistoryPeriod { None, Daily, Weekly, Monthly };

// A price answer is a few megabytes at most (sixty years of daily bars);
// anything far larger is not one, and is never read into memory whole.
constexpr qint64 kMaxPriceAnswerBytes = 32 * 1024 * 1024;

struct PriceBar
{
    QDate date;
    double open = 0, high = 0, low = 0, close = 0;
    qint64 volume = 0;
    double adjClose = 0;
};

// The first and last day one request asks for; an invalid date leaves that
// end open.
struct DateRange
{
    QDate from, to;
};

// A price in plain decimal (never an exponent), rounded half away from zero
// to 4 places on the value as written in shortest form (so 1.00005 gives
// "1.0001" although its binary value is a hair below), trailing zeros and a
// trailing "." dropped; -0 and anything that rounds to it print "0".
// Not-a-number and infinities print "" (the converters never produce them).
QByteArray priceText(double value);

// "Date,Open,High,Low,Close,Volume,Adj Close\n" then one row per bar, newest
// first, dates YYYY-MM-DD, LF line ends, Volume an integer. Bars may come in
// any order; bars of the same date keep their given order.
QByteArray tableText(std::vector<PriceBar> bars);

// Daily bars folded into weekly (ISO week, Monday to Sunday) or monthly
// bars: Open of the period's first day, High the highest, Low the lowest,
// Close and Adj Close of its last day, Volume the sum (held at the largest
// qint64 rather than overflowing), dated at its first day. Bars of one date
// are first made one, as mergeSameDateRows does, so a repeated day is never
// counted twice. The caller passes only the days inside the range, so a cut
// first or current period keeps just those days. The result is oldest first;
// Daily and None only merge same-date bars. A bar without a valid date is
// kept apart, never folded.
std::vector<PriceBar> foldDailyBars(std::vector<PriceBar> bars, HistoryPeriod period);

// Rows of the same date folded into one: Open of the first, High the
// largest, Low the smallest, Close, Adj Close and Volume of the last (a
// repeated day is a later quote of the same session, its volume the day's so
// far). A row without a valid date is never folded. The result is oldest first.
std::vector<PriceBar> mergeSameDateRows(std::vector<PriceBar> rows);

} // namespace kestrion
