#include "lists/ticker_list.h"
#include "testsupport.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

class TestTickerList : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void createAddsExtensionAndNeverTouchesExisting();
    void rowsKeepStoredOrderAndDuplicates();
    void fileRefusesTexts_data();
    void fileRefusesTexts();
    void appendAllIsOneTransaction();
    void addTickerSaysWhyNot_data();
    void addTickerSaysWhyNot();
    void addTickerOnReadOnlyFileSystem();
    void openFailures_data();
    void openFailures();
    void removeByRow();
};

void TestTickerList::createAddsExtensionAndNeverTouchesExisting()
{
    QTemporaryDir dir;
    QString created;
    QVERIFY(TickerList::create(dir.filePath(QStringLiteral("tech")), &created));
    QCOMPARE(created, dir.filePath(QStringLiteral("tech.mdb")));
    TickerList list;
    QVERIFY(list.open(created));
    QCOMPARE(list.count(), 0);
    QVERIFY(list.append(QStringLiteral("MSFT")));
    list.close();

    QString error;
    QVERIFY(!TickerList::create(created, nullptr, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(list.open(created));
    QCOMPARE(list.symbols(), QStringList{QStringLiteral("MSFT")});

    // Any existing file is left as it was, database or not.
    const QString other = dir.filePath(QStringLiteral("notes.txt"));
    QFile f(other);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("mine");
    f.close();
    QVERIFY(!TickerList::create(other));
    QCOMPARE(test::readAll(other), QByteArray("mine"));
}

void TestTickerList::rowsKeepStoredOrderAndDuplicates()
{
    QTemporaryDir dir;
    const QString p = dir.filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(p, {QStringLiteral("ZZ"), QStringLiteral("AA"), QStringLiteral("ZZ")}));
    TickerList list;
    QVERIFY(list.open(p));
    QVERIFY(list.append(QStringLiteral(" msft ")));
    QCOMPARE(list.symbols(), (QStringList{"ZZ", "AA", "ZZ", " msft "}));
    // Removing a row and adding again puts the new row last.
    QVERIFY(list.remove(list.rows().at(1).id));
    QVERIFY(list.append(QStringLiteral("BB")));
    QCOMPARE(list.symbols(), (QStringList{"ZZ", "ZZ", " msft ", "BB"}));
}

void TestTickerList::fileRefusesTexts_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<bool>("stored");
    QTest::newRow("ten characters") << "ABCDEFGHIJ" << true;
    QTest::newRow("eleven characters") << "ABCDEFGHIJK" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("null") << QString() << false;
    QTest::newRow("comma line") << "MSFT,IBM" << true;
    QTest::newRow("non-ASCII counts characters") << QStringLiteral("\u00C9\u00C9\u00C9\u00C9\u00C9\u00C9\u00C9\u00C9\u00C9\u00C9")
                                                 << true;
}

void TestTickerList::fileRefusesTexts()
{
    QFETCH(QString, symbol);
    QFETCH(bool, stored);
    QTemporaryDir dir;
    const QString p = dir.filePath(QStringLiteral("l.mdb"));
    QVERIFY(TickerList::create(p));
    TickerList list;
    QVERIFY(list.open(p));
    QCOMPARE(list.append(symbol), stored);
    QCOMPARE(list.count(), stored ? 1 : 0);
}

void TestTickerList::appendAllIsOneTransaction()
{
    QTemporaryDir dir;
    const QString p = dir.filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(p, {QStringLiteral("FIRST")}));
    TickerList list;
    QVERIFY(list.open(p));
    QStringList lines;
    for (int i = 0; i < 10000; ++i)
        lines << QStringLiteral("S%1").arg(i);
    lines << QString() << QStringLiteral("TOOLONGSYMBOL");
    QCOMPARE(list.appendAll(lines), 10000);
    QCOMPARE(list.count(), 10001);
    QCOMPARE(list.symbols().at(1), QStringLiteral("S0"));
    QCOMPARE(list.symbols().last(), QStringLiteral("S9999"));
}

void TestTickerList::addTickerSaysWhyNot_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("added");
    QTest::addColumn<QString>("reason");
    QTest::newRow("new ticker") << QStringList{"IBM"} << "KO" << true << "";
    QTest::newRow("ten characters") << QStringList{} << "ABCDEFGHIJ" << true << "";
    QTest::newRow("eleven characters") << QStringList{} << "ABCDEFGHIJK" << false
                                       << "\"ABCDEFGHIJK\" has 11 characters; a ticker symbol has at most 10.";
    QTest::newRow("empty") << QStringList{"IBM"} << "" << false << "Type a ticker symbol in the box first.";
    QTest::newRow("same text") << QStringList{"IBM", "KO"} << "KO" << false << "\"KO\" is in the list already.";
    QTest::newRow("other case") << QStringList{"IBM", "KO"} << "ibm" << false
                                << "\"ibm\" is in the list already, as \"IBM\".";
    QTest::newRow("blanks around") << QStringList{" msft"} << "MSFT " << false
                                   << "\"MSFT \" is in the list already, as \" msft\".";
    QTest::newRow("non-ASCII case") << QStringList{QStringLiteral("\u00E9T")} << QStringLiteral("\u00C9T") << false
                                    << QStringLiteral("\"\u00C9T\" is in the list already, as \"\u00E9T\".");
    QTest::newRow("a longer one is another ticker") << QStringList{"BRK"} << "BRK.B" << true << "";
}

void TestTickerList::addTickerSaysWhyNot()
{
    QFETCH(QStringList, before);
    QFETCH(QString, typed);
    QFETCH(bool, added);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString p = dir.filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(p, before));
    TickerList list;
    QVERIFY(list.open(p));
    const TickerList::AddResult r = list.addTicker(typed);
    QCOMPARE(r.result, added ? TickerList::WriteResult::Done : TickerList::WriteResult::Refused);
    QCOMPARE(r.reason, reason);
    QCOMPARE(test::fileSymbols(p), added ? before + QStringList{typed} : before);
}

void TestTickerList::addTickerOnReadOnlyFileSystem()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("ro"));
    test::ReadOnlyFolder readOnly(folder);
    const QString p = folder + QStringLiteral("/l.mdb");
    QVERIFY(test::makeList(p, {"IBM"}));
    if (!readOnly.makeReadOnly())
        QSKIP("neither a read-only file system nor permissions stop this user here");
    TickerList list;
    QVERIFY(list.open(p));
    const TickerList::AddResult r = list.addTicker(QStringLiteral("KO"));
    QCOMPARE(r.result, TickerList::WriteResult::Failed);
    QCOMPARE(r.reason, readOnly.isFileSystem() ? QStringLiteral("the file system it is on is read-only")
                                               : QStringLiteral("the file is read-only"));
    QCOMPARE(test::fileSymbols(p), QStringList{"IBM"});
}

void TestTickerList::openFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("not a database") << "text";
    QTest::newRow("database without Table1") << "other";
    QTest::newRow("a directory") << "dir";
}

void TestTickerList::openFailures()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString p = dir.filePath(QStringLiteral("bad.mdb"));
    if (kind == QLatin1String("text")) {
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Symbol\nMSFT\n");
    } else if (kind == QLatin1String("other")) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            db.setDatabaseName(p);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("CREATE TABLE Quotes (Symbol TEXT)")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    } else if (kind == QLatin1String("dir")) {
        p = dir.path();
    }
    TickerList list;
    QString error;
    QVERIFY(!list.open(p, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!list.isOpen());
    QVERIFY(list.symbols().isEmpty());
    QVERIFY(!list.append(QStringLiteral("MSFT")));
    // Opening never creates the file it was pointed at.
    if (kind == QLatin1String("missing"))
        QVERIFY(!QFile::exists(p));
}

void TestTickerList::removeByRow()
{
    QTemporaryDir dir;
    const QString p = dir.filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(p, {QStringLiteral("A"), QStringLiteral("A")}));
    TickerList list;
    QVERIFY(list.open(p));
    const auto rows = list.rows();
    QVERIFY(list.remove(rows.at(0).id));
    QVERIFY(!list.remove(rows.at(0).id)); // gone already
    QCOMPARE(list.symbols(), QStringList{QStringLiteral("A")});
}

QTEST_GUILESS_MAIN(TestTickerList)
#include "test_ticker_list.moc"
