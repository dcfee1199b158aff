#include "formats/series_reader.h"

#include "formats/metastock_conversion.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace kestrion {

namespace {

// Far beyond any price history; a larger file is a wrong choice, and
// reading it whole would only fill the memory.
constexpr qint64 kLargestFile = 256LL * 1024 * 1024;

QList<QByteArray> splitLines(const QByteArray& bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

bool isBlank(const QByteArray& line)
{
    return line.trimmed().isEmpty();
}

std::optional<QDate> dateValue(const QString& text)
{
    const QString t = text.trimmed();
    QDate d;
    if (t.size() == 10 && t.at(4) == QLatin1Char('-'))
        d = QDate::fromString(t, Qt::ISODate);
    if (!d.isValid()) {
        const QString compact = normaliseQuoteDate(t);
        if (compact.size() == 8)
            d = QDate::fromString(compact, QStringLiteral("yyyyMMdd"));
    }
    if (!d.isValid())
        return std::nullopt;
    return d;
}

std::optional<double> numberValue(QByteArrayView text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<qint64> volumeValue(QByteArrayView text)
{
    const std::optional<double> v = numberValue(text);
    if (!v || *v < 0 || *v > 9.0e18)
        return std::nullopt;
    return qint64(std::llround(*v));
}

QString lineError(int line, const QString& what)
{
    return QStringLiteral("line %1: %2").arg(line).arg(what);
}

// Sorts oldest first and refuses a date given twice, naming both lines.
bool orderBars(std::vector<PriceBar>& bars, const std::vector<int>& lineOf, QString* error)
{
    std::vector<size_t> order(bars.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return bars[a].date < bars[b].date; });
    std::vector<PriceBar> sorted;
    sorted.reserve(bars.size());
    for (size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && bars[order[k]].date == bars[order[k - 1]].date) {
            const int first = std::min(lineOf[order[k]], lineOf[order[k - 1]]);
            const int second = std::max(lineOf[order[k]], lineOf[order[k - 1]]);
            *error = lineError(second,
                               QStringLiteral("the date %1 is given twice (also on line %2)")
                                   .arg(bars[order[k]].date.toString(Qt::ISODate))
                                   .arg(first));
            return false;
        }
        sorted.push_back(bars[order[k]]);
    }
    bars = std::move(sorted);
    return true;
}

char periodFromLetter(const QString& text)
{
    const QString t = text.trimmed().toUpper();
    if (t == QLatin1String("D") || t == QLatin1String("W") || t == QLatin1String("M"))
        return t.at(0).toLatin1();
    return 0;
}

} // namespace

char PriceSeries::effectivePeriod() const
{
    if (period)
        return period;
    if (bars.size() < 2)
        return 'D';
    std::vector<qint64> gaps;
    gaps.reserve(bars.size() - 1);
    for (size_t i = 1; i < bars.size(); ++i)
        gaps.push_back(bars[i - 1].date.daysTo(bars[i].date));
    std::nth_element(gaps.begin(), gaps.begin() + qsizetype(gaps.size() / 2), gaps.end());
    const qint64 median = gaps[gaps.size() / 2];
    return median <= 4 ? 'D' : median <= 10 ? 'W' : 'M';
}

SeriesLoad parsePriceTable(const QByteArray& bytes)
{
    SeriesLoad out;
    const QList<QByteArray> lines = splitLines(bytes);
    int headerLine = 0;
    while (headerLine < lines.size() && isBlank(lines.at(headerLine)))
        ++headerLine;
    if (headerLine == lines.size()) {
        out.error = QStringLiteral("the file is empty");
        return out;
    }
    enum Column { Date, Open, High, Low, Close, Volume, AdjClose, Count };
    static const char* const names[Count] = {"date", "open", "high", "low", "close", "volume", "adj close"};
    int at[Count];
    std::fill(std::begin(at), std::end(at), -1);
    const QList<QByteArray> header = lines.at(headerLine).split(',');
    for (int i = 0; i < header.size(); ++i) {
        QByteArray name = header.at(i).trimmed().toLower();
        if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
            name = name.mid(1, name.size() - 2);
        for (int c = 0; c < Count; ++c) {
            if (name == names[c] && at[c] < 0)
                at[c] = i;
        }
    }
    for (int c = Date; c <= Close; ++c) {
        if (at[c] < 0) {
            out.error = lineError(
                headerLine + 1, QStringLiteral("the header names no \"%1\" column").arg(QString::fromLatin1(names[c])));
            return out;
        }
    }
    const int needed = *std::max_element(std::begin(at), std::end(at)) + 1;
    out.series.hasAdjClose = at[AdjClose] >= 0;

    std::vector<PriceBar>& bars = out.series.bars;
    std::vector<int> lineOf;
    bars.reserve(size_t(lines.size()));
    lineOf.reserve(size_t(lines.size()));
    for (int n = headerLine + 1; n < lines.size(); ++n) {
        const QByteArray& line = lines.at(n);
        if (isBlank(line))
            continue;
        const QList<QByteArray> f = line.split(',');
        if (f.size() < needed) {
            out.error = lineError(n + 1,
                                  QStringLiteral("%1 values where the header names %2").arg(f.size()).arg(needed));
            return out;
        }
        PriceBar b;
        const std::optional<QDate> date = dateValue(QString::fromLatin1(f.at(at[Date])));
        if (!date) {
            out.error = lineError(
                n + 1, QStringLiteral("\"%1\" is not a date").arg(QString::fromLatin1(f.at(at[Date]).trimmed())));
            return out;
        }
        b.date = *date;
        double* targets[] = {&b.open, &b.high, &b.low, &b.close, &b.adjClose};
        const int columns[] = {Open, High, Low, Close, AdjClose};
        for (int k = 0; k < 5; ++k) {
            if (at[columns[k]] < 0)
                continue;
            const QByteArray& text = f.at(at[columns[k]]);
            const std::optional<double> v = numberValue(text);
            if (!v) {
                out.error = lineError(n + 1,
                                      QStringLiteral("the %1 value \"%2\" is not a number")
                                          .arg(QString::fromLatin1(header.at(at[columns[k]]).trimmed()),
                                               QString::fromLatin1(text.trimmed())));
                return out;
            }
            *targets[k] = *v;
        }
        if (at[AdjClose] < 0)
            b.adjClose = b.close;
        if (at[Volume] >= 0) {
            const std::optional<qint64> v = volumeValue(f.at(at[Volume]));
            if (!v) {
                out.error = lineError(n + 1,
                                      QStringLiteral("the Volume value \"%1\" is not a count")
                                          .arg(QString::fromLatin1(f.at(at[Volume]).trimmed())));
                return out;
            }
            b.volume = *v;
        }
        bars.push_back(b);
        lineOf.push_back(n + 1);
    }
    if (bars.empty()) {
        out.error = QStringLiteral("the file holds a header but no prices");
        return out;
    }
    if (!orderBars(bars, lineOf, &out.error))
        return out;
    return out;
}

SeriesLoad parseQuoteLines(const QByteArray& bytes)
{
    SeriesLoad out;
    const QList<QByteArray> lines = splitLines(bytes);
    std::vector<PriceBar>& bars = out.series.bars;
    std::vector<int> lineOf;
    bool first = true;
    for (int n = 0; n < lines.size(); ++n) {
        if (isBlank(lines.at(n)))
            continue;
        const QStringList slots = parseQuoteLine(QString::fromLatin1(lines.at(n)));
        const std::optional<QDate> date = slots.size() > 2 ? dateValue(slots.at(2)) : std::nullopt;
        // The first line may name the columns (<TICKER>,<PER>,<DTYYYYMMDD>,...).
        const bool headerLike = slots.size() <= 2
            || std::none_of(slots.at(2).cbegin(), slots.at(2).cend(), [](QChar c) { return c.isDigit(); });
        if (first && !date && headerLike) {
            first = false;
            continue;
        }
        first = false;
        if (slots.size() < 8) {
            out.error = lineError(n + 1, QStringLiteral("%1 fields where a quote line has 9").arg(slots.size()));
            return out;
        }
        if (!date) {
            out.error = lineError(n + 1, QStringLiteral("\"%1\" is not a date").arg(slots.at(2).trimmed()));
            return out;
        }
        PriceBar b;
        b.date = *date;
        double* targets[] = {&b.open, &b.high, &b.low, &b.close};
        static const char* const names[] = {"Open", "High", "Low", "Close"};
        for (int k = 0; k < 4; ++k) {
            const std::optional<float> v = quoteValue(slots.at(3 + k));
            if (!v) {
                out.error = lineError(n + 1,
                                      QStringLiteral("the %1 value \"%2\" is not a number")
                                          .arg(QLatin1String(names[k]), slots.at(3 + k).trimmed()));
                return out;
            }
            *targets[k] = *v;
        }
        const std::optional<qint64> volume = volumeValue(slots.at(7).toLatin1());
        if (!volume) {
            out.error = lineError(n + 1,
                                  QStringLiteral("the Volume value \"%1\" is not a count").arg(slots.at(7).trimmed()));
            return out;
        }
        b.volume = *volume;
        b.adjClose = b.close;
        if (bars.empty()) {
            out.series.symbol = slots.at(0).trimmed();
            out.series.period = periodFromLetter(slots.at(1));
        }
        bars.push_back(b);
        lineOf.push_back(n + 1);
    }
    if (bars.empty()) {
        out.error = QStringLiteral("the file holds no quote lines");
        return out;
    }
    orderBars(bars, lineOf, &out.error);
    return out;
}

bool isPriceTableHeader(const QString& firstLine)
{
    QStringList names;
    for (const QString& f : firstLine.split(QLatin1Char(',')))
        names << f.trimmed().toLower();
    for (const char* wanted : {"date", "open", "high", "low", "close"}) {
        if (!names.contains(QLatin1String(wanted)))
            return false;
    }
    return true;
}

SeriesLoad readPriceFile(const QString& path)
{
    SeriesLoad out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = QStringLiteral("it cannot be opened (%1)").arg(file.errorString());
        return out;
    }
    if (file.size() > kLargestFile) {
        out.error = QStringLiteral("at %1 MB it is too large to be a price history").arg(file.size() / (1024 * 1024));
        return out;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        out.error = QStringLiteral("it cannot be read (%1)").arg(file.errorString());
        return out;
    }
    qsizetype start = 0;
    while (start < bytes.size() && (bytes.at(start) == '\n' || bytes.at(start) == '\r' || bytes.at(start) == ' '))
        ++start;
    if (start == bytes.size()) {
        out.error = QStringLiteral("the file is empty");
        return out;
    }
    const QByteArray firstLine = bytes.mid(start, bytes.indexOf('\n', start) - start).trimmed().toLower();
    if (firstLine.startsWith('<') && !firstLine.startsWith("<ticker>")) {
        out.error = QStringLiteral("it holds a web page, not prices");
        return out;
    }
    const bool table = firstLine.contains("date") && firstLine.contains("close") && !firstLine.startsWith("<ticker>");
    out = table ? parsePriceTable(bytes) : parseQuoteLines(bytes);
    if (out.ok() && out.series.symbol.isEmpty())
        out.series.symbol = QFileInfo(path).completeBaseName();
    return out;
}

} // namespace kestrion
