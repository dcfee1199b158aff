#pragma once

#include "formats/month_names.h"
#include "formats/price_table.h"

#include <QByteArray>
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

// The date range as the six selector texts show it, and the history period.
struct RequestInputs
{
    QString startMonth, startDay, startYear;
    QString endMonth, endDay, endYear;
    HistoryPeriod period = HistoryPeriod::Daily;
};

// The day that a month name, a day text ("1".."31", one or two digits) and
// a four-digit year text name; invalid for anything else, a day the month
// does not have (Feb 30) included.
QDate selectorDay(const QString& month, const QString& day, const QString& year);

// Why a run must not ask for the range of these texts, for the user: a start
// or end that is no real day, or an end before the start. Dates are named as
// YYYY-MM-DD where they exist. Empty when the range can be asked for.
QString rangeProblem(const RequestInputs& inputs);

// Month and period values converted once at the start of a run.
struct RunRequestValues
{
    RequestInputs inputs;
    MonthValues start;
    MonthValues end;
    PeriodValues period;

    static RunRequestValues from(const RequestInputs& inputs);
};

struct CompactDates
{
    qint32 start = 0;
    qint32 end = 0;
};
// Year text, two-digit month and day text run together: 20030101.
CompactDates compactDates(const RunRequestValues& v);

// The first and last day the selectors name; a day past the month's end is
// its last day.
QDate startDate(const RunRequestValues& v);
QDate endDate(const RunRequestValues& v);
// The two together.
DateRange runRange(const RunRequestValues& v);

} // namespace kestrion
