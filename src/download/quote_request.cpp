#include "download/quote_request.h"

#include <QFile>
#include <QStringList>

#include <algorithm>

namespace kestrion {

const QStringList& monthNames()
{
    static const QStringList names{QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"),
                                   QStringLiteral("Apr"), QStringLiteral("May"), QStringLiteral("Jun"),
                                   QStringLiteral("Jul"), QStringLiteral("Aug"), QStringLiteral("Sep"),
                                   QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};
    return names;
}

MonthValues monthValues(const QString& monthText)
{
    MonthValues m;
    const int i = monthNames().indexOf(monthText); // exact, case-sensitive
    if (i >= 0) {
        m.number = i + 1;
        m.zeroBased = i;
        m.twoDigit = QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0'));
    }
    return m;
}

PeriodValues periodValues(HistoryPeriod period)
{
    switch (period) {
    case HistoryPeriod::Daily:
        return {QStringLiteral("d"), QStringLiteral("0"), 1};
    case HistoryPeriod::Weekly:
        return {QStringLiteral("w"), QStringLiteral("1"), 2};
    case HistoryPeriod::Monthly:
        return {QStringLiteral("m"), QStringLiteral("2"), 3};
    case HistoryPeriod::None:
        break;
    }
    return {};
}

QDate selectorDay(const QString& month, const QString& day, const QString& year)
{
    const auto digits = [](const QString& text, int min, int max) {
        if (text.size() < min || text.size() > max)
            return false;
        return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    const int m = monthValues(month).number;
    if (m == 0 || !digits(day, 1, 2) || !digits(year, 4, 4))
        return {};
    return QDate(year.toInt(), m, day.toInt()); // invalid when the month has no such day
}

QString rangeProblem(const RequestInputs& in)
{
    const QDate start = selectorDay(in.startMonth, in.startDay, in.startYear);
    const QDate end = selectorDay(in.endMonth, in.endDay, in.endYear);
    const auto shown = [](const QString& m, const QString& d, const QString& y) {
        return QStringLiteral("\"%1 %2 %3\"").arg(m, d, y);
    };
    if (!start.isValid())
        return QStringLiteral("the start date %1 is not a valid date (month, day of that month, four-digit year)")
            .arg(shown(in.startMonth, in.startDay, in.startYear));
    if (!end.isValid())
        return QStringLiteral("the end date %1 is not a valid date (month, day of that month, four-digit year)")
            .arg(shown(in.endMonth, in.endDay, in.endYear));
    if (end < start)
        return QStringLiteral("the end date %1 is before the start date %2")
            .arg(end.toString(Qt::ISODate), start.toString(Qt::ISODate));
    return {};
}

RunRequestValues RunRequestValues::from(const RequestInputs& inputs)
{
    RunRequestValues v;
    v.inputs = inputs;
    v.start = monthValues(inputs.startMonth);
    v.end = monthValues(inputs.endMonth);
    v.period = periodValues(inputs.period);
    return v;
}

QString encodeSymbol(const QString& symbol)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    const QByteArray utf8 = symbol.toUtf8();
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        const bool unsafe = c <= 0x20 || c >= 0x7F || c == '&' || c == '#' || c == '?' || c == '%' || c == '+'
            || c == '/';
        if (unsafe) {
            out += QLatin1Char('%');
            out += QLatin1Char(hex[c >> 4]);
            out += QLatin1Char(hex[c & 0xF]);
        } else {
            out += QLatin1Char(ch);
        }
    }
    return out;
}

QString serviceBase(const QString& host, const QString& defaultScheme)
{
    QString base = host.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base.contains(QLatin1String("://")))
        return base;
    return defaultScheme + QStringLiteral("://") + base;
}

QString yahooUrl(const QString& host, const RunRequestValues& v, const QString& symbol)
{
    const RequestInputs& in = v.inputs;
    return serviceBase(host) + QStringLiteral("/table.csv?a=") + QString::number(v.start.zeroBased)
        + QStringLiteral("&b=") + in.startDay + QStringLiteral("&c=") + in.startYear + QStringLiteral("&d=")
        + QString::number(v.end.zeroBased) + QStringLiteral("&e=") + in.endDay + QStringLiteral("&f=") + in.endYear
        + QStringLiteral("&s=") + encodeSymbol(symbol) + QStringLiteral("&y=0&g=") + v.period.yahooLetter
        + QStringLiteral("&ignore=.csv");
}

QString wscQueryUrl(const QString& host, const RunRequestValues& v, const QString& symbol, const QString& dataFormat)
{
    const RequestInputs& in = v.inputs;
    return serviceBase(host) + QStringLiteral("/wsc2/Historical_Quotes.html?Symbol=") + encodeSymbol(symbol)
        + QStringLiteral("&Button=Get+Quotes&StartDate=") + QString::number(v.start.number) + QStringLiteral("%2F")
        + in.startDay + QStringLiteral("%2F") + in.startYear.right(2) + QStringLiteral("&Type=") + v.period.wscCode
        + QStringLiteral("&EndDate=") + QString::number(v.end.number) + QStringLiteral("%2F") + in.endDay
        + QStringLiteral("%2F") + in.endYear.right(2) + QStringLiteral("&Format=") + dataFormat;
}

static bool isWordByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u >= 0x80;
}

QByteArray wscResultName(const QByteArray& page)
{
    static const QByteArray word("dynamic");
    qsizetype p = -1;
    for (qsizetype from = 0;;) {
        const qsizetype i = page.indexOf(word, from);
        if (i < 0)
            break;
        const bool startsWord = i == 0 || !isWordByte(page.at(i - 1));
        const qsizetype after = i + word.size();
        const bool endsWord = after >= page.size() || !isWordByte(page.at(after));
        if (startsWord && endsWord) {
            p = i;
            break;
        }
        from = i + 1;
    }
    // 1-based offset p + 9 is 0-based p + 8; without the word p is -1.
    const qsizetype offset = p + word.size() + 1;
    if (offset >= page.size())
        return {};
    return page.mid(offset, 15);
}

QString wscResultUrl(const QString& fileHost, const QByteArray& stage1Page, const QString& downloadDir)
{
    // The page goes through "temp.txt" in the download directory; the file is
    // read back so that what is searched is exactly what was stored.
    const QString tempPath = downloadDir + QStringLiteral("/temp.txt");
    // A page that cannot be stored whole (a full disk) is searched as it
    // came: a cut copy would name no file, and the answer would read as an
    // unknown ticker.
    QByteArray stored = stage1Page;
    {
        QFile f(tempPath);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            const bool whole = f.write(stage1Page) == stage1Page.size() && f.flush();
            f.close();
            if (whole && f.open(QIODevice::ReadOnly))
                stored = f.readAll();
        }
    }
    QFile::remove(tempPath);
    return serviceBase(fileHost) + QStringLiteral("/dynamic/") + QString::fromLatin1(wscResultName(stored));
}

CompactDates compactDates(const RunRequestValues& v)
{
    const RequestInputs& in = v.inputs;
    CompactDates d;
    d.start = (in.startYear + v.start.twoDigit + in.startDay).toInt();
    d.end = (in.endYear + v.end.twoDigit + in.endDay).toInt();
    return d;
}

} // namespace kestrion
