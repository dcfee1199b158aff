#include "sources/quote_request.h"

#include <QStringList>

#include <algorithm>

namespace kestrion {


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

DayTexts DayTexts::of(const QDate& date)
{
    return {monthNames().value(date.month() - 1), QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0')),
            QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'))};
}

QString rangeProblem(const DayTexts& startTexts, const DayTexts& endTexts)
{
    const QDate start = startTexts.date();
    const QDate end = endTexts.date();
    const auto shown = [](const DayTexts& t) { return QStringLiteral("\"%1 %2 %3\"").arg(t.month, t.day, t.year); };
    if (!start.isValid())
        return QStringLiteral("the start date %1 is not a valid date (month, day of that month, four-digit year)")
            .arg(shown(startTexts));
    if (!end.isValid())
        return QStringLiteral("the end date %1 is not a valid date (month, day of that month, four-digit year)")
            .arg(shown(endTexts));
    if (end < start)
        return QStringLiteral("the end date %1 is before the start date %2")
            .arg(end.toString(Qt::ISODate), start.toString(Qt::ISODate));
    return {};
}

CompactDates compactDates(const DateRange& range)
{
    const auto compact = [](const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); };
    return {compact(range.from), compact(range.to)};
}

} // namespace kestrion
