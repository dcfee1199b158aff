#include "quote_formats.h"

namespace kestrion::sim {

namespace {

// Hand-rolled number writers: these tables are built for every request and
// QByteArray::number() with its locale-free double path is far slower.
void appendInt(QByteArray& out, qint64 v)
{
    char buf[24];
    int n = 0;
    const bool negative = v < 0;
    quint64 u = negative ? 0 - static_cast<quint64>(v) : static_cast<quint64>(v);
    do {
        buf[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (negative)
        out.append('-');
    while (n > 0)
        out.append(buf[--n]);
}

void appendDigits(QByteArray& out, int v, int width)
{
    char buf[8];
    for (int i = width - 1; i >= 0; --i) {
        buf[i] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    out.append(buf, width);
}

void appendCents(QByteArray& out, qint64 cents)
{
    appendInt(out, cents / 100);
    out.append('.');
    appendDigits(out, static_cast<int>(cents % 100), 2);
}

void appendIsoDate(QByteArray& out, const QDate& d) // 2003-09-25
{
    appendDigits(out, d.year(), 4);
    out.append('-');
    appendDigits(out, d.month(), 2);
    out.append('-');
    appendDigits(out, d.day(), 2);
}

void appendCompactDate(QByteArray& out, const QDate& d) // 20030925
{
    appendDigits(out, d.year(), 4);
    appendDigits(out, d.month(), 2);
    appendDigits(out, d.day(), 2);
}

void appendUsDate(QByteArray& out, const QDate& d, bool fourDigitYear) // 09/25/2003 or 09/25/03
{
    appendDigits(out, d.month(), 2);
    out.append('/');
    appendDigits(out, d.day(), 2);
    out.append('/');
    if (fourDigitYear)
        appendDigits(out, d.year(), 4);
    else
        appendDigits(out, d.year() % 100, 2);
}

void appendYymmdd(QByteArray& out, const QDate& d) // 030925
{
    appendDigits(out, d.year() % 100, 2);
    appendDigits(out, d.month(), 2);
    appendDigits(out, d.day(), 2);
}

void appendOhlc(QByteArray& out, const Bar& b, bool withOpen)
{
    if (withOpen) {
        appendCents(out, b.open);
        out.append(',');
    }
    appendCents(out, b.high);
    out.append(',');
    appendCents(out, b.low);
    out.append(',');
    appendCents(out, b.close);
    out.append(',');
    appendInt(out, b.volume);
}

char periodLetter(BarPeriod period)
{
    switch (period) {
    case BarPeriod::Weekly:
        return 'W';
    case BarPeriod::Monthly:
        return 'M';
    case BarPeriod::Daily:
        break;
    }
    return 'D';
}

QByteArray metaStock(const QByteArray& ticker, BarPeriod period, const std::vector<Bar>& bars)
{
    QByteArray out;
    out.reserve(64 + static_cast<qsizetype>(bars.size()) * (ticker.size() + 56));
    out.append("<TICKER>,<PER>,<DTYYYYMMDD>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\n");
    const char per = periodLetter(period);
    for (const Bar& b : bars) {
        out.append(ticker);
        out.append(',');
        out.append(per);
        out.append(',');
        appendCompactDate(out, b.date);
        out.append(',');
        appendOhlc(out, b, true);
        out.append(",0\n");
    }
    return out;
}

QByteArray quicken(const QByteArray& ticker, const std::vector<Bar>& bars)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(bars.size()) * (ticker.size() + 20));
    for (const Bar& b : bars) {
        out.append(ticker);
        out.append(',');
        appendCents(out, b.close);
        out.append(',');
        appendUsDate(out, b.date, false);
        out.append('\n');
    }
    return out;
}

QByteArray headerTable(const std::vector<Bar>& bars, bool withOpen)
{
    QByteArray out;
    out.reserve(48 + static_cast<qsizetype>(bars.size()) * 56);
    out.append(withOpen ? "Date,Open,High,Low,Close,Volume,OpenInt\n" : "Date,High,Low,Close,Volume\n");
    for (const Bar& b : bars) {
        appendUsDate(out, b.date, true);
        out.append(',');
        appendOhlc(out, b, withOpen);
        out.append(withOpen ? ",0\n" : "\n");
    }
    return out;
}

QByteArray yymmdd(const std::vector<Bar>& bars)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(bars.size()) * 52);
    for (const Bar& b : bars) {
        appendYymmdd(out, b.date);
        out.append(',');
        appendOhlc(out, b, true);
        out.append(",0\n");
    }
    return out;
}

// Data Interchange Format: a header of TABLE, VECTORS, TUPLES and DATA
// items, then one tuple (BOT) per row and the closing EOD. The first tuple
// holds the column labels.
QByteArray dif(const std::vector<Bar>& bars)
{
    static const char* const labels[] = {"Date", "Open", "High", "Low", "Close", "Volume", "OpenInt"};
    QByteArray out;
    out.reserve(256 + static_cast<qsizetype>(bars.size()) * 110);
    out.append("TABLE\n0,1\n\"Historical Quotes\"\nVECTORS\n0,7\n\"\"\nTUPLES\n0,");
    appendInt(out, static_cast<qint64>(bars.size()) + 1);
    out.append("\n\"\"\nDATA\n0,0\n\"\"\n");
    out.append("-1,0\nBOT\n");
    for (const char* label : labels) {
        out.append("1,0\n\"");
        out.append(label);
        out.append("\"\n");
    }
    const auto number = [&out](auto writer) {
        out.append("0,");
        writer();
        out.append("\nV\n");
    };
    for (const Bar& b : bars) {
        out.append("-1,0\nBOT\n");
        number([&] { appendCompactDate(out, b.date); });
        number([&] { appendCents(out, b.open); });
        number([&] { appendCents(out, b.high); });
        number([&] { appendCents(out, b.low); });
        number([&] { appendCents(out, b.close); });
        number([&] { appendInt(out, b.volume); });
        number([&] { out.append('0'); });
    }
    out.append("-1,0\nEOD\n");
    return out;
}

} // namespace

QByteArray yahooTable(const std::vector<Bar>& bars)
{
    QByteArray out;
    out.reserve(48 + static_cast<qsizetype>(bars.size()) * 56);
    out.append("Date,Open,High,Low,Close,Volume,Adj Close\n");
    for (auto it = bars.rbegin(); it != bars.rend(); ++it) {
        appendIsoDate(out, it->date);
        out.append(',');
        appendOhlc(out, *it, true);
        out.append(',');
        appendCents(out, it->close); // no splits or dividends, so adjusted = close
        out.append('\n');
    }
    return out;
}

WscFormat wscFormatFromCode(const QString& code)
{
    if (code == QLatin1String("4"))
        return WscFormat::Quicken;
    if (code == QLatin1String("1"))
        return WscFormat::MetaStock;
    if (code == QLatin1String("3"))
        return WscFormat::Dif;
    if (code == QLatin1String("6"))
        return WscFormat::Header5;
    if (code == QLatin1String("7"))
        return WscFormat::Yymmdd7;
    return WscFormat::Header7;
}

QString wscFormatName(WscFormat format)
{
    switch (format) {
    case WscFormat::Quicken:
        return QStringLiteral("ASCII 1 - Quicken Format");
    case WscFormat::MetaStock:
        return QStringLiteral("ASCII 7 - MetaStock, AIQ, Etc.");
    case WscFormat::Dif:
        return QStringLiteral("DIF 7 - Spreadsheet Format");
    case WscFormat::Header5:
        return QStringLiteral("HEADER 5 - SuperCharts");
    case WscFormat::Header7:
        return QStringLiteral("HEADER 7 - SuperCharts");
    case WscFormat::Yymmdd7:
        return QStringLiteral("YYMMDD7 - Invest 5");
    }
    return {};
}

QByteArray fileTicker(const QString& symbol)
{
    QByteArray out = symbol.toUpper().toUtf8();
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || c == ',' || c == '"')
            c = '_';
    }
    return out;
}

QByteArray wscResultFile(WscFormat format, const QByteArray& ticker, BarPeriod period, const std::vector<Bar>& bars)
{
    switch (format) {
    case WscFormat::Quicken:
        return quicken(ticker, bars);
    case WscFormat::MetaStock:
        return metaStock(ticker, period, bars);
    case WscFormat::Dif:
        return dif(bars);
    case WscFormat::Header5:
        return headerTable(bars, false);
    case WscFormat::Header7:
        return headerTable(bars, true);
    case WscFormat::Yymmdd7:
        return yymmdd(bars);
    }
    return headerTable(bars, true);
}

} // namespace kestrion::sim
