#include "download/request_pacer.h"

#include <algorithm>

namespace kestrion {

RequestPacer::RequestPacer(int limit, qint64 windowMs)
    : m_limit(std::max(0, limit))
    , m_windowMs(windowMs)
{
}

qint64 RequestPacer::waitMs(qint64 nowMs) const
{
    if (m_limit == 0)
        return 0;
    // Starts that left the window no longer count.
    while (!m_starts.empty() && m_starts.front() + m_windowMs <= nowMs)
        m_starts.pop_front();
    if (int(m_starts.size()) < m_limit)
        return 0;
    // The oldest start of the last `limit` leaves the window first.
    return m_starts[m_starts.size() - size_t(m_limit)] + m_windowMs - nowMs;
}

void RequestPacer::started(qint64 nowMs)
{
    if (m_limit == 0)
        return;
    m_starts.push_back(nowMs);
    while (int(m_starts.size()) > m_limit)
        m_starts.pop_front();
}

} // namespace kestrion
