#pragma once

#include "sources/quote_source.h"

#include <QByteArray>
#include <QString>

namespace kestrion {

// Wall Street City: a query page names the result file, which is the data.
std::unique_ptr<QuoteSource> makeWallStreetCitySource(const SourceSetup& setup);

QString wscQueryUrl(const QString& host, const DateRange& range, HistoryPeriod period, const QString& symbol,
                    const QString& dataFormat);
// Stage 2 of a Wall Street City attempt: saves the query page as "temp.txt"
// in the download directory, finds the whole word "dynamic" and takes the 15
// bytes after it and the character that follows it, then deletes the file.
// When the file cannot be written whole, the page itself is searched.
QString wscResultUrl(const QString& fileHost, const QByteArray& stage1Page, const QString& downloadDir);
// The same position rule on the bytes themselves.
QByteArray wscResultName(const QByteArray& stage1Page);

} // namespace kestrion
