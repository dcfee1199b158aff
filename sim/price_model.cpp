#include "price_model.h"

#include <algorithm>
#include <cmath>

namespace kestrion::sim {

namespace {

quint64 mix(quint64 x)
{
    // splitmix64 finaliser: cheap, and neighbouring inputs give unrelated outputs.
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Uniform in [-1, 1].
double signedUnit(quint64 h)
{
    return static_cast<double>(h >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

// Uniform in [0, 1).
double unit(quint64 h)
{
    return static_cast<double>(h >> 11) / 9007199254740992.0;
}

quint64 symbolKey(const QString& symbol)
{
    quint64 h = 1469598103934665603ULL; // FNV-1a
    for (const char c : symbol.toUpper().toUtf8()) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ULL;
    }
    return mix(h);
}

quint64 dayHash(quint64 key, qint64 day, quint64 salt)
{
    return mix(key ^ mix(static_cast<quint64>(day) * 0xD6E8FEB86659FD93ULL + salt));
}

qint64 toCents(double price)
{
    return std::max<qint64>(100, std::llround(price * 100.0));
}

constexpr int kOctaves = 11; // one day up to about four years
constexpr double kDailyMove = 0.012; // size of the shortest swings
constexpr double kMaxDeviation = 1.2; // log-distance from the base price

} // namespace

PriceModel::PriceModel(const QString& symbol)
    : m_key(symbolKey(symbol))
{
    m_basePrice = 15.0 + 235.0 * unit(mix(m_key ^ 0x51ULL));
    m_baseVolume = 50000.0 * std::pow(400.0, unit(mix(m_key ^ 0x52ULL)));
}

double PriceModel::closeAt(qint64 day) const
{
    // Value noise summed over octaves whose size grows like a random walk's
    // spread, so the close wanders like a market but each day stands alone.
    double sum = 0.0;
    double amplitude = kDailyMove;
    for (int k = 0; k < kOctaves; ++k) {
        const qint64 span = qint64(1) << k;
        const qint64 cell = day >= 0 ? day / span : (day - span + 1) / span;
        const double f = static_cast<double>(day - cell * span) / static_cast<double>(span);
        const double a = signedUnit(dayHash(m_key, cell, 0x100ULL + k));
        const double b = signedUnit(dayHash(m_key, cell + 1, 0x100ULL + k));
        const double s = f * f * (3.0 - 2.0 * f);
        sum += amplitude * (a + (b - a) * s);
        amplitude *= 1.41421356237;
    }
    return m_basePrice * std::exp(kMaxDeviation * std::tanh(sum / kMaxDeviation));
}

Bar PriceModel::dailyBar(const QDate& date) const
{
    const qint64 day = date.toJulianDay();
    return makeBar(date, closeAt(day), closeAt(previousTradingDay(day)));
}

qint64 PriceModel::previousTradingDay(qint64 day)
{
    // Julian day 0 was a Monday; Monday follows the Friday three days back.
    return day - (day % 7 == 0 ? 3 : 1);
}

Bar PriceModel::makeBar(const QDate& date, double close, double previousClose) const
{
    const qint64 day = date.toJulianDay();
    const double open = previousClose * (1.0 + 0.004 * signedUnit(dayHash(m_key, day, 1)));
    const double high = std::max(open, close) * (1.0 + 0.015 * unit(dayHash(m_key, day, 2)));
    const double low = std::min(open, close) * (1.0 - 0.015 * unit(dayHash(m_key, day, 3)));
    const double move = std::abs(close - previousClose) / previousClose;
    const double volume = m_baseVolume * (0.4 + 1.2 * unit(dayHash(m_key, day, 4))) * (1.0 + 20.0 * move);

    Bar bar;
    bar.date = date;
    bar.open = toCents(open);
    bar.close = toCents(close);
    // Rounding each price on its own must not break low <= open, close <= high.
    bar.high = std::max({toCents(high), bar.open, bar.close});
    bar.low = std::min({toCents(low), bar.open, bar.close});
    bar.volume = std::max<qint64>(1, std::llround(volume));
    return bar;
}

std::vector<Bar> PriceModel::daily(const QDate& from, const QDate& to) const
{
    std::vector<Bar> out;
    const QDate first = std::max(from, firstDate());
    const QDate last = std::min(to, lastDate());
    if (!first.isValid() || !last.isValid() || first > last)
        return out;
    out.reserve(static_cast<size_t>(first.daysTo(last) * 5 / 7 + 2));
    // Each close is also the next bar's previous close: work it out once.
    double previousClose = -1.0;
    qint64 previousDay = 0;
    for (QDate d = first; d <= last; d = d.addDays(1)) {
        if (d.dayOfWeek() > Qt::Friday)
            continue;
        const qint64 day = d.toJulianDay();
        const qint64 before = previousTradingDay(day);
        const double pc = previousClose >= 0.0 && previousDay == before ? previousClose : closeAt(before);
        const double close = closeAt(day);
        out.push_back(makeBar(d, close, pc));
        previousClose = close;
        previousDay = day;
    }
    return out;
}

std::vector<Bar> PriceModel::bars(const QDate& from, const QDate& to, BarPeriod period) const
{
    return aggregate(daily(from, to), period);
}

std::vector<Bar> aggregate(const std::vector<Bar>& daily, BarPeriod period)
{
    if (period == BarPeriod::Daily)
        return daily;
    const auto groupOf = [period](const QDate& d) -> qint64 {
        if (period == BarPeriod::Weekly)
            return d.toJulianDay() - (d.dayOfWeek() - 1); // that week's Monday
        return qint64(d.year()) * 12 + d.month();
    };
    std::vector<Bar> out;
    qint64 current = 0;
    for (const Bar& b : daily) {
        const qint64 g = groupOf(b.date);
        if (out.empty() || g != current) {
            out.push_back(b);
            current = g;
            continue;
        }
        Bar& agg = out.back();
        agg.high = std::max(agg.high, b.high);
        agg.low = std::min(agg.low, b.low);
        agg.close = b.close;
        agg.volume += b.volume;
    }
    return out;
}

} // namespace kestrion::sim
