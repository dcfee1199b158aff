#pragma once

#include "formats/price_table.h"
#include "sources/failure_reason.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A price service described by a small JSON file instead of code: where to
// ask, how to write the symbol and the dates, and how to read the answer.
// Users add or repair a service this way without a new release.

namespace kestrion {

enum class DescribedKey { None, Optional, Required };
enum class SymbolCase { AsIs, Upper, Lower };
enum class AnswerFormat { Csv, Json };

// One entry of "errors": every test given must hold.
struct ErrorRule
{
    FailureReason reason = FailureReason::BadData;
    std::optional<int> status;
    QString contains; // looked for in the body's first 4 KiB, any case
    QString field; // dotted JSON field, compared with equals
    QJsonValue equals;
    QString message; // dotted JSON field whose text goes with the reason
};

struct SourceDescription
{
    QString name; // "Data Source" text and the name in messages
    QString cliName; // kestrion-cli --source
    QString url; // with {symbol} {from} {to} {interval} {key}
    QList<QPair<QByteArray, QString>> headers; // values may hold {key}
    DescribedKey key = DescribedKey::None;
    QString keyHelp;
    // The service's words per period; an empty word is one it has not.
    QString dailyWord, weeklyWord, monthlyWord;
    bool hasIntervals = false;
    QString dates = QStringLiteral("iso"); // "iso", "unix", "unix-ms" or a Qt date format

    SymbolCase symbolCase = SymbolCase::AsIs;
    QMap<QString, QString> suffixes; // Yahoo-style suffix ("" is none) to the service's
    QMap<QString, QString> prefixes; // "^" of an index to the service's
    std::optional<QString> indexSuffix;

    AnswerFormat format = AnswerFormat::Json;
    QChar separator = QLatin1Char(',');
    int skip = 0;
    QString rows; // dotted path; empty is the top level
    bool columns = false; // rows names an object of parallel arrays

    QString dateField, openField, highField, lowField, closeField;
    QString volumeField, adjCloseField; // empty: 0, and Adj Close is Close
    QString dateFormat = QStringLiteral("iso");
    QString timezone = QStringLiteral("UTC");

    QList<ErrorRule> errors;
    int requestsPerMinute = 0; // 0: no pacing
    int parallel = 1;

    QString filePath; // where it was read from
    int folderIndex = 0; // 0: the shipped folder, later: the user's
};

struct DescriptionParse
{
    std::optional<SourceDescription> description; // none when unusable
    QStringList problems; // "file: key: fault", one per fault
};

// Reads one description. fileName is only used in the problems.
DescriptionParse parseSourceDescription(const QByteArray& json, const QString& fileName);

// "Twelve Data" -> "twelve-data": lower case, each run of other characters
// than letters and digits one "-", none at either end.
QString describedCliName(const QString& name);
// "Twelve Data" -> "KESTRION_TWELVE_DATA_KEY", the variable that overrides the stored key.
QString describedKeyVariable(const QString& name);
// "not-found" and the other reasons a service can give; none for anything else.
std::optional<FailureReason> describedReason(const QString& text);
// The periods it can give: daily folds into weeks and months.
QList<HistoryPeriod> describedPeriods(const SourceDescription& description);

struct DescriptionSet
{
    std::vector<SourceDescription> usable; // by name, in file order
    QStringList problems;
};

// Every *.json in the folders, in order (the shipped folder first, then the
// user's). A description in a later folder replaces one of the same name in
// an earlier; within one folder the first by file name wins. A missing
// folder is no fault.
DescriptionSet loadSourceDescriptions(const QStringList& folders);

} // namespace kestrion
