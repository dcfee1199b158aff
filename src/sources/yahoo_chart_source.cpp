#include "sources/yahoo_chart_source.h"
#include "sources/source_registry.h"

#include "sources/answer_checks.h"
#include "sources/service_address.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <optional>

namespace kestrion {

using namespace answers;

namespace {

qint64 utcMidnight(QDate d)
{
    return QDateTime(d, QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
}

// Yahoo's chart API: JSON, bars stamped in the exchange's own time zone.
class YahooChartSource : public ConvertingSource
{
public:
    using ConvertingSource::ConvertingSource;
    QString name() const override { return kSourceYahooChart; }
    HttpGet dataRequest(const QString& symbol, const QByteArray&, const DateRange& range) const override
    {
        // Always daily bars, folded here: the service's weekly and monthly
        // bars take in days outside the range. A day either side: a bar's exchange-local date can lie up to a day
        // away from its UTC stamp. Rows outside the range are dropped later.
        const QString url = serviceBase(m_setup.services.yahooChartHost, QStringLiteral("https"))
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
    TableResult convert(const QByteArray& body, const DateRange& range) const override
    {
        return yahooChartTable(body, range.from, range.to, m_setup.period);
    }
};

const QString kYahoo = QStringLiteral("Yahoo");

TableResult yahooBad(const QString& why)
{
    return failure(FailureReason::BadData, kYahoo + QStringLiteral(" sent unusable chart data: ") + why);
}

// A list from the answer that must hold one entry per timestamp.
std::optional<QJsonArray> seriesOf(const QJsonObject& obj, const char* name, qsizetype count)
{
    const QJsonValue v = obj.value(QLatin1String(name));
    if (!v.isArray() || v.toArray().size() != count)
        return std::nullopt;
    return v.toArray();
}

// The exchange-local day of a UTC timestamp.
QDate localDay(double stamp, qint64 gmtOffset)
{
    const qint64 local = qint64(std::floor(stamp)) + gmtOffset;
    const qint64 days = local >= 0 ? local / 86400 : -((-local + 86399) / 86400);
    return QDate(1970, 1, 1).addDays(days);
}

// The days of events.splits and events.dividends, each keyed by its
// timestamp and carrying it again as "date". The block never makes an answer
// unusable: an entry without a readable time is an invalid date.
QList<QDate> chartEvents(const QJsonObject& result, qint64 gmtOffset)
{
    QList<QDate> days;
    const QJsonObject events = result.value(QLatin1String("events")).toObject();
    for (const char* kind : {"splits", "dividends"}) {
        const QJsonObject entries = events.value(QLatin1String(kind)).toObject();
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            const QJsonValue date = it.value().toObject().value(QLatin1String("date"));
            bool keyOk = false;
            const double key = it.key().toDouble(&keyOk);
            const std::optional<double> stamp = date.isDouble() ? date.toDouble()
                : keyOk                                         ? std::optional<double>(key)
                                                                : std::nullopt;
            const bool readable = stamp && std::isfinite(*stamp) && std::abs(*stamp) <= kMaxSeconds;
            days.append(readable ? localDay(*stamp, gmtOffset) : QDate());
        }
    }
    return days;
}

enum class Cell { Value, Null, Bad };

Cell cellValue(const QJsonValue& v, double& out)
{
    if (v.isNull() || v.isUndefined())
        return Cell::Null;
    if (!v.isDouble())
        return Cell::Bad;
    out = v.toDouble();
    return std::isfinite(out) ? Cell::Value : Cell::Bad;
}

} // namespace

TableResult yahooChartTable(const QByteArray& json, QDate from, QDate to, HistoryPeriod period)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return notATable(json, kYahoo);
    const QJsonValue chartValue = doc.object().value(QLatin1String("chart"));
    if (!chartValue.isObject())
        return notATable(json, kYahoo);
    const QJsonObject chart = chartValue.toObject();

    const QJsonValue errorValue = chart.value(QLatin1String("error"));
    if (errorValue.isObject()) {
        const QJsonObject error = errorValue.toObject();
        const QString code = error.value(QLatin1String("code")).toString();
        const QString description = safeDetail(error.value(QLatin1String("description")).toString());
        if (code.compare(QLatin1String("Not Found"), Qt::CaseInsensitive) == 0)
            return failure(FailureReason::NotFound,
                           description.isEmpty() ? QStringLiteral("Yahoo does not know this symbol") : description);
        // A limit notice is worth waiting for; bad data is not.
        if (isQuotaText((code + QLatin1Char(' ') + description).toUtf8()))
            return failure(FailureReason::RateLimited,
                           kYahoo + QStringLiteral(" reports a request limit: ") + description);
        const QString what = description.isEmpty() ? safeDetail(code) : description;
        return failure(FailureReason::BadData,
                       what.isEmpty() ? kYahoo + QStringLiteral(" reported an error")
                                      : kYahoo + QStringLiteral(" reported an error: ") + what);
    }
    if (!errorValue.isNull() && !errorValue.isUndefined())
        return yahooBad(QStringLiteral("unexpected error entry"));

    const QJsonValue resultValue = chart.value(QLatin1String("result"));
    if (!resultValue.isArray())
        return notATable(json, kYahoo);
    const QJsonArray results = resultValue.toArray();
    if (results.isEmpty())
        return tableResult({}, kYahoo);
    if (!results.at(0).isObject())
        return yahooBad(QStringLiteral("no result entry"));
    const QJsonObject result = results.at(0).toObject();

    // Bars are stamped in UTC; the exchange's offset gives their trading day.
    qint64 gmtOffset = 0;
    const QJsonValue offsetValue = result.value(QLatin1String("meta")).toObject().value(QLatin1String("gmtoffset"));
    if (!offsetValue.isUndefined() && !offsetValue.isNull()) {
        if (!offsetValue.isDouble() || std::abs(offsetValue.toDouble()) > 86400.0)
            return yahooBad(QStringLiteral("bad time zone offset"));
        gmtOffset = qint64(offsetValue.toDouble());
    }

    // A range without trading days comes without the timestamp list.
    const QJsonValue timestampValue = result.value(QLatin1String("timestamp"));
    if (timestampValue.isUndefined() || timestampValue.isNull())
        return tableResult({}, kYahoo);
    if (!timestampValue.isArray())
        return yahooBad(QStringLiteral("timestamps are not a list"));
    const QJsonArray timestamps = timestampValue.toArray();
    const qsizetype count = timestamps.size();

    const QJsonObject indicators = result.value(QLatin1String("indicators")).toObject();
    const QJsonArray quoteList = indicators.value(QLatin1String("quote")).toArray();
    if (quoteList.isEmpty() || !quoteList.at(0).isObject())
        return yahooBad(QStringLiteral("no price lists"));
    const QJsonObject quote = quoteList.at(0).toObject();
    const auto opens = seriesOf(quote, "open", count);
    const auto highs = seriesOf(quote, "high", count);
    const auto lows = seriesOf(quote, "low", count);
    const auto closes = seriesOf(quote, "close", count);
    const auto volumes = seriesOf(quote, "volume", count);
    if (!opens || !highs || !lows || !closes || !volumes)
        return yahooBad(QStringLiteral("price lists missing or of different lengths"));

    std::optional<QJsonArray> adjCloses;
    const QJsonValue adjValue = indicators.value(QLatin1String("adjclose"));
    if (adjValue.isArray() && !adjValue.toArray().isEmpty()) {
        adjCloses = seriesOf(adjValue.toArray().at(0).toObject(), "adjclose", count);
        if (!adjCloses)
            return yahooBad(QStringLiteral("adjusted closes missing or of a different length"));
    } else if (!adjValue.isUndefined() && !adjValue.isNull() && !adjValue.isArray()) {
        return yahooBad(QStringLiteral("adjusted closes are not a list"));
    }
    // Without the adjusted block the close is all there is.
    const QJsonArray& adjSource = adjCloses ? *adjCloses : *closes;

    std::vector<PriceBar> rows;
    rows.reserve(size_t(count));
    for (qsizetype i = 0; i < count; ++i) {
        double stamp = 0;
        const Cell stampCell = cellValue(timestamps.at(i), stamp);
        if (stampCell == Cell::Bad || std::abs(stamp) > kMaxSeconds)
            return yahooBad(QStringLiteral("bad timestamp"));
        if (stampCell == Cell::Null)
            continue;
        PriceBar bar;
        bar.date = localDay(stamp, gmtOffset);
        if (!inRange(bar.date, from, to))
            continue;

        double volume = 0;
        const Cell cells[] = {cellValue(opens->at(i), bar.open),        cellValue(highs->at(i), bar.high),
                              cellValue(lows->at(i), bar.low),          cellValue(closes->at(i), bar.close),
                              cellValue(adjSource.at(i), bar.adjClose), cellValue(volumes->at(i), volume)};
        if (std::any_of(std::begin(cells), std::end(cells), [](Cell c) { return c == Cell::Bad; }))
            return yahooBad(QStringLiteral("a price is not a number"));
        // Yahoo leaves gaps as null (holidays, halted days): skip the row.
        if (std::any_of(std::begin(cells), std::end(cells), [](Cell c) { return c == Cell::Null; }))
            continue;
        if (volume < 0 || volume > kMaxVolume)
            return yahooBad(QStringLiteral("volume out of range"));
        bar.volume = qint64(std::llround(volume));
        rows.push_back(bar);
    }
    TableResult table = tableResult(finishRows(std::move(rows), period), kYahoo);
    if (table.ok())
        table.events = sortedDays(chartEvents(result, gmtOffset));
    return table;
}


std::unique_ptr<QuoteSource> makeYahooChartSource(const SourceSetup& setup)
{
    return std::make_unique<YahooChartSource>(setup);
}

} // namespace kestrion
