// Reading service descriptions: every key of the file format, the faults that
// leave a description out, and the shipped and user folders.
#include "sources/source_description.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

// Declared before the raw-string helpers, which moc cannot read past.
class TestSourceDescription : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cliNames_data();
    void cliNames();
    void defaults();
    void keysRead_data();
    void keysRead();
    void broken_data();
    void broken();
    void periods_data();
    void periods();
    void shippedFilesAreUsable();
    void userFileReplacesShipped();
};

namespace {

const QString kShipped = QStringLiteral(KESTRION_SOURCE_DIR "/share/kestrion/sources");

// A usable description to break one key at a time.
QJsonObject minimal()
{
    return QJsonDocument::fromJson(R"({
        "name": "Test Service",
        "url": "https://example.com/q?s={symbol}&from={from}&to={to}",
        "format": "json",
        "fields": {"date": "d", "open": "o", "high": "h", "low": "l", "close": "c"}
    })").object();
}

// Sets a dotted key of the object ("csv.separator"); an undefined value removes it.
void put(QJsonObject& obj, const QString& path, const QJsonValue& value)
{
    const qsizetype dot = path.indexOf(QLatin1Char('.'));
    if (dot < 0) {
        if (value.isUndefined())
            obj.remove(path);
        else
            obj.insert(path, value);
        return;
    }
    QJsonObject inner = obj.value(path.left(dot)).toObject();
    put(inner, path.mid(dot + 1), value);
    obj.insert(path.left(dot), inner);
}

QJsonValue json(const char* text)
{
    return QJsonDocument::fromJson(QByteArray("[") + text + "]").array().at(0);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace


void TestSourceDescription::cliNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cli");
    QTest::addColumn<QString>("variable");
    QTest::newRow("two words") << "Twelve Data" << "twelve-data" << "KESTRION_TWELVE_DATA_KEY";
    QTest::newRow("one word") << "EODHD" << "eodhd" << "KESTRION_EODHD_KEY";
    QTest::newRow("runs and ends") << "  My--Own (Service)! " << "my-own-service" << "KESTRION_MY_OWN_SERVICE_KEY";
    QTest::newRow("digits kept") << "Data 24/7" << "data-24-7" << "KESTRION_DATA_24_7_KEY";
}

void TestSourceDescription::cliNames()
{
    QFETCH(QString, name);
    QFETCH(QString, cli);
    QFETCH(QString, variable);
    QCOMPARE(describedCliName(name), cli);
    QCOMPARE(describedKeyVariable(name), variable);
}

void TestSourceDescription::defaults()
{
    const DescriptionParse parsed = parseSourceDescription(QJsonDocument(minimal()).toJson(), QStringLiteral("t.json"));
    QVERIFY2(parsed.problems.isEmpty(), qPrintable(parsed.problems.join(QLatin1Char('\n'))));
    QVERIFY(parsed.description);
    const SourceDescription& d = *parsed.description;
    QCOMPARE(d.cliName, QStringLiteral("test-service"));
    QCOMPARE(d.key, DescribedKey::None);
    QCOMPARE(d.dates, QStringLiteral("iso"));
    QCOMPARE(d.dateFormat, QStringLiteral("iso"));
    QCOMPARE(d.timezone, QStringLiteral("UTC"));
    QCOMPARE(d.separator, QLatin1Char(','));
    QCOMPARE(d.skip, 0);
    QCOMPARE(d.parallel, 1);
    QCOMPARE(d.requestsPerMinute, 0);
    QCOMPARE(d.symbolCase, SymbolCase::AsIs);
    QVERIFY(!d.hasIntervals);
    QVERIFY(d.volumeField.isEmpty());
    QVERIFY(d.adjCloseField.isEmpty());
    QVERIFY(!d.columns);
}

// Each key, set to a good value, lands where the converter looks for it.
void TestSourceDescription::keysRead_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("seen");
    QTest::newRow("headers") << "headers" << json(R"({"X-Client": "kestrion"})") << "X-Client=kestrion";
    QTest::newRow("key required") << "key" << json(R"("required")") << "required";
    QTest::newRow("key optional") << "key" << json(R"("optional")") << "optional";
    QTest::newRow("key-help") << "key-help" << json(R"("  get one   here ")") << "get one here";
    QTest::newRow("intervals") << "intervals" << json(R"({"weekly": "1w", "monthly": "1m"})") << "|1w|1m";
    QTest::newRow("dates unix") << "dates" << json(R"("unix")") << "unix";
    QTest::newRow("dates qt") << "dates" << json(R"("yyyyMMdd")") << "yyyyMMdd";
    QTest::newRow("symbol") << "symbol"
                            << json(R"({"case": "lower", "suffixes": {"": ".US"}, "prefixes": {"^": ""}, "index-suffix": ".INDX"})")
                            << "lower .US  .INDX";
    QTest::newRow("csv") << "csv" << json(R"({"separator": ";", "skip": 2})") << "; 2";
    QTest::newRow("rows") << "rows" << json(R"("data.bars")") << "data.bars";
    QTest::newRow("columns") << "columns" << json("true") << "columns";
    QTest::newRow("date-format") << "date-format" << json(R"("dd.MM.yyyy")") << "dd.MM.yyyy";
    QTest::newRow("timezone") << "timezone" << json(R"("Asia/Tokyo")") << "Asia/Tokyo";
    QTest::newRow("errors") << "errors"
                            << json(R"([{"reason": "rate-limited", "status": 200, "contains": "credits", "field": "code", "equals": 429, "message": "msg"}])")
                            << "rate-limited 200 credits code 429 msg";
    QTest::newRow("requests-per-minute") << "requests-per-minute" << json("8") << "8";
    QTest::newRow("parallel") << "parallel" << json("3") << "3";
}

void TestSourceDescription::keysRead()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QFETCH(QString, seen);
    QJsonObject obj = minimal();
    put(obj, key, value);
    const DescriptionParse parsed = parseSourceDescription(QJsonDocument(obj).toJson(), QStringLiteral("t.json"));
    QVERIFY2(parsed.description, qPrintable(parsed.problems.join(QLatin1Char('\n'))));
    const SourceDescription& d = *parsed.description;
    QString got;
    if (key == QLatin1String("headers"))
        got = QString::fromUtf8(d.headers.value(0).first) + QLatin1Char('=') + d.headers.value(0).second;
    else if (key == QLatin1String("key"))
        got = d.key == DescribedKey::Required ? QStringLiteral("required") : QStringLiteral("optional");
    else if (key == QLatin1String("key-help"))
        got = d.keyHelp;
    else if (key == QLatin1String("intervals"))
        got = d.dailyWord + QLatin1Char('|') + d.weeklyWord + QLatin1Char('|') + d.monthlyWord;
    else if (key == QLatin1String("dates"))
        got = d.dates;
    else if (key == QLatin1String("symbol"))
        got = QStringLiteral("%1 %2 %3 %4")
                  .arg(d.symbolCase == SymbolCase::Lower ? QStringLiteral("lower") : QStringLiteral("?"),
                       d.suffixes.value(QString()), d.prefixes.value(QStringLiteral("^")), d.indexSuffix.value_or(QString()));
    else if (key == QLatin1String("csv"))
        got = QString(d.separator) + QLatin1Char(' ') + QString::number(d.skip);
    else if (key == QLatin1String("rows"))
        got = d.rows;
    else if (key == QLatin1String("columns"))
        got = d.columns ? QStringLiteral("columns") : QString();
    else if (key == QLatin1String("date-format"))
        got = d.dateFormat;
    else if (key == QLatin1String("timezone"))
        got = d.timezone;
    else if (key == QLatin1String("errors")) {
        const ErrorRule& r = d.errors.value(0);
        got = QStringLiteral("%1 %2 %3 %4 %5 %6")
                  .arg(reasonText(r.reason), QString::number(r.status.value_or(0)), r.contains, r.field,
                       QString::number(r.equals.toDouble()), r.message);
    } else if (key == QLatin1String("requests-per-minute"))
        got = QString::number(d.requestsPerMinute);
    else if (key == QLatin1String("parallel"))
        got = QString::number(d.parallel);
    QCOMPARE(got, seen);
}

// A description that cannot be used is left out, and the problem names the
// file, the key and the fault.
void TestSourceDescription::broken_data()
{
    QTest::addColumn<QString>("key"); // dotted key to set; "" keeps the object
    QTest::addColumn<QJsonValue>("value"); // undefined removes the key
    QTest::addColumn<QByteArray>("raw"); // used instead when not empty
    QTest::addColumn<QString>("problem");
    const QJsonValue gone(QJsonValue::Undefined);
    QTest::newRow("bad json") << "" << gone << QByteArray("{\"name\": \"x\",") << "t.json: not valid JSON";
    QTest::newRow("not an object") << "" << gone << QByteArray("[1, 2]") << "t.json: must hold one JSON object";
    QTest::newRow("unknown top key") << "urll" << json(R"("x")") << QByteArray() << "t.json: urll: unknown key";
    QTest::newRow("unknown symbol key") << "symbol.sufixes" << json("{}") << QByteArray() << "symbol.sufixes: unknown key";
    QTest::newRow("unknown fields key") << "fields.adj" << json(R"("x")") << QByteArray() << "fields.adj: unknown key";
    QTest::newRow("unknown csv key") << "csv.sep" << json(R"(";")") << QByteArray() << "csv.sep: unknown key";
    QTest::newRow("unknown interval") << "intervals.hourly" << json(R"("1h")") << QByteArray() << "intervals.hourly: unknown key";
    QTest::newRow("unknown rule key") << "errors" << json(R"([{"reason": "not-found", "statuss": 404}])") << QByteArray()
                                      << "errors[0].statuss: unknown key";
    QTest::newRow("no name") << "name" << gone << QByteArray() << "t.json: name: missing";
    QTest::newRow("no url") << "url" << gone << QByteArray() << "url: missing";
    QTest::newRow("no format") << "format" << gone << QByteArray() << "format: missing";
    QTest::newRow("no fields") << "fields" << gone << QByteArray() << "fields: missing";
    QTest::newRow("no close") << "fields.close" << gone << QByteArray() << "fields.close: missing";
    QTest::newRow("unknown reason") << "errors" << json(R"([{"reason": "teapot", "status": 418}])") << QByteArray()
                                    << "errors[0].reason: unknown reason \"teapot\"";
    QTest::newRow("rule without test") << "errors" << json(R"([{"reason": "not-found"}])") << QByteArray()
                                       << "errors[0]: has no test";
    QTest::newRow("field without equals") << "errors" << json(R"([{"reason": "not-found", "field": "code"}])")
                                          << QByteArray() << "errors[0].field: needs \"equals\"";
    QTest::newRow("interval without intervals") << "url" << json(R"("https://x.org/{symbol}/{interval}")") << QByteArray()
                                                << "url: {interval} needs \"intervals\"";
    QTest::newRow("key without key") << "url" << json(R"("https://x.org/{symbol}?k={key}")") << QByteArray()
                                     << "url: {key} needs \"key\"";
    QTest::newRow("header key without key") << "headers" << json(R"({"Authorization": "Bearer {key}"})") << QByteArray()
                                            << "headers.Authorization: {key} needs \"key\"";
    QTest::newRow("unknown placeholder") << "url" << json(R"("https://x.org/{ticker}")") << QByteArray()
                                         << "url: unknown placeholder {ticker}";
    QTest::newRow("not http") << "url" << json(R"("ftp://x.org/{symbol}")") << QByteArray() << "url: must begin with";
    QTest::newRow("built-in Tiingo") << "name" << json(R"("Tiingo")") << QByteArray() << "name: \"Tiingo\" is a built-in source";
    QTest::newRow("built-in any case") << "name" << json(R"("yahoo chart")") << QByteArray()
                                       << "name: \"Yahoo Chart\" is a built-in source";
    QTest::newRow("built-in Wall Street City") << "name" << json(R"("Wall Street City")") << QByteArray()
                                               << "is a built-in source";
    QTest::newRow("key mode") << "key" << json(R"("maybe")") << QByteArray() << "key: must be";
    QTest::newRow("format") << "format" << json(R"("xml")") << QByteArray() << "format: must be \"csv\" or \"json\"";
    QTest::newRow("timezone") << "timezone" << json(R"("Mars/Olympus")") << QByteArray() << "timezone: unknown time zone";
    QTest::newRow("date-format") << "date-format" << json(R"("qqq")") << QByteArray() << "date-format: \"qqq\"";
    QTest::newRow("dates") << "dates" << json(R"("HH:mm")") << QByteArray() << "dates: \"HH:mm\"";
    QTest::newRow("separator") << "csv" << json(R"({"separator": ";;"})") << QByteArray() << "csv.separator: must be one";
    QTest::newRow("parallel") << "parallel" << json("9") << QByteArray() << "parallel: must be a whole number";
    QTest::newRow("pacing") << "requests-per-minute" << json("0") << QByteArray() << "requests-per-minute: must be";
    QTest::newRow("case") << "symbol" << json(R"({"case": "title"})") << QByteArray() << "symbol.case: must be";
    QTest::newRow("columns") << "columns" << json(R"("yes")") << QByteArray() << "columns: must be true or false";
    QTest::newRow("number as text") << "rows" << json("3") << QByteArray() << "rows: must be a text";
}

void TestSourceDescription::broken()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QFETCH(QByteArray, raw);
    QFETCH(QString, problem);
    QByteArray bytes = raw;
    if (bytes.isEmpty()) {
        QJsonObject obj = minimal();
        put(obj, key, value);
        bytes = QJsonDocument(obj).toJson();
    }
    const DescriptionParse parsed = parseSourceDescription(bytes, QStringLiteral("t.json"));
    QVERIFY(!parsed.description);
    QVERIFY(!parsed.problems.isEmpty());
    for (const QString& p : parsed.problems)
        QVERIFY2(p.startsWith(QLatin1String("t.json: ")), qPrintable(p));
    QVERIFY2(parsed.problems.join(QLatin1Char('\n')).contains(problem), qPrintable(parsed.problems.join(QLatin1Char('\n'))));
}

void TestSourceDescription::periods_data()
{
    QTest::addColumn<QJsonValue>("intervals");
    QTest::addColumn<QString>("periods"); // D W M it can give
    QTest::newRow("none: daily rows") << QJsonValue(QJsonValue::Undefined) << "DWM";
    QTest::newRow("daily folds") << json(R"({"daily": "d"})") << "DWM";
    QTest::newRow("monthly only") << json(R"({"monthly": "m"})") << "M";
    QTest::newRow("weekly and monthly") << json(R"({"weekly": "w", "monthly": "m"})") << "WM";
}

void TestSourceDescription::periods()
{
    QFETCH(QJsonValue, intervals);
    QFETCH(QString, periods);
    QJsonObject obj = minimal();
    put(obj, QStringLiteral("intervals"), intervals);
    const DescriptionParse parsed = parseSourceDescription(QJsonDocument(obj).toJson(), QStringLiteral("t.json"));
    QVERIFY(parsed.description);
    QString got;
    for (HistoryPeriod p : describedPeriods(*parsed.description))
        got += p == HistoryPeriod::Daily ? QLatin1Char('D') : p == HistoryPeriod::Weekly ? QLatin1Char('W') : QLatin1Char('M');
    QCOMPARE(got, periods);
}

void TestSourceDescription::shippedFilesAreUsable()
{
    const DescriptionSet set = loadSourceDescriptions({kShipped});
    QVERIFY2(set.problems.isEmpty(), qPrintable(set.problems.join(QLatin1Char('\n'))));
    QStringList names;
    for (const SourceDescription& d : set.usable) {
        names.append(d.cliName);
        QCOMPARE(d.key, DescribedKey::Required);
        QVERIFY(!d.keyHelp.isEmpty());
        QCOMPARE(d.folderIndex, 0);
    }
    names.sort();
    QCOMPARE(names, QStringList({QStringLiteral("alpha-vantage"), QStringLiteral("eodhd"), QStringLiteral("marketdata"),
                                 QStringLiteral("massive"), QStringLiteral("twelve-data")}));
}

void TestSourceDescription::userFileReplacesShipped()
{
    QTemporaryDir user;
    QVERIFY(user.isValid());
    QJsonObject mine = minimal();
    mine.insert(QStringLiteral("name"), QStringLiteral("EODHD"));
    mine.insert(QStringLiteral("url"), QStringLiteral("https://mirror.example/{symbol}"));
    writeFile(user.filePath(QStringLiteral("a-eodhd.json")), QJsonDocument(mine).toJson());
    // A second file of the same name in one folder is a fault; the first stays.
    mine.insert(QStringLiteral("url"), QStringLiteral("https://other.example/{symbol}"));
    writeFile(user.filePath(QStringLiteral("b-eodhd.json")), QJsonDocument(mine).toJson());
    writeFile(user.filePath(QStringLiteral("broken.json")), "{\"name\": ");
    writeFile(user.filePath(QStringLiteral("notes.txt")), "not a description");

    const DescriptionSet set = loadSourceDescriptions({kShipped, user.path(), user.filePath(QStringLiteral("missing"))});
    QCOMPARE(set.usable.size(), size_t(5));
    const auto eodhd = std::find_if(set.usable.begin(), set.usable.end(),
                                    [](const SourceDescription& d) { return d.name == QLatin1String("EODHD"); });
    QVERIFY(eodhd != set.usable.end());
    QCOMPARE(eodhd->url, QStringLiteral("https://mirror.example/{symbol}"));
    QCOMPARE(eodhd->folderIndex, 1);
    QCOMPARE(set.problems.size(), 2);
    QVERIFY(set.problems.at(0).contains(QLatin1String("b-eodhd.json: name: \"EODHD\" is already described")));
    QVERIFY(set.problems.at(1).contains(QLatin1String("broken.json: not valid JSON")));
}

QTEST_GUILESS_MAIN(TestSourceDescription)
#include "test_source_description.moc"
