// What "Get Historical Data" checks before and around a run, from the real
// main window against the local quote service: dates that cannot be asked
// for, "Delete Existing Files", and an error log that cannot be written.
#include "core/app_state.h"
#include "download/ui/download_controller.h"
#include "gui_support.h"
#include "sources/source_registry.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace kestrion;
using namespace kestrion::test;

class TestRunChecks : public QObject
{
    Q_OBJECT

private:
    GuiCase m_case;
    QString m_dl;
    QByteArray m_home;

    void prepare(TestWindow& w, const QStringList& symbols)
    {
        prepareWeeklyYahooRun(w, m_case.tmp(QStringLiteral("list.mdb")), symbols, m_dl, {"Sep", "25", "2003"},
                              Show::Exposed);
    }

    static void setDates(TestWindow& w, const QStringList& start, const QStringList& end)
    {
        w.cbxStartMonth->setCurrentText(start.at(0));
        w.cbxStartDay->setCurrentText(start.at(1));
        w.cbxStartYear->setCurrentText(start.at(2));
        w.cbxEndMonth->setCurrentText(end.at(0));
        w.cbxEndDay->setCurrentText(end.at(1));
        w.cbxEndYear->setCurrentText(end.at(2));
    }

    static bool clickAndWait(TestWindow& w)
    {
        QSignalSpy done(&w->downloadController(), &DownloadController::finished);
        QTest::mouseClick(w.cmdGetUpdate, Qt::LeftButton);
        return !done.isEmpty() || done.wait(60000);
    }

    QStringList filesInDownloads() const
    {
        return QDir(m_dl).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QString dataHome() { return m_case.config().path() + QStringLiteral("/data"); }

private Q_SLOTS:
    void initTestCase()
    {
        m_case.startTest(GuiCase::Quotes::LocalService);
        m_home = qgetenv("HOME");
    }

    void init()
    {
        m_case.startCase();
        m_dl = m_case.downloadDir();
        // The trash of these cases is the one in the private data folder, on
        // the downloads' own file system.
        qputenv("HOME", m_case.config().path().toUtf8());
        QDir(dataHome() + QStringLiteral("/Trash")).removeRecursively();
    }

    void cleanup()
    {
        qputenv("HOME", m_home);
        m_case.endCase();
    }

    void rangeThatCannotBeAskedStartsNoRun_data()
    {
        QTest::addColumn<QStringList>("start");
        QTest::addColumn<QStringList>("end");
        QTest::addColumn<QStringList>("named"); // what the message names
        QTest::newRow("start Feb 30") << QStringList{"Feb", "30", "2024"} << QStringList{"Mar", "05", "2024"}
                                      << QStringList{"Feb 30 2024"};
        QTest::newRow("end Apr 31") << QStringList{"Jan", "02", "2024"} << QStringList{"Apr", "31", "2024"}
                                    << QStringList{"Apr 31 2024"};
        QTest::newRow("end before the start") << QStringList{"Mar", "01", "2024"} << QStringList{"Jan", "05", "2024"}
                                              << QStringList{"2024-03-01", "2024-01-05"};
        QTest::newRow("typed two-digit year") << QStringList{"Jan", "02", "24"} << QStringList{"Mar", "05", "2024"}
                                              << QStringList{"Jan 02 24"};
    }

    void rangeThatCannotBeAskedStartsNoRun()
    {
        QFETCH(QStringList, start);
        QFETCH(QStringList, end);
        QFETCH(QStringList, named);
        TestWindow w;
        prepare(w, {QStringLiteral("MSFT"), QStringLiteral("KO")});
        if (QTest::currentTestFailed())
            return;
        setDates(w, start, end);
        MessageWatcher messages;
        QVERIFY(clickAndWait(w));
        QTRY_COMPARE(messages.texts.size(), 1);
        for (const QString& text : {messages.texts.first(), w->statusText()}) {
            QVERIFY2(text.contains(QLatin1String("did not start")), qPrintable(text));
            for (const QString& date : named)
                QVERIFY2(text.contains(date), qPrintable(text));
        }
        QVERIFY(!w->downloadController().isRunning());
        QVERIFY(w.cmdGetUpdate->isEnabled());
        QCOMPARE(filesInDownloads(), QStringList());
    }

    void periodTheSourceCannotGiveStartsNoRun()
    {
        // Alpha Vantage's description gives monthly prices only.
        QVERIFY(loadDescribedSources({binPath(QStringLiteral("../share/kestrion/sources"))}).isEmpty());
        TestWindow w;
        prepare(w, {QStringLiteral("IBM")});
        if (QTest::currentTestFailed())
            return;
        appState().settings.dataSource = QStringLiteral("Alpha Vantage");
        MessageWatcher messages;
        QVERIFY(clickAndWait(w));
        QTRY_COMPARE(messages.texts.size(), 1);
        for (const QString& text : {messages.texts.first(), w->statusText()})
            QVERIFY2(text.contains(QLatin1String("did not start: Alpha Vantage cannot give weekly prices")),
                     qPrintable(text));
        QVERIFY(!w->downloadController().isRunning());
        QVERIFY(w.cmdGetUpdate->isEnabled());
        QCOMPARE(filesInDownloads(), QStringList());
        loadDescribedSources({});
    }

    void deleteExistingFilesMovesOnlyTheRunsFiles()
    {
        TestWindow w;
        prepare(w, {QStringLiteral("MSFT"), QStringLiteral("KO")});
        if (QTest::currentTestFailed())
            return;
        for (const char* name : {"notes.txt", ".hidden", "MSFT.csv", "errorlog.txt"})
            QVERIFY(writeFile(m_dl + QLatin1Char('/') + QLatin1String(name), QByteArray("old ") + name));
        appState().settings.deleteExistingFiles = true;
        QVERIFY(clickAndWait(w));
        QCOMPARE(w->statusText(), QStringLiteral("Download Complete!"));
        QCOMPARE(filesInDownloads(), (QStringList{".hidden", "KO.csv", "MSFT.csv", "notes.txt"}));
        QCOMPARE(readAll(m_dl + QStringLiteral("/notes.txt")), QByteArray("old notes.txt"));
        QCOMPARE(readAll(m_dl + QStringLiteral("/.hidden")), QByteArray("old .hidden"));
        const QMap<QString, QByteArray> trashed = trashedFiles(dataHome());
        QCOMPARE(trashed.keys(), (QStringList{"MSFT.csv", "errorlog.txt"}));
        QCOMPARE(trashed.value(QStringLiteral("MSFT.csv")), QByteArray("old MSFT.csv"));
    }

    void unwritableErrorLogShownInStatus()
    {
        TestWindow w;
        prepare(w, {QStringLiteral("E500_W"), QStringLiteral("KO")});
        if (QTest::currentTestFailed())
            return;
        QVERIFY(QDir(m_dl).mkdir(QStringLiteral("errorlog.txt")));
        QVERIFY(clickAndWait(w));
        const QString status = w->statusText();
        QVERIFY2(status.contains(QLatin1String("errorlog.txt")) && status.contains(QLatin1String("Could not write")),
                 qPrintable(status));
        QCOMPARE(filesInDownloads(), QStringList{QStringLiteral("KO.csv")});
    }
};

QTEST_MAIN(TestRunChecks)
#include "test_run_checks.moc"
