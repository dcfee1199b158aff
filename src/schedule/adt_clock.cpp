#include "schedule/adt_clock.h"

#include <QLocale>
#include <QRegularExpression>

namespace kestrion {

QString renderTimeOfDay(const QTime& time)
{
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(time, QStringLiteral("h:mm:ss AP"));
}

AdtCheck checkAutomaticDownloadTime(const QString& typed)
{
    AdtCheck check;
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return check;
    static const QRegularExpression shape(
        QStringLiteral("^([0-9]{1,2}):([0-9]{1,2})(?::([0-9]{1,2}))?\\s*([^0-9\\s:]\\S*)?$"));
    const QRegularExpressionMatch m = shape.match(text);
    if (!m.hasMatch()) {
        check.reason = QStringLiteral("\"%1\" is not a time of day: type it as hh:mm:ss AM or PM, "
                                      "for example 9:30:00 PM.")
                           .arg(text);
        return check;
    }
    const int hour = m.captured(1).toInt();
    const int minute = m.captured(2).toInt();
    const int second = m.hasCaptured(3) ? m.captured(3).toInt() : 0;
    const QString half = m.captured(4).toUpper();
    if (!half.isEmpty() && half != QLatin1String("AM") && half != QLatin1String("PM")) {
        check.reason = QStringLiteral("\"%1\" is neither AM nor PM.").arg(m.captured(4));
        return check;
    }
    if (!half.isEmpty() && (hour < 1 || hour > 12)) {
        check.reason = QStringLiteral("With AM or PM the hour is 1 to 12, not %1.").arg(m.captured(1));
        return check;
    }
    if (half.isEmpty() && hour > 23) {
        check.reason = QStringLiteral("The hour is 0 to 23 (or 1 to 12 with AM or PM), not %1.").arg(m.captured(1));
        return check;
    }
    if (minute > 59) {
        check.reason = QStringLiteral("The minutes are 00 to 59, not %1.").arg(m.captured(2));
        return check;
    }
    if (second > 59) {
        check.reason = QStringLiteral("The seconds are 00 to 59, not %1.").arg(m.captured(3));
        return check;
    }
    int hour24 = hour;
    if (half == QLatin1String("AM"))
        hour24 = hour % 12;
    else if (half == QLatin1String("PM"))
        hour24 = hour % 12 + 12;
    check.time = renderTimeOfDay(QTime(hour24, minute, second));
    return check;
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
