// The two current quote APIs: Yahoo Chart (JSON) and Tiingo (CSV), with
// the faults their real counterparts show: rate limits, quota notices,
// HTML error pages, null rows, doubled live rows, splits and dividends.

#include "api_formats.h"
#include "pages.h"
#include "quote_routes.h"

#include <algorithm>
#include <cmath>

namespace kestrion::sim {

namespace {

constexpr const char* kJson = "application/json";
constexpr const char* kText = "text/plain";
constexpr qint64 kSecondsPerDay = 86400;
constexpr qint64 kNewYorkOpenUtc = 14 * 3600 + 30 * 60; // 09:30 EST
constexpr qint64 kTokyoOffset = 9 * 3600;
constexpr double kDividend = 0.5;

const QByteArray kQuotaNotice("Error: You have run over your hourly request allocation. Please upgrade your plan.");

HttpReply withRetryAfter(HttpReply reply, const QByteArray& seconds = "1")
{
    reply.extraHeaders.append(qMakePair(QByteArray("Retry-After"), seconds));
    return reply;
}

HttpReply trickledIf(bool slow, HttpReply reply)
{
    if (slow)
        reply.delivery = HttpReply::Delivery::Trickle;
    return reply;
}

HttpReply tooManyRequests(QuoteRoutes::Api api)
{
    if (api == QuoteRoutes::Api::YahooChart)
        return HttpReply::withBody(429, kText, "Too Many Requests\r\n");
    return HttpReply::withBody(
        429, kJson, tiingoDetail(QStringLiteral("Error: You have exceeded your hourly request allocation.")));
}

HttpReply chartError(int status, const char* code, const QString& description)
{
    return HttpReply::withBody(status, kJson, yahooChartError(QLatin1String(code), description));
}

HttpReply tiingoError(int status, const QString& detail)
{
    return HttpReply::withBody(status, kJson, tiingoDetail(detail));
}

// Whole seconds, optionally negative (Yahoo takes dates before 1970 so).
// Twelve digits reach far past the dates the model serves.
std::optional<qint64> parseSeconds(const QString& text)
{
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QString digits = negative ? text.mid(1) : text;
    if (digits.isEmpty() || digits.size() > 12)
        return std::nullopt;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const qint64 n = digits.toLongLong();
    return negative ? -n : n;
}

qint64 ceilDiv(qint64 a, qint64 b)
{
    return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

QDate dateOfUnixDay(qint64 day)
{
    return QDate::fromJulianDay(day + QDate(1970, 1, 1).toJulianDay());
}

// Strictly YYYY-MM-DD.
QDate parseIsoDay(const QString& text)
{
    if (text.size() != 10 || text.at(4) != QLatin1Char('-') || text.at(7) != QLatin1Char('-'))
        return {};
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
            return {};
    }
    return QDate::fromString(text, Qt::ISODate);
}

QDate weekMonday(const QDate& d)
{
    return d.addDays(1 - d.dayOfWeek());
}

QDate firstWeekdayOfMonth(const QDate& d)
{
    QDate first(d.year(), d.month(), 1);
    while (first.dayOfWeek() > Qt::Friday)
        first = first.addDays(1);
    return first;
}

QDate lastWeekdayOfMonth(const QDate& d)
{
    QDate last(d.year(), d.month(), d.daysInMonth());
    while (last.dayOfWeek() > Qt::Friday)
        last = last.addDays(-1);
    return last;
}

// The day a Yahoo Chart bar is stamped with: the start of its period.
QDate chartPeriodStart(const QDate& d, BarPeriod period)
{
    switch (period) {
    case BarPeriod::Weekly:
        return weekMonday(d);
    case BarPeriod::Monthly:
        return firstWeekdayOfMonth(d);
    case BarPeriod::Daily:
        break;
    }
    return d;
}

// The day a Tiingo bar is dated: the last trading day of its period.
QDate tiingoPeriodEnd(const QDate& d, BarPeriod period)
{
    switch (period) {
    case BarPeriod::Weekly:
        return weekMonday(d).addDays(4);
    case BarPeriod::Monthly:
        return lastWeekdayOfMonth(d);
    case BarPeriod::Daily:
        break;
    }
    return d;
}

// The opening of the session: 09:30 in New York (without daylight saving,
// as the fixed gmtoffset says), 00:00 local for Tokyo, i.e. 15:00 UTC of the
// day before.
qint64 chartTimestamp(const QDate& day, bool tokyo)
{
    return unixDay(day) + (tokyo ? -kTokyoOffset : kNewYorkOpenUtc);
}

// The time of a "live" row: late in the session, on its local day, so that
// the timestamp plus gmtoffset still falls on that day.
qint64 liveTimestamp(const QDate& day, bool tokyo)
{
    return unixDay(day) + (tokyo ? 6 * 3600 : 20 * 3600); // 15:00 local either way
}

double dollars(qint64 cents)
{
    return static_cast<double>(cents) / 100.0;
}

// The middle bar of n, which carries a split or dividend.
size_t middleOf(size_t n)
{
    return n / 2;
}

// What earlier prices are multiplied by to account for a dividend paid on
// bar mid: (1 - dividend / close of the bar before).
double dividendFactor(const std::vector<Bar>& bars, size_t mid)
{
    return mid == 0 ? 1.0 : 1.0 - kDividend / dollars(bars[mid - 1].close);
}

// The trading day a dated split or dividend falls on.
QDate eventDay(QDate d)
{
    while (d.dayOfWeek() > Qt::Friday)
        d = d.addDays(1);
    return d;
}

QDate tradingDayBefore(QDate d)
{
    do
        d = d.addDays(-1);
    while (d.dayOfWeek() > Qt::Friday);
    return d;
}

qint64 periodOf(const QDate& d, BarPeriod period)
{
    switch (period) {
    case BarPeriod::Weekly:
        return weekMonday(d).toJulianDay();
    case BarPeriod::Monthly:
        return qint64(d.year()) * 12 + d.month();
    case BarPeriod::Daily:
        break;
    }
    return d.toJulianDay();
}

// A dated split or dividend as of an answer that ends on its last day: the
// service only knows of an event that has happened, and it adjusts all
// earlier prices for it, asked or not, so every answer ending on the same
// side of the event gives a date the same prices.
struct DatedEvent
{
    QDate day; // a weekday
    bool happened = false; // on or before the answer's last day
    bool inAnswer = false; // and inside its range: the answer tells of it
    double dividendFactor = 1; // for the adjusted prices of earlier periods

    DatedEvent(const Fault& fault, const QString& symbol, const QDate& from, const QDate& to)
        : day(eventDay(fault.on))
        , happened(day <= to)
        , inAnswer(happened && day >= from)
    {
        if (fault.kind == Fault::Kind::DividendOn && happened)
            dividendFactor = 1.0 - kDividend / dollars(PriceModel(symbol).dailyBar(tradingDayBefore(day)).close);
    }
    // Whether a bar's period ends before the event's.
    bool before(const Bar& bar, BarPeriod period) const { return periodOf(bar.date, period) < periodOf(day, period); }
    bool carries(const Bar& bar, BarPeriod period) const
    {
        return inAnswer && periodOf(bar.date, period) == periodOf(day, period);
    }
};

} // namespace

std::optional<HttpReply> QuoteRoutes::apiFaultReply(Api api, const QString& symbol)
{
    const QString key = (api == Api::YahooChart ? QLatin1String("chart:") : QLatin1String("tiingo:")) + symbol;
    if (auto reply = faultReply(symbol, key))
        return reply;
    const Fault fault = Fault::of(symbol);
    switch (fault.kind) {
    case Fault::Kind::RateLimited:
        return tooManyRequests(api);
    case Fault::Kind::LongWait:
        return withRetryAfter(tooManyRequests(api), "120");
    case Fault::Kind::RetryAfter:
        if (m_failures.shouldFail(key, fault.failures))
            return withRetryAfter(tooManyRequests(api));
        break;
    case Fault::Kind::RateLimitedFirst:
        if (m_failures.shouldFail(key, fault.failures))
            return tooManyRequests(api);
        break;
    case Fault::Kind::Busy503:
        if (m_failures.shouldFail(key, fault.failures))
            return withRetryAfter(HttpReply::withBody(503, kText, "Service Unavailable\n"));
        break;
    case Fault::Kind::QuotaText:
        return HttpReply::withBody(200, kText, kQuotaNotice);
    case Fault::Kind::HtmlPage:
        return HttpReply::withBody(200, "text/html; charset=utf-8",
                                   errorPage(QStringLiteral("Service Unavailable"),
                                             QStringLiteral("The service is temporarily unavailable. "
                                                            "Please try again later.")));
    default:
        break;
    }
    return std::nullopt;
}

HttpReply QuoteRoutes::yahooChart(const HttpRequest& request, const QByteArray& rawSymbol)
{
    // The real service turns away clients that do not look like a browser,
    // with the same answer it gives when rate limiting.
    if (!request.header("user-agent").startsWith("Mozilla/5.0"))
        return tooManyRequests(Api::YahooChart);
    const QString symbol = QString::fromUtf8(percentDecode(rawSymbol, false)).trimmed().toUpper();
    const ServiceFault here = serviceFault(symbol, "Y");
    if (isUnknownSymbol(symbol) || here == ServiceFault::Unknown)
        return chartError(404, "Not Found", QStringLiteral("No data found, symbol may be delisted"));
    if (here == ServiceFault::Refused)
        return tooManyRequests(Api::YahooChart);
    if (auto reply = apiFaultReply(Api::YahooChart, symbol))
        return *reply;
    const Fault fault = Fault::of(symbol);

    const QueryParams params(request.query);
    const auto period1 = parseSeconds(params.value(QStringLiteral("period1")));
    const auto period2 = parseSeconds(params.value(QStringLiteral("period2")));
    if (!period1 || !period2)
        return chartError(400, "Bad Request",
                          QStringLiteral("Invalid input - period1 and period2 must be whole seconds since 1970"));
    if (*period1 > *period2)
        return chartError(400, "Bad Request", QStringLiteral("Invalid input - start date cannot be after end date"));
    const QString interval = params.value(QStringLiteral("interval"));
    BarPeriod period = BarPeriod::Daily;
    if (interval == QLatin1String("1wk"))
        period = BarPeriod::Weekly;
    else if (interval == QLatin1String("1mo"))
        period = BarPeriod::Monthly;
    else if (interval != QLatin1String("1d"))
        return chartError(
            400, "Bad Request",
            QStringLiteral("Invalid input - interval=%1 is not supported. Valid intervals: [1d, 1wk, 1mo]")
                .arg(interval.left(20)));

    // A bar is sent when its local date, taken at 00:00 UTC, lies in
    // [period1, period2).
    QDate from = dateOfUnixDay(ceilDiv(*period1, kSecondsPerDay));
    QDate to = dateOfUnixDay(ceilDiv(*period2, kSecondsPerDay) - 1);
    if (fault.kind == Fault::Kind::Big) {
        from = QDate(1900, 1, 1);
        to = QDate(2024, 12, 31);
        period = BarPeriod::Daily;
    }
    const std::vector<Bar> daily = PriceModel(symbol).daily(from, to);
    const std::vector<Bar> bars = aggregate(daily, period);

    ChartAnswer answer;
    answer.symbol = symbol;
    answer.tokyo = symbol.endsWith(QLatin1String(".T"));
    answer.period = period;
    answer.rows.reserve(bars.size() + 1);
    for (const Bar& b : bars) {
        ChartRow row;
        row.timestamp = chartTimestamp(chartPeriodStart(b.date, period), answer.tokyo);
        row.open = dollars(b.open);
        row.high = dollars(b.high);
        row.low = dollars(b.low);
        row.close = dollars(b.close);
        row.adjclose = row.close;
        row.volume = b.volume;
        answer.rows.push_back(row);
    }

    if (!bars.empty()) {
        const size_t mid = middleOf(bars.size());
        switch (fault.kind) {
        case Fault::Kind::Split:
            // The model's prices are the post-split scale: Yahoo sends every
            // price split-adjusted, so only the event tells of the split.
            answer.splitAt = answer.rows[mid].timestamp;
            break;
        case Fault::Kind::Dividend: {
            answer.dividendAt = answer.rows[mid].timestamp;
            answer.dividend = kDividend;
            const double factor = dividendFactor(bars, mid);
            for (size_t i = 0; i < mid; ++i)
                answer.rows[i].adjclose *= factor;
            break;
        }
        case Fault::Kind::NullRows:
            for (size_t i = 3; i < answer.rows.size(); i += 4)
                answer.rows[i].missing = true;
            break;
        case Fault::Kind::LiveRow:
            if (period != BarPeriod::Daily) {
                // The current period as Yahoo sends it during the session: its
                // period-start row, then the latest quote with a moved close and
                // a wider range.
                const ChartRow& start = answer.rows.back();
                ChartRow live = start;
                live.timestamp = liveTimestamp(daily.back().date, answer.tokyo);
                live.high = start.high * 1.01;
                live.low = start.low * 0.99;
                live.close = start.close * 0.995;
                live.adjclose = live.close;
                live.volume = start.volume + start.volume / 10 + 1;
                answer.rows.push_back(live);
            }
            break;
        case Fault::Kind::SplitOn: {
            const DatedEvent event(fault, symbol, from, to);
            if (event.inAnswer) {
                answer.splitAt = chartTimestamp(event.day, answer.tokyo);
            } else if (!event.happened) {
                // Before the split every price is on the old share basis.
                for (ChartRow& row : answer.rows) {
                    for (double* price : {&row.open, &row.high, &row.low, &row.close, &row.adjclose})
                        *price *= 2;
                    row.volume = (row.volume + 1) / 2;
                }
            }
            break;
        }
        case Fault::Kind::DividendOn: {
            const DatedEvent event(fault, symbol, from, to);
            if (event.inAnswer) {
                answer.dividendAt = chartTimestamp(event.day, answer.tokyo);
                answer.dividend = kDividend;
            }
            for (size_t i = 0; i < bars.size(); ++i) {
                if (event.before(bars[i], period))
                    answer.rows[i].adjclose *= event.dividendFactor;
            }
            break;
        }
        default:
            break;
        }
    }
    return trickledIf(fault.kind == Fault::Kind::Slow, HttpReply::withBody(200, kJson, yahooChartJson(answer)));
}

HttpReply QuoteRoutes::tiingo(const HttpRequest& request, const QByteArray& rawSymbol)
{
    // "Authorization: Token KEY"; the key itself is never written anywhere.
    const QByteArray authorization = request.header("authorization");
    const qsizetype space = authorization.indexOf(' ');
    if (space < 0 || authorization.left(space).compare("Token", Qt::CaseInsensitive) != 0
        || authorization.mid(space + 1).trimmed() != m_tiingoToken.toUtf8())
        return tiingoError(401, QStringLiteral("Invalid token."));

    const QString asked = QString::fromUtf8(percentDecode(rawSymbol, false));
    const QString symbol = asked.trimmed().toUpper();
    const ServiceFault here = serviceFault(symbol, "T");
    if (isUnknownSymbol(symbol) || here == ServiceFault::Unknown)
        return tiingoError(404, QStringLiteral("Error: Ticker '%1' not found").arg(asked.left(40)));
    if (here == ServiceFault::Refused)
        return tooManyRequests(Api::Tiingo);
    if (auto reply = apiFaultReply(Api::Tiingo, symbol))
        return *reply;
    const Fault fault = Fault::of(symbol);

    const QueryParams params(request.query);
    QDate from = parseIsoDay(params.value(QStringLiteral("startDate")));
    QDate to = parseIsoDay(params.value(QStringLiteral("endDate")));
    if (!from.isValid() || !to.isValid())
        return tiingoError(400, QStringLiteral("Error: startDate and endDate must be dates as YYYY-MM-DD."));
    if (from > to)
        return tiingoError(400, QStringLiteral("Error: startDate must be on or before endDate."));
    const QString freq = params.contains(QStringLiteral("resampleFreq"))
        ? params.value(QStringLiteral("resampleFreq")).toLower()
        : QStringLiteral("daily");
    BarPeriod period = BarPeriod::Daily;
    if (freq == QLatin1String("weekly"))
        period = BarPeriod::Weekly;
    else if (freq == QLatin1String("monthly"))
        period = BarPeriod::Monthly;
    else if (freq != QLatin1String("daily"))
        return tiingoError(400, QStringLiteral("Error: resampleFreq must be daily, weekly or monthly."));
    if (params.value(QStringLiteral("format")).compare(QLatin1String("csv"), Qt::CaseInsensitive) != 0)
        return tiingoError(400, QStringLiteral("Error: this service answers format=csv only."));

    if (fault.kind == Fault::Kind::Big) {
        from = QDate(1900, 1, 1);
        to = QDate(2024, 12, 31);
        period = BarPeriod::Daily;
    }
    const std::vector<Bar> bars = PriceModel(symbol).bars(from, to, period);
    const bool dated = fault.kind == Fault::Kind::SplitOn || fault.kind == Fault::Kind::DividendOn;
    const std::optional<DatedEvent> event = dated ? std::optional(DatedEvent(fault, symbol, from, to)) : std::nullopt;
    // Which bars the split or dividend comes after, and which carries it:
    // the middle one, or the one of the dated event's period.
    const size_t mid = middleOf(bars.size());
    const auto isBefore = [&](size_t i) { return event ? event->before(bars[i], period) : i < mid; };
    const auto carries = [&](size_t i) { return event ? event->carries(bars[i], period) : i == mid; };
    const bool split = fault.kind == Fault::Kind::Split || fault.kind == Fault::Kind::SplitOn;
    const bool dividend = fault.kind == Fault::Kind::Dividend || fault.kind == Fault::Kind::DividendOn;
    const double divFactor = !dividend ? 1.0 : event ? event->dividendFactor : dividendFactor(bars, mid);
    // Adjusted prices know only of a split that has happened.
    const bool splitKnown = split && (!event || event->happened);

    std::vector<TiingoRow> rows;
    rows.reserve(bars.size());
    for (size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        TiingoRow r;
        r.date = tiingoPeriodEnd(b.date, period);
        r.open = b.open;
        r.high = b.high;
        r.low = b.low;
        r.close = b.close;
        r.volume = b.volume;
        r.adjVolume = b.volume;
        // Adjusted prices are the model's; the adjustments below change the
        // raw side (split) or scale earlier adjusted prices (dividend).
        const bool before = isBefore(i);
        const double adjScale = (before ? divFactor : 1.0) * (split && before && !splitKnown ? 2.0 : 1.0);
        r.adjOpen = dollars(b.open) * adjScale;
        r.adjHigh = dollars(b.high) * adjScale;
        r.adjLow = dollars(b.low) * adjScale;
        r.adjClose = dollars(b.close) * adjScale;
        if (split && before) {
            // Before a 2-for-1 split the shares cost twice as much and half
            // as many traded; the adjusted volume is the raw one doubled
            // once the split is known.
            r.open *= 2;
            r.high *= 2;
            r.low *= 2;
            r.close *= 2;
            r.volume = (b.volume + 1) / 2;
            r.adjVolume = splitKnown ? r.volume * 2 : r.volume;
        }
        if (carries(i) && split)
            r.splitFactor = 2.0;
        if (carries(i) && dividend)
            r.divCash = kDividend;
        rows.push_back(r);
    }
    return trickledIf(fault.kind == Fault::Kind::Slow, HttpReply::withBody(200, "text/csv", tiingoCsv(rows)));
}

} // namespace kestrion::sim
