#pragma once

#include <QDate>
#include <QHash>
#include <QString>

namespace kestrion::sim {

// Misbehaviour chosen by the symbol of a request, so that tests can provoke
// every kind of failure a real quote service shows.
struct Fault
{
    enum class Kind {
        None,
        Fail, // FAIL<n>_...: HTTP 503 with an empty body for the first n requests
        Hang, // HANG_...: never answers
        Reset, // RESET_...: drops the connection without an answer
        NoData, // NO_...: 200 with "No data available for ..."
        E500, // E500_...: HTTP 500
        Slow, // SLOW_...: a normal answer, trickled over about two seconds
        Big, // BIG_...: an oversized history table

        // Only the Yahoo Chart and Tiingo services know these; the older
        // services answer such symbols normally.
        NullRows, // NULL_...: Yahoo Chart: every 4th bar is all null
        LiveRow, // LIVE_...: Yahoo Chart weekly/monthly: the last period twice
        Split, // SPLIT_...: a 2-for-1 split on the middle bar
        Dividend, // DIV_...: a dividend of 0.5 on the middle bar
        // SPLIT<yyyymmdd>_..., DIV<yyyymmdd>_...: the same on the first
        // weekday on or after that date, whatever range is asked; answers
        // ending before it are as the service sent them before the event.
        SplitOn,
        DividendOn,
        RateLimited, // R429_...: HTTP 429 without Retry-After, always
        RetryAfter, // RA<n>_...: HTTP 429 with "Retry-After: 1" for the first n requests
        RateLimitedFirst, // RL<n>_...: HTTP 429 without Retry-After for the first n requests
        Busy503, // R503RA_...: HTTP 503 with "Retry-After: 1" for the first request
        LongWait, // RLONG_...: HTTP 429 with "Retry-After: 120", always
        Huge, // HUGE<n>_...: a history table of n MiB (old Yahoo table)
        QuotaText, // QUOTA_...: 200 with a quota notice as plain text
        HtmlPage, // HTML_...: 200 with an HTML error page
    };
    Kind kind = Kind::None;
    int failures = 0; // for Fail, RetryAfter, RateLimitedFirst and Busy503; MiB for Huge
    QDate on; // for SplitOn and DividendOn

    // symbol: upper-cased and decoded.
    static Fault of(const QString& symbol);
};

// The FAIL<n>_ (and RA<n>_, RL<n>_, R503RA_) counters, per key for the
// life of the server. The older services key by the symbol alone; the newer
// ones put their own name in front, so each service counts on its own.
class FailureCounter
{
public:
    // Counts this request; true while it is one of the first n.
    bool shouldFail(const QString& key, int failures);

private:
    QHash<QString, int> m_seen;
};

// A fault at one service only, so that another can give what it cannot:
// before the first '_', '-'-separated words N<tag> (unknown there) and
// R<tag> (HTTP 429 there, always). Tags: Y Yahoo Chart, T Tiingo, E EODHD.
// "NY-RT_A" is unknown to Yahoo Chart, refused by Tiingo and served by the
// others.
enum class ServiceFault { None, Unknown, Refused };
ServiceFault serviceFault(const QString& symbol, const char* tag);

// A symbol the services do not know: empty, or starting with "ZZ".
bool isUnknownSymbol(const QString& symbol);

} // namespace kestrion::sim
