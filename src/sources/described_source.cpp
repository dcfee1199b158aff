#include "sources/described_source.h"

#include "sources/service_address.h"

#include <QDateTime>
#include <QTimeZone>
#include <QUrl>

#include <algorithm>

namespace kestrion {

namespace {

// The run's open ends: a first day before any price history, the last today.
QDate firstDay(QDate d)
{
    return d.isValid() ? d : QDate(1900, 1, 1);
}
QDate lastDay(QDate d)
{
    return d.isValid() ? d : QDate::currentDate();
}

qint64 utcSeconds(QDate d)
{
    return QDateTime(d, QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
}

// A day as "dates" says; isEnd: unix stamps end at the next day's start, so
// the whole last day is inside.
QString writtenDay(const QString& way, QDate day, bool isEnd)
{
    if (way == QLatin1String("iso"))
        return day.toString(Qt::ISODate);
    if (way == QLatin1String("unix") || way == QLatin1String("unix-ms")) {
        if (day < QDate(1970, 1, 1))
            day = QDate(1970, 1, 1);
        const qint64 secs = utcSeconds(isEnd ? day.addDays(1) : day);
        return QString::number(way == QLatin1String("unix") ? secs : secs * 1000);
    }
    return day.toString(way);
}

QString encoded(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

// The url template with its scheme, host and port replaced.
QString withHost(const QString& url, const QString& hostOverride)
{
    if (hostOverride.trimmed().isEmpty())
        return url;
    const qsizetype schemeEnd = url.indexOf(QLatin1String("://"));
    if (schemeEnd < 0)
        return url;
    qsizetype pathStart = url.size();
    for (const QChar stop : {QLatin1Char('/'), QLatin1Char('?'), QLatin1Char('#')}) {
        const qsizetype at = url.indexOf(stop, schemeEnd + 3);
        if (at >= 0)
            pathStart = std::min(pathStart, at);
    }
    return serviceBase(hostOverride, QStringLiteral("http")) + url.mid(pathStart);
}

// One pass over the template, so a value holding "{key}" is never filled again.
QString filled(const QString& text, const QMap<QString, QString>& values)
{
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('{'), i);
        const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('}'), open);
        if (open < 0 || close < 0) {
            out += text.mid(i);
            break;
        }
        const QString name = text.mid(open + 1, close - open - 1);
        out += text.mid(i, open - i);
        out += values.contains(name) ? values.value(name) : text.mid(open, close - open + 1);
        i = close + 1;
    }
    return out;
}

} // namespace

std::optional<DescribedInterval> describedInterval(const SourceDescription& d, HistoryPeriod period)
{
    if (!d.hasIntervals)
        return DescribedInterval{};
    if (!d.dailyWord.isEmpty())
        return DescribedInterval{d.dailyWord, true};
    if (period == HistoryPeriod::Weekly && !d.weeklyWord.isEmpty())
        return DescribedInterval{d.weeklyWord, false};
    if (period == HistoryPeriod::Monthly && !d.monthlyWord.isEmpty())
        return DescribedInterval{d.monthlyWord, false};
    return std::nullopt;
}

QString describedSymbol(const SourceDescription& d, const QString& symbol)
{
    QString s = symbol.trimmed();
    if (d.symbolCase == SymbolCase::Upper)
        s = s.toUpper();
    else if (d.symbolCase == SymbolCase::Lower)
        s = s.toLower();
    const bool index = s.startsWith(QLatin1Char('^'));

    // The longest listed prefix that the symbol begins with.
    QString prefixFrom, prefixTo;
    bool prefixFound = false;
    for (auto it = d.prefixes.begin(); it != d.prefixes.end(); ++it) {
        if (!it.key().isEmpty() && s.startsWith(it.key()) && it.key().size() > prefixFrom.size()) {
            prefixFrom = it.key();
            prefixTo = it.value();
            prefixFound = true;
        }
    }
    if (prefixFound)
        s = prefixTo + s.mid(prefixFrom.size());
    else if (d.prefixes.contains(QString()))
        s = d.prefixes.value(QString()) + s;

    // A Yahoo-style exchange suffix: a dot and a few letters or digits at the end.
    QString suffix;
    const qsizetype dot = s.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && s.size() - dot - 1 >= 1 && s.size() - dot - 1 <= 4) {
        const QString tail = s.mid(dot + 1);
        if (std::all_of(tail.begin(), tail.end(), [](QChar c) { return c.isLetterOrNumber(); }))
            suffix = s.mid(dot);
    }
    if (suffix.isEmpty()) {
        if (index && d.indexSuffix)
            return s + *d.indexSuffix;
        return d.suffixes.contains(QString()) ? s + d.suffixes.value(QString()) : s;
    }
    for (auto it = d.suffixes.begin(); it != d.suffixes.end(); ++it) {
        if (!it.key().isEmpty() && it.key().compare(suffix, Qt::CaseInsensitive) == 0)
            return s.left(dot) + it.value();
    }
    return s;
}

HttpGet describedRequest(const SourceDescription& d, const QString& symbol, const DateRange& range,
                         HistoryPeriod period, const QString& apiKey, const QString& hostOverride)
{
    std::optional<DescribedInterval> interval = describedInterval(d, period);
    if (!interval)
        interval = DescribedInterval{!d.monthlyWord.isEmpty() ? d.monthlyWord : d.weeklyWord, false};
    QMap<QString, QString> values;
    values.insert(QStringLiteral("symbol"), pathSymbol(describedSymbol(d, symbol)));
    values.insert(QStringLiteral("from"), encoded(writtenDay(d.dates, firstDay(range.from), false)));
    values.insert(QStringLiteral("to"), encoded(writtenDay(d.dates, lastDay(range.to), true)));
    values.insert(QStringLiteral("interval"), encoded(interval->word));
    values.insert(QStringLiteral("key"), encoded(apiKey));

    HttpGet get;
    get.url = filled(withHost(d.url, hostOverride), values);
    QMap<QString, QString> headerValues;
    headerValues.insert(QStringLiteral("key"), apiKey);
    for (const auto& header : d.headers) {
        // Without an optional key, its header is left out rather than sent
        // half ("Token "), which a service takes for a wrong key.
        if (apiKey.isEmpty() && header.second.contains(QLatin1String("{key}")))
            continue;
        // Header values may not break the line.
        QString value = filled(header.second, headerValues);
        value.remove(QLatin1Char('\r'));
        value.remove(QLatin1Char('\n'));
        get.headers.append({header.first, value.toUtf8()});
    }
    return get;
}

QString maskedAddress(const QString& url, const QString& apiKey)
{
    if (apiKey.isEmpty())
        return url;
    QString out = url;
    out.replace(encoded(apiKey), QStringLiteral("***"));
    out.replace(apiKey, QStringLiteral("***"));
    return out;
}

DescribedSource::DescribedSource(const SourceSetup& setup, SourceDescription description, QString hostOverride)
    : ConvertingSource(setup), m_description(std::move(description)), m_hostOverride(std::move(hostOverride))
{
}

HttpGet DescribedSource::dataRequest(const QString& symbol, const QByteArray&, const DateRange& range) const
{
    return describedRequest(m_description, symbol, range, m_setup.period, m_setup.apiKey, m_hostOverride);
}

// A service may echo the key in its error text; the detail goes to logs.
TableResult DescribedSource::convert(const QByteArray& body, const DateRange& range) const
{
    TableResult result = describedTable(m_description, body, 200, range, m_setup.period);
    result.detail = maskedAddress(result.detail, m_setup.apiKey);
    return result;
}

TableResult DescribedSource::judgeAnswer(const QByteArray& body, int httpStatus) const
{
    TableResult result = describedTable(m_description, body, httpStatus, m_setup.range, m_setup.period);
    result.detail = maskedAddress(result.detail, m_setup.apiKey);
    return result;
}

std::unique_ptr<QuoteSource> makeDescribedSource(const SourceSetup& setup, const SourceDescription& description,
                                                 const QString& hostOverride)
{
    return std::make_unique<DescribedSource>(setup, description, hostOverride);
}

} // namespace kestrion
