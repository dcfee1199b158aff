#include "sources/answer_checks.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>

#include <algorithm>

namespace kestrion::answers {

namespace {

constexpr int kDetailLength = 160;

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

} // namespace


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

QList<QDate> sortedDays(QList<QDate> days)
{
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    return days;
}

} // namespace kestrion::answers
