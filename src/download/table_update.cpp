#include "download/table_update.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace kestrion {

namespace {

qint64 periodKey(QDate d, HistoryPeriod period)
{
    switch (period) {
    case HistoryPeriod::Weekly: {
        int year = 0;
        const int week = d.weekNumber(&year);
        return qint64(year) * 100 + week;
    }
    case HistoryPeriod::Monthly:
        return qint64(d.year()) * 12 + d.month();
    case HistoryPeriod::Daily:
    case HistoryPeriod::None:
        break;
    }
    return d.toJulianDay();
}

QString day(QDate d)
{
    return d.toString(Qt::ISODate);
}

UpdateMerge inFull(const QString& reason)
{
    UpdateMerge m;
    m.fetchInFull = true;
    m.reason = reason;
    return m;
}

// The answer's rows in place of the old rows of the periods it spans (from
// its oldest row's to its newest row's, for daily files its first to its last
// day); old rows outside that span stay as they are. Newest first under the
// header, every row's bytes as they were.
QByteArray mergedRows(const ExistingTable& old, const ExistingTable& news, HistoryPeriod period)
{
    const qint64 first = periodKey(news.oldest, period);
    const qint64 last = periodKey(news.newest, period);
    const auto covered = [&](const TableRow& row) {
        const qint64 k = periodKey(row.date, period);
        return k >= first && k <= last;
    };
    // Old rows newest first: those after the span, the span, those before.
    const auto spanStart = std::find_if(old.rows.cbegin(), old.rows.cend(),
                                        [&](const TableRow& row) { return periodKey(row.date, period) <= last; });
    const auto older = std::find_if(spanStart, old.rows.cend(), [&](const TableRow& row) { return !covered(row); });

    QByteArray out;
    out.reserve(old.bytes.size() + news.bytes.size());
    out += kTableHeader;
    for (auto o = old.rows.cbegin(); o != spanStart; ++o)
        out += old.rowText(*o);
    out += QByteArrayView(news.bytes).sliced(kTableHeader.size());
    if (older != old.rows.cend())
        out += QByteArrayView(old.bytes).sliced(older->offset);
    return out;
}

} // namespace

std::optional<QDate> updateFrom(const ExistingTable& table, const DateRange& asked, HistoryPeriod period)
{
    if (table.rows.empty() || !asked.from.isValid() || !asked.to.isValid())
        return std::nullopt;
    if (table.oldest > asked.from.addDays(7) || table.newest > asked.to)
        return std::nullopt;
    const QDate newest = table.newest;
    QDate from;
    switch (period) {
    case HistoryPeriod::Weekly:
        from = newest.addDays(1 - newest.dayOfWeek() - 7); // the Monday of the week before
        break;
    case HistoryPeriod::Monthly:
        from = QDate(newest.year(), newest.month(), 1).addMonths(-1);
        break;
    case HistoryPeriod::Daily:
    case HistoryPeriod::None:
        from = newest.addDays(-7);
        break;
    }
    if (from <= asked.from)
        return std::nullopt;
    return from;
}

bool adjCloseChanged(double stored, double fresh)
{
    const double limit = std::abs(stored) * 1e-4;
    const double diff = std::abs(fresh - stored);
    // Decimal prices are not exact in binary: a difference within rounding
    // noise of the limit is the limit itself.
    const double noise = 1e-12 * std::max({std::abs(stored), std::abs(fresh), 1.0});
    return diff - limit > noise;
}

UpdateMerge mergeUpdate(const ExistingTable& old, const TableResult& fresh, HistoryPeriod period)
{
    if (!fresh.ok())
        return inFull(fresh.detail.isEmpty() ? QStringLiteral("the shorter request brought no prices")
                                             : QStringLiteral("the shorter request failed: ") + fresh.detail);
    const std::optional<ExistingTable> news = parseExistingTable(fresh.table);
    if (!news || old.rows.empty())
        return inFull(QStringLiteral("the new answer is not a price table"));
    for (const QDate event : fresh.events) {
        if (!event.isValid())
            return inFull(QStringLiteral("a split or dividend on a day that cannot be read"));
        if (event > old.newest)
            return inFull(QStringLiteral("a split or dividend on %1, after the file's last day %2")
                              .arg(day(event), day(old.newest)));
    }

    QHash<qint64, double> freshAdj; // by Julian day
    freshAdj.reserve(qsizetype(news->rows.size()));
    for (const TableRow& row : news->rows)
        freshAdj.insert(row.date.toJulianDay(), news->adjClose(row));
    const bool newestMayBeOpen = period == HistoryPeriod::Weekly || period == HistoryPeriod::Monthly;
    int compared = 0;
    for (const TableRow& row : old.rows) {
        if (row.date < news->oldest)
            break; // older than anything new
        if (newestMayBeOpen && row.date == old.newest)
            continue;
        const auto it = freshAdj.constFind(row.date.toJulianDay());
        if (it == freshAdj.constEnd())
            continue;
        ++compared;
        const double stored = old.adjClose(row);
        if (adjCloseChanged(stored, *it))
            return inFull(
                QStringLiteral("past adjusted prices changed: Adj Close of %1 was %2, now %3")
                    .arg(day(row.date), QString::fromLatin1(priceText(stored)), QString::fromLatin1(priceText(*it))));
    }
    if (compared == 0)
        return inFull(QStringLiteral("the new answer shares no day with the file"));

    UpdateMerge m;
    m.table = mergedRows(old, *news, period);
    return m;
}

std::optional<QByteArray> mergeAnswer(const ExistingTable& old, const QByteArray& fresh, HistoryPeriod period)
{
    const std::optional<ExistingTable> news = parseExistingTable(fresh);
    if (!news)
        return std::nullopt;
    return mergedRows(old, *news, period);
}

bool holdsPeriod(const ExistingTable& table, HistoryPeriod period)
{
    const auto twoInOne = [&](HistoryPeriod of) {
        for (size_t i = 1; i < table.rows.size(); ++i) {
            if (periodKey(table.rows[i - 1].date, of) == periodKey(table.rows[i].date, of))
                return true;
        }
        return false;
    };
    // Any three trading days in a row have two in one week, any three weeks
    // in a row two in one month.
    const bool few = table.rows.size() < 3;
    switch (period) {
    case HistoryPeriod::Weekly:
        return !twoInOne(HistoryPeriod::Weekly) && (few || twoInOne(HistoryPeriod::Monthly));
    case HistoryPeriod::Monthly:
        return !twoInOne(HistoryPeriod::Monthly);
    case HistoryPeriod::Daily:
    case HistoryPeriod::None:
        break;
    }
    return few || twoInOne(HistoryPeriod::Weekly);
}

} // namespace kestrion
