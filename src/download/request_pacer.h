#pragma once

#include <QtGlobal>

#include <deque>

namespace kestrion {

// Keeps a run under a service's "requests per minute": never more than the
// limit started in any window (60 s), however quickly answers come back.
class RequestPacer
{
public:
    static constexpr qint64 kWindowMs = 60'000;

    // limit 0: no pacing.
    explicit RequestPacer(int limit = 0, qint64 windowMs = kWindowMs);

    // How long to wait before the next request may start; 0: now.
    qint64 waitMs(qint64 nowMs) const;
    // A request started at nowMs.
    void started(qint64 nowMs);
    bool paces() const { return m_limit > 0; }

private:
    int m_limit;
    qint64 m_windowMs;
    mutable std::deque<qint64> m_starts; // the latest starts, oldest first
};

} // namespace kestrion
