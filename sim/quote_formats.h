#pragma once

#include "price_model.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace kestrion::sim {

// The comma-separated history table of the Yahoo service: a header line and
// the bars newest first.
QByteArray yahooTable(const std::vector<Bar>& bars);

// The six Wall Street City file layouts, named after the "Format" codes
// the query page takes.
enum class WscFormat {
    Quicken, // "4" ASCII 1
    MetaStock, // "1" ASCII 7
    Dif, // "3" DIF 7
    Header5, // "6" HEADER 5
    Header7, // "5" HEADER 7, also for codes the service does not know
    Yymmdd7, // "7" YYMMDD7
};

WscFormat wscFormatFromCode(const QString& code);
QString wscFormatName(WscFormat format);

// A symbol as it may appear inside a comma-separated line: plain ASCII,
// upper case, and nothing that would split a field or a line.
QByteArray fileTicker(const QString& symbol);

// The result file, bars oldest first.
QByteArray wscResultFile(WscFormat format, const QByteArray& ticker, BarPeriod period, const std::vector<Bar>& bars);

} // namespace kestrion::sim
