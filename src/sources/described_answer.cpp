// The answer side of a described service: error rules, then CSV or JSON
// rows into the table layout.

#include "sources/answer_checks.h"
#include "sources/described_source.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTimeZone>

#include <array>
#include <cmath>

namespace kestrion {

using namespace answers;

namespace {

// Error rules look at the start of the body only: an error notice is short,
// and a price table is never searched through.
constexpr qsizetype kRuleWindow = 4096;

enum Column { cDate, cOpen, cHigh, cLow, cClose, cVolume, cAdjClose, cCount };
using Cells = std::array<QJsonValue, cCount>;

std::array<QString, cCount> fieldNames(const SourceDescription& d)
{
    return {d.dateField, d.openField, d.highField, d.lowField, d.closeField, d.volumeField, d.adjCloseField};
}

// A field by its dotted path; a key that itself holds dots is found whole first.
QJsonValue dotted(const QJsonValue& root, const QString& path)
{
    if (path.isEmpty())
        return root;
    if (root.isObject() && root.toObject().contains(path))
        return root.toObject().value(path);
    QJsonValue v = root;
    for (const QString& part : path.split(QLatin1Char('.'))) {
        if (v.isObject()) {
            v = v.toObject().value(part);
        } else if (v.isArray()) {
            bool ok = false;
            const int i = part.toInt(&ok);
            if (!ok || i < 0 || i >= v.toArray().size())
                return QJsonValue(QJsonValue::Undefined);
            v = v.toArray().at(i);
        } else {
            return QJsonValue(QJsonValue::Undefined);
        }
    }
    return v;
}

QString valueText(const QJsonValue& v)
{
    if (v.isString())
        return v.toString();
    if (v.isBool())
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (v.isDouble()) {
        const double d = v.toDouble();
        return d == std::floor(d) && std::abs(d) < 1e15 ? QString::number(qint64(d)) : QString::number(d, 'g', 17);
    }
    if (v.isNull())
        return QStringLiteral("null");
    return {};
}

// A field's value against a rule's: numbers as numbers, anything else as text.
bool sameValue(const QJsonValue& actual, const QJsonValue& expected)
{
    if (actual.isUndefined())
        return false;
    if (expected.isDouble()) {
        bool ok = false;
        const double a = actual.isDouble() ? actual.toDouble() : actual.toString().trimmed().toDouble(&ok);
        return (actual.isDouble() || ok) && a == expected.toDouble();
    }
    return valueText(actual) == valueText(expected);
}

QString reasonWords(FailureReason reason)
{
    switch (reason) {
    case FailureReason::NotFound:
        return QStringLiteral("does not know this symbol");
    case FailureReason::Unauthorized:
        return QStringLiteral("refuses the API key");
    case FailureReason::RateLimited:
        return QStringLiteral("reports a request limit");
    case FailureReason::NoData:
        return QStringLiteral("has no prices in the chosen date range");
    case FailureReason::ServerError:
        return QStringLiteral("reports an error on its side");
    default:
        return QStringLiteral("sent something other than prices");
    }
}

std::optional<TableResult> ruleFailure(const SourceDescription& d, const QByteArray& body, int status)
{
    if (d.errors.isEmpty())
        return std::nullopt;
    const QString start = QString::fromUtf8(body.left(kRuleWindow));
    std::optional<QJsonValue> root; // parsed on first need
    auto json = [&]() -> const QJsonValue& {
        if (!root) {
            const QJsonDocument doc = QJsonDocument::fromJson(body);
            root = doc.isObject() ? QJsonValue(doc.object()) : doc.isArray() ? QJsonValue(doc.array()) : QJsonValue();
        }
        return *root;
    };
    for (const ErrorRule& rule : d.errors) {
        if (rule.status && *rule.status != status)
            continue;
        if (!rule.contains.isEmpty() && !start.contains(rule.contains, Qt::CaseInsensitive))
            continue;
        if (!rule.field.isEmpty() && !sameValue(dotted(json(), rule.field), rule.equals))
            continue;
        QString detail = d.name + QLatin1Char(' ') + reasonWords(rule.reason);
        if (!rule.message.isEmpty()) {
            const QString said = safeDetail(valueText(dotted(json(), rule.message)));
            if (!said.isEmpty())
                detail += QStringLiteral(": ") + said;
        }
        return failure(rule.reason, detail);
    }
    return std::nullopt;
}

enum class Cell { Value, Missing, Bad };

Cell numberOf(const QJsonValue& v, bool decimalComma, double& out)
{
    if (v.isUndefined() || v.isNull())
        return Cell::Missing;
    if (v.isDouble()) {
        out = v.toDouble();
        return std::isfinite(out) ? Cell::Value : Cell::Bad;
    }
    if (!v.isString())
        return Cell::Bad;
    QString text = v.toString().trimmed();
    const QString lower = text.toLower();
    if (text.isEmpty() || lower == QLatin1String("null") || lower == QLatin1String("n/a") || text == QLatin1String("-"))
        return Cell::Missing;
    if (decimalComma) {
        // "1.234,56" or "1.234.567": there a dot only groups digits.
        text.remove(QLatin1Char('.'));
        text.replace(QLatin1Char(','), QLatin1Char('.'));
    }
    bool ok = false;
    out = text.toDouble(&ok);
    return ok && std::isfinite(out) ? Cell::Value : Cell::Bad;
}

// A CSV answer separated by something other than commas may write its
// decimals with a comma; once one price does, a dot in that answer groups
// thousands ("987.654" is a volume near a million, not below a thousand).
bool usesDecimalComma(const SourceDescription& d, const std::vector<Cells>& rows)
{
    if (d.format != AnswerFormat::Csv || d.separator == QLatin1Char(','))
        return false;
    for (const Cells& cells : rows) {
        for (int c = cOpen; c <= cClose; ++c) {
            if (cells[c].toString().contains(QLatin1Char(',')))
                return true;
        }
    }
    return false;
}

// A row's trading day; invalid when it cannot be read.
QDate dayOf(const QJsonValue& v, const SourceDescription& d, const QTimeZone& zone)
{
    const QString& way = d.dateFormat;
    if (way == QLatin1String("unix") || way == QLatin1String("unix-ms")) {
        bool ok = v.isDouble();
        double stamp = ok ? v.toDouble() : v.toString().trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(stamp))
            return {};
        if (way == QLatin1String("unix-ms"))
            stamp /= 1000.0;
        if (std::abs(stamp) > kMaxSeconds)
            return {};
        return QDateTime::fromSecsSinceEpoch(qint64(std::floor(stamp)), zone).date();
    }
    // A Qt format such as yyyyMMdd may come as a JSON number.
    if (!v.isString() && !(v.isDouble() && way != QLatin1String("iso")))
        return {};
    const QString text = valueText(v).trimmed();
    if (way != QLatin1String("iso")) {
        const QDate day = QDate::fromString(text, way);
        return day.isValid() ? day : QDateTime::fromString(text, way).date();
    }
    if (text.size() < 10 || (text.size() > 10 && text.at(10) != QLatin1Char('T') && text.at(10) != QLatin1Char(' ')))
        return {};
    if (text.size() > 10) {
        // A moment with an offset is a day where the exchange trades.
        QString iso = text;
        iso[10] = QLatin1Char('T');
        const QDateTime moment = QDateTime::fromString(iso, Qt::ISODateWithMs);
        if (moment.isValid() && (moment.timeSpec() == Qt::UTC || moment.timeSpec() == Qt::OffsetFromUTC))
            return moment.toTimeZone(zone).date();
    }
    return QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
}

TableResult bad(const SourceDescription& d, const QString& why)
{
    return failure(FailureReason::BadData, d.name + QStringLiteral(" sent unusable prices: ") + why);
}

// The rows in answer order into the file: a later row of a date replaces an
// earlier, rows with a missing or non-positive price are dropped.
TableResult tableOf(const SourceDescription& d, const std::vector<Cells>& rows, const DateRange& range,
                    HistoryPeriod period, bool ownPeriodRows)
{
    const QTimeZone zone(d.timezone.toUtf8());
    const bool decimalComma = usesDecimalComma(d, rows);
    const auto names = fieldNames(d);
    QMap<QDate, PriceBar> byDay;
    for (size_t i = 0; i < rows.size(); ++i) {
        const Cells& cells = rows[i];
        PriceBar bar;
        bar.date = dayOf(cells[cDate], d, zone);
        if (!bar.date.isValid())
            return bad(d, QStringLiteral("row %1 has no readable date").arg(i + 1));
        double values[cCount] = {};
        bool missing = false;
        for (int c = cOpen; c < cCount; ++c) {
            const bool optional = c == cVolume || c == cAdjClose;
            if (optional && names[c].isEmpty())
                continue;
            const Cell cell = numberOf(cells[c], decimalComma, values[c]);
            if (cell == Cell::Bad)
                return bad(d, QStringLiteral("row %1 has a value that is not a number").arg(i + 1));
            if (cell == Cell::Missing && c != cVolume)
                missing = true;
        }
        if (missing)
            continue;
        bar.open = values[cOpen];
        bar.high = values[cHigh];
        bar.low = values[cLow];
        bar.close = values[cClose];
        bar.adjClose = d.adjCloseField.isEmpty() ? bar.close : values[cAdjClose];
        if (!(bar.open > 0 && bar.high > 0 && bar.low > 0 && bar.close > 0 && bar.adjClose > 0))
            continue;
        if (values[cVolume] < 0 || values[cVolume] > kMaxVolume)
            return bad(d, QStringLiteral("row %1 has a volume out of range").arg(i + 1));
        bar.volume = qint64(std::llround(values[cVolume]));
        if (inRange(bar.date, range.from, range.to))
            byDay.insert(bar.date, bar);
    }
    std::vector<PriceBar> kept(byDay.begin(), byDay.end());
    // The service's own weeks and months are kept as it dates them.
    const HistoryPeriod fold = ownPeriodRows || period == HistoryPeriod::None ? HistoryPeriod::Daily : period;
    return tableResult(finishRows(std::move(kept), fold), d.name);
}

QList<QString> csvFields(const QString& line, QChar separator)
{
    QList<QString> fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar ch = line.at(i);
        if (quoted) {
            if (ch == QLatin1Char('"') && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                field += ch;
                ++i;
            } else if (ch == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += ch;
            }
        } else if (ch == QLatin1Char('"')) {
            quoted = true;
        } else if (ch == separator) {
            fields.append(field.trimmed());
            field.clear();
        } else {
            field += ch;
        }
    }
    fields.append(field.trimmed());
    return fields;
}

// Rows from a CSV answer; nullopt when it is not the table described.
std::optional<std::vector<Cells>> csvRows(const SourceDescription& d, const QByteArray& body, QString& fault)
{
    QString text = QString::fromUtf8(body);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    qsizetype at = d.skip;
    while (at < lines.size() && lines.at(at).trimmed().isEmpty())
        ++at;
    if (at >= lines.size())
        return std::nullopt;
    const QList<QString> header = csvFields(lines.at(at), d.separator);
    std::array<qsizetype, cCount> index;
    const auto names = fieldNames(d);
    qsizetype widest = 0;
    for (int c = 0; c < cCount; ++c) {
        index[c] = -1;
        if (names[c].isEmpty())
            continue;
        for (qsizetype h = 0; h < header.size(); ++h) {
            if (header.at(h).compare(names[c], Qt::CaseInsensitive) == 0) {
                index[c] = h;
                break;
            }
        }
        if (index[c] < 0)
            return std::nullopt;
        widest = std::max(widest, index[c] + 1);
    }
    std::vector<Cells> rows;
    for (qsizetype i = at + 1; i < lines.size(); ++i) {
        if (lines.at(i).trimmed().isEmpty())
            continue;
        const QList<QString> fields = csvFields(lines.at(i), d.separator);
        if (fields.size() < widest) {
            fault = QStringLiteral("line %1 has %2 fields instead of %3").arg(i + 1).arg(fields.size()).arg(header.size());
            return std::vector<Cells>{};
        }
        Cells cells;
        for (int c = 0; c < cCount; ++c) {
            if (index[c] >= 0)
                cells[c] = QJsonValue(fields.at(index[c]));
        }
        rows.push_back(cells);
    }
    return rows;
}

// Rows from a JSON answer; nullopt when the rows are not where described.
std::optional<std::vector<Cells>> jsonRows(const SourceDescription& d, const QByteArray& body, QString& fault)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || (!doc.isArray() && !doc.isObject()))
        return std::nullopt;
    const QJsonValue root = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
    const QJsonValue container = dotted(root, d.rows);
    const auto names = fieldNames(d);
    std::vector<Cells> rows;
    if (!d.columns) {
        if (!container.isArray())
            return std::nullopt;
        const QJsonArray list = container.toArray();
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (!list.at(i).isObject()) {
                fault = QStringLiteral("row %1 is not an object").arg(i + 1);
                return std::vector<Cells>{};
            }
            Cells cells;
            for (int c = 0; c < cCount; ++c) {
                if (!names[c].isEmpty())
                    cells[c] = dotted(list.at(i), names[c]);
            }
            rows.push_back(cells);
        }
        return rows;
    }
    if (!container.isObject())
        return std::nullopt;
    std::array<QJsonArray, cCount> lists;
    for (int c = 0; c < cCount; ++c) {
        if (names[c].isEmpty())
            continue;
        const QJsonValue list = dotted(container, names[c]);
        const bool optional = c == cVolume || c == cAdjClose;
        if (list.isUndefined() && optional)
            continue;
        if (!list.isArray())
            return std::nullopt;
        lists[c] = list.toArray();
        if (lists[c].size() != lists[cDate].size()) {
            fault = QStringLiteral("the lists are of different lengths");
            return std::vector<Cells>{};
        }
    }
    for (qsizetype i = 0; i < lists[cDate].size(); ++i) {
        Cells cells;
        for (int c = 0; c < cCount; ++c) {
            if (!lists[c].isEmpty())
                cells[c] = lists[c].at(i);
        }
        rows.push_back(cells);
    }
    return rows;
}

} // namespace

TableResult describedTable(const SourceDescription& d, const QByteArray& body, int httpStatus, const DateRange& range,
                           HistoryPeriod period)
{
    const int status = httpStatus == 0 ? 200 : httpStatus;
    if (std::optional<TableResult> ruled = ruleFailure(d, body, status))
        return *ruled;
    if (status == 401 || status == 403)
        return failure(FailureReason::Unauthorized, d.name + QStringLiteral(" refuses the API key (HTTP %1)").arg(status));
    if (status == 404)
        return failure(FailureReason::NotFound, d.name + QStringLiteral(" does not know this symbol (HTTP 404)"));
    if (status == 429)
        return failure(FailureReason::RateLimited, d.name + QStringLiteral(" reports a request limit (HTTP 429)"));
    if (status < 200 || status > 299)
        return failure(FailureReason::ServerError, d.name + QStringLiteral(" answered HTTP %1").arg(status));

    QString fault;
    const std::optional<std::vector<Cells>> rows =
        d.format == AnswerFormat::Csv ? csvRows(d, body, fault) : jsonRows(d, body, fault);
    if (!rows)
        return notATable(body, d.name);
    if (!fault.isEmpty())
        return bad(d, fault);
    const std::optional<DescribedInterval> interval = describedInterval(d, period);
    return tableOf(d, *rows, range, period, interval && !interval->foldDaily);
}

} // namespace kestrion
