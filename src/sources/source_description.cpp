#include "sources/source_description.h"
#include "sources/source_names.h"

#include "core/settings_record.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTimeZone>

#include <cmath>

namespace kestrion {

namespace {

// A description is a few hundred bytes; anything far larger is not one.
constexpr qint64 kMaxDescriptionBytes = 1024 * 1024;

const QStringList kTopKeys = {
    QStringLiteral("name"),    QStringLiteral("url"),       QStringLiteral("headers"),
    QStringLiteral("key"),     QStringLiteral("key-help"),  QStringLiteral("intervals"),
    QStringLiteral("dates"),   QStringLiteral("symbol"),    QStringLiteral("format"),
    QStringLiteral("csv"),     QStringLiteral("rows"),      QStringLiteral("columns"),
    QStringLiteral("fields"),  QStringLiteral("date-format"), QStringLiteral("timezone"),
    QStringLiteral("errors"),  QStringLiteral("requests-per-minute"), QStringLiteral("parallel")};

// Collects the faults of one file, each naming the file and the key.
class Checker
{
public:
    explicit Checker(QString file) : m_file(std::move(file)) {}
    void fault(const QString& key, const QString& what)
    {
        m_problems.append(key.isEmpty() ? m_file + QStringLiteral(": ") + what
                                        : m_file + QStringLiteral(": ") + key + QStringLiteral(": ") + what);
    }
    void onlyKeys(const QJsonObject& obj, const QStringList& allowed, const QString& where)
    {
        for (auto it = obj.begin(); it != obj.end(); ++it) {
            if (!allowed.contains(it.key()))
                fault(where.isEmpty() ? it.key() : where + QLatin1Char('.') + it.key(), QStringLiteral("unknown key"));
        }
    }
    // A string value; absent gives fallback.
    QString text(const QJsonObject& obj, const QString& key, const QString& where, const QString& fallback = {})
    {
        const QJsonValue v = obj.value(key);
        if (v.isUndefined())
            return fallback;
        if (!v.isString()) {
            fault(where, QStringLiteral("must be a text"));
            return fallback;
        }
        return v.toString();
    }
    int whole(const QJsonObject& obj, const QString& key, int min, int max, int fallback)
    {
        const QJsonValue v = obj.value(key);
        if (v.isUndefined())
            return fallback;
        const double d = v.toDouble(-1);
        if (!v.isDouble() || d != std::floor(d) || d < min || d > max) {
            fault(key, QStringLiteral("must be a whole number from %1 to %2").arg(min).arg(max));
            return fallback;
        }
        return int(d);
    }
    // An object of texts, for headers, suffixes and prefixes.
    QMap<QString, QString> textMap(const QJsonObject& obj, const QString& key, const QString& where)
    {
        QMap<QString, QString> map;
        const QJsonValue v = obj.value(key);
        if (v.isUndefined())
            return map;
        if (!v.isObject()) {
            fault(where, QStringLiteral("must be an object"));
            return map;
        }
        const QJsonObject inner = v.toObject();
        for (auto it = inner.begin(); it != inner.end(); ++it) {
            if (!it.value().isString())
                fault(where + QLatin1Char('.') + it.key(), QStringLiteral("must be a text"));
            else
                map.insert(it.key(), it.value().toString());
        }
        return map;
    }
    QStringList problems() const { return m_problems; }
    bool clean() const { return m_problems.isEmpty(); }

private:
    QString m_file;
    QStringList m_problems;
};

// "iso", "unix", "unix-ms" or a Qt format that writes and reads back a day.
bool usableDateWay(const QString& way)
{
    if (way == QLatin1String("iso") || way == QLatin1String("unix") || way == QLatin1String("unix-ms"))
        return true;
    const QDate probe(2024, 11, 28);
    const QString written = probe.toString(way);
    return !written.isEmpty() && QDate::fromString(written, way) == probe;
}

const QStringList& builtInNames()
{
    static const QStringList names = {kSourceYahoo, kSourceWallStreetCity, kSourceYahooChart, kSourceTiingo};
    return names;
}

void readIntervals(Checker& c, const QJsonObject& root, SourceDescription& d)
{
    const QJsonValue v = root.value(QLatin1String("intervals"));
    if (v.isUndefined())
        return;
    if (!v.isObject()) {
        c.fault(QStringLiteral("intervals"), QStringLiteral("must be an object"));
        return;
    }
    const QJsonObject obj = v.toObject();
    c.onlyKeys(obj, {QStringLiteral("daily"), QStringLiteral("weekly"), QStringLiteral("monthly")},
               QStringLiteral("intervals"));
    d.dailyWord = c.text(obj, QStringLiteral("daily"), QStringLiteral("intervals.daily"));
    d.weeklyWord = c.text(obj, QStringLiteral("weekly"), QStringLiteral("intervals.weekly"));
    d.monthlyWord = c.text(obj, QStringLiteral("monthly"), QStringLiteral("intervals.monthly"));
    d.hasIntervals = !d.dailyWord.isEmpty() || !d.weeklyWord.isEmpty() || !d.monthlyWord.isEmpty();
    if (!d.hasIntervals)
        c.fault(QStringLiteral("intervals"), QStringLiteral("names none of daily, weekly, monthly"));
}

void readSymbol(Checker& c, const QJsonObject& root, SourceDescription& d)
{
    const QJsonValue v = root.value(QLatin1String("symbol"));
    if (v.isUndefined())
        return;
    if (!v.isObject()) {
        c.fault(QStringLiteral("symbol"), QStringLiteral("must be an object"));
        return;
    }
    const QJsonObject obj = v.toObject();
    c.onlyKeys(obj,
               {QStringLiteral("case"), QStringLiteral("suffixes"), QStringLiteral("prefixes"),
                QStringLiteral("index-suffix")},
               QStringLiteral("symbol"));
    const QString symbolCase = c.text(obj, QStringLiteral("case"), QStringLiteral("symbol.case"), QStringLiteral("as-is"));
    if (symbolCase == QLatin1String("upper"))
        d.symbolCase = SymbolCase::Upper;
    else if (symbolCase == QLatin1String("lower"))
        d.symbolCase = SymbolCase::Lower;
    else if (symbolCase != QLatin1String("as-is"))
        c.fault(QStringLiteral("symbol.case"), QStringLiteral("must be \"upper\", \"lower\" or \"as-is\""));
    d.suffixes = c.textMap(obj, QStringLiteral("suffixes"), QStringLiteral("symbol.suffixes"));
    d.prefixes = c.textMap(obj, QStringLiteral("prefixes"), QStringLiteral("symbol.prefixes"));
    if (obj.contains(QLatin1String("index-suffix")))
        d.indexSuffix = c.text(obj, QStringLiteral("index-suffix"), QStringLiteral("symbol.index-suffix"));
}

void readAnswerShape(Checker& c, const QJsonObject& root, SourceDescription& d)
{
    const QString format = c.text(root, QStringLiteral("format"), QStringLiteral("format"));
    if (!root.contains(QLatin1String("format")))
        c.fault(QStringLiteral("format"), QStringLiteral("missing"));
    else if (format == QLatin1String("csv"))
        d.format = AnswerFormat::Csv;
    else if (format == QLatin1String("json"))
        d.format = AnswerFormat::Json;
    else if (!format.isEmpty() || root.value(QLatin1String("format")).isString())
        c.fault(QStringLiteral("format"), QStringLiteral("must be \"csv\" or \"json\""));

    const QJsonValue csv = root.value(QLatin1String("csv"));
    if (csv.isObject()) {
        const QJsonObject obj = csv.toObject();
        c.onlyKeys(obj, {QStringLiteral("separator"), QStringLiteral("skip")}, QStringLiteral("csv"));
        const QString sep = c.text(obj, QStringLiteral("separator"), QStringLiteral("csv.separator"), QStringLiteral(","));
        if (sep.size() != 1 || sep.at(0) == QLatin1Char('"') || sep.at(0) == QLatin1Char('\n'))
            c.fault(QStringLiteral("csv.separator"), QStringLiteral("must be one character"));
        else
            d.separator = sep.at(0);
        const QJsonValue skip = obj.value(QLatin1String("skip"));
        if (!skip.isUndefined()) {
            if (!skip.isDouble() || skip.toDouble() < 0 || skip.toDouble() > 1000
                || skip.toDouble() != std::floor(skip.toDouble()))
                c.fault(QStringLiteral("csv.skip"), QStringLiteral("must be a whole number from 0 to 1000"));
            else
                d.skip = skip.toInt();
        }
    } else if (!csv.isUndefined()) {
        c.fault(QStringLiteral("csv"), QStringLiteral("must be an object"));
    }
    d.rows = c.text(root, QStringLiteral("rows"), QStringLiteral("rows"));
    const QJsonValue columns = root.value(QLatin1String("columns"));
    if (columns.isBool())
        d.columns = columns.toBool();
    else if (!columns.isUndefined())
        c.fault(QStringLiteral("columns"), QStringLiteral("must be true or false"));

    const QJsonValue fields = root.value(QLatin1String("fields"));
    if (!fields.isObject()) {
        c.fault(QStringLiteral("fields"), fields.isUndefined() ? QStringLiteral("missing") : QStringLiteral("must be an object"));
        return;
    }
    const QJsonObject obj = fields.toObject();
    const QStringList required = {QStringLiteral("date"), QStringLiteral("open"), QStringLiteral("high"),
                                  QStringLiteral("low"), QStringLiteral("close")};
    c.onlyKeys(obj, required + QStringList{QStringLiteral("volume"), QStringLiteral("adjclose")}, QStringLiteral("fields"));
    QString* targets[] = {&d.dateField, &d.openField, &d.highField, &d.lowField, &d.closeField};
    for (int i = 0; i < required.size(); ++i) {
        *targets[i] = c.text(obj, required.at(i), QStringLiteral("fields.") + required.at(i));
        if (targets[i]->trimmed().isEmpty())
            c.fault(QStringLiteral("fields.") + required.at(i), QStringLiteral("missing"));
    }
    d.volumeField = c.text(obj, QStringLiteral("volume"), QStringLiteral("fields.volume"));
    d.adjCloseField = c.text(obj, QStringLiteral("adjclose"), QStringLiteral("fields.adjclose"));
}

void readErrors(Checker& c, const QJsonObject& root, SourceDescription& d)
{
    const QJsonValue v = root.value(QLatin1String("errors"));
    if (v.isUndefined())
        return;
    if (!v.isArray()) {
        c.fault(QStringLiteral("errors"), QStringLiteral("must be a list"));
        return;
    }
    const QJsonArray list = v.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString where = QStringLiteral("errors[%1]").arg(i);
        if (!list.at(i).isObject()) {
            c.fault(where, QStringLiteral("must be an object"));
            continue;
        }
        const QJsonObject obj = list.at(i).toObject();
        c.onlyKeys(obj,
                   {QStringLiteral("reason"), QStringLiteral("status"), QStringLiteral("contains"),
                    QStringLiteral("field"), QStringLiteral("equals"), QStringLiteral("message")},
                   where);
        ErrorRule rule;
        const QString reason = c.text(obj, QStringLiteral("reason"), where + QStringLiteral(".reason"));
        if (const auto r = describedReason(reason))
            rule.reason = *r;
        else
            c.fault(where + QStringLiteral(".reason"),
                    reason.isEmpty() ? QStringLiteral("missing") : QStringLiteral("unknown reason \"%1\"").arg(reason));
        if (obj.contains(QLatin1String("status"))) {
            const QJsonValue s = obj.value(QLatin1String("status"));
            const double code = s.toDouble(-1);
            if (!s.isDouble() || code != std::floor(code) || code < 100 || code > 599)
                c.fault(where + QStringLiteral(".status"), QStringLiteral("must be an HTTP status code"));
            else
                rule.status = int(code);
        }
        rule.contains = c.text(obj, QStringLiteral("contains"), where + QStringLiteral(".contains"));
        rule.field = c.text(obj, QStringLiteral("field"), where + QStringLiteral(".field"));
        rule.equals = obj.value(QLatin1String("equals"));
        rule.message = c.text(obj, QStringLiteral("message"), where + QStringLiteral(".message"));
        if (!rule.field.isEmpty() && rule.equals.isUndefined())
            c.fault(where + QStringLiteral(".field"), QStringLiteral("needs \"equals\""));
        if (rule.field.isEmpty() && !rule.equals.isUndefined())
            c.fault(where + QStringLiteral(".equals"), QStringLiteral("needs \"field\""));
        if (rule.equals.isObject() || rule.equals.isArray())
            c.fault(where + QStringLiteral(".equals"), QStringLiteral("must be a text, number or true/false"));
        if (!rule.status && rule.contains.isEmpty() && rule.field.isEmpty())
            c.fault(where, QStringLiteral("has no test (status, contains or field)"));
        d.errors.append(rule);
    }
}

// Every placeholder in the address and headers must be one the request can fill.
void checkPlaceholders(Checker& c, const SourceDescription& d)
{
    static const QRegularExpression placeholder(QStringLiteral(R"(\{([^{}]*)\})"));
    auto check = [&](const QString& text, const QString& where) {
        for (auto it = placeholder.globalMatch(text); it.hasNext();) {
            const QString name = it.next().captured(1);
            if (name == QLatin1String("symbol") || name == QLatin1String("from") || name == QLatin1String("to"))
                continue;
            if (name == QLatin1String("interval")) {
                if (!d.hasIntervals)
                    c.fault(where, QStringLiteral("{interval} needs \"intervals\""));
            } else if (name == QLatin1String("key")) {
                if (d.key == DescribedKey::None)
                    c.fault(where, QStringLiteral("{key} needs \"key\" to be \"required\" or \"optional\""));
            } else {
                c.fault(where, QStringLiteral("unknown placeholder {%1}").arg(name));
            }
        }
    };
    check(d.url, QStringLiteral("url"));
    for (const auto& header : d.headers)
        check(header.second, QStringLiteral("headers.") + QString::fromUtf8(header.first));
}

} // namespace

QString describedCliName(const QString& name)
{
    QString out;
    bool gap = false;
    for (const QChar ch : name.toLower()) {
        if (ch.isLetterOrNumber()) {
            if (gap && !out.isEmpty())
                out += QLatin1Char('-');
            out += ch;
            gap = false;
        } else {
            gap = true;
        }
    }
    return out;
}

QString describedKeyVariable(const QString& name)
{
    return QStringLiteral("KESTRION_") + describedCliName(name).toUpper().replace(QLatin1Char('-'), QLatin1Char('_'))
        + QStringLiteral("_KEY");
}

std::optional<FailureReason> describedReason(const QString& text)
{
    for (FailureReason r : {FailureReason::NotFound, FailureReason::NoData, FailureReason::RateLimited,
                            FailureReason::Unauthorized, FailureReason::ServerError, FailureReason::BadData}) {
        if (reasonText(r) == text)
            return r;
    }
    return std::nullopt;
}

QList<HistoryPeriod> describedPeriods(const SourceDescription& d)
{
    if (!d.hasIntervals || !d.dailyWord.isEmpty())
        return {HistoryPeriod::Daily, HistoryPeriod::Weekly, HistoryPeriod::Monthly};
    QList<HistoryPeriod> periods;
    if (!d.weeklyWord.isEmpty())
        periods.append(HistoryPeriod::Weekly);
    if (!d.monthlyWord.isEmpty())
        periods.append(HistoryPeriod::Monthly);
    return periods;
}

DescriptionParse parseSourceDescription(const QByteArray& json, const QString& fileName)
{
    Checker c(fileName);
    DescriptionParse result;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        c.fault({}, QStringLiteral("not valid JSON at offset %1: %2").arg(error.offset).arg(error.errorString()));
        result.problems = c.problems();
        return result;
    }
    if (!doc.isObject()) {
        c.fault({}, QStringLiteral("must hold one JSON object"));
        result.problems = c.problems();
        return result;
    }
    const QJsonObject root = doc.object();
    c.onlyKeys(root, kTopKeys, {});

    SourceDescription d;
    d.filePath = fileName;
    d.name = c.text(root, QStringLiteral("name"), QStringLiteral("name")).trimmed();
    d.cliName = describedCliName(d.name);
    if (d.name.isEmpty() || d.cliName.isEmpty())
        c.fault(QStringLiteral("name"), root.contains(QLatin1String("name")) ? QStringLiteral("has no letters or digits")
                                                                            : QStringLiteral("missing"));
    for (const QString& builtIn : builtInNames()) {
        if (!d.cliName.isEmpty() && describedCliName(builtIn) == d.cliName)
            c.fault(QStringLiteral("name"), QStringLiteral("\"%1\" is a built-in source").arg(builtIn));
    }

    d.url = c.text(root, QStringLiteral("url"), QStringLiteral("url")).trimmed();
    if (d.url.isEmpty())
        c.fault(QStringLiteral("url"), QStringLiteral("missing"));
    else if (!d.url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)
             && !d.url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        c.fault(QStringLiteral("url"), QStringLiteral("must begin with https:// or http://"));

    const QMap<QString, QString> headers = c.textMap(root, QStringLiteral("headers"), QStringLiteral("headers"));
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        if (it.key().trimmed().isEmpty() || it.key().contains(QLatin1Char(':')) || it.value().contains(QLatin1Char('\n')))
            c.fault(QStringLiteral("headers.") + it.key(), QStringLiteral("not a usable header"));
        else
            d.headers.append({it.key().toUtf8(), it.value()});
    }

    const QString key = c.text(root, QStringLiteral("key"), QStringLiteral("key"), QStringLiteral("none"));
    if (key == QLatin1String("required"))
        d.key = DescribedKey::Required;
    else if (key == QLatin1String("optional"))
        d.key = DescribedKey::Optional;
    else if (key != QLatin1String("none"))
        c.fault(QStringLiteral("key"), QStringLiteral("must be \"required\", \"optional\" or \"none\""));
    d.keyHelp = c.text(root, QStringLiteral("key-help"), QStringLiteral("key-help")).simplified();

    readIntervals(c, root, d);
    d.dates = c.text(root, QStringLiteral("dates"), QStringLiteral("dates"), d.dates);
    if (!usableDateWay(d.dates))
        c.fault(QStringLiteral("dates"), QStringLiteral("\"%1\" is not iso, unix, unix-ms or a date format").arg(d.dates));
    readSymbol(c, root, d);
    readAnswerShape(c, root, d);
    d.dateFormat = c.text(root, QStringLiteral("date-format"), QStringLiteral("date-format"), d.dateFormat);
    if (!usableDateWay(d.dateFormat))
        c.fault(QStringLiteral("date-format"),
                QStringLiteral("\"%1\" is not iso, unix, unix-ms or a date format").arg(d.dateFormat));
    d.timezone = c.text(root, QStringLiteral("timezone"), QStringLiteral("timezone"), d.timezone);
    if (!QTimeZone(d.timezone.toUtf8()).isValid())
        c.fault(QStringLiteral("timezone"), QStringLiteral("unknown time zone \"%1\"").arg(d.timezone));
    readErrors(c, root, d);
    d.requestsPerMinute = c.whole(root, QStringLiteral("requests-per-minute"), 1, 10000, 0);
    d.parallel = c.whole(root, QStringLiteral("parallel"), 1, kMaxParallelRequests, 1);
    checkPlaceholders(c, d);

    result.problems = c.problems();
    if (c.clean())
        result.description = d;
    return result;
}

DescriptionSet loadSourceDescriptions(const QStringList& folders)
{
    DescriptionSet set;
    for (int folderIndex = 0; folderIndex < folders.size(); ++folderIndex) {
        const QDir dir(folders.at(folderIndex));
        if (folders.at(folderIndex).isEmpty() || !dir.exists())
            continue;
        QSet<QString> seenHere;
        const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
        for (const QFileInfo& info : files) {
            const QString path = info.absoluteFilePath();
            QFile file(path);
            if (info.size() > kMaxDescriptionBytes) {
                set.problems.append(path + QStringLiteral(": too large to be a description"));
                continue;
            }
            if (!file.open(QIODevice::ReadOnly)) {
                set.problems.append(path + QStringLiteral(": cannot be read: ") + file.errorString());
                continue;
            }
            DescriptionParse parsed = parseSourceDescription(file.readAll(), path);
            set.problems += parsed.problems;
            if (!parsed.description)
                continue;
            SourceDescription d = *parsed.description;
            d.folderIndex = folderIndex;
            if (seenHere.contains(d.cliName)) {
                set.problems.append(path + QStringLiteral(": name: \"%1\" is already described in this folder").arg(d.name));
                continue;
            }
            seenHere.insert(d.cliName);
            auto same = std::find_if(set.usable.begin(), set.usable.end(),
                                     [&d](const SourceDescription& e) { return e.cliName == d.cliName; });
            if (same != set.usable.end())
                *same = d;
            else
                set.usable.push_back(d);
        }
    }
    return set;
}

} // namespace kestrion
