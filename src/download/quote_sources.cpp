// The four quote services Kestrion can ask.
#include "download/quote_source.h"
#include "download/source_tables.h"

#include <QDateTime>
#include <QUrl>

namespace kestrion {

namespace {

QDate selectorDate(const QString& yearText, int month, const QString& dayText)
{
    const QDate first(yearText.toInt(), month, 1);
    if (!first.isValid())
        return {};
    return first.addDays(std::clamp(dayText.toInt(), 1, first.daysInMonth()) - 1);
}

QString isoDate(QDate d)
{
    return d.toString(Qt::ISODate);
}

qint64 utcMidnight(QDate d)
{
    return QDateTime(d, QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
}

// A path segment: everything but letters, digits and "-._~" encoded, so
// "^GSPC" and "EURUSD=X" reach the service as the symbol they are.
QString pathSymbol(const QString& symbol)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(symbol));
}

// The selector values of a run asking for other days: the range's dates as
// the selectors would show them (month name, two-digit day, four-digit year).
RunRequestValues valuesFor(const RunRequestValues& run, const DateRange& range)
{
    RequestInputs in = run.inputs;
    const auto month = [](QDate d) { return monthNames().value(d.month() - 1); };
    const auto day = [](QDate d) { return QStringLiteral("%1").arg(d.day(), 2, 10, QLatin1Char('0')); };
    in.startMonth = month(range.from);
    in.startDay = day(range.from);
    in.startYear = QString::number(range.from.year());
    in.endMonth = month(range.to);
    in.endDay = day(range.to);
    in.endYear = QString::number(range.to.year());
    return RunRequestValues::from(in);
}

// The Yahoo table service of old: one request, the body kept as sent.
class YahooTableSource : public QuoteSource
{
public:
    explicit YahooTableSource(const SourceSetup& s)
        : m_s(s)
    {
    }
    QString name() const override { return kSourceYahoo; }
    HttpGet dataRequest(const QString& symbol, const QByteArray&) const override
    {
        return {yahooUrl(m_s.services.yahooHistoryHost, m_s.values, symbol), {}};
    }
    HttpGet dataRequest(const QString& symbol, const QByteArray&, const DateRange& range) const override
    {
        return {yahooUrl(m_s.services.yahooHistoryHost, valuesFor(m_s.values, range), symbol), {}};
    }
    bool storesBodyAsSent() const override { return true; }
    bool writesPriceTable() const override { return true; }
    bool trustsDefiniteAnswers() const override { return false; }

private:
    SourceSetup m_s;
};

// Wall Street City: a query page names the result file, which is the data.
class WallStreetCitySource : public QuoteSource
{
public:
    explicit WallStreetCitySource(const SourceSetup& s)
        : m_s(s)
    {
    }
    QString name() const override { return kSourceWallStreetCity; }
    std::optional<HttpGet> queryPage(const QString& symbol) const override
    {
        return HttpGet{wscQueryUrl(m_s.services.wscQueryHost, m_s.values, symbol, m_s.settings.dataFormat), {}};
    }
    using QuoteSource::dataRequest;
    HttpGet dataRequest(const QString&, const QByteArray& page) const override
    {
        return {wscResultUrl(m_s.services.wscFileHost, page, m_s.downloadDir), {}};
    }
    bool storesBodyAsSent() const override { return true; }
    bool trustsDefiniteAnswers() const override { return false; }

private:
    SourceSetup m_s;
};

// Yahoo's chart API: JSON, bars stamped in the exchange's own time zone.
class YahooChartSource : public QuoteSource
{
public:
    explicit YahooChartSource(const SourceSetup& s)
        : m_s(s)
        , m_range(runRange(s.values))
    {
    }
    QString name() const override { return kSourceYahooChart; }
    bool writesPriceTable() const override { return true; }
    HttpGet dataRequest(const QString& symbol, const QByteArray& page) const override
    {
        return dataRequest(symbol, page, m_range);
    }
    HttpGet dataRequest(const QString& symbol, const QByteArray&, const DateRange& range) const override
    {
        // Always daily bars, folded here: the service's weekly and monthly
        // bars take in days outside the range. A day either side: a bar's exchange-local date can lie up to a day
        // away from its UTC stamp. Rows outside the range are dropped later.
        const QString url = serviceBase(m_s.services.yahooChartHost, QStringLiteral("https"))
            + QStringLiteral("/v8/finance/chart/") + pathSymbol(symbol) + QStringLiteral("?period1=")
            + QString::number(utcMidnight(range.from.addDays(-1))) + QStringLiteral("&period2=")
            + QString::number(utcMidnight(range.to.addDays(2)))
            + QStringLiteral("&interval=1d&events=div%2Csplits&includeAdjustedClose=true");
        // The service turns away clients that do not look like a browser.
        return {url,
                {{"User-Agent",
                  "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
                  "Chrome/120.0 Safari/537.36"}}};
    }
    TableResult convert(const QByteArray& body) const override { return convert(body, m_range); }
    TableResult convert(const QByteArray& body, const DateRange& range) const override
    {
        return yahooChartTable(body, range.from, range.to, m_s.values.inputs.period);
    }

private:
    SourceSetup m_s;
    DateRange m_range;
};

// Tiingo's daily prices as CSV; the key goes in a header, never the address.
class TiingoSource : public QuoteSource
{
public:
    explicit TiingoSource(const SourceSetup& s)
        : m_s(s)
        , m_range(runRange(s.values))
    {
    }
    QString name() const override { return kSourceTiingo; }
    bool writesPriceTable() const override { return true; }
    HttpGet dataRequest(const QString& symbol, const QByteArray& page) const override
    {
        return dataRequest(symbol, page, m_range);
    }
    HttpGet dataRequest(const QString& symbol, const QByteArray&, const DateRange& range) const override
    {
        // Always daily rows, folded here: the service dates a weekly or
        // monthly row at its period's end, past the range.
        const QString url = serviceBase(m_s.services.tiingoHost, QStringLiteral("https"))
            + QStringLiteral("/tiingo/daily/") + pathSymbol(symbol.toLower()) + QStringLiteral("/prices?startDate=")
            + isoDate(range.from) + QStringLiteral("&endDate=") + isoDate(range.to) + QStringLiteral("&resampleFreq=daily&format=csv");
        return {url, {{"Authorization", "Token " + m_s.apiKey.toUtf8()}}};
    }
    TableResult convert(const QByteArray& body) const override { return convert(body, m_range); }
    TableResult convert(const QByteArray& body, const DateRange& range) const override
    {
        return tiingoTable(body, range.from, range.to, m_s.values.inputs.period);
    }

private:
    SourceSetup m_s;
    DateRange m_range;
};

template <class T> std::unique_ptr<QuoteSource> make(const SourceSetup& s)
{
    return std::make_unique<T>(s);
}

} // namespace

FailureReason QuoteSource::judgeStoredBody(const QByteArray& start) const
{
    if (start.isEmpty() || start.startsWith("No"))
        return FailureReason::NoData;
    return FailureReason::BadData; // an HTML page or anything else
}

FailureReason fetchReason(const FetchResult& r)
{
    using F = FetchResult::Failure;
    switch (r.failure) {
    case F::None:
        return FailureReason::None;
    case F::Timeout:
        return FailureReason::Timeout;
    case F::Unreachable:
    case F::Aborted:
        return FailureReason::Unreachable;
    case F::Write:
        return FailureReason::WriteFailed;
    case F::HttpStatus:
        break;
    }
    if (r.status == 404)
        return FailureReason::NotFound;
    if (r.status == 401 || r.status == 403)
        return FailureReason::Unauthorized;
    if (r.status == 429)
        return FailureReason::RateLimited;
    return FailureReason::ServerError;
}

bool isRefusal(const FetchResult& r)
{
    return r.status == 429 || (r.status == 503 && !r.retryAfter.isEmpty());
}

const std::vector<QuoteSourceEntry>& quoteSourceEntries()
{
    static const std::vector<QuoteSourceEntry> entries{
        {kSourceYahooChart, QStringLiteral("yahoo-chart"), false, make<YahooChartSource>},
        {kSourceTiingo, QStringLiteral("tiingo"), true, make<TiingoSource>},
        {kSourceYahoo, QStringLiteral("yahoo"), false, make<YahooTableSource>},
        {kSourceWallStreetCity, QStringLiteral("wsc"), false, make<WallStreetCitySource>},
    };
    return entries;
}

const QuoteSourceEntry& quoteSourceEntry(const QString& storedText)
{
    const auto& all = quoteSourceEntries();
    for (const QuoteSourceEntry& e : all) {
        if (e.storedText == storedText)
            return e;
    }
    return all.back(); // every other text has always meant Wall Street City
}

std::unique_ptr<QuoteSource> makeQuoteSource(const SourceSetup& setup)
{
    return quoteSourceEntry(setup.settings.dataSource).make(setup);
}

QDate startDate(const RunRequestValues& v)
{
    return selectorDate(v.inputs.startYear, v.start.number, v.inputs.startDay);
}

QDate endDate(const RunRequestValues& v)
{
    return selectorDate(v.inputs.endYear, v.end.number, v.inputs.endDay);
}

DateRange runRange(const RunRequestValues& v)
{
    return {startDate(v), endDate(v)};
}

} // namespace kestrion
