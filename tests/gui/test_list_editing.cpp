// Adding, deleting and importing symbols from the main window, and handing
// the current symbol to the chart browser: real list files, real clicks.
#include "core/app_state.h"
#include "app/ui/frmMain.h"
#include "app/ui/single_windows.h"
#include "gui_support.h"
#include "lists/ticker_list.h"
#include "testsupport.h"
#include "tools/ui/frmBrowser.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace kestrion;
using namespace kestrion::test;

namespace {

const QString kDataError = QStringLiteral("Data error... Please try again.");
const QString kNoData = QStringLiteral("No data to delete!");
const QString kNoList = QStringLiteral("No ticker list is open.");

bool canWrite(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite);
}

// Makes a file read-only for this process. Permissions alone don't bind the
// superuser; the immutable attribute does, where the file system has one.
class ReadOnlyFile
{
public:
    explicit ReadOnlyFile(const QString& path)
        : m_path(path)
    {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        if (canWrite(path) && QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0)
            m_immutable = true;
        m_readOnly = !canWrite(path);
    }
    ~ReadOnlyFile()
    {
        if (m_immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    bool isReadOnly() const { return m_readOnly; }

private:
    QString m_path;
    bool m_immutable = false;
    bool m_readOnly = false;
};

// A port on 127.0.0.1 with nothing listening.
QString closedHost()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return QStringLiteral("127.0.0.1:1");
    const int port = server.serverPort();
    server.close();
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

} // namespace

class TestListEditing : public QObject
{
    Q_OBJECT

private:
    GuiCase m_case;

    QString tmp(const QString& name) const { return m_case.tmp(name); }

    // A shown window on a fresh list file holding the symbols.
    QString prepare(TestWindow& w, const QStringList& symbols)
    {
        return showWithList(w, tmp(QStringLiteral("list.mdb")), symbols);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_case.startTest();
    }

    void init()
    {
        m_case.startCase();
    }

    void cleanup()
    {
        m_case.endCase();
    }

    // --- Add ------------------------------------------------------------------

    void addStoresTextAsTyped_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("message"); // why it was refused; empty when added
        QTest::newRow("blanks and lower case kept") << QStringList{"IBM"} << " msft " << QStringList{"IBM", " msft "}
                                                    << "";
        QTest::newRow("empty list") << QStringList{} << "KO" << QStringList{"KO"} << "";
        QTest::newRow("ten characters") << QStringList{"A"} << "ABCDEFGHIJ" << QStringList{"A", "ABCDEFGHIJ"} << "";
        QTest::newRow("one blank is a text") << QStringList{"A"} << " " << QStringList{"A", " "} << "";
        QTest::newRow("comma kept") << QStringList{"A"} << "T,BCE" << QStringList{"A", "T,BCE"} << "";
        QTest::newRow("duplicate refused") << QStringList{"IBM", "KO"} << "IBM" << QStringList{"IBM", "KO"}
                                           << "\"IBM\" is in the list already.";
        QTest::newRow("duplicate in other case refused") << QStringList{"IBM", "KO"} << "ko" << QStringList{"IBM", "KO"}
                                                         << "\"ko\" is in the list already, as \"KO\".";
        QTest::newRow("empty box refused") << QStringList{"A"} << "" << QStringList{"A"}
                                           << "Type a ticker symbol in the box first.";
        QTest::newRow("eleven characters refused")
            << QStringList{"A", "B"} << "ABCDEFGHIJK" << QStringList{"A", "B"}
            << "\"ABCDEFGHIJK\" has 11 characters; a ticker symbol has at most 10.";
    }

    void addStoresTextAsTyped()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, typed);
        QFETCH(QStringList, after);
        QFETCH(QString, message);

        TestWindow w;
        const QString path = prepare(w, before);
        QVERIFY(!path.isEmpty());
        w.txtTicker->setFocus();
        QTest::keyClicks(w.txtTicker, typed);
        QCOMPARE(w.txtTicker->text(), typed);

        MessageWatcher messages;
        QTest::mouseClick(w.cmdAdd, Qt::LeftButton);
        QCOMPARE(fileSymbols(path), after);
        QCOMPARE(gridSymbols(*w), after);
        // The box is not bound to the list and keeps what was typed.
        QCOMPARE(w.txtTicker->text(), typed);
        if (message.isEmpty()) {
            QTest::qWait(100);
            QCOMPARE(messages.texts, QStringList());
        } else {
            QTRY_COMPARE(messages.texts, QStringList{message});
            QCOMPARE(messages.titles, QStringList{w->windowTitle()});
        }
    }

    void addAgainIsRefused()
    {
        TestWindow w;
        const QString path = prepare(w, {"A", "B"});
        QVERIFY(!path.isEmpty());
        w->setCurrentRow(0);
        QTest::keyClicks(w.txtTicker, QStringLiteral("MSFT"));
        MessageWatcher messages;
        QTest::mouseClick(w.cmdAdd, Qt::LeftButton);
        QTest::mouseClick(w.cmdAdd, Qt::LeftButton);
        QCOMPARE(fileSymbols(path), (QStringList{"A", "B", "MSFT"}));
        QCOMPARE(gridSymbols(*w), (QStringList{"A", "B", "MSFT"}));
        QTRY_COMPARE(messages.texts, QStringList{"\"MSFT\" is in the list already."});
        // The user's row stays current; the new row comes last.
        QCOMPARE(w->currentRow(), 0);
    }

    void clickIntoEmptyTickerBoxChangesNothing()
    {
        TestWindow w;
        const QString path = prepare(w, {"A", "B"});
        QVERIFY(!path.isEmpty());
        MessageWatcher messages;
        QTest::mouseClick(w.txtTicker, Qt::LeftButton);
        QTest::mouseClick(w.txtTicker, Qt::LeftButton);
        QCOMPARE(gridSymbols(*w), (QStringList{"A", "B"}));
        QCOMPARE(fileSymbols(path), (QStringList{"A", "B"}));
        // A later Add stores exactly the one typed row.
        QTest::keyClicks(w.txtTicker, QStringLiteral("KO"));
        QTest::mouseClick(w.cmdAdd, Qt::LeftButton);
        QCOMPARE(fileSymbols(path), (QStringList{"A", "B", "KO"}));
        QTest::qWait(100);
        QCOMPARE(messages.texts, QStringList());
    }

    // --- failing list files ------------------------------------------------------

    void dataErrorLeavesListAsItWas_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("reason"); // Add names the file and this reason; Delete says kDataError
        const QString busy = QStringLiteral("another program is using the list; try again once it has finished");
        QTest::newRow("Add, list locked by another program") << "add" << "locked" << busy;
        QTest::newRow("Add, read-only list file") << "add" << "readonly" << "the file is read-only";
        QTest::newRow("Add, read-only file system") << "add" << "readonly-fs" << "the file system it is on is read-only";
        QTest::newRow("Add, list locked even for reading") << "add" << "exclusive" << busy;
        QTest::newRow("Delete, list locked by another program") << "delete" << "locked" << "";
        QTest::newRow("Delete, read-only list file") << "delete" << "readonly" << "";
    }

    void dataErrorLeavesListAsItWas()
    {
        QFETCH(QString, command);
        QFETCH(QString, how);
        QFETCH(QString, reason);
        std::unique_ptr<ReadOnlyFolder> readOnlyFs;
        QString path = tmp(QStringLiteral("held.mdb"));
        if (how == QLatin1String("readonly-fs")) {
            readOnlyFs = std::make_unique<ReadOnlyFolder>(tmp(QStringLiteral("ro")));
            path = tmp(QStringLiteral("ro/held.mdb"));
        }
        QVERIFY(makeList(path, {"IBM", "KO"}));
        std::unique_ptr<ReadOnlyFile> readOnly;
        std::unique_ptr<ListLock> lock;
        if (how == QLatin1String("readonly")) {
            readOnly = std::make_unique<ReadOnlyFile>(path);
            if (!readOnly->isReadOnly())
                QSKIP("this file system lets this user write any file");
        } else if (readOnlyFs) {
            if (!readOnlyFs->makeReadOnly() || !readOnlyFs->isFileSystem())
                QSKIP("no read-only file system can be made here");
        }

        TestWindow w;
        QVERIFY(w->openList(path));
        showAndActivate(*w);
        w->setCurrentRow(1);
        if (how == QLatin1String("locked") || how == QLatin1String("exclusive")) {
            lock = std::make_unique<ListLock>(path, how == QLatin1String("exclusive"));
            QVERIFY(lock->isLocked());
        }
        QTest::keyClicks(w.txtTicker, QStringLiteral("MSFT"));

        MessageWatcher messages;
        QTest::mouseClick(command == QLatin1String("add") ? w.cmdAdd : w.cmdDelete, Qt::LeftButton);
        const QString expected = reason.isEmpty()
            ? kDataError
            : QStringLiteral("\"MSFT\" could not be added to the ticker list \"%1\": %2.\n\nThe list was not changed.")
                  .arg(QDir::toNativeSeparators(path), reason);
        QTRY_COMPARE(messages.texts, QStringList{expected});
        QCOMPARE(messages.titles, QStringList{w->windowTitle()});
        QCOMPARE(gridSymbols(*w), (QStringList{"IBM", "KO"}));
        QCOMPARE(w.txtTicker->text(), QStringLiteral("MSFT"));
        lock.reset();
        QCOMPARE(fileSymbols(path), (QStringList{"IBM", "KO"}));
        if (readOnlyFs)
            return;

        // Once the file takes changes again, the same command goes through.
        readOnly.reset();
        QVERIFY(w->openList(path));
        w->setCurrentRow(1);
        QTest::mouseClick(command == QLatin1String("add") ? w.cmdAdd : w.cmdDelete, Qt::LeftButton);
        QCOMPARE(fileSymbols(path),
                 command == QLatin1String("add") ? (QStringList{"IBM", "KO", "MSFT"}) : QStringList{"IBM"});
        QTest::qWait(100);
        QCOMPARE(messages.texts.size(), 1);
    }

    void commandsWithoutListSaySo_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("Add") << "add";
        QTest::newRow("Delete") << "delete";
        QTest::newRow("Import List") << "import";
    }

    void commandsWithoutListSaySo()
    {
        QFETCH(QString, command);
        TestWindow w;
        showAndActivate(*w);
        {
            MessageWatcher opening;
            QVERIFY(!w->openList(tmp(QStringLiteral("gone.mdb"))));
            QTRY_COMPARE(opening.texts.size(), 1);
        }
        QVERIFY(!w->list().isOpen());
        w.importAnswer = tmp(QStringLiteral("some.csv"));
        QVERIFY(writeFile(w.importAnswer, "MSFT\n"));
        QTest::keyClicks(w.txtTicker, QStringLiteral("MSFT"));

        MessageWatcher messages;
        if (command == QLatin1String("add"))
            QTest::mouseClick(w.cmdAdd, Qt::LeftButton);
        else if (command == QLatin1String("delete"))
            QTest::mouseClick(w.cmdDelete, Qt::LeftButton);
        else
            w.mnuImportList->trigger();
        QTRY_COMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts.first().startsWith(kNoList), qPrintable(messages.texts.first()));
        QVERIFY(messages.texts.first().contains(QStringLiteral("Open List")));
        // Nobody is asked for a file that could go nowhere.
        QCOMPARE(w.importAsked, 0);
        QCOMPARE(gridSymbols(*w), QStringList());
        QVERIFY(!QFile::exists(tmp(QStringLiteral("gone.mdb"))));
    }

    // --- Delete -----------------------------------------------------------------

    void deleteRemovesCurrentRowOnly_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("first row") << 0 << QStringList{"B", "C", "B"};
        QTest::newRow("middle row, its duplicate stays") << 1 << QStringList{"A", "C", "B"};
        QTest::newRow("last row, its duplicate stays") << 3 << QStringList{"A", "B", "C"};
    }

    void deleteRemovesCurrentRowOnly()
    {
        QFETCH(int, row);
        QFETCH(QStringList, after);
        TestWindow w;
        const QString path = prepare(w, {"A", "B", "C", "B"});
        QVERIFY(!path.isEmpty());
        const QModelIndex index = w.DBGrid1->model()->index(row, 0);
        QTest::mouseClick(w.DBGrid1->viewport(), Qt::LeftButton, {}, w.DBGrid1->visualRect(index).center());
        QCOMPARE(w->currentRow(), row);

        MessageWatcher messages;
        QTest::mouseClick(w.cmdDelete, Qt::LeftButton);
        QCOMPARE(fileSymbols(path), after);
        QCOMPARE(gridSymbols(*w), after);
        QCOMPARE(w->currentRow(), -1);

        // Nothing is current now: a second Delete takes no row and says nothing.
        QTest::mouseClick(w.cmdDelete, Qt::LeftButton);
        QCOMPARE(fileSymbols(path), after);
        QCOMPARE(gridSymbols(*w), after);
        QTest::qWait(100);
        QCOMPARE(messages.texts, QStringList());

        // Picking a row makes Delete work again.
        w->setCurrentRow(0);
        QTest::mouseClick(w.cmdDelete, Qt::LeftButton);
        QCOMPARE(fileSymbols(path), after.mid(1));
    }

    void deleteOnEmptyList_data()
    {
        QTest::addColumn<QStringList>("symbols");
        QTest::newRow("list empty from the start") << QStringList{};
        QTest::newRow("last row deleted, then Delete again") << QStringList{"ONLY"};
    }

    void deleteOnEmptyList()
    {
        QFETCH(QStringList, symbols);
        TestWindow w;
        const QString path = prepare(w, symbols);
        QVERIFY(!path.isEmpty());
        MessageWatcher messages;
        if (!symbols.isEmpty()) {
            QTest::mouseClick(w.cmdDelete, Qt::LeftButton);
            QCOMPARE(fileSymbols(path), QStringList());
        }
        QTest::mouseClick(w.cmdDelete, Qt::LeftButton);
        QTRY_COMPARE(messages.texts, QStringList{kNoData});
        QCOMPARE(messages.titles, QStringList{w->windowTitle()});
        QCOMPARE(gridSymbols(*w), QStringList());
        QCOMPARE(fileSymbols(path), QStringList());
    }

    // --- Import List ------------------------------------------------------------

    void importAppendsEveryLineWhole_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("report"); // what a message after the import names, if any
        // The file refuses an empty text and one over 10 characters; a line
        // too long for a symbol is named by its number afterwards.
        QTest::newRow("symbol, empty line, two fields")
            << QStringList{"IBM"} << QByteArray("MSFT\n\nOracle Corp,ORCL\n") << QStringList{"IBM", "MSFT"}
            << "line 3";
        QTest::newRow("short line with a comma stays whole")
            << QStringList{} << QByteArray("T,BCE\nKO\n") << QStringList{"T,BCE", "KO"} << "";
        QTest::newRow("case and duplicates kept, blanks around trimmed")
            << QStringList{"IBM"} << QByteArray(" ibm \nIBM\nIBM\n") << QStringList{"IBM", "ibm", "IBM", "IBM"}
            << "";
        QTest::newRow("a line of blanks adds nothing")
            << QStringList{} << QByteArray("   \nKO\n") << QStringList{"KO"} << "";
        QTest::newRow("tabs around trimmed") << QStringList{} << QByteArray("\tKO\t\nT, X \n") << QStringList{"KO", "T, X"}
                                             << "";
        QTest::newRow("control characters skipped and named")
            << QStringList{} << QByteArray("KO\nA\tB\nC\x01\nIBM\n") << QStringList{"KO", "IBM"}
            << "2 line(s) with control characters could not be imported as ticker symbols: line 2 (\"A\\x09B\"), "
               "line 3 (\"C\\x01\")";
        QTest::newRow("UTF-16 with its byte order mark")
            << QStringList{} << QByteArray("\xFF\xFER\0I\0O\0\r\0\n\0K\0O\0\r\0\n\0", 20) << QStringList{"RIO", "KO"}
            << "";
        QTest::newRow("header line not skipped")
            << QStringList{} << QByteArray("Symbol\nKO\n") << QStringList{"Symbol", "KO"} << "";
        QTest::newRow("CRLF and no final line end")
            << QStringList{"Z"} << QByteArray("A\r\nB\r\nC") << QStringList{"Z", "A", "B", "C"} << "";
        QTest::newRow("lone CR line ends")
            << QStringList{} << QByteArray("MSFT\rIBM\rKO\r") << QStringList{"MSFT", "IBM", "KO"} << "";
        QTest::newRow("empty file") << QStringList{"Z"} << QByteArray() << QStringList{"Z"} << "";
    }

    void importAppendsEveryLineWhole()
    {
        QFETCH(QStringList, before);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, after);
        QFETCH(QString, report);
        TestWindow w;
        const QString path = prepare(w, before);
        QVERIFY(!path.isEmpty());
        w.importAnswer = tmp(QStringLiteral("symbols.csv"));
        QVERIFY(writeFile(w.importAnswer, content));

        MessageWatcher messages;
        w.mnuImportList->trigger();
        QCOMPARE(w.importAsked, 1);
        QCOMPARE(fileSymbols(path), after);
        QCOMPARE(gridSymbols(*w), after);
        QTest::qWait(100);
        if (report.isEmpty()) {
            QCOMPARE(messages.texts, QStringList());
        } else {
            QCOMPARE(messages.texts.size(), 1);
            QVERIFY2(messages.texts.first().contains(report), qPrintable(messages.texts.first()));
        }
    }

    void importTenThousandLines()
    {
        TestWindow w;
        const QString path = prepare(w, {"FIRST"});
        QVERIFY(!path.isEmpty());
        QStringList lines;
        QByteArray content;
        for (int i = 0; i < 10000; ++i) {
            lines << QStringLiteral("S%1").arg(i);
            content += lines.last().toLatin1() + '\n';
        }
        w.importAnswer = tmp(QStringLiteral("big.csv"));
        QVERIFY(writeFile(w.importAnswer, content));

        MessageWatcher messages;
        QElapsedTimer clock;
        clock.start();
        w.mnuImportList->trigger();
        qInfo("importing 10,000 lines took %lld ms", clock.elapsed());
        QCOMPARE(fileSymbols(path), QStringList{"FIRST"} + lines);
        QCOMPARE(gridSymbols(*w), QStringList{"FIRST"} + lines);
        QCOMPARE(messages.texts, QStringList());
    }

    void importFailureLeavesListAsItWas_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected"); // a part of the message
        QTest::newRow("file missing") << "missing" << "could not be read";
        QTest::newRow("a folder chosen") << "folder" << "could not be read";
        QTest::newRow("a binary file chosen") << "binary" << "is not a list of ticker symbols: most of it is not text";
        QTest::newRow("list locked by another program") << "locked" << "could not be added";
        QTest::newRow("list file read-only") << "readonly" << "could not be added";
        QTest::newRow("list fails at the third line") << "partway" << "could not be added";
    }

    void importFailureLeavesListAsItWas()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        const QString path = tmp(QStringLiteral("held.mdb"));
        QVERIFY(makeList(path, {"IBM", "KO"}));
        if (kind == QLatin1String("partway")) {
            // The file itself fails one row with an error that is not about
            // the text, as a full disk would.
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("trigger"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY2(q.exec(QStringLiteral("CREATE TRIGGER fail_boom BEFORE INSERT ON Table1 WHEN NEW.Symbol = 'BOOM' "
                                           "BEGIN SELECT abs(-9223372036854775807 - 1); END")),
                     qPrintable(q.lastError().text()));
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("trigger"));
        std::unique_ptr<ReadOnlyFile> readOnly;
        if (kind == QLatin1String("readonly")) {
            readOnly = std::make_unique<ReadOnlyFile>(path);
            if (!readOnly->isReadOnly())
                QSKIP("this file system lets this user write any file");
        }

        TestWindow w;
        QVERIFY(w->openList(path));
        showAndActivate(*w);
        std::unique_ptr<ListLock> lock;
        if (kind == QLatin1String("locked")) {
            lock = std::make_unique<ListLock>(path);
            QVERIFY(lock->isLocked());
        }
        const QString csv = tmp(QStringLiteral("symbols.csv"));
        QVERIFY(writeFile(csv, "MSFT\nORCL\nBOOM\nAAPL\n"));
        if (kind == QLatin1String("missing"))
            w.importAnswer = tmp(QStringLiteral("nothing.csv"));
        else if (kind == QLatin1String("folder"))
            w.importAnswer = m_case.tmpPath();
        else if (kind == QLatin1String("binary"))
            QVERIFY(writeFile(w.importAnswer = tmp(QStringLiteral("picture.csv")), binaryBytes(20000)));
        else
            w.importAnswer = csv;

        MessageWatcher messages;
        w.mnuImportList->trigger();
        QTRY_COMPARE(messages.texts.size(), 1);
        const QString text = messages.texts.first();
        QVERIFY2(text.contains(expected), qPrintable(text));
        QVERIFY2(text.contains(QDir::toNativeSeparators(w.importAnswer)), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("The list was not changed.")), qPrintable(text));
        QCOMPARE(messages.titles.first(), w->windowTitle());
        QCOMPARE(gridSymbols(*w), (QStringList{"IBM", "KO"}));
        lock.reset();
        QCOMPARE(fileSymbols(path), (QStringList{"IBM", "KO"}));
        QTest::qWait(100);
        QCOMPARE(messages.texts.size(), 1);
    }

    void importCancelledChangesNothing()
    {
        TestWindow w;
        const QString path = prepare(w, {"A", "B", "C"});
        QVERIFY(!path.isEmpty());
        w->setCurrentRow(2);
        // Another program adds a row: only a refresh would show it.
        {
            TickerList other;
            QVERIFY(other.open(path));
            QVERIFY(other.append(QStringLiteral("D")));
        }
        w.importAnswer.clear();
        MessageWatcher messages;
        w.mnuImportList->trigger();
        QCOMPARE(w.importAsked, 1);
        QCOMPARE(gridSymbols(*w), (QStringList{"A", "B", "C"}));
        QCOMPARE(w->currentRow(), 2);
        QCOMPARE(fileSymbols(path), (QStringList{"A", "B", "C", "D"}));
        QTest::qWait(100);
        QCOMPARE(messages.texts, QStringList());
    }

    // --- Analyze Stock ----------------------------------------------------------

    void analyzeStockHandsOnCurrentSymbol_data()
    {
        QTest::addColumn<QStringList>("symbols");
        QTest::addColumn<int>("row"); // -1: none chosen
        QTest::addColumn<bool>("deleteFirst");
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("expected");
        QTest::newRow("current row") << QStringList{"IBM", "BCE.TO"} << 1 << false << "MSFT" << "BCE.TO";
        QTest::newRow("first row at open") << QStringList{"IBM", "BCE.TO"} << -1 << false << "" << "IBM";
        QTest::newRow("symbol with blanks as stored") << QStringList{" msft "} << 0 << false << "" << " msft ";
        QTest::newRow("empty list keeps the previous") << QStringList{} << -1 << false << "MSFT" << "MSFT";
        QTest::newRow("empty list, none before") << QStringList{} << -1 << false << "" << "";
        QTest::newRow("no current row after Delete") << QStringList{"IBM", "KO"} << 1 << true << "AAPL" << "AAPL";
    }

    void analyzeStockHandsOnCurrentSymbol()
    {
        QFETCH(QStringList, symbols);
        QFETCH(int, row);
        QFETCH(bool, deleteFirst);
        QFETCH(QString, previous);
        QFETCH(QString, expected);
        appState().services.chartHost = closedHost();
        appState().strTicker = previous;
        TestWindow w;
        QVERIFY(!prepare(w, symbols).isEmpty());
        if (row >= 0)
            w->setCurrentRow(row);
        if (deleteFirst)
            QTest::mouseClick(w.cmdDelete, Qt::LeftButton);

        MessageWatcher messages;
        w.mnuAnalyzeStock->trigger();
        QCOMPARE(appState().strTicker, expected);
#ifdef KESTRION_HAVE_WEBENGINE
        auto* browser = qobject_cast<frmBrowser*>(w->singleWindows().chartBrowser());
        QVERIFY(browser);
        QVERIFY(browser->isVisible());
        // Not modal and not owned: the main window stays usable beside it.
        QVERIFY(!browser->isModal());
        QCOMPARE(browser->parentWidget(), nullptr);
        QVERIFY(test::modalWindow() == nullptr);
#endif
        QTest::qWait(100);
        QCOMPARE(messages.texts, QStringList());
    }
};

int main(int argc, char** argv)
{
    // Qt WebEngine needs the shared OpenGL context before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestListEditing test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_list_editing.moc"
