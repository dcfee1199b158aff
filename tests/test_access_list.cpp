// Reading ticker lists from Access files: a real Jet 4 file fetched by the
// fetch_access_sample set-up step, damaged copies of it, and kestrion-cli
// reading it in place.
#include "lists/access_file.h"
#include "lists/access_import.h"
#include "lists/import_values.h"
#include "lists/ticker_list.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

namespace {

const QString kSample = QStringLiteral(KESTRION_ACCESS_SAMPLE);

const QStringList kFruitSalad{"Apple",  "Banana", "Blackberry", "Blueberry", "Cherry", "Grapefruit, Red",
                              "Grapes", "Kiwi",   "Kumquat",    "Mandarin/Tangerine", "Orange", "Papaya",
                              "Passion Fruit", "Peach", "Pear", "Pineapple", "Plum", "Strawberry"};

QByteArray withHeader(QByteArray bytes, const QByteArray& engine, quint8 version)
{
    bytes.replace(4, engine.size(), engine);
    bytes[0x14] = char(version);
    return bytes;
}

} // namespace

class TestAccessList : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void formatFromHeader_data();
    void formatFromHeader();
    void tablesAndTextColumns();
    void columnInRowOrder_data();
    void columnInRowOrder();
    void columnRefused_data();
    void columnRefused();
    void longValuesFromRealFile();
    void fileUnchanged();
    void damagedCopies_data();
    void damagedCopies();

    void judgeValues_data();
    void judgeValues();
    void skippedSummary_data();
    void skippedSummary();
    void defaultColumn_data();
    void defaultColumn();
    void newListFromValues();

    void cliReadsChosenColumn();
    void cliRefusals_data();
    void cliRefusals();

private:
    QString copyOfSample(const QString& name) const;

    using Result = test::CliResult;
    Result cli(const QStringList& args);

    test::QuoteService m_service;
    std::unique_ptr<test::TempConfig> m_config;
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_bytes;
};

void TestAccessList::initTestCase()
{
    m_bytes = test::readAll(kSample);
    if (m_bytes.isEmpty())
        QFAIL(qPrintable(QStringLiteral("The Access sample file %1 is missing: the set-up step fetch_access_sample "
                                        "could not fetch it (it runs \"npm pack mdb@0.1.0\"; see its output).")
                             .arg(kSample)));
    QVERIFY(m_service.start());
}

void TestAccessList::init()
{
    m_config.reset();
    m_config = std::make_unique<test::TempConfig>();
    m_config->pointServicesAt(m_service.host(), 3);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestAccessList::copyOfSample(const QString& name) const
{
    const QString path = m_dir->filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(m_bytes) != m_bytes.size())
        return {};
    return path;
}

TestAccessList::Result TestAccessList::cli(const QStringList& args)
{
    return test::runCli(args, m_config->path());
}

void TestAccessList::formatFromHeader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("format");
    const QByteArray jet("Standard Jet DB", 15);
    const QByteArray ace("Standard ACE DB", 15);
    QTest::newRow("the real Jet 4 file") << m_bytes << int(AccessFormat::Jet4);
    QTest::newRow("Jet 3 header") << withHeader(m_bytes, jet, 0) << int(AccessFormat::Jet3);
    QTest::newRow("ACE 2007 header") << withHeader(m_bytes, ace, 2) << int(AccessFormat::Ace);
    QTest::newRow("ACE 2016 header") << withHeader(m_bytes, ace, 5) << int(AccessFormat::Ace);
    QTest::newRow("Jet name with an ACE version") << withHeader(m_bytes, jet, 3) << int(AccessFormat::NotAccess);
    QTest::newRow("ACE name with a Jet version") << withHeader(m_bytes, ace, 1) << int(AccessFormat::NotAccess);
    QTest::newRow("header cut short") << m_bytes.left(0x15) << int(AccessFormat::NotAccess);
    QTest::newRow("empty file") << QByteArray() << int(AccessFormat::NotAccess);
    QTest::newRow("text file") << QByteArray("MSFT\nIBM\n") << int(AccessFormat::NotAccess);
    QTest::newRow("SQLite database") << QByteArray("SQLite format 3\0", 16).append(4096, '\0')
                                     << int(AccessFormat::NotAccess);
}

void TestAccessList::formatFromHeader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, format);
    const QString path = m_dir->filePath(QStringLiteral("probe.mdb"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
    f.close();
    QCOMPARE(int(accessFormat(path)), format);
    QCOMPARE(isAccessFile(path), format != int(AccessFormat::NotAccess));
}

void TestAccessList::tablesAndTextColumns()
{
    QVector<AccessTable> tables;
    QString error;
    QVERIFY2(readAccessTables(kSample, tables, &error), qPrintable(error));
    QStringList names;
    QStringList columns;
    for (const AccessTable& t : tables) {
        names << t.name;
        columns << t.name + QLatin1Char(':') + t.textColumns.join(QLatin1Char(','));
    }
    // System tables stay out; number columns are not text columns.
    QCOMPARE(names, (QStringList{"Fruit", "Fruit Salad", "Veggie Salad", "Muffin/Bread", "Dried"}));
    QCOMPARE(columns, (QStringList{"Fruit:Fruit", "Fruit Salad:Fruit", "Veggie Salad:fruit", "Muffin/Bread:fruit",
                                   "Dried:Fruit"}));
}

void TestAccessList::columnInRowOrder_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("commas and spaces kept whole")
        << "Veggie Salad" << "fruit" << QStringList{"Avocado", "Carrots", "Pepper, Red Bell", "Tomato"};
    QTest::newRow("names matched without regard to case") << "fruit salad" << "FRUIT" << kFruitSalad;
    QTest::newRow("table name with a slash")
        << "Muffin/Bread" << "fruit"
        << QStringList{"Banana", "Blueberry", "Carrots", "Cherry", "Cranberry", "Date", "Fig",
                       "Lemon",  "Olive",     "Orange",  "Pineapple", "Plum", "Tomato"};
}

void TestAccessList::columnInRowOrder()
{
    QFETCH(QString, table);
    QFETCH(QString, column);
    QFETCH(QStringList, values);
    QStringList read;
    QString error;
    QVERIFY2(readAccessColumn(kSample, {table, column}, read, &error), qPrintable(error));
    QCOMPARE(read, values);
}

void TestAccessList::columnRefused_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no such table") << "Table1" << "Symbol" << "it has no table \"Table1\"";
    QTest::newRow("no such column") << "Dried" << "Symbol" << "the table \"Dried\" has no column \"Symbol\"";
    QTest::newRow("number column") << "Fruit" << "Fat" << "does not hold text";
    QTest::newRow("system table") << "MSysObjects" << "Name" << "it has no table \"MSysObjects\"";
}

void TestAccessList::columnRefused()
{
    QFETCH(QString, table);
    QFETCH(QString, column);
    QFETCH(QString, reason);
    QStringList read{QStringLiteral("stale")};
    QString error;
    QVERIFY(!readAccessColumn(kSample, {table, column}, read, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(read, QStringList());
}

void TestAccessList::longValuesFromRealFile()
{
    const AccessValuesRead r = AccessValuesRead::from(kSample, {QStringLiteral("Fruit Salad"), QStringLiteral("Fruit")});
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.values.tooLong, (QStringList{"Grapefruit, Red", "Mandarin/Tangerine", "Passion Fruit"}));
    QCOMPARE(r.values.empty, 0);
    QStringList kept = kFruitSalad;
    for (const QString& v : r.values.tooLong)
        kept.removeOne(v);
    // Ten characters is still a ticker.
    QVERIFY(kept.contains(QStringLiteral("Blackberry")));
    QCOMPARE(r.values.symbols, kept);
    QCOMPARE(r.values.skippedSummary(),
             QStringLiteral("3 values longer than 10 characters were skipped: \"Grapefruit, Red\", "
                            "\"Mandarin/Tangerine\", \"Passion Fruit\"."));
}

void TestAccessList::fileUnchanged()
{
    const QString path = copyOfSample(QStringLiteral("kept.mdb"));
    QVERIFY(!path.isEmpty());
    const QDateTime stamp = QDateTime::currentDateTimeUtc().addDays(-3);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    const QDateTime before = QFileInfo(path).lastModified();
    QVector<AccessTable> tables;
    QVERIFY(readAccessTables(path, tables));
    for (const AccessTable& t : tables) {
        for (const QString& c : t.textColumns) {
            QStringList values;
            QVERIFY(readAccessColumn(path, {t.name, c}, values));
        }
    }
    QCOMPARE(test::readAll(path), m_bytes);
    QCOMPARE(QFileInfo(path).lastModified(), before);
}

void TestAccessList::damagedCopies_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("table"); // empty: the failure comes with the table list
    QTest::addColumn<QString>("reason");
    const QByteArray jet("Standard Jet DB", 15);
    QTest::newRow("cut inside the first page") << m_bytes.left(100) << QString() << "cut short";
    // Cut in mid-page, the reading library would loop forever.
    QTest::newRow("cut inside a data page") << m_bytes.left(380000) << QString() << "cut short";
    // Cut at a page end, the size is no hint; the tables reach past the end.
    QTest::newRow("cut at a page end, catalog gone")
        << m_bytes.left(16 * 4096) << QString() << "it is cut short: it ends after 16 4096-byte pages, before";
    QTest::newRow("cut at a page end, a table gone")
        << m_bytes.left(49 * 4096) << QString() << "it is cut short: it ends after 49 4096-byte pages, before";
    // The table definitions are whole, the rows of "Dried" are not: a shorter
    // list would pass for the real one.
    QTest::newRow("cut at a page end, rows gone") << m_bytes.left(58 * 4096) << "Dried"
                                                  << "only 0 of the 12 rows of the table \"Dried\"";
    QTest::newRow("two pages only") << m_bytes.left(2 * 4096) << QString()
                                    << "it is cut short: it ends after 2 4096-byte pages, before the end of its tables";
    QTest::newRow("one page only") << m_bytes.left(4096) << QString()
                                   << "it is cut short: it ends after 1 4096-byte page, before the end of its tables";
    QTest::newRow("format newer than known") << withHeader(m_bytes, QByteArray("Standard ACE DB", 15), 9)
                                             << QString() << "cannot read (format 9)";
    QTest::newRow("not Access at all") << QByteArray("Symbol\nMSFT\n") << QString() << "not an Access database";
}

void TestAccessList::damagedCopies()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, table);
    QFETCH(QString, reason);
    const QString path = m_dir->filePath(QStringLiteral("damaged.mdb"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
    f.close();

    QVector<AccessTable> tables;
    QString error;
    const bool listed = readAccessTables(path, tables, &error);
    if (table.isEmpty()) {
        QVERIFY(!listed);
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY(tables.isEmpty());
    } else {
        QVERIFY2(listed, qPrintable(error));
    }
    QStringList values;
    QString columnError;
    QVERIFY(!readAccessColumn(path, {table.isEmpty() ? QStringLiteral("Dried") : table, QStringLiteral("Fruit")},
                              values, &columnError));
    QVERIFY(!columnError.isEmpty());
    if (!table.isEmpty())
        QVERIFY2(columnError.contains(reason), qPrintable(columnError));
    QCOMPARE(values, QStringList());
    QCOMPARE(test::readAll(path), bytes);

    // The command line says the same, names the file and prints no ticker.
    const Result r = cli({"--list", path, "--dir", m_dir->path(), "--table", "Dried", "--column", "Fruit"});
    QCOMPARE(r.code, 2);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    QVERIFY2(r.err.contains(path), qPrintable(r.err));
}

void TestAccessList::judgeValues_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QStringList>("tooLong");
    QTest::addColumn<int>("empty");
    QTest::newRow("ten kept, eleven skipped")
        << QStringList{"ABCDEFGHIJ", "ABCDEFGHIJK"} << QStringList{"ABCDEFGHIJ"} << QStringList{"ABCDEFGHIJK"} << 0;
    QTest::newRow("empty values counted, order kept")
        << QStringList{"", "KO", "", "IBM"} << QStringList{"KO", "IBM"} << QStringList{} << 2;
    QTest::newRow("blanks are characters") << QStringList{" ", " MSFT     X"} << QStringList{" "}
                                           << QStringList{" MSFT     X"} << 0;
    // Ten letters outside the Basic Multilingual Plane are 20 UTF-16 units
    // but ten characters, as the list file counts them.
    const QString astral = QString::fromUcs4(U"\U0001D400\U0001D401\U0001D402\U0001D403\U0001D404\U0001D405"
                                             U"\U0001D406\U0001D407\U0001D408\U0001D409");
    QTest::newRow("characters, not UTF-16 units") << QStringList{astral} << QStringList{astral} << QStringList{} << 0;
    QTest::newRow("nothing") << QStringList{} << QStringList{} << QStringList{} << 0;
}

void TestAccessList::judgeValues()
{
    QFETCH(QStringList, values);
    QFETCH(QStringList, symbols);
    QFETCH(QStringList, tooLong);
    QFETCH(int, empty);
    const ImportValues v = ImportValues::sort(values);
    QCOMPARE(v.symbols, symbols);
    QCOMPARE(v.tooLong, tooLong);
    QCOMPARE(v.empty, empty);
    QCOMPARE(v.skipped(), int(tooLong.size()) + empty);

    // What the sorting keeps, a real list takes whole.
    const QString path = m_dir->filePath(QStringLiteral("judged.mdb"));
    QString why;
    QVERIFY2(createListWithSymbols(path, v.symbols, nullptr, &why), qPrintable(why));
    TickerList list;
    QVERIFY(list.open(path));
    QCOMPARE(list.symbols(), symbols);
}

void TestAccessList::skippedSummary_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("summary");
    QTest::newRow("nothing skipped") << QStringList{"KO"} << QString();
    QTest::newRow("one long value") << QStringList{"KO", "Coca-Cola Co"}
                                    << "1 value longer than 10 characters was skipped: \"Coca-Cola Co\".";
    QTest::newRow("first five named, the rest counted")
        << QStringList{"Long value 1", "Long value 2", "Long value 3", "Long value 4", "Long value 5",
                       "Long value 6", "Long value 7"}
        << "7 values longer than 10 characters were skipped: \"Long value 1\", \"Long value 2\", \"Long value 3\", "
           "\"Long value 4\", \"Long value 5\" and 2 more.";
    QTest::newRow("empty values") << QStringList{"", "", "KO"} << "2 empty values were skipped.";
    QTest::newRow("control characters") << QStringList{"A\tB", "KO", "Long value\n1"}
                                        << "2 values with control characters were skipped: \"A\\x09B\", "
                                           "\"Long value\\x0A1\".";
    QTest::newRow("both") << QStringList{"", "Long value 1"}
                          << "1 value longer than 10 characters was skipped: \"Long value 1\".\n"
                             "1 empty value was skipped.";
}

void TestAccessList::skippedSummary()
{
    QFETCH(QStringList, values);
    QFETCH(QString, summary);
    QCOMPARE(ImportValues::sort(values).skippedSummary(), summary);
}

void TestAccessList::defaultColumn_data()
{
    QTest::addColumn<QStringList>("tables"); // "table:column,column"
    QTest::addColumn<QString>("expected");   // "table/column", or empty
    QTest::newRow("Table1 with Symbol") << QStringList{"Other:Symbol", "Table1:Name,Symbol"} << "Table1/Symbol";
    QTest::newRow("names as stored, matched without case") << QStringList{"TABLE1:symbol"} << "TABLE1/symbol";
    QTest::newRow("Table1 without a Symbol text column") << QStringList{"Table1:Name"} << "";
    QTest::newRow("Symbol in another table only") << QStringList{"Tickers:Symbol"} << "";
    QTest::newRow("no tables") << QStringList{} << "";
}

void TestAccessList::defaultColumn()
{
    QFETCH(QStringList, tables);
    QFETCH(QString, expected);
    QVector<AccessTable> parsed;
    for (const QString& t : tables) {
        const QStringList parts = t.split(QLatin1Char(':'));
        parsed.push_back({parts.at(0), parts.at(1).split(QLatin1Char(','), Qt::SkipEmptyParts)});
    }
    const AccessColumnRef ref = defaultAccessColumn(parsed);
    QCOMPARE(ref.table.isEmpty() ? QString() : ref.table + QLatin1Char('/') + ref.column, expected);
}

void TestAccessList::newListFromValues()
{
    QCOMPARE(proposedListPathFor(QStringLiteral("/data/old lists/tech.v2.mdb")),
             QStringLiteral("/data/old lists/tech.v2-kestrion.mdb"));
    const QString path = m_dir->filePath(QStringLiteral("made.mdb"));
    QString created;
    QString why;
    QVERIFY2(createListWithSymbols(path, {"KO", "IBM", "KO"}, &created, &why), qPrintable(why));
    QCOMPARE(created, path);
    TickerList list;
    QVERIFY(list.open(path));
    QCOMPARE(list.symbols(), (QStringList{"KO", "IBM", "KO"}));
    list.close();

    // An existing file is never replaced, also not by a second import.
    const QByteArray before = test::readAll(path);
    QVERIFY(!createListWithSymbols(path, {"MSFT"}, &created, &why));
    QVERIFY2(why.contains(QStringLiteral("exists")), qPrintable(why));
    QCOMPARE(test::readAll(path), before);

    // A fill that fails leaves no half list behind.
    const QString refused = m_dir->filePath(QStringLiteral("refused.mdb"));
    QVERIFY(!createListWithSymbols(refused, {"KO", "FAR TOO LONG"}, &created, &why));
    QVERIFY(!QFile::exists(refused));
}

void TestAccessList::cliReadsChosenColumn()
{
    const QString path = copyOfSample(QStringLiteral("fruit.mdb"));
    QVERIFY(!path.isEmpty());
    const QString dl = m_dir->filePath(QStringLiteral("dl"));
    QVERIFY(QDir().mkdir(dl));
    const Result r = cli({"--list", path, "--table", "Fruit Salad", "--column", "Fruit", "--dir", dl, "--source",
                          "yahoo", "--from", "2003-01-01", "--to", "2003-02-28", "--period", "monthly", "--ext",
                          ".csv"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QStringLiteral("skipped: Grapefruit, Red (too long)\nskipped: Mandarin/Tangerine (too long)\n"
                                   "skipped: Passion Fruit (too long)\n"));
    QStringList asked;
    for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        asked << line.section(QLatin1Char(' '), 0, 0);
    QCOMPARE(asked, (QStringList{"Apple", "Banana", "Blackberry", "Blueberry", "Cherry", "Grapes", "Kiwi", "Kumquat",
                                 "Orange", "Papaya", "Peach", "Pear", "Pineapple", "Plum", "Strawberry"}));
    QVERIFY2(!r.out.contains(QStringLiteral("failed")), qPrintable(r.out));
    QCOMPARE(test::readAll(path), m_bytes);
}

void TestAccessList::cliRefusals_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("parts");
    const QString tables = QStringLiteral("\"Fruit\", \"Fruit Salad\", \"Veggie Salad\", \"Muffin/Bread\", \"Dried\"");
    QTest::newRow("no Table1, no --table") << QStringList{} << QStringList{"no table \"Table1\"", "--table", tables};
    QTest::newRow("--column alone looks in Table1")
        << QStringList{"--column", "Fruit"} << QStringList{"no table \"Table1\"", tables};
    QTest::newRow("unknown table") << QStringList{"--table", "Vegetables"}
                                   << QStringList{"no table \"Vegetables\"", tables};
    QTest::newRow("no Symbol column") << QStringList{"--table", "Dried"}
                                      << QStringList{"no text column \"Symbol\"", "--column: \"Fruit\""};
    QTest::newRow("number column") << QStringList{"--table", "Fruit", "--column", "Sugar"}
                                   << QStringList{"no text column \"Sugar\""};
}

void TestAccessList::cliRefusals()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, parts);
    const QString path = copyOfSample(QStringLiteral("fruit.mdb"));
    QVERIFY(!path.isEmpty());
    const Result r = cli(QStringList{"--list", path, "--dir", m_dir->path()} + options);
    QCOMPARE(r.code, 2);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    for (const QString& part : parts)
        QVERIFY2(r.err.contains(part), qPrintable(r.err));
    QVERIFY2(r.err.contains(path), qPrintable(r.err));

    // --table and --column belong to Access files.
    const QString list = m_dir->filePath(QStringLiteral("list.mdb"));
    QVERIFY(test::makeList(list, {QStringLiteral("KO")}));
    const Result own = cli({"--list", list, "--dir", m_dir->path(), "--table", "Table1"});
    QCOMPARE(own.code, 2);
    QVERIFY2(own.err.contains(QStringLiteral("Access files only")), qPrintable(own.err));
}

QTEST_GUILESS_MAIN(TestAccessList)
#include "test_access_list.moc"
