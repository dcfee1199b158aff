#include "own_services.h"

#include "api_formats.h"
#include "faults.h"
#include "price_model.h"

#include <QLocale>

namespace kestrion::sim {

namespace {

constexpr const char* kJson = "application/json";
constexpr qint64 kTokyoOffset = 9 * 3600;

// "1234,5" and "1.234.567", as a German export writes them.
QByteArray german(qint64 value, int places)
{
    const QLocale de(QLocale::German, QLocale::Germany);
    return places == 0 ? de.toString(value).toUtf8() : de.toString(double(value) / 100.0, 'f', places).toUtf8();
}

QByteArray cents(qint64 value)
{
    return QByteArray::number(double(value) / 100.0, 'f', 2);
}

// /export/{symbol}.csv?von=dd.MM.yyyy&bis=dd.MM.yyyy
HttpReply boersenblick(const HttpRequest& request, const QString& symbol)
{
    if (request.header("x-api-key") != kSimBoersenblickKey)
        return HttpReply::withBody(401, "text/plain; charset=utf-8", "Ungültiger API-Schlüssel");
    if (isUnknownSymbol(symbol))
        return HttpReply::withBody(404, "text/plain; charset=utf-8", "Wertpapier nicht gefunden");
    if (Fault::of(symbol).kind == Fault::Kind::E500)
        return HttpReply::withBody(500, "text/plain; charset=utf-8", "Interner Fehler");
    const QueryParams params(request.query);
    const QDate from = QDate::fromString(params.value(QStringLiteral("von")), QStringLiteral("dd.MM.yyyy"));
    const QDate to = QDate::fromString(params.value(QStringLiteral("bis")), QStringLiteral("dd.MM.yyyy"));
    if (!from.isValid() || !to.isValid())
        return HttpReply::withBody(400, "text/plain; charset=utf-8", "Ungültiger Zeitraum");
    QByteArray body = "Kursdaten " + symbol.toUtf8() + "\r\nDatum;Eröffnung;Hoch;Tief;Schluss;Volumen\r\n";
    if (Fault::of(symbol).kind != Fault::Kind::NoData) {
        const std::vector<Bar> bars = PriceModel(symbol).daily(from, to);
        for (auto it = bars.rbegin(); it != bars.rend(); ++it) { // newest first
            body += it->date.toString(QStringLiteral("dd.MM.yyyy")).toLatin1() + ';' + german(it->open, 2) + ';'
                + german(it->high, 2) + ';' + german(it->low, 2) + ';' + german(it->close, 2) + ';'
                + german(it->volume, 0) + "\r\n";
        }
    }
    return HttpReply::withBody(200, "text/csv; charset=utf-8", body);
}

// /v1/history?code=SYM&start=unix&end=unix (end: the day after the last).
// Without a key it serves all the same; a wrong one is refused.
HttpReply kabu(const HttpRequest& request)
{
    const QByteArray auth = request.header("authorization");
    if (!auth.isEmpty() && auth != QByteArray("Token ") + kSimKabuKey)
        return HttpReply::withBody(401, kJson, R"({"error":"invalid token"})");
    const QueryParams params(request.query);
    const QString symbol = params.value(QStringLiteral("code")).toUpper();
    if (isUnknownSymbol(symbol))
        return HttpReply::withBody(404, kJson, R"({"error":"unknown code"})");
    bool okFrom = false, okTo = false;
    const qint64 start = params.value(QStringLiteral("start")).toLongLong(&okFrom);
    const qint64 end = params.value(QStringLiteral("end")).toLongLong(&okTo);
    if (!okFrom || !okTo || end <= start)
        return HttpReply::withBody(400, kJson, R"({"error":"bad range"})");
    const QDate epoch(1970, 1, 1);
    const QDate from = epoch.addDays(start / 86400), to = epoch.addDays((end - 1) / 86400);
    QByteArray bars;
    if (Fault::of(symbol).kind != Fault::Kind::NoData) {
        for (const Bar& bar : PriceModel(symbol).daily(from, to)) {
            if (!bars.isEmpty())
                bars += ',';
            bars += "{\"time\":" + QByteArray::number(unixDay(bar.date) - kTokyoOffset) + ",\"price\":{\"open\":\""
                + cents(bar.open) + "\",\"high\":" + cents(bar.high) + ",\"low\":" + cents(bar.low)
                + ",\"close\":" + cents(bar.close) + "},\"volume\":" + QByteArray::number(bar.volume) + '}';
        }
    }
    return HttpReply::withBody(200, kJson, "{\"data\":{\"symbol\":" + jsonString(symbol) + ",\"bars\":[" + bars + "]}}");
}

} // namespace

std::optional<HttpReply> ownServiceReply(const HttpRequest& request)
{
    const QByteArray& path = request.path;
    static const QByteArray exportPrefix("/export/");
    if (path.startsWith(exportPrefix) && path.endsWith(".csv") && path.size() > exportPrefix.size() + 4) {
        const QByteArray raw = path.mid(exportPrefix.size(), path.size() - exportPrefix.size() - 4);
        if (!raw.contains('/'))
            return boersenblick(request, QString::fromUtf8(percentDecode(raw, false)).toUpper());
    }
    if (path == "/v1/history")
        return kabu(request);
    return std::nullopt;
}

} // namespace kestrion::sim
