#include "lists/list_import.h"
#include "lists/ticker_list.h"
#include "platform/folder_path.h"
#include "platform/program_launcher.h"
#include "schedule/adt_clock.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;

class TestScheduleAndImport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void renderTime_data();
    void renderTime();
    void adtMatches_data();
    void adtMatches();
    void typedTimeChecked_data();
    void typedTimeChecked();
    void onePerSecondEvenWhenClockGoesBack();
    void nextDayRunsAgain();
    void splitCommandLine_data();
    void splitCommandLine();
    void makeFolderPath_data();
    void makeFolderPath();
    void importLines_data();
    void importLines();
    void importRefusesWhatIsNotText_data();
    void importRefusesWhatIsNotText();
    void importLinesSorted_data();
    void importLinesSorted();
    void importThreeLineExample();
    void importTenThousandLines();
};

void TestScheduleAndImport::renderTime_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("text");
    QTest::newRow("evening") << QTime(21, 30, 0) << "9:30:00 PM";
    QTest::newRow("morning") << QTime(9, 5, 7) << "9:05:07 AM";
    QTest::newRow("midnight") << QTime(0, 0, 0) << "12:00:00 AM";
    QTest::newRow("noon") << QTime(12, 0, 1) << "12:00:01 PM";
}

void TestScheduleAndImport::renderTime()
{
    QFETCH(QTime, time);
    QFETCH(QString, text);
    QCOMPARE(renderTimeOfDay(time), text);
}

void TestScheduleAndImport::adtMatches_data()
{
    QTest::addColumn<QString>("adt");
    QTest::addColumn<QList<QTime>>("ticks");
    QTest::addColumn<int>("runs");
    const QList<QTime> exact{QTime(21, 29, 59), QTime(21, 30, 0), QTime(21, 30, 1)};
    QTest::newRow("match") << "9:30:00 PM" << exact << 1;
    QTest::newRow("leading zero never matches") << "09:30:00 PM" << exact << 0;
    QTest::newRow("lower case never matches") << "9:30:00 pm" << exact << 0;
    QTest::newRow("empty never matches") << "" << exact << 0;
    QTest::newRow("24-hour text never matches") << "21:30:00" << exact << 0;
    QTest::newRow("skipped second is still seen") << "9:30:00 PM" << QList<QTime>{QTime(21, 29, 59), QTime(21, 30, 1)}
                                                  << 1;
    QTest::newRow("several ticks in the matching second") << "9:30:00 PM"
                                                          << QList<QTime>{QTime(21, 30, 0), QTime(21, 30, 0, 250),
                                                                          QTime(21, 30, 0, 900)}
                                                          << 1;
    QTest::newRow("a late tick far after does not start hours late")
        << "9:30:00 PM" << QList<QTime>{QTime(20, 0, 0), QTime(22, 0, 0)} << 0;
}

void TestScheduleAndImport::adtMatches()
{
    QFETCH(QString, adt);
    QFETCH(QList<QTime>, ticks);
    QFETCH(int, runs);
    AutomaticDownloadClock clock;
    const QDate day(2026, 12, 8);
    int started = 0;
    for (const QTime& t : ticks)
        started += clock.tick(QDateTime(day, t), adt) ? 1 : 0;
    QCOMPARE(started, runs);
}

void TestScheduleAndImport::typedTimeChecked_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored"); // the clock's form; empty with a reason
    QTest::addColumn<QString>("reason"); // a part of the reason; empty for a time
    QTest::newRow("clock's form") << "9:30:00 PM" << "9:30:00 PM" << "";
    QTest::newRow("empty: no automatic download") << "" << "" << "";
    QTest::newRow("blanks only") << "   " << "" << "";
    QTest::newRow("hint's leading zero") << "09:30:00 PM" << "9:30:00 PM" << "";
    QTest::newRow("lower case, no blank") << " 9:30:00pm " << "9:30:00 PM" << "";
    QTest::newRow("no seconds") << "7:05 am" << "7:05:00 AM" << "";
    QTest::newRow("24-hour") << "21:30:00" << "9:30:00 PM" << "";
    QTest::newRow("midnight, 24-hour") << "0:00:00" << "12:00:00 AM" << "";
    QTest::newRow("noon") << "12:00:00 PM" << "12:00:00 PM" << "";
    QTest::newRow("twelve AM is midnight") << "12:15:00 AM" << "12:15:00 AM" << "";
    QTest::newRow("issue's text") << "99:99:99 XM" << "" << "\"XM\" is neither AM nor PM";
    QTest::newRow("hour past 12 with PM") << "13:00:00 PM" << "" << "hour is 1 to 12, not 13";
    QTest::newRow("hour 0 with AM") << "0:30:00 AM" << "" << "hour is 1 to 12, not 0";
    QTest::newRow("hour past 23") << "24:00:00" << "" << "hour is 0 to 23";
    QTest::newRow("minutes") << "9:60:00 PM" << "" << "minutes are 00 to 59, not 60";
    QTest::newRow("seconds") << "9:30:75 PM" << "" << "seconds are 00 to 59, not 75";
    QTest::newRow("words") << "half past nine" << "" << "is not a time of day";
    QTest::newRow("hour only") << "9 PM" << "" << "is not a time of day";
    QTest::newRow("three-digit hour") << "930:00:00" << "" << "is not a time of day";
}

void TestScheduleAndImport::typedTimeChecked()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, reason);
    const AdtCheck check = checkAutomaticDownloadTime(typed);
    QCOMPARE(check.time, stored);
    QCOMPARE(check.ok(), reason.isEmpty());
    QVERIFY2(check.reason.contains(reason), qPrintable(check.reason));
    if (stored.isEmpty())
        return;
    // What is stored is what the clock starts a run at.
    AutomaticDownloadClock clock;
    const QTime at = QTime::fromString(stored, QStringLiteral("h:mm:ss AP"));
    QVERIFY(at.isValid());
    QVERIFY(clock.tick(QDateTime(QDate(2026, 12, 8), at), check.time));
}

void TestScheduleAndImport::onePerSecondEvenWhenClockGoesBack()
{
    AutomaticDownloadClock clock;
    const QDate day(2026, 12, 8);
    const QString adt = QStringLiteral("9:30:00 PM");
    QVERIFY(clock.tick(QDateTime(day, QTime(21, 30, 0)), adt));
    // The clock is set back a few seconds and passes the time again.
    QVERIFY(!clock.tick(QDateTime(day, QTime(21, 29, 58)), adt));
    QVERIFY(!clock.tick(QDateTime(day, QTime(21, 29, 59)), adt));
    QVERIFY(!clock.tick(QDateTime(day, QTime(21, 30, 0)), adt));
}

void TestScheduleAndImport::nextDayRunsAgain()
{
    AutomaticDownloadClock clock;
    const QString adt = QStringLiteral("9:30:00 PM");
    QVERIFY(clock.tick(QDateTime(QDate(2026, 12, 8), QTime(21, 30, 0)), adt));
    QVERIFY(clock.tick(QDateTime(QDate(2026, 12, 9), QTime(21, 30, 0)), adt));
}

void TestScheduleAndImport::splitCommandLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("words");
    const QString home = QDir::homePath();
    QTest::newRow("plain") << "/usr/bin/charts --open a" << QStringList{"/usr/bin/charts", "--open", "a"};
    QTest::newRow("extra blanks") << "  a   b  " << QStringList{"a", "b"};
    QTest::newRow("double quotes") << "\"/opt/My Charts/c\" x" << QStringList{"/opt/My Charts/c", "x"};
    QTest::newRow("single quotes") << "c 'a b' 'it\"s'" << QStringList{"c", "a b", "it\"s"};
    QTest::newRow("backslash blank") << "a\\ b c" << QStringList{"a b", "c"};
    QTest::newRow("empty argument kept") << "c \"\" d" << QStringList{"c", "", "d"};
    QTest::newRow("escaped quote in double quotes") << "c \"say \\\"hi\\\"\"" << QStringList{"c", "say \"hi\""};
    QTest::newRow("quotes join a word") << "c a\"b c\"d" << QStringList{"c", "ab cd"};
    QTest::newRow("home folder") << "c ~/quotes ~" << QStringList{"c", home + "/quotes", home};
    QTest::newRow("quoted tilde stays") << "c '~/q' a~b" << QStringList{"c", "~/q", "a~b"};
    QTest::newRow("no shell: operators are words") << "c ; rm x | y" << QStringList{"c", ";", "rm", "x", "|", "y"};
    QTest::newRow("open quote is unusable") << "c \"a b" << QStringList{};
    QTest::newRow("empty") << "" << QStringList{};
}

void TestScheduleAndImport::splitCommandLine()
{
    QFETCH(QString, line);
    QFETCH(QStringList, words);
    QCOMPARE(ProgramLauncher::splitCommandLine(line), words);
}

void TestScheduleAndImport::makeFolderPath_data()
{
    QTest::addColumn<QString>("file");   // a file made first, under the temporary folder, or ""
    QTest::addColumn<QString>("wanted"); // under the temporary folder; "" asks for nothing
    QTest::addColumn<QString>("why");    // "" when made; %1 stands for the temporary folder
    QTest::newRow("three missing levels") << "" << "dlone/sub1/sub2" << "";
    QTest::newRow("trailing slash") << "" << "a/b/" << "";
    QTest::newRow("already there") << "" << "." << "";
    QTest::newRow("a file in the middle") << "dlone" << "dlone/sub1/sub2" << "\"%1/dlone\" is a file, not a folder";
    QTest::newRow("a file at the end") << "dlone" << "dlone" << "\"%1/dlone\" is a file, not a folder";
    QTest::newRow("nothing typed") << "" << "" << "no path was given";
}

void TestScheduleAndImport::makeFolderPath()
{
    QFETCH(QString, file);
    QFETCH(QString, wanted);
    QFETCH(QString, why);
    QTemporaryDir dir;
    if (!file.isEmpty()) {
        QFile f(dir.filePath(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString path = wanted.isEmpty() ? QString() : dir.filePath(wanted);
    QString reason;
    QCOMPARE(kestrion::makeFolderPath(path, &reason), why.isEmpty());
    QCOMPARE(reason, why.contains(QLatin1String("%1")) ? why.arg(dir.path()) : why);
    if (why.isEmpty())
        QVERIFY(QFileInfo(path).isDir());
    else if (!file.isEmpty())
        QVERIFY(QFileInfo(dir.filePath(file)).isFile());
}

void TestScheduleAndImport::importLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("LF") << QByteArray("A\nB\n") << QStringList{"A", "B"};
    QTest::newRow("CRLF") << QByteArray("A\r\nB\r\n") << QStringList{"A", "B"};
    QTest::newRow("lone CR (classic Mac)") << QByteArray("MSFT\rIBM\rKO\r") << QStringList{"MSFT", "IBM", "KO"};
    QTest::newRow("mixed, empty line kept") << QByteArray("A\r\rB\r\nC\nD") << QStringList{"A", "", "B", "C", "D"};
    QTest::newRow("no final line end") << QByteArray("A\nB") << QStringList{"A", "B"};
    QTest::newRow("empty lines kept") << QByteArray("A\n\n\nB\n") << QStringList{"A", "", "", "B"};
    QTest::newRow("whole lines, blanks and case kept") << QByteArray(" msft ,x\n") << QStringList{" msft ,x"};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("only a line end") << QByteArray("\n") << QStringList{""};
    QTest::newRow("byte order mark dropped") << QByteArray("\xEF\xBB\xBFIBM\n") << QStringList{"IBM"};
    QTest::newRow("Latin-1 file") << QByteArray("NESTL\xC9\n") << QStringList{QStringLiteral("NESTL\u00C9")};
    QTest::newRow("UTF-16 LE with its mark") << QByteArray("\xFF\xFEI\0B\0M\0\r\0\n\0K\0O\0", 16)
                                            << QStringList{"IBM", "KO"};
    QTest::newRow("UTF-16 BE with its mark") << QByteArray("\xFE\xFF\0I\0B\0M\0\n\0\xC9", 12)
                                            << QStringList{"IBM", QStringLiteral("\u00C9")};
    QTest::newRow("UTF-8 with its mark, Latin-1 never guessed")
        << QByteArray("\xEF\xBB\xBFNESTL\xC3\x89\n") << QStringList{QStringLiteral("NESTL\u00C9")};
    QTest::newRow("a stray control character is still text")
        << QByteArray("MSFT\nIBM\nA\x01\nKO\nT\n") << QStringList{"MSFT", "IBM", "A\x01", "KO", "T"};
}

void TestScheduleAndImport::importRefusesWhatIsNotText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("20 KB of binary data") << test::binaryBytes(20000);
    QByteArray program("\x7F" "ELF\x02\x01\x01");
    program += QByteArray(4000, '\0') + "libc.so.6\n" + QByteArray(4000, '\0') + "MSFT\n";
    QTest::newRow("a program, mostly zero bytes") << program;
    QTest::newRow("UTF-16 without its mark") << QByteArray("I\0B\0M\0\n\0K\0O\0\n\0", 14);
}

void TestScheduleAndImport::importRefusesWhatIsNotText()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("i.csv")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    QStringList read{"left over"};
    QString error;
    bool notText = false;
    QVERIFY(!readImportLines(f.fileName(), read, &error, &notText));
    QVERIFY(notText);
    QCOMPARE(error, QStringLiteral("most of it is not text"));
    QCOMPARE(read, QStringList());
}

void TestScheduleAndImport::importLinesSorted_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QString>("report");
    QTest::newRow("blanks and tabs around trimmed")
        << QStringList{" msft ", "\tIBM\t", "T, X"} << QStringList{"msft", "IBM", "T, X"} << "";
    QTest::newRow("blank and empty lines add nothing") << QStringList{"   ", "", "\t", "KO"} << QStringList{"KO"} << "";
    QTest::newRow("ten characters after trimming fit") << QStringList{"  ABCDEFGHIJ  "} << QStringList{"ABCDEFGHIJ"}
                                                        << "";
    QTest::newRow("control characters named like long lines")
        << QStringList{"KO", "A\tB", "Oracle Corp,ORCL", "\x1B[0m"} << QStringList{"KO"}
        << "1 line(s) longer than 10 characters could not be imported as ticker symbols: line 3 (\"Oracle Corp,ORCL\").\n"
           "2 line(s) with control characters could not be imported as ticker symbols: line 2 (\"A\\x09B\"), "
           "line 4 (\"\\x1B[0m\").";
}

void TestScheduleAndImport::importLinesSorted()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, symbols);
    QFETCH(QString, report);
    const ImportLines sorted = ImportLines::sort(lines);
    QCOMPARE(sorted.symbols, symbols);
    QCOMPARE(sorted.skippedReport(), report);
}

void TestScheduleAndImport::importLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("i.csv")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    QStringList read;
    QVERIFY(readImportLines(f.fileName(), read));
    QCOMPARE(read, lines);
    QString error;
    QVERIFY(!readImportLines(dir.filePath(QStringLiteral("missing.csv")), read, &error));
    QVERIFY(!error.isEmpty());
}

void TestScheduleAndImport::importThreeLineExample()
{
    QTemporaryDir dir;
    const QString listPath = dir.filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(listPath, {QStringLiteral("KO")}));
    QFile f(dir.filePath(QStringLiteral("i.csv")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("MSFT\n\nIBM,International Business Machines\n");
    f.close();
    QStringList lines;
    QVERIFY(readImportLines(f.fileName(), lines));
    QCOMPARE(lines.size(), 3);
    TickerList list;
    QVERIFY(list.open(listPath));
    // The empty line and the over-long line are offered whole; the list
    // cannot hold them, so they add no row.
    QCOMPARE(list.appendAll(lines), 1);
    QCOMPARE(list.symbols(), (QStringList{"KO", "MSFT"}));
}

void TestScheduleAndImport::importTenThousandLines()
{
    QTemporaryDir dir;
    const QString listPath = dir.filePath(QStringLiteral("l.mdb"));
    QVERIFY(test::makeList(listPath, {}));
    QFile f(dir.filePath(QStringLiteral("i.csv")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    for (int i = 0; i < 10000; ++i)
        f.write(QStringLiteral("T%1\n").arg(i).toLatin1());
    f.close();
    QElapsedTimer timer;
    timer.start();
    QStringList lines;
    QVERIFY(readImportLines(f.fileName(), lines));
    TickerList list;
    QVERIFY(list.open(listPath));
    QCOMPARE(list.appendAll(lines), 10000);
    qInfo("imported 10000 lines in %lld ms", static_cast<long long>(timer.elapsed()));
    QCOMPARE(list.symbols().at(9999), QStringLiteral("T9999"));
}

QTEST_GUILESS_MAIN(TestScheduleAndImport)
#include "test_schedule_and_import.moc"
