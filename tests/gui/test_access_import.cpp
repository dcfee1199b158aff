// Bringing tickers in from an Access file through Open List and Import List:
// a real Access file (fetched by the fetch_access_sample set-up step), real
// list files, the real dialogs answered as a user would.
#include "core/app_state.h"
#include "app/ui/frmMain.h"
#include "gui_support.h"
#include "lists/ticker_list.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace kestrion;
using namespace kestrion::test;

namespace {

const QString kSample = QStringLiteral(KESTRION_ACCESS_SAMPLE);

// Answers the modal windows as they come up and keeps what they showed.
class ModalDriver
{
public:
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    QString table;  // picked in the table dialog; empty: Cancel there
    QString column;

    QStringList questions;
    QStringList warnings;
    QStringList notes; // information boxes
    QStringList offeredTables;
    int picks = 0;

private:
    bool step(QWidget* modal)
    {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (box->button(QMessageBox::Yes)) {
                questions << box->text();
                box->button(answer)->click();
            } else {
                (box->icon() == QMessageBox::Warning ? warnings : notes) << box->text();
                box->button(QMessageBox::Ok)->click();
            }
            return true;
        }
        if (modal->objectName() == QLatin1String("dlgAccessColumn")) {
            ++picks;
            auto* tables = modal->findChild<QComboBox*>(QStringLiteral("cbxTable"));
            auto* columns = modal->findChild<QComboBox*>(QStringLiteral("cbxColumn"));
            auto* buttons = modal->findChild<QDialogButtonBox*>();
            offeredTables.clear();
            for (int i = 0; i < tables->count(); ++i)
                offeredTables << tables->itemText(i);
            if (table.isEmpty()) {
                buttons->button(QDialogButtonBox::Cancel)->click();
                return true;
            }
            tables->setCurrentIndex(tables->findText(table));
            columns->setCurrentIndex(columns->findText(column));
            buttons->button(QDialogButtonBox::Ok)->click();
        }
        return true;
    }

    ModalWatcher m_watcher{[this](QWidget& modal) { return step(&modal); }};
};

} // namespace

class TestAccessImport : public QObject
{
    Q_OBJECT

private:
    GuiCase m_case;
    QByteArray m_bytes;

    QString tmp(const QString& name) const { return m_case.tmp(name); }

    // A copy of the sample beside the lists, so the proposed name lands here.
    QString accessCopy(const QByteArray& bytes = {})
    {
        const QString path = tmp(QStringLiteral("fruit.mdb"));
        return writeFile(path, bytes.isEmpty() ? m_bytes : bytes) ? path : QString();
    }

    // A shown window on a list holding the symbols.
    QString prepare(TestWindow& w, const QStringList& symbols)
    {
        return showWithList(w, tmp(QStringLiteral("current.mdb")), symbols);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_bytes = readAll(kSample);
        if (m_bytes.isEmpty())
            QFAIL(qPrintable(QStringLiteral("The Access sample file %1 is missing: the set-up step "
                                            "fetch_access_sample could not fetch it (it runs \"npm pack mdb@0.1.0\").")
                                 .arg(kSample)));
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

    void openListImportsIntoNewList_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QStringList>("symbols");
        QTest::addColumn<QStringList>("skipped"); // named in the note after the import
        QTest::newRow("long values skipped and named")
            << "Fruit Salad" << "Fruit"
            << QStringList{"Apple", "Banana", "Blackberry", "Blueberry", "Cherry", "Grapes", "Kiwi", "Kumquat",
                           "Orange", "Papaya", "Peach", "Pear", "Pineapple", "Plum", "Strawberry"}
            << QStringList{"Grapefruit, Red", "Mandarin/Tangerine", "Passion Fruit"};
        QTest::newRow("lower-case column") << "Veggie Salad" << "fruit" << QStringList{"Avocado", "Carrots", "Tomato"}
                                           << QStringList{"Pepper, Red Bell"};
        QTest::newRow("all values fit: no note")
            << "Dried" << "Fruit"
            << QStringList{"Apple", "Apricot", "Banana", "Blueberry", "Cherry", "Cranberry", "Date", "Fig", "Grapes",
                           "Peach", "Strawberry", "Tomato"}
            << QStringList{};
    }

    void openListImportsIntoNewList()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(QStringList, symbols);
        QFETCH(QStringList, skipped);
        TestWindow w;
        QVERIFY(!prepare(w, {"IBM"}).isEmpty());
        w.openAnswer = accessCopy();
        QVERIFY(!w.openAnswer.isEmpty());
        const QString target = tmp(QStringLiteral("fruit-kestrion.mdb"));
        w.targetAnswers = {target};

        ModalDriver driver;
        driver.table = table;
        driver.column = column;
        w.mnuOpenList->trigger();

        QCOMPARE(driver.questions.size(), 1);
        QVERIFY2(driver.questions.first().contains(QDir::toNativeSeparators(w.openAnswer)),
                 qPrintable(driver.questions.first()));
        QCOMPARE(driver.picks, 1);
        QCOMPARE(driver.offeredTables, (QStringList{"Fruit", "Fruit Salad", "Veggie Salad", "Muffin/Bread", "Dried"}));
        QCOMPARE(w.proposals, QStringList{target});
        QCOMPARE(driver.warnings, QStringList());
        QCOMPARE(w->list().path(), target);
        QCOMPARE(gridSymbols(*w), symbols);
        QCOMPARE(fileSymbols(target), symbols);
        QCOMPARE(appState().settings.databaseName, target);
        if (skipped.isEmpty()) {
            QCOMPARE(driver.notes, QStringList());
        } else {
            QCOMPARE(driver.notes.size(), 1);
            for (const QString& value : skipped)
                QVERIFY2(driver.notes.first().contains(QLatin1Char('"') + value + QLatin1Char('"')),
                         qPrintable(driver.notes.first()));
        }
        QCOMPARE(readAll(w.openAnswer), m_bytes);
    }

    void nothingMadeWhenTheUserStops_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("No to the question") << "question";
        QTest::newRow("Cancel at the table choice") << "table";
        QTest::newRow("Cancel at the save dialog") << "save";
    }

    void nothingMadeWhenTheUserStops()
    {
        QFETCH(QString, where);
        TestWindow w;
        const QString current = prepare(w, {"IBM", "KO"});
        QVERIFY(!current.isEmpty());
        w.openAnswer = accessCopy();
        if (where != QLatin1String("save"))
            w.targetAnswers = {tmp(QStringLiteral("fruit-kestrion.mdb"))};
        const QString databaseName = appState().settings.databaseName;

        ModalDriver driver;
        driver.answer = where == QLatin1String("question") ? QMessageBox::No : QMessageBox::Yes;
        if (where != QLatin1String("table")) {
            driver.table = QStringLiteral("Dried");
            driver.column = QStringLiteral("Fruit");
        }
        w.mnuOpenList->trigger();

        QCOMPARE(driver.questions.size(), 1);
        QCOMPARE(driver.picks, where == QLatin1String("question") ? 0 : 1);
        QCOMPARE(w.proposals.size(), where == QLatin1String("save") ? 1 : 0);
        QCOMPARE(QDir(m_case.tmpPath()).entryList(QDir::Files, QDir::Name), (QStringList{"current.mdb", "fruit.mdb"}));
        QCOMPARE(w->list().path(), current);
        QCOMPARE(gridSymbols(*w), (QStringList{"IBM", "KO"}));
        QCOMPARE(appState().settings.databaseName, databaseName);
        QCOMPARE(driver.warnings, QStringList());
    }

    void damagedAccessFileMakesNoList()
    {
        TestWindow w;
        const QString current = prepare(w, {"IBM"});
        QVERIFY(!current.isEmpty());
        w.openAnswer = accessCopy(m_bytes.left(380000));
        w.targetAnswers = {tmp(QStringLiteral("fruit-kestrion.mdb"))};

        ModalDriver driver;
        w.mnuOpenList->trigger();

        QCOMPARE(driver.questions.size(), 1);
        QCOMPARE(driver.warnings.size(), 1);
        const QString text = driver.warnings.first();
        QVERIFY2(text.contains(QDir::toNativeSeparators(w.openAnswer)), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("cut short")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("No list was made.")), qPrintable(text));
        QCOMPARE(w.proposals, QStringList());
        QCOMPARE(QDir(m_case.tmpPath()).entryList(QDir::Files, QDir::Name), (QStringList{"current.mdb", "fruit.mdb"}));
        QCOMPARE(w->list().path(), current);
    }

    void existingTargetIsAskedAgain()
    {
        TestWindow w;
        QVERIFY(!prepare(w, {"IBM"}).isEmpty());
        w.openAnswer = accessCopy();
        const QString taken = tmp(QStringLiteral("taken.mdb"));
        QVERIFY(makeList(taken, {"KEEP"}));
        const QString second = tmp(QStringLiteral("second.mdb"));
        // The Access file itself is offered first: it must never be replaced.
        w.targetAnswers = {w.openAnswer, taken, second};

        ModalDriver driver;
        driver.table = QStringLiteral("Dried");
        driver.column = QStringLiteral("Fruit");
        w.mnuOpenList->trigger();

        QCOMPARE(driver.warnings.size(), 2);
        for (const QString& text : driver.warnings)
            QVERIFY2(text.contains(QStringLiteral("already exists")), qPrintable(text));
        QCOMPARE(w.proposals, (QStringList{tmp(QStringLiteral("fruit-kestrion.mdb")), w.openAnswer, taken}));
        QCOMPARE(readAll(w.openAnswer), m_bytes);
        QCOMPARE(fileSymbols(taken), QStringList{"KEEP"});
        QCOMPARE(w->list().path(), second);
        QCOMPARE(fileSymbols(second).size(), 12);
    }

    void importListAppends_data()
    {
        QTest::addColumn<QString>("source"); // "access", "list" or "database"
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("notes");
        QTest::addColumn<QString>("warning"); // a part of it; empty: none
        QTest::newRow("Access file, long values named")
            << "access" << QStringList{"IBM", "Avocado", "Carrots", "Tomato"} << 1 << "";
        // Read as text, a list's database pages would add binary fragments.
        QTest::newRow("another Kestrion list gives its symbols")
            << "list" << QStringList{"IBM", "KO", " msft ", "KO"} << 0 << "";
        QTest::newRow("another database is refused, not read as text")
            << "database" << QStringList{"IBM"} << 0 << "could not be read: it has no table";
    }

    void importListAppends()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, after);
        QFETCH(int, notes);
        QFETCH(QString, warning);
        TestWindow w;
        const QString current = prepare(w, {"IBM"});
        QVERIFY(!current.isEmpty());
        if (source == QLatin1String("access")) {
            w.importAnswer = accessCopy();
        } else {
            w.importAnswer = tmp(QStringLiteral("other.mdb"));
            QVERIFY(makeList(w.importAnswer, {"KO", " msft ", "KO"}));
        }
        if (source == QLatin1String("database")) {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            db.setDatabaseName(w.importAnswer);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("ALTER TABLE Table1 RENAME TO Prices")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        const QByteArray sourceBytes = readAll(w.importAnswer);

        ModalDriver driver;
        driver.table = QStringLiteral("Veggie Salad");
        driver.column = QStringLiteral("fruit");
        w.mnuImportList->trigger();

        QCOMPARE(driver.questions, QStringList());
        if (warning.isEmpty()) {
            QCOMPARE(driver.warnings, QStringList());
        } else {
            QCOMPARE(driver.warnings.size(), 1);
            QVERIFY2(driver.warnings.first().contains(warning), qPrintable(driver.warnings.first()));
            QVERIFY2(driver.warnings.first().contains(QStringLiteral("The list was not changed.")),
                     qPrintable(driver.warnings.first()));
        }
        QCOMPARE(driver.notes.size(), notes);
        QCOMPARE(gridSymbols(*w), after);
        QCOMPARE(fileSymbols(current), after);
        QCOMPARE(w->list().path(), current);
        QCOMPARE(readAll(w.importAnswer), sourceBytes);
    }

    void openingAnAccessFileDirectlySaysWhatItIs()
    {
        TestWindow w;
        showAndActivate(*w);
        const QString path = accessCopy();
        MessageWatcher messages;
        QVERIFY(!w->openList(path));
        QTRY_COMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts.first().contains(QStringLiteral("Access database")), qPrintable(messages.texts.first()));
        QVERIFY2(messages.texts.first().contains(QStringLiteral("Open List")), qPrintable(messages.texts.first()));
        QCOMPARE(readAll(path), m_bytes);
    }
};

QTEST_MAIN(TestAccessImport)
#include "test_access_import.moc"
