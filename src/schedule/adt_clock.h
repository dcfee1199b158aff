#pragma once

#include <QDateTime>
#include <QString>

namespace kestrion {

// The time of day as the automatic download compares it with "ADT": hours
// without a leading zero, two-digit minutes and seconds, a blank and English
// AM or PM ("9:30:00 PM"), the form the options dialog's hint leads users to.
QString renderTimeOfDay(const QTime& time);

// A typed automatic download time, checked. The options dialog stores only
// a time that passes, in the clock's own form, so that a time typed with a
// leading zero, in lower case or on the 24-hour clock still starts its run.
struct AdtCheck
{
    QString time; // "9:30:00 PM"; empty: no automatic download
    QString reason; // why the text is no time of day; empty when it is one
    bool ok() const { return reason.isEmpty(); }
};

// Takes "h:mm:ss AM/PM", "h:mm AM/PM", "hh:mm:ss" or "hh:mm" (24-hour),
// with blanks around; an empty text means no automatic download.
AdtCheck checkAutomaticDownloadTime(const QString& text);

// Decides when the automatic download starts. Fed the clock on every tick,
// it looks at every second since the previous tick, so a late or skipped
// tick cannot step over the matching second, and it starts at most one run
// for a given date and second, even when the clock is set back.
class AutomaticDownloadClock
{
public:
    // Seconds looked back at most when ticks were far apart (a suspended
    // machine should not start a run hours late).
    static constexpr int kMaxCatchUpSeconds = 10;

    // True when a run should start now for the "ADT" text.
    bool tick(const QDateTime& now, const QString& adt);

private:
    QDateTime m_lastSeen;
    QDateTime m_lastStarted;
};

} // namespace kestrion
