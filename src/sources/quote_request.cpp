#include "sources/quote_request.h"

#include <QStringList>

#include <algorithm>

namespace kestrion {

namespace {

QDate selectorDate(const QString& yearText, int month, const QString& dayText)
{
    const QDate first(yearText.toInt(), month, 1);
    if (!first.isValid())
        return {};
    return first.addDays(std::clamp(dayText.toInt(), 1, first.daysInMonth()) - 1);
}

} // namespace

MonthValues monthValues(const QString& monthText)
{
    MonthValues m;
    const int i = monthNames().indexOf(monthText); // exact, case-sensitive
    if (i >= 0) {
        m.number = i + 1;
        m.zeroBased = i;
        m.twoDigit = QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0'));
    }
    return m;
}

PeriodValues periodValues(HistoryPeriod period)
{
    switch (period) {
    case HistoryPeriod::Daily:
        return {QStringLiteral("d"), QStringLiteral("0"), 1};
    case HistoryPeriod::Weekly:
        return {QStringLiteral("w"), QStringLiteral("1"), 2};
    case HistoryPeriod::Monthly:
        return {QStringLiteral("m"), QStringLiteral("2"), 3};
    case HistoryPeriod::None:
        break;
    }
    return {};
}

QDate selectorDay(const QString& month, const QString& day, const QString& year)
{
    const auto digits = [](const QString& text, int min, int max) {
        if (text.size() < min || text.size() > max)
            return false;
        return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    const int m = monthValues(month).number;
    if (m == 0 || !digits(day, 1, 2) || !digits(year, 4, 4))
        return {};
    return QDate(year.toInt(), m, day.toInt()); // invalid when the month has no such day
}

QString rangeProblem(const RequestInputs& in)
{
    const QDate start = selectorDay(in.startMonth, in.startDay, in.startYear);
    const QDate end = selectorDay(in.endMonth, in.endDay, in.endYear);
    const auto shown = [](const QString& m, const QString& d, const QString& y) {
        return QStringLiteral("\"%1 %2 %3\"").arg(m, d, y);
    };
    if (!start.isValid())
        return QStringLiteral("the start date %1 is not a valid date (month, day of that month, four-digit year)")
            .arg(shown(in.startMonth, in.startDay, in.startYear));
    if (!end.isValid())
        return QStringLiteral("the end date %1 is not a valid date (month, day of that month, four-digit year)")
            .arg(shown(in.endMonth, in.endDay, in.endYear));
    if (end < start)
        return QStringLiteral("the end date %1 is before the start date %2")
            .arg(end.toString(Qt::ISODate), start.toString(Qt::ISODate));
    return {};
}

RunRequestValues RunRequestValues::from(const RequestInputs& inputs)
{
    RunRequestValues v;
    v.inputs = inputs;
    v.start = monthValues(inputs.startMonth);
    v.end = monthValues(inputs.endMonth);
    v.period = periodValues(inputs.period);
    return v;
}

CompactDates compactDates(const RunRequestValues& v)
{
    const RequestInputs& in = v.inputs;
    CompactDates d;
    d.start = (in.startYear + v.start.twoDigit + in.startDay).toInt();
    d.end = (in.endYear + v.end.twoDigit + in.endDay).toInt();
    return d;
}

QDate startDate(const RunRequestValues& v)
{
    return selectorDate(v.inputs.startYear, v.start.number, v.inputs.startDay);
}

QDate endDate(const RunRequestValues& v)
{
    return selectorDate(v.inputs.endYear, v.end.number, v.inputs.endDay);
}

DateRange runRange(const RunRequestValues& v)
{
    return {startDate(v), endDate(v)};
}

} // namespace kestrion
