#include "download/source_tables.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>

namespace kestrion {

namespace {

// Volumes beyond this do not fit a qint64 once rounded.
constexpr double kMaxVolume = 9.0e18;
// Seconds from 1970 to the end of year 9999: a timestamp beyond it is not a date.
constexpr double kMaxSeconds = 253402300799.0;
constexpr int kDetailLength = 160;

TableResult failure(FailureReason reason, const QString& detail)
{
    TableResult r;
    r.reason = reason;
    r.detail = detail;
    return r;
}

// Error bodies can echo the request URL, and with it the account token.
// Anything that looks like a key is masked before the text reaches a log.
QString safeDetail(QString text)
{
    static const QRegularExpression keyed(
        QStringLiteral(R"(\b(token|apikey|api_key|api-key|key|crumb|authorization)\s*[=:]\s*[^\s&"',;]+)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression scheme(QStringLiteral(R"(\b(token|bearer)\s+[A-Za-z0-9._~+/-]{16,})"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression longHex(QStringLiteral(R"(\b[0-9a-fA-F]{24,}\b)"));
    text = text.simplified();
    text.replace(keyed, QStringLiteral("\\1=…"));
    text.replace(scheme, QStringLiteral("\\1 …"));
    text.replace(longHex, QStringLiteral("…"));
    if (text.size() > kDetailLength)
        text = text.left(kDetailLength - 1) + QChar(0x2026);
    return text;
}

bool looksLikeHtml(const QByteArray& body)
{
    return body.trimmed().startsWith('<');
}

// The first message-like string of a JSON error body ({"detail": ...},
// {"finance": {"error": {"description": ...}}}, ...).
QString jsonMessage(const QJsonValue& value, int depth = 0)
{
    if (depth > 3 || !value.isObject())
        return {};
    const QJsonObject obj = value.toObject();
    for (const char* key : {"description", "detail", "message", "error"}) {
        const QJsonValue v = obj.value(QLatin1String(key));
        if (v.isString() && !v.toString().trimmed().isEmpty())
            return v.toString();
    }
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        const QString inner = jsonMessage(it.value(), depth + 1);
        if (!inner.isEmpty())
            return inner;
    }
    return {};
}

// What a body that is not a price table says, in a form fit for the error log.
QString bodyGist(const QByteArray& body)
{
    if (body.trimmed().isEmpty() || looksLikeHtml(body))
        return {};
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (doc.isObject())
        return safeDetail(jsonMessage(doc.object()));
    const QByteArray firstLine = body.trimmed().split('\n').value(0);
    return safeDetail(QString::fromUtf8(firstLine));
}

// A body that is not the expected answer: a quota notice, or bad data.
TableResult notATable(const QByteArray& body, const QString& source)
{
    const QString gist = bodyGist(body);
    if (isQuotaText(body)) {
        QString text = source + QStringLiteral(" reports a request limit");
        if (!gist.isEmpty())
            text += QStringLiteral(": ") + gist;
        return failure(FailureReason::RateLimited, text);
    }
    if (body.trimmed().isEmpty())
        return failure(FailureReason::BadData, source + QStringLiteral(" sent an empty answer"));
    if (looksLikeHtml(body))
        return failure(FailureReason::BadData, source + QStringLiteral(" sent a web page instead of prices"));
    QString text = source + QStringLiteral(" sent something other than prices");
    if (!gist.isEmpty())
        text += QStringLiteral(": ") + gist;
    return failure(FailureReason::BadData, text);
}

bool inRange(QDate date, QDate from, QDate to)
{
    return (!from.isValid() || date >= from) && (!to.isValid() || date <= to);
}

// The converters' last step: the daily bars inside the range, folded into
// the run's period (one row per date for a daily run).
std::vector<PriceBar> finishRows(std::vector<PriceBar> rows, HistoryPeriod period)
{
    return foldDailyBars(std::move(rows), period);
}

TableResult tableResult(std::vector<PriceBar> rows, const QString& source)
{
    if (rows.empty())
        return failure(FailureReason::NoData, source + QStringLiteral(" has no prices in the chosen date range"));
    TableResult r;
    r.table = tableText(std::move(rows));
    return r;
}

// ---- Yahoo -----------------------------------------------------------------

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

// Oldest first, each day once; invalid dates sort first.
QList<QDate> sortedDays(QList<QDate> days)
{
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
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

// ---- Tiingo ----------------------------------------------------------------

const QString kTiingo = QStringLiteral("Tiingo");

QByteArray csvField(const QByteArray& raw)
{
    QByteArray f = raw.trimmed();
    if (f.size() >= 2 && f.startsWith('"') && f.endsWith('"'))
        f = f.mid(1, f.size() - 2).trimmed();
    return f;
}

std::optional<double> csvNumber(const QByteArray& field)
{
    bool ok = false;
    const double v = field.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// "2024-01-02" or an ISO date-time such as "2024-01-02T00:00:00.000Z".
QDate csvDate(const QByteArray& field)
{
    if (field.size() < 10)
        return {};
    if (field.size() > 10 && field.at(10) != 'T' && field.at(10) != ' ')
        return {};
    return QDate::fromString(QString::fromLatin1(field.left(10)), QStringLiteral("yyyy-MM-dd"));
}

struct TiingoRow
{
    PriceBar bar;
    double volume = 0;
    double splitFactor = 1;
    bool event = false; // a split or a dividend on this day
};

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

TableResult tiingoTable(const QByteArray& csv, QDate from, QDate to, HistoryPeriod period)
{
    QByteArray body = csv;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    QList<QByteArray> lines = body.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }

    qsizetype headerLine = 0;
    while (headerLine < lines.size() && lines.at(headerLine).trimmed().isEmpty())
        ++headerLine;
    if (headerLine == lines.size())
        return notATable(csv, kTiingo);

    QList<QByteArray> header = lines.at(headerLine).split(',');
    for (QByteArray& name : header)
        name = csvField(name).toLower();
    auto column = [&header](const char* name) { return header.indexOf(QByteArray(name)); };
    const qsizetype cDate = column("date"), cOpen = column("open"), cHigh = column("high"), cLow = column("low"),
                    cClose = column("close"), cVolume = column("volume"), cAdjClose = column("adjclose"),
                    cSplit = column("splitfactor"), cDivCash = column("divcash");
    if (std::min({cDate, cOpen, cHigh, cLow, cClose, cVolume, cAdjClose, cSplit}) < 0)
        return notATable(csv, kTiingo);

    std::vector<TiingoRow> rows;
    for (qsizetype i = headerLine + 1; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        if (line.trimmed().isEmpty())
            continue;
        const auto bad = [i](const QString& why) {
            return failure(FailureReason::BadData,
                           kTiingo + QStringLiteral(" sent an unreadable line %1: ").arg(i + 1) + why);
        };
        QList<QByteArray> fields = line.split(',');
        if (fields.size() != header.size())
            return bad(QStringLiteral("%1 fields instead of %2").arg(fields.size()).arg(header.size()));
        for (QByteArray& f : fields)
            f = csvField(f);

        TiingoRow row;
        row.bar.date = csvDate(fields.at(cDate));
        if (!row.bar.date.isValid())
            return bad(QStringLiteral("bad date"));
        const auto open = csvNumber(fields.at(cOpen)), high = csvNumber(fields.at(cHigh)),
                   low = csvNumber(fields.at(cLow)), close = csvNumber(fields.at(cClose)),
                   volume = csvNumber(fields.at(cVolume)), adjClose = csvNumber(fields.at(cAdjClose)),
                   split = csvNumber(fields.at(cSplit));
        if (!open || !high || !low || !close || !volume || !adjClose || !split)
            return bad(QStringLiteral("a value is not a number"));
        if (*split <= 0)
            return bad(QStringLiteral("split factor is not positive"));
        if (*volume < 0 || *volume > kMaxVolume)
            return bad(QStringLiteral("volume out of range"));
        row.bar.open = *open;
        row.bar.high = *high;
        row.bar.low = *low;
        row.bar.close = *close;
        row.bar.adjClose = *adjClose;
        row.volume = *volume;
        row.splitFactor = *split;
        // divCash is not needed for the prices, so an odd value does not
        // spoil the answer; it still counts as a dividend, to be safe.
        const QByteArray divCash = cDivCash >= 0 ? fields.at(cDivCash) : QByteArray();
        const std::optional<double> dividend = csvNumber(divCash);
        row.event = *split != 1 || (!divCash.isEmpty() && (!dividend || *dividend != 0));
        rows.push_back(row);
    }

    // "Later" means later in time, whatever order the lines came in.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TiingoRow& a, const TiingoRow& b) { return a.bar.date < b.bar.date; });

    // Each row is put on the share basis of the newest row: every split after
    // it divides its prices and multiplies its volume. Rows outside the range
    // still count, as their splits happened all the same.
    std::vector<PriceBar> kept;
    QList<QDate> events;
    double laterSplits = 1;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (it->event)
            events.append(it->bar.date);
        const double factor = laterSplits;
        laterSplits *= it->splitFactor;
        if (!inRange(it->bar.date, from, to))
            continue;
        const double volume = it->volume * factor;
        if (!(factor > 0) || !std::isfinite(factor) || !std::isfinite(volume) || volume > kMaxVolume)
            return failure(FailureReason::BadData, kTiingo + QStringLiteral(" sent split factors out of range"));
        PriceBar bar = it->bar;
        bar.open /= factor;
        bar.high /= factor;
        bar.low /= factor;
        bar.close /= factor;
        bar.volume = qint64(std::llround(volume));
        kept.push_back(bar);
    }
    TableResult table = tableResult(finishRows(std::move(kept), period), kTiingo);
    if (table.ok())
        table.events = sortedDays(std::move(events));
    return table;
}

} // namespace kestrion
