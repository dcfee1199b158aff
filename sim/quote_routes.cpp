#include "quote_routes.h"

#include "described_services.h"
#include "own_services.h"

#include "pages.h"

#include <QRandomGenerator>

namespace kestrion::sim {

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kText = "text/plain";

// Whole decimal numbers only (leading zeros allowed, as in "01").
std::optional<int> parseNumber(const QString& text, int min, int max)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const int n = text.toInt();
    if (n < min || n > max)
        return std::nullopt;
    return n;
}

// A day past the end of its month (Feb 31) stands for the month's last day:
// the date selectors of a client offer 31 days for every month.
QDate clampedDate(int year, int month, int day)
{
    const QDate first(year, month, 1);
    return first.isValid() ? QDate(year, month, std::min(day, first.daysInMonth())) : QDate();
}

// M/DD/YY as the query page takes it; YY 00-69 is 2000-2069, 70-99 is
// 1970-1999. Four-digit years are taken as they are.
QDate parseWscDate(const QString& text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('/'));
    if (parts.size() != 3)
        return {};
    const auto month = parseNumber(parts[0], 1, 12);
    const auto day = parseNumber(parts[1], 1, 31);
    const auto year = parseNumber(parts[2], 0, 9999);
    if (!month || !day || !year || (parts[2].size() != 2 && parts[2].size() != 4))
        return {};
    int y = *year;
    if (parts[2].size() == 2)
        y += y < 70 ? 2000 : 1900;
    if (y < 1)
        return {};
    return clampedDate(y, *month, *day);
}

BarPeriod yahooPeriod(const QString& letter)
{
    if (letter.compare(QLatin1String("w"), Qt::CaseInsensitive) == 0)
        return BarPeriod::Weekly;
    if (letter.compare(QLatin1String("m"), Qt::CaseInsensitive) == 0)
        return BarPeriod::Monthly;
    return BarPeriod::Daily;
}

BarPeriod wscPeriod(const QString& type)
{
    if (type == QLatin1String("1"))
        return BarPeriod::Weekly;
    if (type == QLatin1String("2"))
        return BarPeriod::Monthly;
    return BarPeriod::Daily;
}

// Whether [from, to] holds a trading day inside the dates the model serves.
bool hasTradingDay(QDate from, QDate to)
{
    from = std::max(from, PriceModel::firstDate());
    to = std::min(to, PriceModel::lastDate());
    if (from > to)
        return false;
    if (from.daysTo(to) >= 2)
        return true;
    for (QDate d = from; d <= to; d = d.addDays(1))
        if (d.dayOfWeek() <= Qt::Friday)
            return true;
    return false;
}

HttpReply notFound(const QString& message)
{
    return HttpReply::withBody(404, kHtml, errorPage(QStringLiteral("404 Not Found"), message));
}

HttpReply trickled(HttpReply reply)
{
    reply.delivery = HttpReply::Delivery::Trickle;
    return reply;
}

int chartDays(const QString& time)
{
    static const QHash<QString, int> days{
        {QStringLiteral("1"), 7}, // one day still shows the last few closes
        {QStringLiteral("3"), 7},   {QStringLiteral("4"), 31},  {QStringLiteral("6"), 92},   {QStringLiteral("7"), 183},
        {QStringLiteral("8"), 365}, {QStringLiteral("9"), 730}, {QStringLiteral("12"), 1826}};
    return days.value(time, 365);
}

} // namespace

QuoteRoutes::QuoteRoutes(QString tiingoToken)
    : m_tiingoToken(std::move(tiingoToken))
{
}

HttpReply QuoteRoutes::handle(const HttpRequest& request)
{
    if (request.method != "GET" && request.method != "HEAD") {
        HttpReply r = HttpReply::withBody(405, kText, "Only GET and HEAD are served here.\n");
        r.extraHeaders.append(qMakePair(QByteArray("Allow"), QByteArray("GET, HEAD")));
        return r;
    }
    // The APIs carry the symbol in the path: split it off before decoding,
    // so that an encoded '/' stays part of the symbol.
    static const QByteArray chartPrefix("/v8/finance/chart/");
    static const QByteArray tiingoPrefix("/tiingo/daily/");
    static const QByteArray tiingoSuffix("/prices");
    const QByteArray& raw = request.path;
    if (raw.startsWith(chartPrefix) && raw.indexOf('/', chartPrefix.size()) < 0)
        return yahooChart(request, raw.mid(chartPrefix.size()));
    if (raw.startsWith(tiingoPrefix) && raw.endsWith(tiingoSuffix)
        && raw.size() >= tiingoPrefix.size() + tiingoSuffix.size()) {
        const QByteArray segment = raw.mid(tiingoPrefix.size(), raw.size() - tiingoPrefix.size() - tiingoSuffix.size());
        if (!segment.contains('/'))
            return tiingo(request, segment);
    }

    if (std::optional<HttpReply> described = describedServiceReply(request))
        return *described;
    if (std::optional<HttpReply> own = ownServiceReply(request))
        return *own;

    const QByteArray path = percentDecode(request.path, false);
    const QueryParams params(request.query);

    if (path == "/table.csv")
        return yahooTable(params);
    if (path == "/wsc2/Historical_Quotes.html")
        return wscQuery(params);
    if (path.startsWith("/dynamic/") && path.endsWith(".txt"))
        return wscResult(QString::fromUtf8(path.mid(9, path.size() - 9 - 4)));
    if (path == "/intchart/frames/main.asp")
        return chart(params);
    if (path == "/" || path == "/index.html")
        return HttpReply::withBody(200, kHtml, homePage());
    if (path == "/search")
        return HttpReply::withBody(200, kHtml, searchPage());
    return notFound(QStringLiteral("The requested page was not found on this server."));
}

std::optional<HttpReply> QuoteRoutes::faultReply(const QString& symbol, const QString& counterKey)
{
    const Fault fault = Fault::of(symbol);
    switch (fault.kind) {
    case Fault::Kind::Fail:
        if (m_failures.shouldFail(counterKey, fault.failures))
            return HttpReply::withBody(503, nullptr, QByteArray());
        break;
    case Fault::Kind::Hang: {
        HttpReply r;
        r.delivery = HttpReply::Delivery::Hang;
        return r;
    }
    case Fault::Kind::Reset: {
        HttpReply r;
        r.delivery = HttpReply::Delivery::Reset;
        return r;
    }
    case Fault::Kind::NoData:
        return HttpReply::withBody(200, kText, "No data available for " + symbol.toUtf8() + "\n");
    case Fault::Kind::E500:
        return HttpReply::withBody(500, kText, "Internal Server Error\n");
    case Fault::Kind::None:
    case Fault::Kind::Slow:
    case Fault::Kind::Big:
    // The rest belong to the APIs (apiFaultReply); the older services
    // answer those symbols like any other.
    case Fault::Kind::NullRows:
    case Fault::Kind::LongWait:
    case Fault::Kind::Huge:
    case Fault::Kind::LiveRow:
    case Fault::Kind::Split:
    case Fault::Kind::Dividend:
    case Fault::Kind::SplitOn:
    case Fault::Kind::DividendOn:
    case Fault::Kind::RateLimited:
    case Fault::Kind::RetryAfter:
    case Fault::Kind::RateLimitedFirst:
    case Fault::Kind::Busy503:
    case Fault::Kind::QuotaText:
    case Fault::Kind::HtmlPage:
        break;
    }
    return std::nullopt;
}

HttpReply QuoteRoutes::yahooTable(const QueryParams& params)
{
    const QString symbol = params.value(QStringLiteral("s")).trimmed().toUpper();
    if (isUnknownSymbol(symbol))
        return notFound(QStringLiteral("No such ticker symbol."));
    if (auto reply = faultReply(symbol, symbol))
        return *reply;

    const auto startMonth = parseNumber(params.value(QStringLiteral("a")), 0, 11);
    const auto startDay = parseNumber(params.value(QStringLiteral("b")), 1, 31);
    const auto startYear = parseNumber(params.value(QStringLiteral("c")), 1, 9999);
    const auto endMonth = parseNumber(params.value(QStringLiteral("d")), 0, 11);
    const auto endDay = parseNumber(params.value(QStringLiteral("e")), 1, 31);
    const auto endYear = parseNumber(params.value(QStringLiteral("f")), 1, 9999);
    if (!startMonth || !startDay || !startYear || !endMonth || !endDay || !endYear)
        return HttpReply::withBody(
            400, kHtml,
            errorPage(QStringLiteral("400 Bad Request"),
                      QStringLiteral("The date range (a, b, c, d, e, f) is missing or not valid.")));
    QDate from = clampedDate(*startYear, *startMonth + 1, *startDay);
    QDate to = clampedDate(*endYear, *endMonth + 1, *endDay);
    BarPeriod period = yahooPeriod(params.value(QStringLiteral("g")));

    const Fault fault = Fault::of(symbol);
    if (fault.kind == Fault::Kind::Big) {
        from = QDate(1900, 1, 1);
        to = QDate(2024, 12, 31);
        period = BarPeriod::Daily;
    }
    if (fault.kind == Fault::Kind::Huge) {
        // One row over and over: only the size matters here.
        HttpReply reply = HttpReply::withBody(200, "text/csv", "Date,Open,High,Low,Close,Volume,Adj Close\n");
        reply.delivery = HttpReply::Delivery::Repeat;
        reply.repeatUnit = "2003-01-02,25.10,25.50,24.90,25.20,1234567,25.20\n";
        reply.repeatBytes = qint64(fault.failures) * (1 << 20) / reply.repeatUnit.size() * reply.repeatUnit.size();
        return reply;
    }
    const std::vector<Bar> bars = PriceModel(symbol).bars(from, to, period);
    if (bars.empty())
        return notFound(QStringLiteral("No prices in this date range."));
    HttpReply reply = HttpReply::withBody(200, "text/csv", kestrion::sim::yahooTable(bars));
    return fault.kind == Fault::Kind::Slow ? trickled(std::move(reply)) : reply;
}

HttpReply QuoteRoutes::wscQuery(const QueryParams& params)
{
    const QString symbol = params.value(QStringLiteral("Symbol")).trimmed().toUpper();
    if (isUnknownSymbol(symbol)) {
        return HttpReply::withBody(200, kHtml,
                                   wscMessagePage(symbol.isEmpty() ? QStringLiteral("Please enter a symbol.")
                                                                   : QStringLiteral("Symbol not found: ") + symbol));
    }
    if (auto reply = faultReply(symbol, symbol))
        return *reply;
    const Fault fault = Fault::of(symbol);
    const auto answer = [&fault](QByteArray page) {
        HttpReply r = HttpReply::withBody(200, kHtml, std::move(page));
        return fault.kind == Fault::Kind::Slow ? trickled(std::move(r)) : r;
    };

    const QDate from = parseWscDate(params.value(QStringLiteral("StartDate")));
    const QDate to = parseWscDate(params.value(QStringLiteral("EndDate")));
    if (!from.isValid() || !to.isValid())
        return answer(wscMessagePage(QStringLiteral("Please enter the start and end dates as M/DD/YY.")));
    if (!hasTradingDay(from, to))
        return answer(wscMessagePage(QStringLiteral("No quotes were found for this date range.")));

    ResultJob job;
    job.symbol = symbol;
    job.from = from;
    job.to = to;
    job.period = wscPeriod(params.value(QStringLiteral("Type")));
    job.format = wscFormatFromCode(params.value(QStringLiteral("Format")));

    const QString name = newResultName();
    if (m_resultOrder.size() >= kMaxResults) {
        m_results.remove(m_resultOrder.front());
        m_resultOrder.pop_front();
    }
    m_results.insert(name, job);
    m_resultOrder.push_back(name);

    WscResult shown;
    shown.name = name;
    shown.symbol = symbol;
    shown.from = from;
    shown.to = to;
    shown.period = job.period;
    shown.formatName = wscFormatName(job.format);
    return answer(wscResultPage(shown));
}

QString QuoteRoutes::newResultName() const
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString name;
    do {
        name.clear();
        for (int i = 0; i < 11; ++i)
            name += QLatin1Char(alphabet[QRandomGenerator::global()->bounded(36)]);
    } while (m_results.contains(name));
    return name;
}

HttpReply QuoteRoutes::wscResult(const QString& name)
{
    const auto it = m_results.constFind(name);
    if (it == m_results.constEnd())
        return notFound(QStringLiteral("This file does not exist or has expired."));
    const ResultJob& job = *it;
    const std::vector<Bar> bars = PriceModel(job.symbol).bars(job.from, job.to, job.period);
    return HttpReply::withBody(200, kText, wscResultFile(job.format, fileTicker(job.symbol), job.period, bars));
}

HttpReply QuoteRoutes::chart(const QueryParams& params)
{
    ChartRequest request;
    request.symbol = params.value(QStringLiteral("symb")).trimmed().toUpper();
    request.time = params.value(QStringLiteral("time"));
    request.freq = params.value(QStringLiteral("freq"));
    request.country = params.value(QStringLiteral("country"));

    if (request.symbol.isEmpty())
        return HttpReply::withBody(200, kHtml,
                                   chartPage(request, {}, QStringLiteral("Enter a symbol to see its chart.")));
    if (isUnknownSymbol(request.symbol))
        return HttpReply::withBody(200, kHtml,
                                   chartPage(request, {}, QStringLiteral("No chart is available for this symbol.")));
    if (auto reply = faultReply(request.symbol, request.symbol))
        return *reply;

    const QDate to = QDate::currentDate();
    const int days = chartDays(request.time);
    const QDate from = to.addDays(-days);
    const BarPeriod period = days > 400 ? BarPeriod::Weekly : BarPeriod::Daily;
    const std::vector<Bar> bars = PriceModel(request.symbol).bars(from, to, period);
    HttpReply reply = HttpReply::withBody(200, kHtml,
                                          chartPage(request, bars, QStringLiteral("No prices in this period.")));
    return Fault::of(request.symbol).kind == Fault::Kind::Slow ? trickled(std::move(reply)) : reply;
}

} // namespace kestrion::sim
