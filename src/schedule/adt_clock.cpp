#include "schedule/adt_clock.h"

#include <QLocale>

namespace kestrion {

QString renderTimeOfDay(const QTime& time)
{
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(time, QStringLiteral("h:mm:ss AP"));
}

bool AutomaticDownloadClock::tick(const QDateTime& nowExact, const QString& adt)
{
    // Whole seconds only: the comparison is by second.
    const QDateTime now = nowExact.addMSecs(-nowExact.time().msec());
    QDateTime from = now;
    if (m_lastSeen.isValid() && m_lastSeen < now && m_lastSeen.secsTo(now) <= kMaxCatchUpSeconds)
        from = m_lastSeen.addSecs(1);
    m_lastSeen = now;
    if (adt.isEmpty())
        return false;
    for (QDateTime t = from; t <= now; t = t.addSecs(1)) {
        if (renderTimeOfDay(t.time()) != adt)
            continue;
        if (t == m_lastStarted)
            return false; // this second already had its run
        m_lastStarted = t;
        return true;
    }
    return false;
}

} // namespace kestrion
