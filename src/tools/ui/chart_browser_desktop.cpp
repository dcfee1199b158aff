#include "tools/chart_symbol.h"
#include "tools/ui/chart_browser.h"

#include <QDesktopServices>
#include <QUrl>

namespace kestrion {

// Built without Qt WebEngine: the desktop's web browser shows the chart.
QWidget* openChartBrowser(const QString& ticker, const QString& chartHost, QString* /*error*/)
{
    const ChartSymbol chart = chartSymbolFor(ticker);
    QDesktopServices::openUrl(QUrl(chartAddress(chartHost, chart.symbol, kDefaultChartPeriod, chart.country)));
    return nullptr;
}

} // namespace kestrion
