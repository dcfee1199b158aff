#pragma once

#include "formats/month_names.h"
#include "formats/price_table.h"

#include <QDate>
#include <QString>

namespace kestrion {

struct MonthValues
{
    int number = 0; // 1..12, 0 when the text is not a month name
    int zeroBased = 0; // 0..11
    QString twoDigit; // "01".."12", empty when not a month name
};

struct PeriodValues
{
    QString yahooLetter; // "d", "w", "m"
    QString wscCode; // "0", "1", "2"
    qint16 number = 0; // 1, 2, 3 (what the MetaStock components take)
};

MonthValues monthValues(const QString& monthText);
PeriodValues periodValues(HistoryPeriod period);

// The day that a month name, a day text ("1".."31", one or two digits) and
// a four-digit year text name; invalid for anything else, a day the month
// does not have (Feb 30) included.
QDate selectorDay(const QString& month, const QString& day, const QString& year);

// A day as the date boxes and the old services' addresses write it:
// "Jan", "01", "2003".
struct DayTexts
{
    QString month;
    QString day;
    QString year;

    static DayTexts of(const QDate& date);
    // Invalid unless the three texts name a real day.
    QDate date() const { return selectorDay(month, day, year); }
};

// Why a run must not ask for the range from start to end, for the user: a
// start or end that is no real day, or an end before the start. Dates are
// named as YYYY-MM-DD where they exist. Empty when the range can be asked for.
QString rangeProblem(const DayTexts& start, const DayTexts& end);

struct CompactDates
{
    qint32 start = 0;
    qint32 end = 0;
};
// Year, month and day run together: 20030101.
CompactDates compactDates(const DateRange& range);

} // namespace kestrion
