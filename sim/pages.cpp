#include "pages.h"

#include <algorithm>

namespace kestrion::sim {

namespace {

QByteArray page(const QString& title, const QByteArray& body)
{
    QByteArray out;
    out.reserve(body.size() + 256);
    out.append("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>");
    out.append(htmlEscape(title));
    out.append("</title>\n</head>\n<body>\n");
    out.append(body);
    out.append("</body>\n</html>\n");
    return out;
}

QString usDate(const QDate& d)
{
    return d.toString(QStringLiteral("MM/dd/yyyy"));
}

QByteArray chartSvg(const std::vector<Bar>& bars)
{
    constexpr int width = 600, height = 240, margin = 10;
    qint64 lo = bars.front().close, hi = bars.front().close;
    for (const Bar& b : bars) {
        lo = std::min(lo, b.close);
        hi = std::max(hi, b.close);
    }
    const double span = hi > lo ? static_cast<double>(hi - lo) : 1.0;
    const double step = bars.size() > 1 ? double(width - 2 * margin) / double(bars.size() - 1) : 0.0;
    QByteArray points;
    points.reserve(static_cast<qsizetype>(bars.size()) * 14);
    for (size_t i = 0; i < bars.size(); ++i) {
        const double x = margin + step * double(i);
        const double y = margin + (height - 2 * margin) * (1.0 - double(bars[i].close - lo) / span);
        points.append(QByteArray::number(x, 'f', 1)).append(',').append(QByteArray::number(y, 'f', 1)).append(' ');
    }
    QByteArray svg;
    svg.append("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"600\" height=\"240\" viewBox=\"0 0 600 240\">\n");
    svg.append("<rect x=\"0\" y=\"0\" width=\"600\" height=\"240\" fill=\"#ffffff\" stroke=\"#999999\"/>\n");
    svg.append("<polyline fill=\"none\" stroke=\"#1f4e9c\" stroke-width=\"1.5\" points=\"");
    svg.append(points.trimmed());
    svg.append("\"/>\n</svg>\n");
    return svg;
}

} // namespace

QByteArray htmlEscape(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;")).toUtf8();
}

QString periodName(BarPeriod period)
{
    switch (period) {
    case BarPeriod::Weekly:
        return QStringLiteral("Weekly");
    case BarPeriod::Monthly:
        return QStringLiteral("Monthly");
    case BarPeriod::Daily:
        break;
    }
    return QStringLiteral("Daily");
}

QByteArray errorPage(const QString& title, const QString& message)
{
    QByteArray out("<html>\n<head><title>");
    out.append(htmlEscape(title));
    out.append("</title></head>\n<body>\n<h1>");
    out.append(htmlEscape(title));
    out.append("</h1>\n<p>");
    out.append(htmlEscape(message));
    out.append("</p>\n</body>\n</html>\n");
    return out;
}

QByteArray homePage()
{
    return page(QStringLiteral("Kestrion Home"),
                "<h1>Kestrion Home</h1>\n"
                "<p>This is the local quote service. It answers history requests, query pages and "
                "chart pages with made-up but repeatable quotes.</p>\n"
                "<ul>\n"
                "<li><a href=\"/search\">Search for a chart</a></li>\n"
                "<li><a href=\"/intchart/frames/main.asp?symb=msft&amp;time=8&amp;freq=1&amp;country=us\">"
                "Example chart (MSFT, one year)</a></li>\n"
                "</ul>\n");
}

QByteArray searchPage()
{
    return page(QStringLiteral("Kestrion Search"),
                "<h1>Kestrion Search</h1>\n"
                "<form action=\"/intchart/frames/main.asp\" method=\"get\">\n"
                "<label>Symbol: <input type=\"text\" name=\"symb\" size=\"12\"></label>\n"
                "<input type=\"hidden\" name=\"time\" value=\"8\">\n"
                "<input type=\"hidden\" name=\"freq\" value=\"1\">\n"
                "<input type=\"hidden\" name=\"country\" value=\"us\">\n"
                "<input type=\"submit\" value=\"Chart\">\n"
                "</form>\n");
}

QByteArray chartPage(const ChartRequest& request, const std::vector<Bar>& bars, const QString& notice)
{
    const QString title = request.symbol.isEmpty() ? QStringLiteral("Chart")
                                                   : request.symbol + QStringLiteral(" chart");
    QByteArray body;
    body.append("<h1>").append(htmlEscape(title)).append("</h1>\n");
    body.append("<p>Time: ").append(htmlEscape(request.time));
    body.append(" &nbsp; Frequency: ").append(htmlEscape(request.freq));
    body.append(" &nbsp; Country: ").append(htmlEscape(request.country)).append("</p>\n");
    if (bars.empty()) {
        body.append("<p>").append(htmlEscape(notice)).append("</p>\n");
    } else {
        body.append(chartSvg(bars));
        body.append("<p>").append(htmlEscape(usDate(bars.front().date))).append(" to ");
        body.append(htmlEscape(usDate(bars.back().date))).append(", last close ");
        const Bar& last = bars.back();
        body.append(QByteArray::number(last.close / 100)).append('.');
        body.append(QByteArray::number(last.close % 100).rightJustified(2, '0')).append("</p>\n");
    }
    body.append("<p><a href=\"/search\">New search</a></p>\n");
    return page(title, body);
}

QByteArray wscResultPage(const WscResult& result)
{
    QByteArray body;
    body.append("<h1>Historical Quotes</h1>\n");
    body.append("<p>Quote files are prepared dynamically for each request and kept for a limited time.</p>\n");
    body.append("<p>Your file is ready: <a href=\"/dynamic/");
    body.append(result.name.toLatin1()).append(".txt\">");
    body.append(result.name.toLatin1()).append(".txt</a></p>\n");
    // The symbol is a user's text; it only comes after the link so that
    // nothing in it can be mistaken for the file name.
    body.append("<table>\n");
    body.append("<tr><td>Symbol</td><td>").append(htmlEscape(result.symbol)).append("</td></tr>\n");
    body.append("<tr><td>Period</td><td>").append(htmlEscape(periodName(result.period))).append("</td></tr>\n");
    body.append("<tr><td>From</td><td>").append(htmlEscape(usDate(result.from))).append("</td></tr>\n");
    body.append("<tr><td>To</td><td>").append(htmlEscape(usDate(result.to))).append("</td></tr>\n");
    body.append("<tr><td>Format</td><td>").append(htmlEscape(result.formatName)).append("</td></tr>\n");
    body.append("</table>\n");
    return page(QStringLiteral("Wall Street City - Historical Quotes"), body);
}

QByteArray wscMessagePage(const QString& message)
{
    QByteArray body;
    body.append("<h1>Historical Quotes</h1>\n<p>");
    body.append(htmlEscape(message));
    body.append("</p>\n");
    return page(QStringLiteral("Wall Street City - Historical Quotes"), body);
}

} // namespace kestrion::sim
