#include "formats/price_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace kestrion {

namespace {

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

qint64 saturatingSum(qint64 a, qint64 b)
{
    qint64 sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    return sum;
}

// Rows oldest first, one bar per key: the Open of the first row, the highest
// High, the lowest Low, the Close and Adj Close of the last row. Volumes of
// different days add up; a later quote of the same day replaces the earlier.
template <typename KeyFn> std::vector<PriceBar> foldByKey(const std::vector<PriceBar>& rows, KeyFn key, bool sumVolumes)
{
    std::vector<PriceBar> folded;
    folded.reserve(sumVolumes ? rows.size() / 4 + 1 : rows.size());
    bool open = false;
    qint64 openKey = 0;
    for (const PriceBar& row : rows) {
        // A bar without a date belongs to no period; never fold it into another.
        const bool valid = row.date.isValid();
        const qint64 k = valid ? key(row.date) : 0;
        if (open && valid && k == openKey) {
            PriceBar& into = folded.back();
            into.high = std::max(into.high, row.high);
            into.low = std::min(into.low, row.low);
            into.close = row.close;
            into.adjClose = row.adjClose;
            into.volume = sumVolumes ? saturatingSum(into.volume, row.volume) : row.volume;
            continue;
        }
        folded.push_back(row);
        open = valid;
        openKey = k;
    }
    return folded;
}


void appendPrice(QByteArray& out, double value)
{
    if (!std::isfinite(value))
        return;
    // The shortest text that reads back as the value, so rounding works on
    // the digits the service sent rather than on their binary neighbour.
    char text[400];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (ec != std::errc())
        return;
    const char* p = text;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    const char* dot = std::find(p, static_cast<const char*>(end), '.');
    const qsizetype fractionDigits = dot == end ? 0 : end - dot - 1;

    // The integer digits and at most four fraction digits, in one run so
    // that rounding up can carry into the integer part.
    char all[sizeof text + 1];
    qsizetype digits = dot - p;
    std::memcpy(all, p, size_t(digits));
    const qsizetype kept = std::min<qsizetype>(fractionDigits, 4);
    std::memcpy(all + digits, dot + 1, size_t(kept));
    qsizetype length = digits + kept;
    if (fractionDigits > 4 && dot[5] >= '5') {
        qsizetype i = length - 1;
        while (i >= 0 && all[i] == '9')
            all[i--] = '0';
        if (i >= 0) {
            ++all[i];
        } else {
            std::memmove(all + 1, all, size_t(length));
            all[0] = '1';
            ++length;
            ++digits;
        }
    }
    while (length > digits && all[length - 1] == '0')
        --length;

    const qsizetype start = out.size();
    if (digits == 0)
        out += '0';
    else
        out.append(all, digits);
    if (length > digits) {
        out += '.';
        out.append(all + digits, length - digits);
    }
    const bool zero = std::all_of(out.cbegin() + start, out.cend(), [](char c) { return c == '0' || c == '.'; });
    if (negative && !zero)
        out.insert(start, '-');
}

void appendIsoDate(QByteArray& out, QDate date)
{
    const int y = date.year();
    if (!date.isValid() || y < 0 || y > 9999) {
        out += date.toString(Qt::ISODate).toLatin1();
        return;
    }
    char text[10] = {char('0' + y / 1000),
                     char('0' + y / 100 % 10),
                     char('0' + y / 10 % 10),
                     char('0' + y % 10),
                     '-',
                     char('0' + date.month() / 10),
                     char('0' + date.month() % 10),
                     '-',
                     char('0' + date.day() / 10),
                     char('0' + date.day() % 10)};
    out.append(text, sizeof text);
}

} // namespace

QByteArray priceText(double value)
{
    QByteArray out;
    appendPrice(out, value);
    return out;
}

QByteArray tableText(std::vector<PriceBar> bars)
{
    std::stable_sort(bars.begin(), bars.end(), [](const PriceBar& a, const PriceBar& b) { return a.date > b.date; });
    QByteArray out("Date,Open,High,Low,Close,Volume,Adj Close\n");
    out.reserve(out.size() + qsizetype(bars.size()) * 64);
    for (const PriceBar& bar : bars) {
        appendIsoDate(out, bar.date);
        for (const double price : {bar.open, bar.high, bar.low, bar.close}) {
            out += ',';
            appendPrice(out, price);
        }
        out += ',';
        out += QByteArray::number(bar.volume);
        out += ',';
        appendPrice(out, bar.adjClose);
        out += '\n';
    }
    return out;
}

std::vector<PriceBar> foldDailyBars(std::vector<PriceBar> bars, HistoryPeriod period)
{
    std::vector<PriceBar> days = mergeSameDateRows(std::move(bars));
    switch (period) {
    case HistoryPeriod::Weekly:
        return foldByKey(days, weekKey, true);
    case HistoryPeriod::Monthly:
        return foldByKey(days, monthKey, true);
    case HistoryPeriod::Daily:
    case HistoryPeriod::None:
        break;
    }
    return days;
}

std::vector<PriceBar> mergeSameDateRows(std::vector<PriceBar> rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const PriceBar& a, const PriceBar& b) { return a.date < b.date; });
    return foldByKey(rows, dayKey, false);
}

} // namespace kestrion
