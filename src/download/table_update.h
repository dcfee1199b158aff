#pragma once

#include "formats/price_table.h"
#include "formats/table_reader.h"
#include "sources/failure_reason.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>

#include <optional>
#include <vector>

namespace kestrion {

// Bringing a data file in the table layout up to date: read what is on disk,
// ask the service only for the last days, and merge its answer in, or tell
// the run to fetch the whole range after all.

// The first day of the shorter request, or nullopt when the whole range must
// be fetched: the oldest row starts more than seven days after asked.from,
// the newest lies past asked.to (only a full fetch ends the file where
// asked), or the shorter request would start on or before asked.from anyway.
// Daily: seven days before the newest row. Weekly and monthly: the start of
// the period before the newest row's, so that a finished period overlaps and
// no period arrives cut in two.
std::optional<QDate> updateFrom(const ExistingTable& table, const DateRange& asked,
                                HistoryPeriod period = HistoryPeriod::Daily);

struct UpdateMerge
{
    bool fetchInFull = false;
    QByteArray table; // the new file's bytes when merged
    QString reason; // why in full: short, for the status line and the error log
};

// Merges a good answer to the shorter request into the file as mergeAnswer
// does. Fetch in full instead when the answer is no good or not the
// table layout, tells of a split or dividend after the file's newest row,
// shares no row with the file, or gives a shared date an Adj Close more than
// 0.01 % away from the file's: the service has adjusted its past prices. The
// newest row of a weekly or monthly file is left out of that comparison, as
// its period may not have been over when it was stored.
UpdateMerge mergeUpdate(const ExistingTable& old, const TableResult& fresh,
                        HistoryPeriod period = HistoryPeriod::Daily);

// An answer put into the file it updates; an update never removes a row.
// The old rows outside the span the answer covers (its oldest row's date to
// its newest row's, or their weeks or months for weekly and monthly files)
// stay as they are; inside it, the answer's rows replace them. Newest first
// under the layout's header, every row's bytes as they were. nullopt when the
// answer is not the table layout.
std::optional<QByteArray> mergeAnswer(const ExistingTable& old, const QByteArray& fresh, HistoryPeriod period);

// Whether the file's rows can be of that period: a monthly file holds no two
// rows of one month; a weekly file no two of one ISO week and, from three
// rows on, two of one month; a daily file of three rows or more has two in
// one week. A file of another period is
// replaced whole rather than mixed with the answer.
bool holdsPeriod(const ExistingTable& table, HistoryPeriod period);

// Whether two adjusted closes differ by more than 0.01 % of the file's;
// a difference of exactly that is still the same price.
bool adjCloseChanged(double stored, double fresh);

} // namespace kestrion
