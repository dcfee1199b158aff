#pragma once

#include "download/quote_request.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <vector>

namespace kestrion {

// Why a quote source gave no table. The network side maps HTTP failures onto
// the same values, so a run reports every source the same way.
// WriteFailed is ours, not the service's: the answer could not be stored.
// NameClash is ours too: an earlier ticker of the run has its file name.
enum class FailureReason {
    None,
    NotFound,
    NoData,
    RateLimited,
    Unauthorized,
    Unreachable,
    Timeout,
    ServerError,
    BadData,
    WriteFailed,
    NameClash
};

// "not-found", "no-data", "rate-limited", "unauthorized", "unreachable",
// "timeout", "server-error", "bad-data", "write-failed", "name-clash"; "" for None. These texts go into
// logs and the command-line output, so they never change.
QString reasonText(FailureReason reason);

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

struct TableResult
{
    FailureReason reason = FailureReason::None; // None: table holds the file's bytes
    QByteArray table;
    QString detail; // short human text for a failure; never holds secrets
    // The days of the splits and dividends the answer tells of, oldest first,
    // in or out of the range. An event whose day cannot be read is an invalid
    // date: it may lie anywhere, so an update must not trust older prices.
    QList<QDate> events;

    bool ok() const { return reason == FailureReason::None; }
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

// True when a body that should be a price table is instead a quota or
// rate-limit notice ("rate limit", "too many requests", "request allocation",
// "quota", "exceeded", any case). Only meaningful for bodies that failed to
// parse: a real table never holds these words.
bool isQuotaText(const QByteArray& body);

} // namespace kestrion
