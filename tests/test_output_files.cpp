#include "core/settings_record.h"
#include "formats/error_log.h"
#include "download/output_files.h"
#include "sources/quote_request.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

namespace {
void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

class TestOutputFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stem_data();
    void stem();
    void path_data();
    void path();
    void contentTest_data();
    void contentTest();
    void trashTakesNamedFilesNotLinkTargets();
    void errorLogExactBytes();
    void errorLogCheck_data();
    void errorLogCheck();
};

void TestOutputFiles::stem_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("stem");
    QTest::newRow("plain") << "MSFT" << "MSFT";
    QTest::newRow("dot") << "BCE.TO" << "BCE-TO";
    QTest::newRow("only the first dot") << "A.B.C" << "A-B.C";
    QTest::newRow("leading dot") << ".TO" << "-TO";
    QTest::newRow("slash cannot leave the directory") << "../../x" << "-.-..-x";
    QTest::newRow("backslash") << "A\\B" << "A-B";
    QTest::newRow("control character") << QStringLiteral("A\nB") << "A-B";
    QTest::newRow("dot dot") << ".." << "-.";
}

void TestOutputFiles::stem()
{
    QFETCH(QString, symbol);
    QFETCH(QString, stem);
    QCOMPARE(fileStem(symbol), stem);
    QVERIFY(!fileStem(symbol).contains(QLatin1Char('/')));
}

void TestOutputFiles::path_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<int>("dateStamp");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("path");
    QTest::newRow("plain") << "MSFT" << 0 << ".csv" << "/data/MSFT.csv";
    QTest::newRow("date stamp") << "MSFT" << 1 << ".csv" << "/data/MSFTSep252003.csv";
    QTest::newRow("stamp flag other than 1 is off") << "MSFT" << -1 << ".csv" << "/data/MSFT.csv";
    QTest::newRow("dotted") << "BCE.TO" << 0 << ".txt" << "/data/BCE-TO.txt";
    QTest::newRow("extension without dot") << "IBM" << 0 << "csv" << "/data/IBMcsv";
    QTest::newRow("no extension") << "IBM" << 0 << "" << "/data/IBM";
    QTest::newRow("extension cannot climb") << "IBM" << 0 << "/../x" << "/data/IBM-..-x";
}

void TestOutputFiles::path()
{
    QFETCH(QString, symbol);
    QFETCH(int, dateStamp);
    QFETCH(QString, extension);
    QFETCH(QString, path);
    Settings s;
    s.dateStamp = Flag::loaded(qint16(dateStamp));
    s.fileExtension = extension;
    const DayTexts end{QStringLiteral("Sep"), QStringLiteral("25"), QStringLiteral("2003")};
    QCOMPARE(dataFilePath(QStringLiteral("/data"), symbol, s, end), path);
}

void TestOutputFiles::contentTest_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("passes");
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("html page") << QByteArray("<html><body>404</body></html>") << false;
    QTest::newRow("No data") << QByteArray("No data available") << false;
    QTest::newRow("table") << QByteArray("Date,Open,High") << true;
    QTest::newRow("upper-case HTML passes") << QByteArray("<HTML>") << true;
    QTest::newRow("doctype passes") << QByteArray("<!DOCTYPE html>") << true;
    QTest::newRow("lower-case no passes") << QByteArray("no data") << true;
    QTest::newRow("one byte") << QByteArray("N") << true;
    QTest::newRow("binary zero") << QByteArray("\0\0", 2) << true;
}

void TestOutputFiles::contentTest()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, passes);
    QTemporaryDir dir;
    const QString p = dir.filePath(QStringLiteral("f.csv"));
    writeFile(p, body);
    QCOMPARE(kestrion::contentTest(p), passes);
    QVERIFY(!kestrion::contentTest(dir.filePath(QStringLiteral("missing.csv"))));
}

void TestOutputFiles::trashTakesNamedFilesNotLinkTargets()
{
    // A private trash, on the downloads' file system.
    const test::TempConfig config;
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", config.path().toUtf8());
    const auto restoreHome = qScopeGuard([&] { qputenv("HOME", home); });
    QTemporaryDir outside;
    const QString precious = outside.filePath(QStringLiteral("precious.csv"));
    writeFile(precious, "keep");
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("MSFT.csv")), "x");
    writeFile(dir.filePath(QStringLiteral(".hidden")), "x");
    writeFile(dir.filePath(QStringLiteral("EMASTER")), "x");
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub.csv")));
    writeFile(dir.filePath(QStringLiteral("sub.csv/inner.csv")), "x");
    QVERIFY(QFile::link(precious, dir.filePath(QStringLiteral("link.csv"))));

    const QStringList named{"MSFT.csv", "sub.csv", "link.csv", "missing.csv"};
    QStringList paths;
    for (const QString& name : named)
        paths << dir.filePath(name);
    QCOMPARE(moveFilesToTrash(paths), QString());

    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                        QDir::Name),
             (QStringList{".hidden", "EMASTER", "sub.csv"}));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("sub.csv/inner.csv"))));
    QCOMPARE(test::readAll(precious), QByteArray("keep"));
    QCOMPARE(test::trashedFiles(config.path() + QStringLiteral("/data")).keys(), (QStringList{"MSFT.csv", "link.csv"}));
}

void TestOutputFiles::errorLogExactBytes()
{
    QTemporaryDir dir;
    ErrorLog::logTicker(dir.path(), QStringLiteral("A"));
    ErrorLog::logTicker(dir.path(), QStringLiteral("B.TO"));
    QCOMPARE(test::readAll(dir.filePath(QStringLiteral("errorlog.txt"))),
             QByteArray("Kestrion could not download data for the following tickers.\r\n"
                        "Please check if the tickers are in your selected source database\r\n"
                        "(Yahoo Finance, or WallStreet City).\r\n"
                        "\r\n"
                        "A\r\n"
                        "B.TO\r\n"));
    QVERIFY(ErrorLog::check(dir.path()));
    ErrorLog::remove(dir.path());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("errorlog.txt"))));
    // No directory text: no path, so nothing at the file system's root is
    // ever read, written or deleted.
    QVERIFY(ErrorLog::path(QString()).isEmpty());
    QVERIFY(!ErrorLog::check(QString()));
}

void TestOutputFiles::errorLogCheck_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("logged");
    QTest::newRow("missing") << QByteArray() << false << false;
    QTest::newRow("empty file is removed") << QByteArray() << true << false;
    QTest::newRow("first byte zero is removed") << QByteArray("\0abc", 4) << true << false;
    QTest::newRow("text") << QByteArray("x") << true << true;
}

void TestOutputFiles::errorLogCheck()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    QFETCH(bool, logged);
    QTemporaryDir dir;
    const QString p = ErrorLog::path(dir.path());
    if (exists)
        writeFile(p, content);
    QCOMPARE(ErrorLog::check(dir.path()), logged);
    QCOMPARE(QFile::exists(p), logged);
}

QTEST_GUILESS_MAIN(TestOutputFiles)
#include "test_output_files.moc"
