#include "tools/chart_model.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrion {

namespace {

constexpr double kHeaderHeight = 40;
constexpr double kPriceAxisWidth = 72;
constexpr double kDateAxisHeight = 22;
constexpr double kLeftMargin = 8;
constexpr double kVolumeShare = 0.22;
constexpr double kPlotGap = 6;
constexpr int kFewestBars = 5;

// Monday 1970-01-05: weeks of the weekday axis start here.
const qint64 kMondayJd = QDate(1970, 1, 5).toJulianDay();

qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

double niceStep(double raw)
{
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / power;
    return (m <= 1 ? 1 : m <= 2 ? 2 : m <= 5 ? 5 : 10) * power;
}

QString numberLabel(double v, double step)
{
    const int decimals = std::clamp(int(-std::floor(std::log10(step) + 1e-9)), 0, 6);
    return QString::number(v, 'f', decimals);
}

} // namespace

void ChartModel::setSeries(PriceSeries series)
{
    m_series = std::move(series);
    const std::vector<PriceBar>& bars = m_series.bars;
    m_weekdayAxis = std::none_of(bars.begin(), bars.end(), [](const PriceBar& b) { return b.date.dayOfWeek() > 5; });
    m_units.resize(bars.size());
    for (size_t i = 0; i < bars.size(); ++i)
        m_units[i] = unitOf(bars[i].date);
    m_slotUnits = 1;
    if (bars.size() >= 2) {
        std::vector<double> gaps(bars.size() - 1);
        for (size_t i = 1; i < bars.size(); ++i)
            gaps[i - 1] = m_units[i] - m_units[i - 1];
        std::nth_element(gaps.begin(), gaps.begin() + qsizetype(gaps.size() / 2), gaps.end());
        m_slotUnits = std::max(1.0, gaps[gaps.size() / 2]);
    }
    m_minPrice = std::numeric_limits<double>::max();
    for (const PriceBar& b : bars)
        m_minPrice = std::min({m_minPrice, b.low, b.open, b.close, b.high, b.adjClose});
    if (bars.empty())
        m_minPrice = 0;
    computeAverages();
    layout();
    fitAll();
}

void ChartModel::setSize(QSizeF size)
{
    m_size = size;
    layout();
    rescale();
}

void ChartModel::layout()
{
    const double w = std::max(60.0, m_size.width() - kLeftMargin - kPriceAxisWidth);
    const double plots = std::max(40.0, m_size.height() - kHeaderHeight - kDateAxisHeight);
    const double volume = std::floor(plots * kVolumeShare);
    m_header = QRectF(0, 0, m_size.width(), kHeaderHeight);
    m_plot = QRectF(kLeftMargin, kHeaderHeight, w, plots - volume);
    m_volume = QRectF(kLeftMargin, m_plot.bottom() + kPlotGap, w, std::max(1.0, volume - kPlotGap));
}

void ChartModel::setAdjusted(bool on)
{
    if (m_adjusted == on)
        return;
    m_adjusted = on;
    computeAverages();
    rescale();
}

void ChartModel::setAverageShown(int which, bool shown)
{
    if (which >= 0 && which < int(m_averageOn.size()))
        m_averageOn[size_t(which)] = shown;
}

bool ChartModel::averageShown(int which) const
{
    return which >= 0 && which < int(m_averageOn.size()) && m_averageOn[size_t(which)];
}

void ChartModel::computeAverages()
{
    const int n = int(m_series.bars.size());
    for (size_t a = 0; a < kAveragePeriods.size(); ++a) {
        const int period = kAveragePeriods[a];
        std::vector<double>& out = m_averages[a];
        out.assign(size_t(n), std::numeric_limits<double>::quiet_NaN());
        double sum = 0;
        for (int i = 0; i < n; ++i) {
            sum += shownClose(i);
            if (i >= period)
                sum -= shownClose(i - period);
            if (i >= period - 1)
                out[size_t(i)] = sum / period;
        }
    }
}

double ChartModel::unitOf(QDate date) const
{
    const qint64 jd = date.toJulianDay();
    if (!m_weekdayAxis)
        return double(jd);
    const qint64 n = jd - kMondayJd;
    const qint64 week = floorDiv(n, 7);
    const qint64 day = n - week * 7; // 0 Monday .. 6 Sunday
    // A weekend day sits where the next Monday does.
    return double(week * 5 + std::min<qint64>(day, 5));
}

QDate ChartModel::dateOfUnit(double unit) const
{
    const qint64 k = qint64(std::floor(unit));
    if (!m_weekdayAxis)
        return QDate::fromJulianDay(k);
    const qint64 week = floorDiv(k, 5);
    return QDate::fromJulianDay(kMondayJd + week * 7 + (k - week * 5));
}

double ChartModel::xOfUnit(double unit) const
{
    return m_plot.left() + (unit - m_viewStart) / (m_viewEnd - m_viewStart) * m_plot.width();
}

double ChartModel::unitOfX(double x) const
{
    return m_viewStart + (x - m_plot.left()) / m_plot.width() * (m_viewEnd - m_viewStart);
}

double ChartModel::slotWidth() const
{
    return m_slotUnits * m_plot.width() / (m_viewEnd - m_viewStart);
}

void ChartModel::fitAll()
{
    if (isEmpty()) {
        m_viewStart = 0;
        m_viewEnd = 1;
        return;
    }
    m_viewStart = m_units.front() - m_slotUnits / 2;
    m_viewEnd = m_units.back() + m_slotUnits / 2;
    clampView();
    rescale();
}

void ChartModel::clampView()
{
    if (isEmpty())
        return;
    const double dataStart = m_units.front() - m_slotUnits / 2;
    const double dataEnd = m_units.back() + m_slotUnits / 2;
    const double full = dataEnd - dataStart;
    const double narrowest = std::min(full, kFewestBars * m_slotUnits);
    double width = std::clamp(m_viewEnd - m_viewStart, narrowest, full);
    double start = std::clamp(m_viewStart, dataStart, dataEnd - width);
    m_viewStart = start;
    m_viewEnd = start + width;
}

void ChartModel::zoom(double factor, double anchorX)
{
    if (isEmpty() || !(factor > 0))
        return;
    const double anchor = unitOfX(std::clamp(anchorX, m_plot.left(), m_plot.right()));
    m_viewStart = anchor - (anchor - m_viewStart) / factor;
    m_viewEnd = anchor + (m_viewEnd - anchor) / factor;
    clampView();
    rescale();
}

void ChartModel::panPixels(double dx)
{
    if (isEmpty())
        return;
    const double du = dx / m_plot.width() * (m_viewEnd - m_viewStart);
    m_viewStart += du;
    m_viewEnd += du;
    clampView();
    rescale();
}

void ChartModel::panSteps(int steps)
{
    panPixels(steps * m_plot.width() / 10);
}

void ChartModel::showFirst()
{
    if (isEmpty())
        return;
    const double width = m_viewEnd - m_viewStart;
    m_viewStart = m_units.front() - m_slotUnits / 2;
    m_viewEnd = m_viewStart + width;
    clampView();
    rescale();
}

void ChartModel::showLast()
{
    if (isEmpty())
        return;
    const double width = m_viewEnd - m_viewStart;
    m_viewEnd = m_units.back() + m_slotUnits / 2;
    m_viewStart = m_viewEnd - width;
    clampView();
    rescale();
}

std::pair<int, int> ChartModel::visibleBars() const
{
    const auto begin = std::lower_bound(m_units.begin(), m_units.end(), m_viewStart);
    const auto end = std::upper_bound(m_units.begin(), m_units.end(), m_viewEnd);
    return {int(begin - m_units.begin()), int(end - m_units.begin()) - 1};
}

QDate ChartModel::firstVisibleDate() const
{
    const auto [a, b] = visibleBars();
    return a <= b ? m_series.bars[size_t(a)].date : QDate();
}

QDate ChartModel::lastVisibleDate() const
{
    const auto [a, b] = visibleBars();
    return a <= b ? m_series.bars[size_t(b)].date : QDate();
}

double ChartModel::shownOpen(int i) const
{
    const PriceBar& b = m_series.bars[size_t(i)];
    return adjusted() && b.close != 0 ? b.open * b.adjClose / b.close : b.open;
}

double ChartModel::shownHigh(int i) const
{
    const PriceBar& b = m_series.bars[size_t(i)];
    return adjusted() && b.close != 0 ? b.high * b.adjClose / b.close : b.high;
}

double ChartModel::shownLow(int i) const
{
    const PriceBar& b = m_series.bars[size_t(i)];
    return adjusted() && b.close != 0 ? b.low * b.adjClose / b.close : b.low;
}

double ChartModel::shownClose(int i) const
{
    const PriceBar& b = m_series.bars[size_t(i)];
    return adjusted() ? b.adjClose : b.close;
}

void ChartModel::rescale()
{
    auto [a, b] = visibleBars();
    if (a > b) {
        a = 0;
        b = int(m_series.bars.size()) - 1;
    }
    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
    double volume = 0;
    for (int i = a; i <= b; ++i) {
        low = std::min({low, shownLow(i), shownOpen(i), shownClose(i)});
        high = std::max({high, shownHigh(i), shownOpen(i), shownClose(i)});
        volume = std::max(volume, double(m_series.bars[size_t(i)].volume));
    }
    if (a > b) {
        low = 0;
        high = 1;
    }
    m_volumeHigh = volume > 0 ? volume : 1;
    if (logScale()) {
        // Adjusted values of a bar with Adj Close 0 may still reach zero.
        low = std::max(low, m_minPrice > 0 ? m_minPrice * 1e-6 : 1e-6);
        high = std::max(high, low * 1.0001);
        const double pad = (std::log(high) - std::log(low)) * 0.05 + 0.005;
        m_low = std::exp(std::log(low) - pad);
        m_high = std::exp(std::log(high) + pad);
        return;
    }
    if (high - low < std::abs(high) * 1e-9 + 1e-12) {
        const double pad = std::max(std::abs(high) * 0.01, 0.01);
        low -= pad;
        high += pad;
    }
    const double pad = (high - low) * 0.05;
    m_low = low - pad;
    m_high = high + pad;
}

double ChartModel::yOfPrice(double price) const
{
    if (logScale()) {
        const double p = std::max(price, m_low * 1e-3);
        return m_plot.bottom()
            - (std::log(p) - std::log(m_low)) / (std::log(m_high) - std::log(m_low)) * m_plot.height();
    }
    return m_plot.bottom() - (price - m_low) / (m_high - m_low) * m_plot.height();
}

double ChartModel::priceOfY(double y) const
{
    const double f = (m_plot.bottom() - y) / m_plot.height();
    if (logScale())
        return std::exp(std::log(m_low) + f * (std::log(m_high) - std::log(m_low)));
    return m_low + f * (m_high - m_low);
}

double ChartModel::yOfVolume(double volume) const
{
    return m_volume.bottom() - std::clamp(volume / m_volumeHigh, 0.0, 1.0) * m_volume.height();
}

bool ChartModel::gapBefore(int i) const
{
    if (i <= 0 || i >= int(m_units.size()))
        return false;
    const double threshold = std::max(1.8 * m_slotUnits, m_slotUnits + 2.5);
    return m_units[size_t(i)] - m_units[size_t(i - 1)] > threshold;
}

std::vector<ChartModel::Column> ChartModel::columns() const
{
    std::vector<Column> out;
    const auto [a, b] = visibleBars();
    if (a > b)
        return out;
    const bool merge = slotWidth() < 2;
    out.reserve(size_t(merge ? std::min<double>(b - a + 1, m_plot.width() + 2) : b - a + 1));
    const double scale = m_plot.width() / (m_viewEnd - m_viewStart);
    const double left = m_plot.left();
    for (int i = a; i <= b; ++i) {
        const double x = left + (m_units[size_t(i)] - m_viewStart) * scale;
        const double open = shownOpen(i), high = shownHigh(i), low = shownLow(i), close = shownClose(i);
        const double volume = double(m_series.bars[size_t(i)].volume);
        if (merge && !out.empty() && std::floor(out.back().x) == std::floor(x)) {
            Column& c = out.back();
            c.high = std::max(c.high, high);
            c.low = std::min(c.low, low);
            c.close = close;
            c.volume += volume;
            c.last = i;
            continue;
        }
        Column c;
        c.x = merge ? std::floor(x) + 0.5 : x;
        c.open = open;
        c.high = high;
        c.low = low;
        c.close = close;
        c.volume = volume;
        c.first = c.last = i;
        c.gapBefore = gapBefore(i);
        out.push_back(c);
    }
    return out;
}

std::vector<ChartModel::Tick> ChartModel::dateTicks() const
{
    std::vector<Tick> out;
    if (isEmpty())
        return out;
    const double pxPerUnit = m_plot.width() / (m_viewEnd - m_viewStart);
    const double pxPerDay = pxPerUnit * (m_weekdayAxis ? 5.0 / 7.0 : 1.0);
    enum Kind { Days, Weeks, Months, Quarters, Years };
    struct Step
    {
        Kind kind;
        int count;
        double days;
        double room;
    };
    static const Step steps[] = {{Days, 1, 1, 56},        {Weeks, 1, 7, 56},      {Months, 1, 30.4, 64},
                                 {Quarters, 3, 91.3, 64}, {Years, 1, 365.25, 44}, {Years, 2, 730.5, 44},
                                 {Years, 5, 1826, 44},    {Years, 10, 3652, 44},  {Years, 25, 9131, 44},
                                 {Years, 50, 18262, 44},  {Years, 100, 36525, 44}};
    const Step* step = &steps[std::size(steps) - 1];
    for (const Step& s : steps) {
        if (s.days * pxPerDay >= s.room) {
            step = &s;
            break;
        }
    }
    const QLocale c = QLocale::c();
    const QDate from = dateOfUnit(m_viewStart).addDays(-1);
    const QDate to = dateOfUnit(m_viewEnd).addDays(1);
    QDate d;
    switch (step->kind) {
    case Days:
    case Weeks:
        d = from;
        if (step->kind == Weeks)
            d = d.addDays(8 - d.dayOfWeek()); // next Monday
        break;
    case Months:
    case Quarters:
        d = QDate(from.year(), from.month(), 1);
        break;
    case Years:
        d = QDate(from.year() - from.year() % step->count, 1, 1);
        break;
    }
    bool firstLabel = true;
    for (; d.isValid() && d <= to;) {
        // A month or year that starts on a weekend is marked where its first
        // weekday is; only single days skip Saturday and Sunday.
        const bool weekend = step->kind == Days && m_weekdayAxis && d.dayOfWeek() > 5;
        const bool wanted = step->kind != Quarters || (d.month() - 1) % 3 == 0;
        const double x = xOfUnit(unitOf(d));
        if (!weekend && wanted && x >= m_plot.left() && x <= m_plot.right()) {
            QString label;
            switch (step->kind) {
            case Days:
            case Weeks:
                label = c.toString(d, QStringLiteral("d MMM"));
                break;
            case Months:
            case Quarters:
                label = c.toString(d,
                                   (d.month() == 1 || firstLabel) ? QStringLiteral("MMM yyyy") : QStringLiteral("MMM"));
                break;
            case Years:
                label = QString::number(d.year());
                break;
            }
            firstLabel = false;
            out.push_back({x, label});
        }
        switch (step->kind) {
        case Days:
            d = d.addDays(1);
            break;
        case Weeks:
            d = d.addDays(7);
            break;
        case Months:
        case Quarters:
            d = d.addMonths(1);
            break;
        case Years:
            d = d.addYears(step->count);
            break;
        }
    }
    return out;
}

std::vector<ChartModel::Tick> ChartModel::priceTicks() const
{
    std::vector<Tick> out;
    const int wanted = std::max(2, int(m_plot.height() / 45));
    if (logScale() && m_high / m_low >= 10) {
        const int lowPower = int(std::floor(std::log10(m_low)));
        const int highPower = int(std::ceil(std::log10(m_high)));
        // 1-2-5 in every decade, thinned until labels do not crowd.
        for (const std::vector<int>& mantissas : {std::vector<int>{1, 2, 5}, std::vector<int>{1}}) {
            out.clear();
            for (int p = lowPower; p <= highPower; ++p) {
                for (int m : mantissas) {
                    const double v = m * std::pow(10.0, p);
                    if (v >= m_low && v <= m_high)
                        out.push_back({yOfPrice(v), numberLabel(v, std::pow(10.0, p))});
                }
            }
            if (int(out.size()) <= wanted + 2)
                break;
        }
        return out;
    }
    const double step = niceStep((m_high - m_low) / wanted);
    for (double v = std::ceil(m_low / step) * step; v <= m_high; v += step) {
        const double shown = std::abs(v) < step * 1e-6 ? 0 : v;
        out.push_back({yOfPrice(shown), numberLabel(shown, step)});
        if (out.size() > 200)
            break;
    }
    return out;
}

std::optional<int> ChartModel::barAt(double x) const
{
    if (isEmpty() || x < m_plot.left() || x > m_plot.right())
        return std::nullopt;
    const double u = unitOfX(x);
    const auto it = std::lower_bound(m_units.begin(), m_units.end(), u);
    int best = -1;
    double bestDistance = std::numeric_limits<double>::max();
    for (auto candidate : {it - 1, it}) {
        if (candidate < m_units.begin() || candidate >= m_units.end())
            continue;
        const double distance = std::abs(*candidate - u);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = int(candidate - m_units.begin());
        }
    }
    // Inside a gap the cursor is over no bar.
    if (best < 0 || bestDistance > m_slotUnits / 2 + 1e-9)
        return std::nullopt;
    return best;
}

QString ChartModel::readout(int index) const
{
    if (index < 0 || index >= int(m_series.bars.size()))
        return {};
    const PriceBar& b = m_series.bars[size_t(index)];
    auto p = [](double v) { return QString::fromLatin1(priceText(v)); };
    return QStringLiteral("%1  Open %2  High %3  Low %4  Close %5  Volume %6  Adj Close %7")
        .arg(b.date.toString(Qt::ISODate), p(b.open), p(b.high), p(b.low), p(b.close))
        .arg(b.volume)
        .arg(p(b.adjClose));
}

QString ChartModel::title() const
{
    if (isEmpty())
        return {};
    const char period = m_series.effectivePeriod();
    const QString name = period == 'W' ? QStringLiteral("Weekly")
        : period == 'M'                ? QStringLiteral("Monthly")
                                       : QStringLiteral("Daily");
    return QStringLiteral("%1  %2  %3 to %4")
        .arg(m_series.symbol, name, m_series.bars.front().date.toString(Qt::ISODate),
             m_series.bars.back().date.toString(Qt::ISODate));
}

} // namespace kestrion
