#pragma once

#include <QString>

class QWidget;

namespace kestrion {

// Analyze Stock: opens a chart browser window on the one-year chart of the
// ticker on the chart host ("host" or "host:port") and returns it. It has no
// owner and deletes itself when closed. A program built without a web view
// has the desktop's web browser show the chart instead and returns null.
// When the browser cannot start, returns null with why in error.
QWidget* openChartBrowser(const QString& ticker, const QString& chartHost, QString* error = nullptr);

} // namespace kestrion
