#include "download/table_update.h"

#include <QFile>
#include <QHash>

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

// Files are read whole and every row checked, so this runs over every byte
// of every file an update touches. The bytes end in an LF, checked first:
// it stops every scan below, which therefore needs no length check.

// Past the digits at p; p itself when there are none.
const char* skipDigits(const char* p)
{
    while (isDigit(*p))
        ++p;
    return p;
}

// A plain decimal at p ("-12", "12.3456"), ended by the separator sep:
// past the separator, or nullptr.
const char* decimal(const char* p, char sep)
{
    if (*p == '-')
        ++p;
    const char* q = skipDigits(p);
    // More digits than any double holds would read as infinity.
    if (q == p || q - p > 300)
        return nullptr;
    if (*q == '.') {
        const char* fraction = skipDigits(q + 1);
        if (fraction == q + 1)
            return nullptr;
        q = fraction;
    }
    return *q == sep ? q + 1 : nullptr;
}

int number(const char* p, int width)
{
    int n = 0;
    for (int i = 0; i < width; ++i)
        n = n * 10 + (p[i] - '0');
    return n;
}

// "YYYY-MM-DD," at p.
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

// The row at p: its date and where its Adj Close starts; past its LF, or
// nullptr when it is not the layout's.
const char* parseRow(const char* p, const char* end, TableRow& row)
{
    row.date = rowDate(p, end);
    if (!row.date.isValid())
        return nullptr;
    const char* q = p + 11;
    for (int field = 0; field < 4 && q; ++field) // Open, High, Low, Close
        q = decimal(q, ',');
    if (!q)
        return nullptr;
    const char* volume = skipDigits(q);
    if (volume == q || *volume != ',')
        return nullptr;
    row.adjOffset = volume + 1 - p;
    return decimal(volume + 1, '\n');
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
    out += kHeader;
    for (auto o = old.rows.cbegin(); o != spanStart; ++o)
        out += old.rowText(*o);
    out += QByteArrayView(news.bytes).sliced(kHeader.size());
    if (older != old.rows.cend())
        out += QByteArrayView(old.bytes).sliced(older->offset);
    return out;
}

} // namespace

std::optional<ExistingTable> parseExistingTable(QByteArray bytes)
{
    if (!bytes.startsWith(kHeader) || bytes.size() == kHeader.size() || !bytes.endsWith('\n'))
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

double ExistingTable::adjClose(const TableRow& row) const
{
    const char* p = bytes.constData() + row.offset + row.adjOffset;
    double value = 0;
    std::from_chars(p, bytes.constData() + row.offset + row.length - 1, value);
    return value;
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
