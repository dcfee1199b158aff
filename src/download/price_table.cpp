#include "download/price_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kestrion {

namespace {

// One row per key, rows oldest first; see mergePeriodRows.
template <typename KeyFn> std::vector<PriceBar> mergeByKey(std::vector<PriceBar> rows, KeyFn key)
{
    std::stable_sort(rows.begin(), rows.end(), [](const PriceBar& a, const PriceBar& b) { return a.date < b.date; });
    std::vector<PriceBar> merged;
    merged.reserve(rows.size());
    bool open = false;
    qint64 openKey = 0;
    for (const PriceBar& bar : rows) {
        // A bar without a date belongs to no period; never fold it into another.
        const bool valid = bar.date.isValid();
        const qint64 k = valid ? key(bar.date) : 0;
        if (open && valid && k == openKey) {
            PriceBar& into = merged.back();
            into.high = std::max(into.high, bar.high);
            into.low = std::min(into.low, bar.low);
            into.close = bar.close;
            into.adjClose = bar.adjClose;
            into.volume = bar.volume;
            continue;
        }
        merged.push_back(bar);
        open = valid;
        openKey = k;
    }
    return merged;
}

qint64 weekKey(QDate d)
{
    int year = 0;
    const int week = d.weekNumber(&year);
    return qint64(year) * 100 + week;
}

qint64 monthKey(QDate d)
{
    return qint64(d.year()) * 12 + d.month();
}

qint64 dayKey(QDate d)
{
    return d.toJulianDay();
}

} // namespace

QString reasonText(FailureReason reason)
{
    switch (reason) {
    case FailureReason::None:
        return {};
    case FailureReason::NotFound:
        return QStringLiteral("not-found");
    case FailureReason::NoData:
        return QStringLiteral("no-data");
    case FailureReason::RateLimited:
        return QStringLiteral("rate-limited");
    case FailureReason::Unauthorized:
        return QStringLiteral("unauthorized");
    case FailureReason::Unreachable:
        return QStringLiteral("unreachable");
    case FailureReason::Timeout:
        return QStringLiteral("timeout");
    case FailureReason::ServerError:
        return QStringLiteral("server-error");
    case FailureReason::BadData:
        return QStringLiteral("bad-data");
    case FailureReason::WriteFailed:
        return QStringLiteral("write-failed");
    }
    return {};
}

QByteArray priceText(double value)
{
    if (!std::isfinite(value))
        return {};
    // The shortest text that reads back as the value, so rounding works on
    // the digits the service sent rather than on their binary neighbour.
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (ec != std::errc())
        return {};
    QByteArray text(buffer, int(end - buffer));

    const bool negative = text.startsWith('-');
    if (negative)
        text.remove(0, 1);
    const qsizetype dot = text.indexOf('.');
    QByteArray digits = dot < 0 ? text : text.left(dot);
    QByteArray fraction = dot < 0 ? QByteArray() : text.mid(dot + 1);

    if (fraction.size() > 4) {
        const bool up = fraction.at(4) >= '5';
        fraction.truncate(4);
        if (up) {
            // Add one unit in the fourth place, carrying into the integer part.
            QByteArray all = digits + fraction;
            qsizetype i = all.size() - 1;
            while (i >= 0 && all.at(i) == '9') {
                all[i] = '0';
                --i;
            }
            if (i >= 0)
                all[i] = char(all.at(i) + 1);
            else
                all.prepend('1');
            digits = all.left(all.size() - 4);
            fraction = all.right(4);
        }
    }
    while (fraction.endsWith('0'))
        fraction.chop(1);

    QByteArray out = digits.isEmpty() ? QByteArray("0") : digits;
    if (!fraction.isEmpty())
        out += '.' + fraction;
    const bool zero = std::all_of(out.cbegin(), out.cend(), [](char c) { return c == '0' || c == '.'; });
    if (negative && !zero)
        out.prepend('-');
    return out;
}

QByteArray tableText(std::vector<PriceBar> bars)
{
    std::stable_sort(bars.begin(), bars.end(), [](const PriceBar& a, const PriceBar& b) { return a.date > b.date; });
    QByteArray out("Date,Open,High,Low,Close,Volume,Adj Close\n");
    out.reserve(out.size() + qsizetype(bars.size()) * 64);
    for (const PriceBar& bar : bars) {
        out += bar.date.toString(Qt::ISODate).toLatin1();
        out += ',' + priceText(bar.open);
        out += ',' + priceText(bar.high);
        out += ',' + priceText(bar.low);
        out += ',' + priceText(bar.close);
        out += ',' + QByteArray::number(bar.volume);
        out += ',' + priceText(bar.adjClose);
        out += '\n';
    }
    return out;
}

std::vector<PriceBar> mergePeriodRows(std::vector<PriceBar> oldestFirst, HistoryPeriod period)
{
    switch (period) {
    case HistoryPeriod::Weekly:
        return mergeByKey(std::move(oldestFirst), weekKey);
    case HistoryPeriod::Monthly:
        return mergeByKey(std::move(oldestFirst), monthKey);
    case HistoryPeriod::Daily:
    case HistoryPeriod::None:
        break;
    }
    return oldestFirst;
}

bool isQuotaText(const QByteArray& body)
{
    const QByteArray lower = body.toLower();
    for (const char* phrase : {"rate limit", "too many requests", "request allocation", "quota", "exceeded"}) {
        if (lower.contains(phrase))
            return true;
    }
    return false;
}

std::vector<PriceBar> mergeSameDateRows(std::vector<PriceBar> rows)
{
    return mergeByKey(std::move(rows), dayKey);
}

} // namespace kestrion
