#pragma once

#include "formats/price_table.h"
#include "sources/failure_reason.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <vector>

// What every converting service does with an answer that is not, or not
// quite, its price table: the same words in the error log for each.

namespace kestrion::answers {

// Volumes beyond this do not fit a qint64 once rounded.
constexpr double kMaxVolume = 9.0e18;
// Seconds from 1970 to the end of year 9999: a timestamp beyond it is not a date.
constexpr double kMaxSeconds = 253402300799.0;

TableResult failure(FailureReason reason, const QString& detail);
// Error bodies can echo the request URL, and with it the account token:
// anything that looks like a key is masked, and the text kept short.
QString safeDetail(QString text);
// A body that is not the expected answer: a quota notice, or bad data.
TableResult notATable(const QByteArray& body, const QString& source);
// An invalid end leaves that end open.
bool inRange(QDate date, QDate from, QDate to);
// The daily bars inside the range, folded into the run's period (one row per
// date for a daily run).
std::vector<PriceBar> finishRows(std::vector<PriceBar> rows, HistoryPeriod period);
// The rows as the file's bytes; no rows is NoData.
TableResult tableResult(std::vector<PriceBar> rows, const QString& source);

// Oldest first, each day once; invalid dates sort first.
QList<QDate> sortedDays(QList<QDate> days);

} // namespace kestrion::answers
