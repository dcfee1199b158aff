#include "download/table_update.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kestrion {

namespace {

const QByteArray kHeader("Date,Open,High,Low,Close,Volume,Adj Close\n");

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Past the digits at p; p itself when there are none.
const char* skipDigits(const char* p, const char* end)
{
    while (p < end && isDigit(*p))
        ++p;
    return p;
}

// A plain decimal at p ("-12", "12.3456"): past it, or nullptr.
const char* decimalEnd(const char* p, const char* end)
{
    if (p < end && *p == '-')
        ++p;
    const char* digits = skipDigits(p, end);
    if (digits == p)
        return nullptr;
    p = digits;
    if (p < end && *p == '.') {
        const char* fraction = skipDigits(p + 1, end);
        if (fraction == p + 1)
            return nullptr;
        p = fraction;
    }
    return p;
}

int number(const char* p, int width)
{
    int n = 0;
    for (int i = 0; i < width; ++i)
        n = n * 10 + (p[i] - '0');
    return n;
}

// "YYYY-MM-DD" at p, followed by a comma.
QDate rowDate(const char* p, const char* end)
{
    if (end - p < 11 || p[4] != '-' || p[7] != '-' || p[10] != ',')
        return {};
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (!isDigit(p[i]))
            return {};
    }
    return QDate(number(p, 4), number(p + 5, 2), number(p + 8, 2));
}

// One row starting at p; fills row.date and row.adjClose and returns the
// position after its LF, or nullptr when the row is not the layout's.
const char* parseRow(const char* p, const char* end, TableRow& row)
{
    row.date = rowDate(p, end);
    if (!row.date.isValid())
        return nullptr;
    p += 11;
    for (int field = 0; field < 4; ++field) { // Open, High, Low, Close
        p = decimalEnd(p, end);
        if (!p || p == end || *p != ',')
            return nullptr;
        ++p;
    }
    const char* volume = skipDigits(p, end);
    if (volume == p || volume == end || *volume != ',')
        return nullptr;
    p = volume + 1;
    const char* adjEnd = decimalEnd(p, end);
    if (!adjEnd || adjEnd == end || *adjEnd != '\n')
        return nullptr;
    const auto [ptr, ec] = std::from_chars(p, adjEnd, row.adjClose);
    if (ec != std::errc() || ptr != adjEnd || !std::isfinite(row.adjClose))
        return nullptr;
    return adjEnd + 1;
}

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

} // namespace

std::optional<ExistingTable> parseExistingTable(QByteArray bytes)
{
    if (!bytes.startsWith(kHeader) || bytes.size() == kHeader.size())
        return std::nullopt;
    ExistingTable t;
    t.bytes = std::move(bytes);
    const char* const begin = t.bytes.constData();
    const char* const end = begin + t.bytes.size();
    // Rows run about 50 bytes; one allocation for a typical file.
    t.rows.reserve(size_t((t.bytes.size() - kHeader.size()) / 40 + 1));
    for (const char* p = begin + kHeader.size(); p < end;) {
        TableRow row;
        const char* next = parseRow(p, end, row);
        if (!next)
            return std::nullopt;
        if (!t.rows.empty() && row.date >= t.rows.back().date)
            return std::nullopt; // out of order, or a date twice
        row.offset = p - begin;
        row.length = next - p;
        t.rows.push_back(row);
        p = next;
    }
    t.newest = t.rows.front().date;
    t.oldest = t.rows.back().date;
    return t;
}

std::optional<ExistingTable> readExistingTable(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxPriceAnswerBytes)
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return parseExistingTable(std::move(bytes));
}

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
    QSet<qint64> freshPeriods;
    freshAdj.reserve(qsizetype(news->rows.size()));
    for (const TableRow& row : news->rows) {
        freshAdj.insert(row.date.toJulianDay(), row.adjClose);
        freshPeriods.insert(periodKey(row.date, period));
    }
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
        if (adjCloseChanged(row.adjClose, *it))
            return inFull(QStringLiteral("past adjusted prices changed: Adj Close of %1 was %2, now %3")
                              .arg(day(row.date), QString::fromLatin1(priceText(row.adjClose)),
                                   QString::fromLatin1(priceText(*it))));
    }
    if (compared == 0)
        return inFull(QStringLiteral("the new answer shares no day with the file"));

    UpdateMerge m;
    m.table.reserve(old.bytes.size() + news->bytes.size());
    m.table += kHeader;
    auto o = old.rows.cbegin();
    auto n = news->rows.cbegin();
    while (o != old.rows.cend() || n != news->rows.cend()) {
        if (o != old.rows.cend() && freshPeriods.contains(periodKey(o->date, period))) {
            ++o; // replaced by the new row of its date or period
            continue;
        }
        // Dates left on both sides differ, so newest first is a plain merge.
        if (n == news->rows.cend() || (o != old.rows.cend() && o->date > n->date)) {
            m.table += old.rowText(*o);
            ++o;
        } else {
            m.table += news->rowText(*n);
            ++n;
        }
    }
    return m;
}

} // namespace kestrion
