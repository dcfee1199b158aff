#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace kestrion {

// Splits one line of a downloaded quote file into at most nine fields. Only
// the first 75 characters are searched for commas: a comma past the 75th
// character never ends a field, so the field that started before it runs to
// the end of the line. A line ending in a comma gives no empty last field,
// a line without commas is one field and an empty line gives none.
QStringList parseQuoteLine(const QString& line);

// The date field of a quote line in the form yyyymmdd. Text that reads as a
// calendar date (9/25/2003, 09/25/03, 2003-09-25, 25-Sep-2003) is rewritten;
// anything else, eight digits such as 20030925 included, is returned as it
// stands. Two-digit years 00-29 are 2000-2029, 30-99 are 1930-1999.
QString normaliseQuoteDate(const QString& field);

// A quote value as a float: blanks around it allowed; nothing that is not a
// finite number a float can hold.
std::optional<float> quoteValue(QStringView text);

// One row of Yahoo!'s history table.
struct YahooQuote
{
    qint32 date = 0; // yyyymmdd
    float open = 0, high = 0, low = 0, close = 0, volume = 0;
};

// Reads Yahoo!'s comma-separated history table: a header line naming the
// columns (Date,Open,High,Low,Close,Volume,Adj Close), then one row per bar
// in any order with dates as YYYY-MM-DD. Rows that do not read completely are
// skipped. Empty when the header lacks one of the columns used.
QList<YahooQuote> parseYahooTable(const QByteArray& body);

} // namespace kestrion
