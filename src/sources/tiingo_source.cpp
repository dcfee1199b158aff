#include "sources/tiingo_source.h"
#include "sources/source_registry.h"

#include "sources/answer_checks.h"
#include "sources/service_address.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace kestrion {

using namespace answers;

namespace {

QString isoDate(QDate d)
{
    return d.toString(Qt::ISODate);
}

// Tiingo's daily prices as CSV; the key goes in a header, never the address.
class TiingoSource : public ConvertingSource
{
public:
    using ConvertingSource::ConvertingSource;
    QString name() const override { return kSourceTiingo; }
    HttpGet dataRequest(const QString& symbol, const QByteArray&, const DateRange& range) const override
    {
        // Always daily rows, folded here: the service dates a weekly or
        // monthly row at its period's end, past the range.
        const QString url = serviceBase(m_setup.services.tiingoHost, QStringLiteral("https"))
            + QStringLiteral("/tiingo/daily/") + pathSymbol(symbol.toLower()) + QStringLiteral("/prices?startDate=")
            + isoDate(range.from) + QStringLiteral("&endDate=") + isoDate(range.to) + QStringLiteral("&resampleFreq=daily&format=csv");
        return {url, {{"Authorization", "Token " + m_setup.apiKey.toUtf8()}}};
    }
    TableResult convert(const QByteArray& body, const DateRange& range) const override
    {
        return tiingoTable(body, range.from, range.to, m_setup.period);
    }
};

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


std::unique_ptr<QuoteSource> makeTiingoSource(const SourceSetup& setup)
{
    return std::make_unique<TiingoSource>(setup);
}

} // namespace kestrion
