// What "Get Historical Data" checks before and around a run, from the real
// main window against the local quote service: dates that cannot be asked
// for, and an error log that cannot be written.
#include "core/app_state.h"
#include "download/ui/download_controller.h"
#include "gui_support.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDir>
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

private Q_SLOTS:
    void initTestCase()
    {
        m_case.startTest(GuiCase::Quotes::LocalService);
    }

    void init()
    {
        m_case.startCase();
        m_dl = m_case.downloadDir();
    }

    void cleanup()
    {
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
