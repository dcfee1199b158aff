#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

namespace kestrion {

enum class HistoryPeriod { None, Daily, Weekly, Monthly };

struct MonthValues
{
    int number = 0; // 1..12, 0 when the text is not a month name
    int zeroBased = 0; // 0..11
    QString twoDigit; // "01".."12", empty when not a month name
};

struct PeriodValues
{
    QString yahooLetter; // "d", "w", "m"
    QString wscCode; // "0", "1", "2"
    qint16 number = 0; // 1, 2, 3 (what the MetaStock components take)
};

// The English month abbreviations "Jan".."Dec", the only month texts a run
// recognises.
const QStringList& monthNames();
MonthValues monthValues(const QString& monthText);
PeriodValues periodValues(HistoryPeriod period);

// The date range as the six selector texts show it, and the history period.
struct RequestInputs
{
    QString startMonth, startDay, startYear;
    QString endMonth, endDay, endYear;
    HistoryPeriod period = HistoryPeriod::Daily;
};

// The day that a month name, a day text ("1".."31", one or two digits) and
// a four-digit year text name; invalid for anything else, a day the month
// does not have (Feb 30) included.
QDate selectorDay(const QString& month, const QString& day, const QString& year);

// Why a run must not ask for the range of these texts, for the user: a start
// or end that is no real day, or an end before the start. Dates are named as
// YYYY-MM-DD where they exist. Empty when the range can be asked for.
QString rangeProblem(const RequestInputs& inputs);

// Month and period values converted once at the start of a run.
struct RunRequestValues
{
    RequestInputs inputs;
    MonthValues start;
    MonthValues end;
    PeriodValues period;

    static RunRequestValues from(const RequestInputs& inputs);
};

// A symbol as it goes into a query: characters that would change the URL's
// meaning are percent-encoded (space, &, #, ?, %, +, /, controls, non-ASCII);
// everything else, the dot included, is sent as it stands.
QString encodeSymbol(const QString& symbol);

// "scheme://host[:port]" for a configured host, which may name its own scheme
// ("http://127.0.0.1:8080"); without one, defaultScheme.
QString serviceBase(const QString& host, const QString& defaultScheme = QStringLiteral("http"));

QString yahooUrl(const QString& host, const RunRequestValues& v, const QString& symbol);
QString wscQueryUrl(const QString& host, const RunRequestValues& v, const QString& symbol, const QString& dataFormat);
// Stage 2 of a Wall Street City attempt: saves the query page as "temp.txt"
// in the download directory, finds the whole word "dynamic" and takes the 15
// bytes after it and the character that follows it, then deletes the file.
// When the file cannot be written whole, the page itself is searched.
QString wscResultUrl(const QString& fileHost, const QByteArray& stage1Page, const QString& downloadDir);
// The same position rule on the bytes themselves.
QByteArray wscResultName(const QByteArray& stage1Page);

struct CompactDates
{
    qint32 start = 0;
    qint32 end = 0;
};
// Year text, two-digit month and day text run together: 20030101.
CompactDates compactDates(const RunRequestValues& v);

} // namespace kestrion
