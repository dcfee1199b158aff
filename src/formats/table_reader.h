#pragma once

#include "formats/price_table.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>

#include <optional>
#include <vector>

namespace kestrion {

// "Date,Open,High,Low,Close,Volume,Adj Close" and its LF: the first line of
// every file in the table layout.
extern const QByteArray kTableHeader;

// The strict reading an update relies on: a file is taken only when it is
// exactly the layout this program writes.

struct TableRow
{
    QDate date;
    qsizetype offset = 0; // of the row's first byte in ExistingTable::bytes
    qsizetype length = 0; // with its LF
    qsizetype adjOffset = 0; // of its Adj Close, from the row's start
};

struct ExistingTable
{
    QByteArray bytes; // the file as read
    std::vector<TableRow> rows; // newest first, as stored
    QDate oldest, newest;

    // A row's bytes, LF included.
    QByteArrayView rowText(const TableRow& row) const { return QByteArrayView(bytes).sliced(row.offset, row.length); }
    // Read when asked: an update compares only its last few rows.
    double adjClose(const TableRow& row) const;
};

// Bytes that are exactly the table layout: the header
// "Date,Open,High,Low,Close,Volume,Adj Close", then at least one row of a
// YYYY-MM-DD date, five plain decimals (Open, High, Low, Close, Adj Close;
// optional minus, no exponent) and a whole Volume, strictly newest first,
// every line ending in a lone LF. Anything else (CR, a blank or short line,
// a date twice) is nullopt.
std::optional<ExistingTable> parseExistingTable(QByteArray bytes);
// The same for a file; nullopt too when it is missing, unreadable or larger
// than any price answer.
std::optional<ExistingTable> readExistingTable(const QString& path);

} // namespace kestrion
