#pragma once

#include <QByteArray>
#include <QDateTime>

#include <optional>

namespace kestrion {

// How a run treats a service that asks it to slow down: wait as the service
// says (Retry-After, at most two minutes) or else 2 s, 4 s, 8 s...; after
// three refusals in a row, ask that service nothing more in this run.
class RateGate
{
public:
    static constexpr int kMaxRefusals = 3;
    static constexpr qint64 kMaxWaitMs = 120'000;

    // A refusal arrived; returns how long to wait before asking again, or
    // nothing when the service has now refused too often.
    std::optional<qint64> refused(const QByteArray& retryAfter, const QDateTime& now = QDateTime::currentDateTimeUtc());
    // Any other answer ends the run of refusals.
    void answered() { m_refusals = 0; }
    bool stopped() const { return m_stopped; }

    // Retry-After as seconds or an HTTP date; nothing when it says neither.
    static std::optional<qint64> retryAfterMs(const QByteArray& value, const QDateTime& now);

private:
    int m_refusals = 0;
    bool m_stopped = false;
};

} // namespace kestrion
