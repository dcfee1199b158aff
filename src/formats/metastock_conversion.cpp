#include "formats/metastock_conversion.h"

#include "formats/metastock_writer.h"
#include "formats/month_names.h"

#include <QDate>
#include <QFile>

#include <cmath>
#include <limits>
#include <optional>

namespace kestrion {

namespace {

std::optional<float> number(const QByteArray& text)
{
    return quoteValue(QString::fromLatin1(text));
}

std::optional<qint32> isoDate(const QByteArray& text)
{
    const QDate d = QDate::fromString(QString::fromLatin1(text.trimmed()), Qt::ISODate);
    if (!d.isValid())
        return std::nullopt;
    return qint32(d.year() * 10000 + d.month() * 100 + d.day());
}


constexpr qsizetype kSearchedPlaces = 75;
constexpr qsizetype kSlots = 9;

bool allDigits(const QString& s, qsizetype minLength, qsizetype maxLength)
{
    if (s.size() < minLength || s.size() > maxLength)
        return false;
    for (const QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

int fullYear(const QString& year)
{
    const int y = year.toInt();
    if (year.size() == 4)
        return y;
    return y < 30 ? 2000 + y : 1900 + y;
}

int monthNumber(const QString& name)
{
    const QStringList& names = monthNames();
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i) + 1;
    }
    return 0;
}

bool isYear(const QString& s)
{
    return allDigits(s, 2, 2) || allDigits(s, 4, 4);
}

std::optional<QDate> readDate(const QString& text)
{
    const QString s = text.trimmed();
    // Dotted dates are left alone: 05.09.2003 is May in some places and
    // September in others.
    for (const QChar sep : {QLatin1Char('/'), QLatin1Char('-'), QLatin1Char(' ')}) {
        const QStringList p = s.split(sep);
        if (p.size() != 3)
            continue;
        int y = 0, m = 0, d = 0;
        const bool numeric = sep != QLatin1Char(' ');
        if (numeric && allDigits(p[0], 4, 4) && allDigits(p[1], 1, 2) && allDigits(p[2], 1, 2)) {
            y = p[0].toInt(); // 2003-09-25
            m = p[1].toInt();
            d = p[2].toInt();
        } else if (numeric && allDigits(p[0], 1, 2) && allDigits(p[1], 1, 2) && isYear(p[2])) {
            m = p[0].toInt(); // 9/25/2003: month first, as the quote services write it
            d = p[1].toInt();
            y = fullYear(p[2]);
        } else if (sep != QLatin1Char('/') && allDigits(p[0], 1, 2) && monthNumber(p[1]) > 0 && isYear(p[2])) {
            d = p[0].toInt(); // 25-Sep-2003, 25 Sep 03
            m = monthNumber(p[1]);
            y = fullYear(p[2]);
        } else {
            continue;
        }
        const QDate date(y, m, d);
        if (date.isValid())
            return date;
    }
    return std::nullopt;
}

std::optional<qint32> wholeNumber(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v != std::floor(v) || v < std::numeric_limits<qint32>::min()
        || v > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(v);
}

} // namespace

QStringList parseQuoteLine(const QString& line)
{
    QStringList fields;
    const qsizetype n = line.size();
    const qsizetype searchEnd = std::min(n, kSearchedPlaces); // 0-based, exclusive
    qsizetype start = 0;
    while (start < n) {
        qsizetype comma = start < searchEnd ? line.indexOf(QLatin1Char(','), start) : -1;
        if (comma >= searchEnd)
            comma = -1;
        const qsizetype end = comma < 0 ? n : comma;
        if (fields.size() < kSlots)
            fields.append(line.mid(start, end - start));
        start = end + 1;
    }
    return fields;
}

QString normaliseQuoteDate(const QString& field)
{
    if (const std::optional<QDate> date = readDate(field))
        return date->toString(QStringLiteral("yyyyMMdd"));
    return field;
}

std::optional<float> quoteValue(QStringView text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > double(std::numeric_limits<float>::max()))
        return std::nullopt;
    return float(v);
}

// The whole data file; nothing when it cannot be read.
static std::optional<QByteArray> readDataFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return content;
}

bool convertToMetaStock(const QString& dataFile, const QString& stem, qint16 period, MetaStockWriter& writer)
{
    // Read first: a file that cannot be read adds nothing, not even an
    // empty security.
    const std::optional<QByteArray> read = readDataFile(dataFile);
    if (!read)
        return true;
    const QByteArray& content = *read;

    writer.addSecurity(stem, stem, period);

    QList<QByteArray> lines = content.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the end of the last line, not a line of its own
    for (QByteArray& raw : lines) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        const QStringList slots = parseQuoteLine(QString::fromLatin1(raw));
        // A short line has no quote; never fill its gaps from another line.
        if (slots.size() < kSlots)
            continue;
        const std::optional<qint32> date = wholeNumber(normaliseQuoteDate(slots.at(2)));
        if (!date)
            continue;
        float values[6];
        bool numbers = true;
        for (int i = 0; i < 6 && numbers; ++i) {
            const std::optional<float> v = quoteValue(slots.at(3 + i));
            numbers = v.has_value();
            if (numbers)
                values[i] = *v;
        }
        if (!numbers)
            continue;
        writer.addQuote(*date, 0, values[0], values[1], values[2], values[3], values[4], values[5]);
    }
    // The caller deletes the data file next: the quotes must not wait in
    // memory for the end of the run.
    return writer.flush();
}

bool convertTableToMetaStock(const QString& dataFile, const QString& stem, qint16 period, MetaStockWriter& writer)
{
    const std::optional<QByteArray> content = readDataFile(dataFile);
    if (!content)
        return true;
    writer.addSecurity(stem, stem, period);
    for (const YahooQuote& q : parseYahooTable(*content))
        writer.addQuote(q.date, 0, q.open, q.high, q.low, q.close, q.volume, 0.0f);
    return writer.flush();
}

QList<YahooQuote> parseYahooTable(const QByteArray& body)
{
    QList<YahooQuote> quotes;
    QList<QByteArray> lines = body.split('\n');
    if (lines.isEmpty())
        return quotes;
    QList<QByteArray> header = lines.takeFirst().trimmed().split(',');
    for (QByteArray& h : header)
        h = h.trimmed().toLower();
    const qsizetype date = header.indexOf("date"), open = header.indexOf("open"), high = header.indexOf("high"),
                    low = header.indexOf("low"), close = header.indexOf("close"), volume = header.indexOf("volume");
    if (date < 0 || open < 0 || high < 0 || low < 0 || close < 0 || volume < 0)
        return quotes;
    for (const QByteArray& line : std::as_const(lines)) {
        const QList<QByteArray> cells = line.trimmed().split(',');
        if (cells.size() < header.size())
            continue;
        const std::optional<qint32> d = isoDate(cells.at(date));
        const std::optional<float> o = number(cells.at(open)), h = number(cells.at(high)), l = number(cells.at(low)),
                                   c = number(cells.at(close)), v = number(cells.at(volume));
        if (!d || !o || !h || !l || !c || !v)
            continue;
        quotes.append(YahooQuote{*d, *o, *h, *l, *c, *v});
    }
    return quotes;
}

} // namespace kestrion
