#include "described_services.h"

#include "api_formats.h"
#include "faults.h"
#include "price_model.h"

#include <QList>

namespace kestrion::sim {

namespace {

constexpr const char* kJson = "application/json";
constexpr const char* kCsv = "text/csv";
constexpr const char* kText = "text/plain";
// Massive and MarketData stamp a day at its midnight in New York (EST).
constexpr qint64 kNewYorkMidnightUtc = 5 * 3600;

QByteArray money(qint64 cents, int places = 2)
{
    return QByteArray::number(double(cents) / 100.0, 'f', places);
}

QDate isoDay(const QString& text)
{
    return text.size() == 10 ? QDate::fromString(text, Qt::ISODate) : QDate();
}

// The range a request names; a missing end is open: a year back, today.
void rangeOf(const QString& fromText, const QString& toText, QDate& from, QDate& to)
{
    to = toText.isEmpty() ? QDate::currentDate() : isoDay(toText);
    from = fromText.isEmpty() ? to.addYears(-1) : isoDay(fromText);
}

// The service's word for a period; anything else is daily.
BarPeriod periodOf(const QString& word, const char* weekly, const char* monthly)
{
    if (word == QLatin1String(weekly))
        return BarPeriod::Weekly;
    if (word == QLatin1String(monthly))
        return BarPeriod::Monthly;
    return BarPeriod::Daily;
}

QList<QByteArray> segments(const QByteArray& path)
{
    return path.split('/');
}

QString symbolOf(const QByteArray& raw)
{
    return QString::fromUtf8(percentDecode(raw, false)).toUpper();
}

Fault::Kind faultOf(const QString& symbol)
{
    return Fault::of(symbol).kind;
}

// EODHD's "IBM.US" and "GSPC.INDX" are the list's "IBM" and "^GSPC": the
// same prices as every other service gives for them.
QString eodhdModelSymbol(const QString& symbol)
{
    if (symbol.endsWith(QLatin1String(".US")))
        return symbol.chopped(3);
    if (symbol.endsWith(QLatin1String(".INDX")))
        return QLatin1Char('^') + symbol.chopped(5);
    return symbol;
}

HttpReply eodhd(const HttpRequest& request, const QString& symbol)
{
    const QueryParams params(request.query);
    if (params.value(QStringLiteral("api_token")) != QLatin1String(kSimEodhdKey))
        return HttpReply::withBody(401, kText, "Unauthenticated");
    const Fault::Kind fault = faultOf(symbol);
    const ServiceFault here = serviceFault(symbol, "E");
    if (fault == Fault::Kind::RateLimited || here == ServiceFault::Refused)
        return HttpReply::withBody(429, kText, "Too Many Requests");
    if (fault == Fault::Kind::QuotaText)
        return HttpReply::withBody(402, kText, "You exceeded your daily API requests limit.");
    if (isUnknownSymbol(symbol) || here == ServiceFault::Unknown)
        return HttpReply::withBody(404, kText, "Ticker Not Found.");
    QDate from, to;
    rangeOf(params.value(QStringLiteral("from")), params.value(QStringLiteral("to")), from, to);
    if (!from.isValid() || !to.isValid())
        return HttpReply::withBody(422, kJson, R"({"errors":{"from":["The from is not a valid date."]}})");
    QByteArray body("[");
    if (fault != Fault::Kind::NoData) {
        const BarPeriod period = periodOf(params.value(QStringLiteral("period")), "w", "m");
        for (const Bar& bar : PriceModel(eodhdModelSymbol(symbol)).bars(from, to, period)) {
            if (body.size() > 1)
                body += ',';
            body += "{\"date\":\"" + bar.date.toString(Qt::ISODate).toLatin1() + "\",\"open\":" + money(bar.open)
                + ",\"high\":" + money(bar.high) + ",\"low\":" + money(bar.low) + ",\"close\":" + money(bar.close)
                + ",\"adjusted_close\":" + money(bar.close, 4) + ",\"volume\":" + QByteArray::number(bar.volume) + '}';
        }
    }
    return HttpReply::withBody(200, kJson, body + ']');
}

QByteArray twelveError(int code, const char* message)
{
    return "{\"code\":" + QByteArray::number(code) + ",\"message\":" + jsonString(QLatin1String(message))
        + ",\"status\":\"error\"}";
}

// Twelve Data answers its errors with HTTP 200 and the code in the body.
HttpReply twelveData(const HttpRequest& request)
{
    const QueryParams params(request.query);
    if (request.header("authorization") != QByteArray("apikey ") + kSimTwelveDataKey)
        return HttpReply::withBody(
            200, kJson, twelveError(401, "**apikey** parameter is incorrect or not specified. You can get your free API key instantly following this link: https://twelvedata.com/pricing."));
    const QString symbol = params.value(QStringLiteral("symbol")).toUpper();
    const Fault::Kind fault = faultOf(symbol);
    const QByteArray credits = twelveError(
        429, "You have run out of API credits for the current minute. 9 API credits were used, with the current limit being 8.");
    if (fault == Fault::Kind::RateLimited)
        return HttpReply::withBody(429, kJson, credits);
    if (fault == Fault::Kind::QuotaText)
        return HttpReply::withBody(200, kJson, credits);
    if (isUnknownSymbol(symbol))
        return HttpReply::withBody(200, kJson, twelveError(404, "**symbol** not found. Please specify it correctly."));
    QDate from, to;
    rangeOf(params.value(QStringLiteral("start_date")), params.value(QStringLiteral("end_date")), from, to);
    if (!from.isValid() || !to.isValid())
        return HttpReply::withBody(200, kJson, twelveError(400, "**start_date** parameter is invalid."));
    const QString interval = params.value(QStringLiteral("interval"));
    QByteArray values;
    if (fault != Fault::Kind::NoData) {
        const std::vector<Bar> bars =
            PriceModel(symbol).bars(from, to, periodOf(interval, "1week", "1month"));
        for (auto it = bars.rbegin(); it != bars.rend(); ++it) { // newest first
            if (!values.isEmpty())
                values += ',';
            values += "{\"datetime\":\"" + it->date.toString(Qt::ISODate).toLatin1() + "\",\"open\":\""
                + money(it->open, 5) + "\",\"high\":\"" + money(it->high, 5) + "\",\"low\":\"" + money(it->low, 5)
                + "\",\"close\":\"" + money(it->close, 5) + "\",\"volume\":\"" + QByteArray::number(it->volume) + "\"}";
        }
    }
    return HttpReply::withBody(200, kJson,
                               "{\"meta\":{\"symbol\":" + jsonString(symbol) + ",\"interval\":" + jsonString(interval)
                                   + ",\"currency\":\"USD\",\"type\":\"Common Stock\"},\"values\":[" + values
                                   + "],\"status\":\"ok\"}");
}

// /v2/aggs/ticker/{symbol}/range/1/{interval}/{from}/{to}
HttpReply massive(const HttpRequest& request, const QList<QByteArray>& parts)
{
    if (request.header("authorization") != QByteArray("Bearer ") + kSimMassiveKey)
        return HttpReply::withBody(401, kJson, R"({"status":"ERROR","request_id":"sim","error":"Unknown API Key"})");
    const QString symbol = symbolOf(parts.at(4));
    const Fault::Kind fault = faultOf(symbol);
    if (fault == Fault::Kind::RateLimited || fault == Fault::Kind::QuotaText)
        return HttpReply::withBody(
            429, kJson,
            R"({"status":"ERROR","request_id":"sim","error":"You've exceeded the maximum requests per minute, please wait or upgrade your subscription to continue."})");
    const QDate from = isoDay(QString::fromLatin1(parts.at(8))), to = isoDay(QString::fromLatin1(parts.at(9)));
    if (!from.isValid() || !to.isValid())
        return HttpReply::withBody(400, kJson, R"({"status":"ERROR","request_id":"sim","error":"Could not parse the time parameter."})");
    QByteArray results;
    int count = 0;
    if (fault != Fault::Kind::NoData && !isUnknownSymbol(symbol)) {
        const BarPeriod period = periodOf(QString::fromLatin1(parts.at(7)), "week", "month");
        for (const Bar& bar : PriceModel(symbol).bars(from, to, period)) {
            if (count++)
                results += ',';
            results += "{\"v\":" + QByteArray::number(bar.volume) + ",\"vw\":" + money(bar.close, 4) + ",\"o\":"
                + money(bar.open) + ",\"c\":" + money(bar.close) + ",\"h\":" + money(bar.high) + ",\"l\":" + money(bar.low)
                + ",\"t\":" + QByteArray::number((unixDay(bar.date) + kNewYorkMidnightUtc) * 1000) + ",\"n\":1000}";
        }
    }
    QByteArray body = "{\"ticker\":" + jsonString(symbol) + ",\"queryCount\":" + QByteArray::number(count)
        + ",\"resultsCount\":" + QByteArray::number(count) + ",\"adjusted\":true";
    if (count > 0)
        body += ",\"results\":[" + results + ']';
    return HttpReply::withBody(200, kJson, body + ",\"status\":\"OK\",\"request_id\":\"sim\"}");
}

// /v1/stocks/candles/{resolution}/{symbol}: parallel arrays.
HttpReply marketData(const HttpRequest& request, const QList<QByteArray>& parts)
{
    if (request.header("authorization") != QByteArray("Bearer ") + kSimMarketDataKey)
        return HttpReply::withBody(401, kJson, R"({"s":"error","errmsg":"Invalid token header. No credentials provided."})");
    const QString symbol = symbolOf(parts.at(5));
    const Fault::Kind fault = faultOf(symbol);
    if (fault == Fault::Kind::RateLimited)
        return HttpReply::withBody(429, kJson, R"({"s":"error","errmsg":"Too many requests."})");
    if (fault == Fault::Kind::QuotaText)
        return HttpReply::withBody(402, kJson, R"({"s":"error","errmsg":"You have used all your daily requests."})");
    if (isUnknownSymbol(symbol))
        return HttpReply::withBody(404, kJson, R"({"s":"error","errmsg":"No such symbol."})");
    const QueryParams params(request.query);
    QDate from, to;
    rangeOf(params.value(QStringLiteral("from")), params.value(QStringLiteral("to")), from, to);
    if (!from.isValid() || !to.isValid())
        return HttpReply::withBody(400, kJson, R"({"s":"error","errmsg":"Invalid date."})");
    const std::vector<Bar> bars = fault == Fault::Kind::NoData
        ? std::vector<Bar>{}
        : PriceModel(symbol).bars(from, to, periodOf(QString::fromLatin1(parts.at(4)), "W", "M"));
    if (bars.empty())
        return HttpReply::withBody(200, kJson, R"({"s":"no_data"})");
    QByteArray t, o, h, l, c, v;
    for (const Bar& bar : bars) {
        const char* sep = t.isEmpty() ? "" : ",";
        t += sep + QByteArray::number(unixDay(bar.date) + kNewYorkMidnightUtc);
        o += sep + money(bar.open);
        h += sep + money(bar.high);
        l += sep + money(bar.low);
        c += sep + money(bar.close);
        v += sep + QByteArray::number(bar.volume);
    }
    return HttpReply::withBody(200, kJson,
                               "{\"s\":\"ok\",\"t\":[" + t + "],\"o\":[" + o + "],\"h\":[" + h + "],\"l\":[" + l
                                   + "],\"c\":[" + c + "],\"v\":[" + v + "]}");
}

QDate lastWeekdayOf(const QDate& d)
{
    QDate last(d.year(), d.month(), d.daysInMonth());
    while (last.dayOfWeek() > Qt::Friday)
        last = last.addDays(-1);
    return last;
}

// Every error is HTTP 200 JSON; the prices are CSV, monthly, newest first,
// each month dated at its last trading day (the current one at today's).
HttpReply alphaVantage(const HttpRequest& request)
{
    const QueryParams params(request.query);
    auto error = [](const char* key, const char* text) {
        return HttpReply::withBody(200, kJson, "{\"" + QByteArray(key) + "\": " + jsonString(QLatin1String(text)) + '}');
    };
    if (params.value(QStringLiteral("apikey")) != QLatin1String(kSimAlphaVantageKey))
        return error("Error Message",
                     "the parameter apikey is invalid or missing. Please claim your free API key on "
                     "(https://www.alphavantage.co/support/#api-key). It should take less than 20 seconds.");
    const QString symbol = params.value(QStringLiteral("symbol")).toUpper();
    const Fault::Kind fault = faultOf(symbol);
    if (fault == Fault::Kind::QuotaText)
        return error("Information", "Thank you for using Alpha Vantage! Our standard API rate limit is 25 requests per "
                                    "day. Please subscribe to any of the premium plans to instantly remove all daily rate limits.");
    if (fault == Fault::Kind::RateLimited)
        return error("Note", "Thank you for using Alpha Vantage! Our standard API call frequency is 5 calls per minute "
                             "and 500 calls per day.");
    if (params.value(QStringLiteral("function")) != QLatin1String("TIME_SERIES_MONTHLY_ADJUSTED") || isUnknownSymbol(symbol))
        return error("Error Message",
                     "Invalid API call. Please retry or visit the documentation (https://www.alphavantage.co/documentation/) "
                     "for TIME_SERIES_MONTHLY_ADJUSTED.");
    QByteArray body("timestamp,open,high,low,close,adjusted close,volume,dividend amount\r\n");
    if (fault != Fault::Kind::NoData) {
        const QDate today = QDate::currentDate();
        const PriceModel model(symbol);
        const std::vector<Bar> months = model.bars(QDate(2000, 1, 1), today, BarPeriod::Monthly);
        const std::vector<Bar> lastDays = model.daily(today.addDays(-7), today);
        for (auto it = months.rbegin(); it != months.rend(); ++it) {
            QDate dated = lastWeekdayOf(it->date);
            if (dated > today && !lastDays.empty())
                dated = lastDays.back().date;
            body += dated.toString(Qt::ISODate).toLatin1() + ',' + money(it->open, 4) + ',' + money(it->high, 4) + ','
                + money(it->low, 4) + ',' + money(it->close, 4) + ',' + money(it->close, 4) + ','
                + QByteArray::number(it->volume) + ",0.0000\r\n";
        }
    }
    return HttpReply::withBody(200, kCsv, body);
}

} // namespace

std::optional<HttpReply> describedServiceReply(const HttpRequest& request)
{
    const QByteArray& path = request.path;
    const QList<QByteArray> parts = segments(path);
    if (path.startsWith("/api/eod/") && parts.size() == 4 && !parts.at(3).isEmpty())
        return eodhd(request, symbolOf(parts.at(3)));
    if (path == "/time_series")
        return twelveData(request);
    if (path.startsWith("/v2/aggs/ticker/") && parts.size() == 10 && parts.at(5) == "range")
        return massive(request, parts);
    if (path.startsWith("/v1/stocks/candles/") && parts.size() == 6 && !parts.at(5).isEmpty())
        return marketData(request, parts);
    if (path == "/query")
        return alphaVantage(request);
    return std::nullopt;
}

} // namespace kestrion::sim
