// The quote line parser, the date field's normalisation and the conversion
// of a stored Wall Street City file into writer calls.
#include "download/metastock_components.h"
#include "formats/metastock_conversion.h"
#include "formats/metastock_folder_writer.h"
#include "metastock_reader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

namespace {

// Records every call as a line of text.
class RecordingWriter : public MetaStockWriter
{
public:
    QStringList calls;
    void createFolder(const QString& d) override { calls << QStringLiteral("create ") + d; }
    void openFolder(const QString& d) override { calls << QStringLiteral("open ") + d; }
    void addSecurity(const QString& symbol, const QString& name, qint16 period) override
    {
        calls << QStringLiteral("security %1 %2 %3").arg(symbol, name).arg(period);
    }
    void addQuote(qint32 date, qint32 time, float v1, float v2, float v3, float v4, float v5, float v6) override
    {
        QStringList parts{QStringLiteral("quote"), QString::number(date), QString::number(time)};
        for (const float v : {v1, v2, v3, v4, v5, v6})
            parts << QString::number(double(v), 'g', 9);
        calls << parts.join(QLatin1Char(' '));
    }
    bool flush() override
    {
        calls << QStringLiteral("flush");
        return true;
    }
};

QString longLineWithLateCommas()
{
    // Nine short fields reach place 29; the tenth field runs past place 75
    // and holds commas at places 80 and 90 that must not split it.
    QString line = QStringLiteral("MSFT,D,20030925,1,2,3,4,5,6,");
    line += QString(50, QLatin1Char('x')); // places 30..79
    line += QStringLiteral(",yyyyyyyyy,zz");
    return line;
}

} // namespace

class TestMetaStockConversion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseQuoteLine_data();
    void parseQuoteLine();
    void normaliseQuoteDate_data();
    void normaliseQuoteDate();
    void convert_data();
    void convert();
    void unreadableFileAddsNothing();
    void convertedTickerOnDiskAtOnce();
};

void TestMetaStockConversion::parseQuoteLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("empty field kept") << "A,B,,C" << QStringList{"A", "B", "", "C"};
    QTest::newRow("quote line") << "MSFT,D,20030925,1,2,3,4,5,6"
                                << QStringList{"MSFT", "D", "20030925", "1", "2", "3", "4", "5", "6"};
    QTest::newRow("trailing comma gives no empty field") << "A,B," << QStringList{"A", "B"};
    QTest::newRow("no commas is one field") << "Date Open High" << QStringList{"Date Open High"};
    QTest::newRow("empty line has no fields") << "" << QStringList{};
    QTest::newRow("lone comma") << "," << QStringList{""};
    QTest::newRow("leading comma") << ",A" << QStringList{"", "A"};
    QTest::newRow("two trailing commas keep one empty field") << "A,," << QStringList{"A", ""};
    QTest::newRow("fields past the ninth dropped")
        << "1,2,3,4,5,6,7,8,9,10,11" << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9"};

    // A comma at place 75 still splits, one at place 76 does not.
    const QString at75 = QString(74, QLatin1Char('a')) + QStringLiteral(",b,c");
    QTest::newRow("comma at place 75 splits") << at75 << QStringList{QString(74, QLatin1Char('a')), "b,c"};
    const QString at76 = QString(75, QLatin1Char('a')) + QStringLiteral(",b,c");
    QTest::newRow("comma at place 76 does not") << at76 << QStringList{at76};
    QTest::newRow("field started before 76 runs to the end")
        << QStringLiteral("A,") + QString(80, QLatin1Char('b')) + QStringLiteral(",c")
        << QStringList{"A", QString(80, QLatin1Char('b')) + QStringLiteral(",c")};
    const QString late = longLineWithLateCommas();
    QTest::newRow("long line, commas after place 75")
        << late
        << QStringList{"MSFT", "D", "20030925", "1", "2", "3", "4", "5", "6"};
    QTest::newRow("long line, ninth field holds the late commas")
        << QStringLiteral("A,B,C,D,E,F,G,H,") + QString(70, QLatin1Char('i')) + QStringLiteral(",j,k")
        << QStringList{"A", "B", "C", "D", "E", "F", "G", "H",
                       QString(70, QLatin1Char('i')) + QStringLiteral(",j,k")};
}

void TestMetaStockConversion::parseQuoteLine()
{
    QFETCH(QString, line);
    QFETCH(QStringList, fields);
    QCOMPARE(kestrion::parseQuoteLine(line), fields);
}

void TestMetaStockConversion::normaliseQuoteDate_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("eight digits unchanged") << "20030925" << "20030925";
    QTest::newRow("month/day/year") << "9/25/2003" << "20030925";
    QTest::newRow("two-digit parts") << "09/25/03" << "20030925";
    QTest::newRow("ISO") << "2003-09-25" << "20030925";
    QTest::newRow("year first with slashes") << "2003/9/5" << "20030905";
    QTest::newRow("dashes month first") << "9-25-2003" << "20030925";
    QTest::newRow("day-month name-year") << "25-Sep-2003" << "20030925";
    QTest::newRow("day month name two-digit year") << "5 Jan 04" << "20040105";
    QTest::newRow("1999 from 99") << "12/31/99" << "19991231";
    QTest::newRow("29 is 2029") << "1/1/29" << "20290101";
    QTest::newRow("30 is 1930") << "1/1/30" << "19300101";
    QTest::newRow("surrounding blanks") << " 9/25/2003 " << "20030925";
    QTest::newRow("leap day") << "2/29/2004" << "20040229";
    QTest::newRow("no such day stays") << "2/30/2003" << "2/30/2003";
    QTest::newRow("month 13 stays") << "13/01/2003" << "13/01/2003";
    QTest::newRow("header text stays") << "DTYYYYMMDD" << "DTYYYYMMDD";
    QTest::newRow("empty stays") << "" << "";
    QTest::newRow("plain number stays") << "12.5" << "12.5";
    QTest::newRow("dotted date stays") << "05.09.2003" << "05.09.2003";
    QTest::newRow("three-digit year stays") << "1/2/203" << "1/2/203";
}

void TestMetaStockConversion::normaliseQuoteDate()
{
    QFETCH(QString, field);
    QFETCH(QString, expected);
    QCOMPARE(kestrion::normaliseQuoteDate(field), expected);
}

void TestMetaStockConversion::convert_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("calls");

    const QString security = QStringLiteral("security BCE-TO BCE-TO 2");
    QTest::newRow("documented line, slots 1 and 2 unused")
        << QByteArray("MSFT,D,20030925,1,2,3,4,5,6\n")
        << QStringList{security, "quote 20030925 0 1 2 3 4 5 6"};
    QTest::newRow("header skipped")
        << QByteArray("<TICKER>,<PER>,<DTYYYYMMDD>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\n"
                      "X,D,20030924,25.5,26,25,25.75,1000000,0\n"
                      "X,D,20030925,25.75,26.5,25.5,26.25,1200000,0\n")
        << QStringList{security, "quote 20030924 0 25.5 26 25 25.75 1000000 0",
                       "quote 20030925 0 25.75 26.5 25.5 26.25 1200000 0"};
    QTest::newRow("empty slot skipped")
        << QByteArray("X,D,20030925,1,2,,4,5,6\nX,D,20030926,1,2,3,4,5,6\n")
        << QStringList{security, "quote 20030926 0 1 2 3 4 5 6"};
    QTest::newRow("non-numeric value skipped")
        << QByteArray("X,D,20030925,1,2,n/a,4,5,6\n") << QStringList{security};
    QTest::newRow("non-numeric date skipped") << QByteArray("X,D,Sept,1,2,3,4,5,6\n") << QStringList{security};
    QTest::newRow("textual date normalised")
        << QByteArray("X,D,9/25/2003,1,2,3,4,5,6\n") << QStringList{security, "quote 20030925 0 1 2 3 4 5 6"};
    QTest::newRow("CRLF and no final newline")
        << QByteArray("X,D,20030924,1,2,3,4,5,6\r\nX,D,20030925,7,8,9,10,11,12")
        << QStringList{security, "quote 20030924 0 1 2 3 4 5 6", "quote 20030925 0 7 8 9 10 11 12"};
    QTest::newRow("short line never reuses the previous line")
        << QByteArray("X,D,20030924,1,2,3,4,5,6\nX,D,20030925,7\nX,D,20030926\n")
        << QStringList{security, "quote 20030924 0 1 2 3 4 5 6"};
    QTest::newRow("trailing comma keeps nine fields")
        << QByteArray("X,D,20030925,1,2,3,4,5,6,\n") << QStringList{security, "quote 20030925 0 1 2 3 4 5 6"};
    QTest::newRow("fields past the ninth ignored")
        << QByteArray("X,D,20030925,1,2,3,4,5,6,extra,more\n")
        << QStringList{security, "quote 20030925 0 1 2 3 4 5 6"};
    QTest::newRow("long line with late commas")
        << longLineWithLateCommas().toLatin1() + '\n' << QStringList{security, "quote 20030925 0 1 2 3 4 5 6"};
    QTest::newRow("long ninth field is no number")
        << QByteArray("X,D,20030925,1,2,3,4,5,") + QByteArray(70, '6') + ",7\n" << QStringList{security};
    QTest::newRow("fractional date is no date") << QByteArray("X,D,20030925.5,1,2,3,4,5,6\n") << QStringList{security};
    QTest::newRow("infinite value skipped") << QByteArray("X,D,20030925,1,2,3,4,inf,6\n") << QStringList{security};
    QTest::newRow("value beyond a float skipped")
        << QByteArray("X,D,20030925,1,2,3,4,1e39,6\n") << QStringList{security};
    QTest::newRow("blanks around numbers")
        << QByteArray("X,D, 20030925 , 1.5 ,2,3,4,5,6\n") << QStringList{security, "quote 20030925 0 1.5 2 3 4 5 6"};
    QTest::newRow("empty file adds the security only") << QByteArray() << QStringList{security};
    QTest::newRow("blank lines add nothing")
        << QByteArray("\n\r\n\nX,D,20030925,1,2,3,4,5,6\n\n") << QStringList{security, "quote 20030925 0 1 2 3 4 5 6"};
}

void TestMetaStockConversion::convert()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, calls);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("BCE-TO.txt"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(file);
    f.close();

    RecordingWriter writer;
    convertToMetaStock(path, QStringLiteral("BCE-TO"), 2, writer);
    calls << QStringLiteral("flush"); // each ticker is stored before its file goes
    QCOMPARE(writer.calls, calls);
}

void TestMetaStockConversion::unreadableFileAddsNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    RecordingWriter writer;
    convertToMetaStock(dir.filePath(QStringLiteral("missing.txt")), QStringLiteral("MSFT"), 1, writer);
    // A directory in place of the file cannot be read as one either.
    convertToMetaStock(dir.path(), QStringLiteral("MSFT"), 1, writer);
    QCOMPARE(writer.calls, QStringList{});
}

void TestMetaStockConversion::convertedTickerOnDiskAtOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("MSFT.csv"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<TICKER>,<PER>,<DTYYYYMMDD>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\r\n"
            "MSFT,D,20030924,25.10,25.50,24.90,25.20,1234567,0\r\n"
            "MSFT,D,20030925,25.20,25.60,25.00,25.40,1300000,0\r\n");
    f.close();

    MetaStockFolderWriter writer;
    writer.createFolder(dir.path());
    convertToMetaStock(path, QStringLiteral("MSFT"), 1, writer);
    QFile::remove(path);
    // Still inside the run (the writer lives on): the quotes are on disk.
    const test::MsFolder folder = test::readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(folder.securities.size(), 1);
    const test::MsSecurity& s = folder.securities.first();
    QCOMPARE(s.symbol, QStringLiteral("MSFT"));
    QCOMPARE(s.period, 'D');
    QCOMPARE(s.quotes.size(), 2);
    QCOMPARE(s.quotes.at(1).date, 20030925);
    QCOMPARE(s.quotes.at(1).close, 25.4f);
    QCOMPARE(s.quotes.at(1).volume, 1300000.0f);
}

QTEST_GUILESS_MAIN(TestMetaStockConversion)
#include "test_metastock_conversion.moc"
