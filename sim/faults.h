#pragma once

#include <QHash>
#include <QString>

namespace kestrion::sim {

// Misbehaviour chosen by the symbol of a request, so that tests can provoke
// every kind of failure a real quote service shows.
struct Fault
{
    enum class Kind {
        None,
        Fail,   // FAIL<n>_...: HTTP 503 with an empty body for the first n requests
        Hang,   // HANG_...: never answers
        Reset,  // RESET_...: drops the connection without an answer
        NoData, // NO_...: 200 with "No data available for ..."
        E500,   // E500_...: HTTP 500
        Slow,   // SLOW_...: a normal answer, trickled over about two seconds
        Big,    // BIG_...: an oversized history table
    };
    Kind kind = Kind::None;
    int failures = 0; // for Fail

    // symbol: upper-cased and decoded.
    static Fault of(const QString& symbol);
};

// The FAIL<n>_ counters, per symbol text for the life of the server.
class FailureCounter
{
public:
    // Counts this request; true while it is one of the first n.
    bool shouldFail(const QString& symbol, int failures);

private:
    QHash<QString, int> m_seen;
};

// A symbol the services do not know: empty, or starting with "ZZ".
bool isUnknownSymbol(const QString& symbol);

} // namespace kestrion::sim
