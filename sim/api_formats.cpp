#include "api_formats.h"

#include <QLocale>

#include <charconv>

namespace kestrion::sim {

namespace {

constexpr qint64 kUnixEpochJulianDay = 2440588;

// Shortest text that reads back as the same double, never an exponent.
// std::to_chars rather than QByteArray::number, which goes through QString:
// twenty years of daily rows hold some 30,000 prices.
void appendDecimal(QByteArray& out, double value)
{
    char buffer[400]; // the longest fixed form of a double is about 330 characters
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (ec == std::errc())
        out.append(buffer, end - buffer);
    else
        out.append(QByteArray::number(value, 'f', QLocale::FloatingPointShortest));
}

// Yahoo keeps prices as float32 and sends them widened to double, hence
// values such as 123.45600128173828; clients must cope with those digits.
void appendYahooPrice(QByteArray& out, double value)
{
    appendDecimal(out, static_cast<double>(static_cast<float>(value)));
}

// "1.0", "0.5": Tiingo writes its factors with at least one decimal.
void appendFactor(QByteArray& out, double value)
{
    const qsizetype start = out.size();
    appendDecimal(out, value);
    if (out.indexOf('.', start) < 0)
        out.append(".0");
}

void appendCents(QByteArray& out, qint64 cents)
{
    out.append(QByteArray::number(cents / 100)).append('.');
    const int rest = static_cast<int>(cents % 100);
    out.append(static_cast<char>('0' + rest / 10)).append(static_cast<char>('0' + rest % 10));
}

const char* granularity(BarPeriod period)
{
    switch (period) {
    case BarPeriod::Weekly:
        return "1wk";
    case BarPeriod::Monthly:
        return "1mo";
    case BarPeriod::Daily:
        break;
    }
    return "1d";
}

template <typename Value>
void appendSeries(QByteArray& out, const char* name, const std::vector<ChartRow>& rows, Value value)
{
    out.append('"').append(name).append("\":[");
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0)
            out.append(',');
        if (rows[i].missing)
            out.append("null");
        else
            value(out, rows[i]);
    }
    out.append(']');
}

void appendMeta(QByteArray& out, const ChartAnswer& a)
{
    out.append("\"meta\":{\"currency\":").append(a.tokyo ? "\"JPY\"" : "\"USD\"");
    out.append(",\"symbol\":").append(jsonString(a.symbol));
    out.append(",\"exchangeName\":").append(a.tokyo ? "\"JPX\"" : "\"NMS\"");
    out.append(",\"gmtoffset\":").append(a.tokyo ? "32400" : "-18000");
    out.append(",\"timezone\":").append(a.tokyo ? "\"JST\"" : "\"EST\"");
    out.append(",\"exchangeTimezoneName\":").append(a.tokyo ? "\"Asia/Tokyo\"" : "\"America/New_York\"");
    out.append(",\"dataGranularity\":\"").append(granularity(a.period)).append("\"}");
}

void appendEvents(QByteArray& out, const ChartAnswer& a)
{
    out.append(",\"events\":{");
    if (a.dividendAt) {
        const QByteArray ts = QByteArray::number(*a.dividendAt);
        out.append("\"dividends\":{\"").append(ts).append("\":{\"amount\":");
        appendDecimal(out, a.dividend);
        out.append(",\"date\":").append(ts).append("}}");
    }
    if (a.splitAt) {
        const QByteArray ts = QByteArray::number(*a.splitAt);
        if (a.dividendAt)
            out.append(',');
        out.append("\"splits\":{\"").append(ts).append("\":{\"date\":").append(ts);
        out.append(",\"numerator\":2,\"denominator\":1,\"splitRatio\":\"2:1\"}}");
    }
    out.append('}');
}

} // namespace

QByteArray jsonString(const QString& text)
{
    static const char hex[] = "0123456789abcdef";
    QByteArray out;
    out.append('"');
    for (const char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.append('\\').append(c);
        } else if (u < 0x20 || u == 0x7F) {
            out.append("\\u00").append(hex[u >> 4]).append(hex[u & 0xF]);
        } else {
            out.append(c);
        }
    }
    out.append('"');
    return out;
}

qint64 unixDay(const QDate& date)
{
    return (date.toJulianDay() - kUnixEpochJulianDay) * 86400;
}

QByteArray yahooChartJson(const ChartAnswer& a)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(a.rows.size()) * 120 + 512);
    out.append("{\"chart\":{\"result\":[{");
    appendMeta(out, a);
    if (a.rows.empty()) {
        out.append(",\"indicators\":{\"quote\":[{}],\"adjclose\":[{}]}}],\"error\":null}}");
        return out;
    }
    out.append(",\"timestamp\":[");
    for (size_t i = 0; i < a.rows.size(); ++i) {
        if (i > 0)
            out.append(',');
        out.append(QByteArray::number(a.rows[i].timestamp));
    }
    out.append(']');
    if (a.dividendAt || a.splitAt)
        appendEvents(out, a);
    out.append(",\"indicators\":{\"quote\":[{");
    appendSeries(out, "open", a.rows, [](QByteArray& o, const ChartRow& r) { appendYahooPrice(o, r.open); });
    out.append(',');
    appendSeries(out, "high", a.rows, [](QByteArray& o, const ChartRow& r) { appendYahooPrice(o, r.high); });
    out.append(',');
    appendSeries(out, "low", a.rows, [](QByteArray& o, const ChartRow& r) { appendYahooPrice(o, r.low); });
    out.append(',');
    appendSeries(out, "close", a.rows, [](QByteArray& o, const ChartRow& r) { appendYahooPrice(o, r.close); });
    out.append(',');
    appendSeries(out, "volume", a.rows,
                 [](QByteArray& o, const ChartRow& r) { o.append(QByteArray::number(r.volume)); });
    out.append("}],\"adjclose\":[{");
    appendSeries(out, "adjclose", a.rows, [](QByteArray& o, const ChartRow& r) { appendYahooPrice(o, r.adjclose); });
    out.append("}]}}],\"error\":null}}");
    return out;
}

QByteArray yahooChartError(const QString& code, const QString& description)
{
    return "{\"chart\":{\"result\":null,\"error\":{\"code\":" + jsonString(code)
        + ",\"description\":" + jsonString(description) + "}}}";
}

QByteArray tiingoCsv(const std::vector<TiingoRow>& rows)
{
    QByteArray out("date,close,high,low,open,volume,adjClose,adjHigh,adjLow,adjOpen,adjVolume,divCash,splitFactor\n");
    out.reserve(out.size() + static_cast<qsizetype>(rows.size()) * 110);
    for (const TiingoRow& r : rows) {
        out.append(r.date.toString(Qt::ISODate).toLatin1()).append(',');
        appendCents(out, r.close);
        out.append(',');
        appendCents(out, r.high);
        out.append(',');
        appendCents(out, r.low);
        out.append(',');
        appendCents(out, r.open);
        out.append(',').append(QByteArray::number(r.volume)).append(',');
        appendDecimal(out, r.adjClose);
        out.append(',');
        appendDecimal(out, r.adjHigh);
        out.append(',');
        appendDecimal(out, r.adjLow);
        out.append(',');
        appendDecimal(out, r.adjOpen);
        out.append(',').append(QByteArray::number(r.adjVolume)).append(',');
        appendFactor(out, r.divCash);
        out.append(',');
        appendFactor(out, r.splitFactor);
        out.append('\n');
    }
    return out;
}

QByteArray tiingoDetail(const QString& detail)
{
    return "{\"detail\":" + jsonString(detail) + '}';
}

} // namespace kestrion::sim
