#include "core/app_state.h"
#include "download/download_run.h"
#include "download/metastock_components.h"
#include "download/output_files.h"
#include "formats/error_log.h"
#include "platform/http_fetch.h"
#include "sources/yahoo_table_source.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>


using namespace kestrion;

namespace {

// Remembers everything the run shows and asks, in order.
class RecordingHost : public RunView
{
public:
    QStringList events;
    QStringList statuses;
    QList<int> progress;
    bool stopAnswer = false; // what the "No Data!" prompt answers
    int prompts = 0;
    QString createdDirectory;
    std::function<void(const QString&)> onStatus;

    void setInputsEnabled(bool enabled) override
    {
        events << (enabled ? QStringLiteral("enable") : QStringLiteral("disable"));
    }
    void refreshList() override { events << QStringLiteral("refresh"); }
    void setStatusText(const QString& text) override
    {
        events << QStringLiteral("status:") + text;
        statuses << text;
        if (onStatus)
            onStatus(text);
    }
    void setProgressRange(int min, int max) override { events << QStringLiteral("range:%1-%2").arg(min).arg(max); }
    void setProgressValue(int v) override
    {
        events << QStringLiteral("progress:%1").arg(v);
        progress << v;
    }
    void progressToMinimum() override { events << QStringLiteral("progress:min"); }
    void progressToMaximum() override
    {
        events << QStringLiteral("progress:max");
        progress << -1;
    }
    void askStop(std::function<void(bool)> answered) override
    {
        ++prompts;
        events << QStringLiteral("askStop");
        answered(stopAnswer);
    }
    void askCreateDirectory(const QString&, std::function<void(const QString&)> answered) override
    {
        events << QStringLiteral("createPrompt");
        answered(createdDirectory);
    }
    void showCompletionMessage(std::function<void()> closed) override
    {
        events << QStringLiteral("completionMessage");
        closed();
    }
    void tickerFinished(const QString& symbol, bool ok, const QString&) override
    {
        events << QStringLiteral("finished:%1:%2").arg(symbol, ok ? QStringLiteral("ok") : QStringLiteral("failed"));
    }
};

// Records the calls the run makes to the MetaStock components.
struct ComponentLog
{
    QStringList calls;
    QStringList failSymbols;
    bool flushFails = false;
};

class RecordingWriter : public MetaStockWriter
{
public:
    explicit RecordingWriter(ComponentLog& log) : m_log(log) { m_log.calls << QStringLiteral("writer:create"); }
    ~RecordingWriter() override { m_log.calls << QStringLiteral("writer:release"); }
    void createFolder(const QString& d) override { m_log.calls << QStringLiteral("createFolder:") + d; }
    void openFolder(const QString& d) override { m_log.calls << QStringLiteral("openFolder:") + d; }
    void addSecurity(const QString& s, const QString& n, qint16 p) override
    {
        m_log.calls << QStringLiteral("addSecurity:%1:%2:%3").arg(s, n).arg(p);
    }
    void addQuote(qint32 date, qint32 time, float, float, float, float, float, float) override
    {
        m_log.calls << QStringLiteral("addQuote:%1:%2").arg(date).arg(time);
    }
    bool flush() override
    {
        m_log.calls << QStringLiteral("flush");
        return !m_log.flushFails;
    }

private:
    ComponentLog& m_log;
};

class RecordingDownloader : public MetaStockDownloader
{
public:
    explicit RecordingDownloader(ComponentLog& log) : m_log(log) {}
    ~RecordingDownloader() override { m_log.calls << QStringLiteral("downloader:release"); }
    void setRunSetting(qint16 v) override { m_log.calls << QStringLiteral("setRunSetting:%1").arg(v); }
    void downloadTicker(const QString& symbol, const QString& name, qint32 start, qint32 end, qint16 period,
                        const QString& dir, const QString& reserved, bool overwrite, Done done) override
    {
        m_log.calls << QStringLiteral("downloadTicker:%1:%2:%3:%4:%5:%6:%7:%8")
                           .arg(symbol, name)
                           .arg(start)
                           .arg(end)
                           .arg(period)
                           .arg(dir == m_dir ? QStringLiteral("DIR") : dir, reserved,
                                overwrite ? QStringLiteral("true") : QStringLiteral("false"));
        done(m_log.failSymbols.contains(symbol) ? kErrorCouldNotDownload : 0);
    }
    QString m_dir;

private:
    ComponentLog& m_log;
};

class RecordingFactory : public MetaStockFactory
{
public:
    ComponentLog log;
    QString dir;
    std::unique_ptr<MetaStockWriter> createWriter() override { return std::make_unique<RecordingWriter>(log); }
    std::unique_ptr<MetaStockDownloader> createDownloader() override
    {
        auto d = std::make_unique<RecordingDownloader>(log);
        d->m_dir = dir;
        return d;
    }
};

} // namespace

class TestDownloadRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void listRunAllSucceed();
    void retriesThenSucceeds();
    void givenUp_data();
    void givenUp();
    void activeAlertsContinueLogsAndGoesOn();
    void singleStock();
    void singleStockGivenUpLogsNothing();
    void nothingToFetch_data();
    void nothingToFetch();
    void missingDirectory_data();
    void missingDirectory();
    void deleteExistingFiles();
    void dateStampAndDottedSymbols();
    void wallStreetCityBothStages();
    void symbolCannotLeaveDirectory();
    void failedFetchLeavesNoFile_data();
    void failedFetchLeavesNoFile();
    void cancelDuringTransferLeavesNoPartialFile();
    void cancelEndsARateLimitWait();
    void slowBodyOutlastsTheTimeout_data();
    void slowBodyOutlastsTheTimeout();
    void completionMessageBeforeEnable();
    void componentPath();
    void writerCondition_data();
    void writerCondition();
    void conversionFailureKeepsDataFile();
    void postRunLaunch_data();
    void postRunLaunch();
    void inFlightMatchesOneAtATime_data();
    void inFlightMatchesOneAtATime();

private:
    DownloadRequest inputs(const QStringList& symbols);
    QByteArray directFetch(const DownloadRequest& in, const QString& symbol);
    QStringList dataFiles() const;

    test::QuoteService m_service;
    std::unique_ptr<QTemporaryDir> m_dir;
    RecordingHost m_host;
    RecordingFactory m_factory;
};

void TestDownloadRun::initTestCase()
{
    QVERIFY(m_service.start());
}

void TestDownloadRun::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_host = RecordingHost{};
    m_factory.log = ComponentLog{};
    m_factory.dir = m_dir->path();
}

void TestDownloadRun::cleanup()
{
    // No run may leave temporary files behind.
    const QStringList left = QDir(m_dir->path()).entryList({QStringLiteral("temp.txt"), QStringLiteral("*.part"),
                                                            QStringLiteral("*.XXXXXX"), QStringLiteral("*~")},
                                                           QDir::Files | QDir::Hidden);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
    m_dir.reset();
}

DownloadRequest TestDownloadRun::inputs(const QStringList& symbols)
{
    DownloadRequest in;
    in.services.yahooHistoryHost = m_service.host();
    in.services.wscQueryHost = m_service.host();
    in.services.wscFileHost = m_service.host();
    in.services.yahooChartHost = QStringLiteral("http://") + m_service.host();
    in.services.tiingoHost = QStringLiteral("http://") + m_service.host();
    in.services.fetchTimeoutSeconds = 5;
    in.settings.dataSource = QStringLiteral("Yahoo");
    in.settings.dataFormat = QStringLiteral("5");
    in.settings.fileExtension = QStringLiteral(".csv");
    in.settings.parallelRequests = 1; // one at a time unless a test asks for more
    in.range = {QDate(2003, 1, 1), QDate(2003, 9, 25)};
    in.period = HistoryPeriod::Weekly;
    in.downloadDir = m_dir->path();
    in.symbols = symbols;
    return in;
}

QByteArray TestDownloadRun::directFetch(const DownloadRequest& in, const QString& symbol)
{
    return test::httpGet(yahooUrl(m_service.host(), in.range, in.period, symbol), 5);
}

QStringList TestDownloadRun::dataFiles() const
{
    return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

void TestDownloadRun::listRunAllSucceed()
{
    const DownloadRequest in = inputs({QStringLiteral("MSFT"), QStringLiteral("IBM"), QStringLiteral("KO")});
    DownloadRun run(m_host, m_factory);
    const RunResult r = test::runToEnd(run, in);
    QVERIFY(r.completed);
    QCOMPARE(r.stored, 3);
    QCOMPARE(m_host.progress, (QList<int>{0, 1, 2, -1}));
    QCOMPARE(m_host.statuses,
             (QStringList{"...Downloading MSFT", "...Downloading IBM", "...Downloading KO", "Download Complete!"}));
    QCOMPARE(m_host.events.first(), QStringLiteral("disable"));
    QVERIFY(m_host.events.contains(QStringLiteral("range:0-3")));
    QCOMPARE(m_host.events.mid(m_host.events.size() - 2), (QStringList{"enable", "refresh"}));
    QCOMPARE(dataFiles(), (QStringList{"IBM.csv", "KO.csv", "MSFT.csv"}));
    // Byte for byte what the service sent.
    QCOMPARE(test::readAll(m_dir->filePath(QStringLiteral("MSFT.csv"))), directFetch(in, QStringLiteral("MSFT")));
    QVERIFY(!QFile::exists(ErrorLog::path(m_dir->path())));
    // The downloader gets its per-run setting even when it is not used.
    QCOMPARE(m_factory.log.calls, (QStringList{"setRunSetting:20", "downloader:release"}));
}

void TestDownloadRun::retriesThenSucceeds()
{
    const DownloadRequest in = inputs({QStringLiteral("FAIL2_R1"), QStringLiteral("IBM")});
    DownloadRun run(m_host, m_factory);
    const RunResult r = test::runToEnd(run, in);
    QVERIFY(r.completed);
    QCOMPARE(r.stored, 2);
    QCOMPARE(m_host.statuses.count(QStringLiteral("...Downloading FAIL2_R1")), 3);
    QCOMPARE(m_host.progress, (QList<int>{0, 1, -1}));
    QVERIFY(contentTest(m_dir->filePath(QStringLiteral("FAIL2_R1.csv"))));
    QVERIFY(!QFile::exists(ErrorLog::path(m_dir->path())));
}

void TestDownloadRun::givenUp_data()
{
    QTest::addColumn<int>("activeAlerts");
    QTest::addColumn<bool>("answerStop");
    QTest::newRow("passive") << 0 << false;
    QTest::newRow("active, answer No") << -1 << true;
}

void TestDownloadRun::givenUp()
{
    QFETCH(int, activeAlerts);
    QFETCH(bool, answerStop);
    DownloadRequest in = inputs({QStringLiteral("MSFT"), QStringLiteral("E500_G"), QStringLiteral("NO_G"), QStringLiteral("KO")});
    in.settings.activeAlerts = activeAlerts != 0;
    m_host.stopAnswer = answerStop;
    DownloadRun run(m_host, m_factory);
    const RunResult r = test::runToEnd(run, in);

    QCOMPARE(m_host.statuses.count(QStringLiteral("...Downloading E500_G")), 3);
    const int givenUp = int(m_host.events.indexOf(QStringLiteral("status:Could not get E500_G")));
    QVERIFY(givenUp > 0);
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("E500_G.csv"))));
    QCOMPARE(m_host.statuses.last(), QStringLiteral("ERRORS LOGGED!"));
    QVERIFY(r.errorsLogged);
    QVERIFY(!m_host.statuses.contains(QStringLiteral("Download Complete!")) || !answerStop);
    if (answerStop) {
        // The ticker that made the user stop is logged; nothing after it is fetched.
        QCOMPARE(m_host.prompts, 1);
        QVERIFY(r.stopped);
        QVERIFY(!r.completed);
        QVERIFY(!m_host.statuses.contains(QStringLiteral("...Downloading NO_G")));
        QCOMPARE(dataFiles(), (QStringList{"MSFT.csv", "errorlog.txt"}));
        QCOMPARE(test::readAll(ErrorLog::path(m_dir->path())).split('\n').at(4), QByteArray("E500_G\r"));
    } else {
        QCOMPARE(m_host.prompts, 0);
        QVERIFY(r.completed);
        QCOMPARE(m_host.progress, (QList<int>{0, 1, -1}));
        QCOMPARE(dataFiles(), (QStringList{"KO.csv", "MSFT.csv", "errorlog.txt"}));
        QCOMPARE(test::readAll(ErrorLog::path(m_dir->path())),
                 QByteArray("Kestrion could not download data for the following tickers.\r\n"
                            "Please check if the tickers are in your selected source database\r\n"
                            "(Yahoo Finance, or WallStreet City).\r\n\r\nE500_G\r\nNO_G\r\n"));
        // Completion first, then the error-log check replaces the text.
        QVERIFY(m_host.events.indexOf(QStringLiteral("status:Download Complete!"))
                < m_host.events.indexOf(QStringLiteral("status:ERRORS LOGGED!")));
    }
}

void TestDownloadRun::activeAlertsContinueLogsAndGoesOn()
{
    DownloadRequest in = inputs({QStringLiteral("E500_C"), QStringLiteral("KO")});
    in.settings.activeAlerts = true;
    m_host.stopAnswer = false;
    DownloadRun run(m_host, m_factory);
    const RunResult r = test::runToEnd(run, in);
    QCOMPARE(m_host.prompts, 1);
    QVERIFY(r.completed);
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("KO.csv"))));
    // Prompt after the status text, before the log line.
    QVERIFY(m_host.events.indexOf(QStringLiteral("status:Could not get E500_C")) < m_host.events.indexOf("askStop"));
    QVERIFY(m_host.events.indexOf("askStop") < m_host.events.indexOf(QStringLiteral("finished:E500_C:failed")));
}

void TestDownloadRun::singleStock()
{
    DownloadRequest in = inputs({QStringLiteral("MSFT"), QStringLiteral("IBM"), QStringLiteral("KO")});
    pickTickers(in, true, in.symbols, true, 1);
    DownloadRun run(m_host, m_factory);
    const RunResult r = test::runToEnd(run, in);
    QVERIFY(r.completed);
    QCOMPARE(dataFiles(), QStringList{QStringLiteral("IBM.csv")});
    QCOMPARE(m_host.statuses, (QStringList{"...Downloading IBM", "Download Complete!"}));
    QVERIFY(m_host.events.indexOf(QStringLiteral("progress:min")) < m_host.events.indexOf("status:...Downloading IBM"));
}

void TestDownloadRun::singleStockGivenUpLogsNothing()
{
    DownloadRequest in = inputs({QStringLiteral("E500_S")});
    pickTickers(in, true, in.symbols, true, 0);
    in.settings.activeAlerts = true;
    DownloadRun run(m_host, m_factory);
    const RunResult r = test::runToEnd(run, in);
    QVERIFY(!r.completed);
    QCOMPARE(m_host.prompts, 0);
    QCOMPARE(m_host.statuses.last(), QStringLiteral("Could not get E500_S"));
    QVERIFY(dataFiles().isEmpty());
}

void TestDownloadRun::nothingToFetch_data()
{
    QTest::addColumn<bool>("listOpen");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<bool>("singleStock");
    QTest::addColumn<int>("currentRow");
    QTest::addColumn<QString>("status");
    QTest::newRow("no list") << false << QStringList() << false << -1 << "No ticker list is open";
    QTest::newRow("empty list") << true << QStringList() << false << -1 << "The ticker list is empty";
    QTest::newRow("empty list, single stock") << true << QStringList() << true << -1 << "The ticker list is empty";
    QTest::newRow("single stock, no row") << true << QStringList{"MSFT"} << true << -1 << "Select a ticker first";
    QTest::newRow("single stock, row gone") << true << QStringList{"MSFT"} << true << 1 << "Select a ticker first";
}

void TestDownloadRun::nothingToFetch()
{
    QFETCH(bool, listOpen);
    QFETCH(QStringList, symbols);
    QFETCH(bool, singleStock);
    QFETCH(int, currentRow);
    QFETCH(QString, status);
    DownloadRequest in = inputs(symbols);
    pickTickers(in, listOpen, symbols, singleStock, currentRow);
    DownloadRun run(m_host, m_factory);
    const RunResult r = test::runToEnd(run, in);
    // Never a "Download Complete!" for a run that fetched nothing.
    QVERIFY(r.noList && !r.completed);
    QCOMPARE(m_host.statuses, QStringList{status});
    QVERIFY(m_host.events.contains(QStringLiteral("enable")));
    QVERIFY(dataFiles().isEmpty());
}

void TestDownloadRun::missingDirectory_data()
{
    QTest::addColumn<QString>("dir");
    QTest::newRow("empty text") << "";
    QTest::newRow("no such entry") << "/nonexistent/kestrion/dir";
}

void TestDownloadRun::missingDirectory()
{
    QFETCH(QString, dir);
    DownloadRequest in = inputs({QStringLiteral("MSFT")});
    in.downloadDir = dir;
    m_host.createdDirectory = m_dir->filePath(QStringLiteral("new"));
    DownloadRun run(m_host, m_factory);
    const RunResult r = test::runToEnd(run, in);
    QVERIFY(r.directoryMissing);
    QCOMPARE(r.downloadDir, m_host.createdDirectory);
    QVERIFY(m_host.statuses.isEmpty());
    QVERIFY(m_host.events.contains(QStringLiteral("createPrompt")));
    QVERIFY(dataFiles().isEmpty());
}

void TestDownloadRun::deleteExistingFiles()
{
    // A private trash, on the downloads' file system.
    const test::TempConfig config;
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", config.path().toUtf8());
    const auto restoreHome = qScopeGuard([&] { qputenv("HOME", home); });
    for (const char* name : {"OLD.csv", "EMASTER", "errorlog.txt", "MSFT.csv"}) {
        QFile f(m_dir->filePath(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("keep")));
    DownloadRequest in = inputs({QStringLiteral("MSFT")});
    in.settings.deleteExistingFiles = true;
    {
        DownloadRun run(m_host, m_factory);
        test::runToEnd(run, in);
    }
    // Only what this run writes went, to the trash.
    QCOMPARE(dataFiles(), (QStringList{"EMASTER", "MSFT.csv", "OLD.csv"}));
    QCOMPARE(test::trashedFiles(config.path() + QStringLiteral("/data")).keys(),
             (QStringList{"MSFT.csv", "errorlog.txt"}));
    QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("keep"))).isDir());

    // Without the setting earlier files stay.
    QFile f(m_dir->filePath(QStringLiteral("OLD.csv")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    in.settings.deleteExistingFiles = false;
    DownloadRun run(m_host, m_factory);
    test::runToEnd(run, in);
    QCOMPARE(dataFiles(), (QStringList{"EMASTER", "MSFT.csv", "OLD.csv"}));
    QCOMPARE(test::trashedFiles(config.path() + QStringLiteral("/data")).size(), 2);
}

void TestDownloadRun::dateStampAndDottedSymbols()
{
    DownloadRequest in = inputs({QStringLiteral("BCE.TO"), QStringLiteral("A.B.C")});
    in.settings.dateStamp = true;
    {
        DownloadRun run(m_host, m_factory);
        QVERIFY(test::runToEnd(run, in).completed);
    }
    QCOMPARE(dataFiles(), (QStringList{"A-B.CSep252003.csv", "BCE-TOSep252003.csv"}));
    // The request carries the dot.
    QCOMPARE(test::readAll(m_dir->filePath(QStringLiteral("BCE-TOSep252003.csv"))), directFetch(in, QStringLiteral("BCE.TO")));
    // Another end date leaves a second file.
    in.range.to = QDate(2003, 9, 26);
    DownloadRun run(m_host, m_factory);
    test::runToEnd(run, in);
    QCOMPARE(dataFiles().size(), 4);
}

void TestDownloadRun::wallStreetCityBothStages()
{
    DownloadRequest in = inputs({QStringLiteral("MSFT"), QStringLiteral("ZZNONE")});
    in.settings.dataSource = QStringLiteral("Wall Street City");
    in.settings.dataFormat = QStringLiteral("6");
    DownloadRun run(m_host, m_factory);
    const RunResult r = test::runToEnd(run, in);
    QCOMPARE(r.stored, 1);
    // Two status texts per attempt: after the query page and after the file.
    QCOMPARE(m_host.statuses.count(QStringLiteral("...Downloading MSFT")), 2);
    QCOMPARE(m_host.statuses.count(QStringLiteral("...Downloading ZZNONE")), 6);
    QVERIFY(test::readAll(m_dir->filePath(QStringLiteral("MSFT.csv"))).startsWith("Date,High,Low,Close,Volume"));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("temp.txt"))));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("ZZNONE.csv"))));
}

void TestDownloadRun::symbolCannotLeaveDirectory()
{
    QTemporaryDir parent;
    const QString inner = parent.filePath(QStringLiteral("dl"));
    QVERIFY(QDir().mkpath(inner));
    DownloadRequest in = inputs({QStringLiteral("../MSFT")});
    in.downloadDir = inner;
    DownloadRun run(m_host, m_factory);
    test::runToEnd(run, in);
    QCOMPARE(QDir(parent.path()).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(inner).entryList(QDir::Files), QStringList{QStringLiteral("-.-MSFT.csv")});
}

void TestDownloadRun::failedFetchLeavesNoFile_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::newRow("reset") << "RESET_P";
    QTest::newRow("never answers") << "HANG_P";
    QTest::newRow("HTML page") << "ZZHTML";
}

void TestDownloadRun::failedFetchLeavesNoFile()
{
    QFETCH(QString, symbol);
    // An earlier run's file under the same name.
    const QString path = m_dir->filePath(symbol + QStringLiteral(".csv"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("Date,Open\n");
    old.close();
    DownloadRequest in = inputs({symbol});
    in.services.fetchTimeoutSeconds = 1;
    DownloadRun run(m_host, m_factory);
    const RunResult r = test::runToEnd(run, in);
    QCOMPARE(r.failed, 1);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(dataFiles(), QStringList{QStringLiteral("errorlog.txt")});
}

void TestDownloadRun::cancelDuringTransferLeavesNoPartialFile()
{
    DownloadRequest in = inputs({QStringLiteral("MSFT"), QStringLiteral("SLOW_X"), QStringLiteral("KO")});
    DownloadRun run(m_host, m_factory);
    // Cancel while the slow body is arriving.
    m_host.onStatus = [&](const QString& s) {
        if (s == QLatin1String("...Downloading MSFT"))
            QTimer::singleShot(700, &run, &DownloadRun::cancel);
    };
    const RunResult r = test::runToEnd(run, in);
    QVERIFY(r.cancelled);
    QCOMPARE(dataFiles(), QStringList{QStringLiteral("MSFT.csv")});
    QVERIFY(!m_host.statuses.contains(QStringLiteral("...Downloading KO")));
}

void TestDownloadRun::cancelEndsARateLimitWait()
{
    // The service asks for two minutes; closing the window must not wait them out.
    DownloadRequest in = inputs({QStringLiteral("RLONG_A"), QStringLiteral("MSFT")});
    in.settings.dataSource = QStringLiteral("Yahoo Chart");
    DownloadRun run(m_host, m_factory);
    bool cancelling = false;
    m_host.onStatus = [&run, &cancelling](const QString& text) {
        if (text.startsWith(QLatin1String("...Waiting 120 s")) && !cancelling) {
            cancelling = true;
            QTimer::singleShot(0, &run, &DownloadRun::cancel);
        }
    };
    QElapsedTimer clock;
    clock.start();
    const RunResult r = test::runToEnd(run, in);
    QVERIFY(cancelling);
    QVERIFY(r.cancelled);
    QVERIFY(clock.elapsed() < 60000); // not the two minutes asked for
    QVERIFY(!m_host.statuses.contains(QStringLiteral("...Downloading MSFT")));
    QCOMPARE(dataFiles(), QStringList());
}

void TestDownloadRun::slowBodyOutlastsTheTimeout_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("body as sent") << "Yahoo";
    QTest::newRow("converted") << "Yahoo Chart";
}

void TestDownloadRun::slowBodyOutlastsTheTimeout()
{
    QFETCH(QString, source);
    // The answer trickles in over about two seconds in small pieces; the
    // time-out is for silence, so one second of it never cuts a body that
    // keeps coming.
    DownloadRequest in = inputs({QStringLiteral("SLOW_T")});
    in.settings.dataSource = source;
    in.services.fetchTimeoutSeconds = 1;
    DownloadRun run(m_host, m_factory);
    const RunResult r = test::runToEnd(run, in);
    QCOMPARE(r.stored, 1);
    QCOMPARE(r.failed, 0);
    QVERIFY(!test::readAll(m_dir->filePath(QStringLiteral("SLOW_T.csv"))).isEmpty());
}

void TestDownloadRun::completionMessageBeforeEnable()
{
    DownloadRequest in = inputs({QStringLiteral("MSFT")});
    in.settings.playSound = true;
    DownloadRun run(m_host, m_factory);
    test::runToEnd(run, in);
    const auto msg = m_host.events.indexOf(QStringLiteral("completionMessage"));
    QVERIFY(msg > m_host.events.indexOf(QStringLiteral("status:Download Complete!")));
    QVERIFY(msg < m_host.events.indexOf(QStringLiteral("enable")));
}

void TestDownloadRun::componentPath()
{
    DownloadRequest in = inputs({QStringLiteral("BCE.TO"), QStringLiteral("BAD")});
    in.settings.convertToMS = true;
    m_factory.log.failSymbols = QStringList{QStringLiteral("BAD")};
    DownloadRun run(m_host, m_factory);
    const RunResult r = test::runToEnd(run, in);
    QVERIFY(r.completed);
    QCOMPARE(m_factory.log.calls, (QStringList{"setRunSetting:20",
                                               "downloadTicker:BCE.TO::20030101:20030925:2:DIR::true",
                                               "downloadTicker:BAD::20030101:20030925:2:DIR::true",
                                               "downloader:release"}));
    QCOMPARE(m_host.statuses.first(), QStringLiteral("...Downloading BCE.TO"));
    QCOMPARE(m_host.progress, (QList<int>{0, 1, -1}));
    // No data files, no retries; the 1602 ticker is logged.
    QCOMPARE(dataFiles(), QStringList{QStringLiteral("errorlog.txt")});
    QVERIFY(test::readAll(ErrorLog::path(m_dir->path())).endsWith("\r\n\r\nBAD\r\n"));
    QCOMPARE(m_host.statuses.last(), QStringLiteral("ERRORS LOGGED!"));
}

void TestDownloadRun::writerCondition_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("emaster");
    QTest::addColumn<bool>("single");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("create folder")
        << "MSFT" << "1" << false << false
        << QStringList{"setRunSetting:20", "writer:create", "createFolder:DIR", "writer:release", "downloader:release"}
        << QStringList{};
    QTest::newRow("open folder when EMASTER exists")
        << "MSFT" << "1" << true << false
        << QStringList{"setRunSetting:20", "writer:create", "openFolder:DIR", "writer:release", "downloader:release"}
        << QStringList{"EMASTER"};
    QTest::newRow("single ticker repeats the folder step per attempt")
        << "E500_W" << "1" << false << true
        << QStringList{"setRunSetting:20", "writer:create", "createFolder:DIR", "createFolder:DIR", "createFolder:DIR",
                       "writer:release", "downloader:release"}
        << QStringList{};
    QTest::newRow("other format: no writer") << "MSFT" << "5" << false << false
                                             << QStringList{"setRunSetting:20", "downloader:release"}
                                             << QStringList{"MSFT.csv"};
}

void TestDownloadRun::writerCondition()
{
    QFETCH(QString, symbol);
    QFETCH(QString, format);
    QFETCH(bool, emaster);
    QFETCH(bool, single);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, files);
    if (emaster) {
        QFile f(m_dir->filePath(QStringLiteral("EMASTER")));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    DownloadRequest in = inputs({symbol});
    in.settings.dataSource = QStringLiteral("Wall Street City");
    in.settings.dataFormat = format;
    in.settings.convertToMS = true;
    pickTickers(in, true, in.symbols, single, 0);
    DownloadRun run(m_host, m_factory);
    test::runToEnd(run, in);
    QStringList recorded = m_factory.log.calls;
    recorded.replaceInStrings(m_dir->path(), QStringLiteral("DIR"));
    // The conversion itself (add security, add quote) is checked elsewhere;
    // here only the folder step and the release matter.
    recorded.erase(std::remove_if(recorded.begin(), recorded.end(),
                                  [](const QString& c) {
                                      return c.startsWith("addSecurity") || c.startsWith("addQuote") || c == "flush";
                                  }),
                   recorded.end());
    QCOMPARE(recorded, calls);
    QCOMPARE(dataFiles(), files);
}

void TestDownloadRun::conversionFailureKeepsDataFile()
{
    DownloadRequest in = inputs({QStringLiteral("MSFT"), QStringLiteral("KO")});
    in.settings.dataSource = QStringLiteral("Wall Street City");
    in.settings.dataFormat = QStringLiteral("1");
    in.settings.convertToMS = true;
    m_factory.log.flushFails = true; // e.g. a full disk
    {
        DownloadRun run(m_host, m_factory);
        const RunResult r = test::runToEnd(run, in);
        QVERIFY(r.completed);
        QCOMPARE(r.failed, 2); // not in the folder: never reported stored
    }
    QVERIFY(m_host.events.contains(QStringLiteral("finished:MSFT:failed")));
    // The downloaded files are the only copy of the quotes: they stay.
    QCOMPARE(dataFiles(), (QStringList{"KO.csv", "MSFT.csv", "errorlog.txt"}));
    QVERIFY(m_factory.log.calls.contains(QStringLiteral("addSecurity:MSFT:MSFT:2")));
    QVERIFY(m_factory.log.calls.contains(QStringLiteral("addQuote:20030922:0")));

    m_factory.log = ComponentLog{};
    DownloadRun run(m_host, m_factory);
    QVERIFY(test::runToEnd(run, in).completed);
    QCOMPARE(dataFiles(), QStringList());
}

void TestDownloadRun::postRunLaunch_data()
{
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<int>("autoStart");
    QTest::addColumn<bool>("launched");
    QTest::newRow("automatic, auto start on") << true << 1 << true;
    QTest::newRow("button run never launches") << false << 1 << false;
    QTest::newRow("auto start -1 is not on") << true << -1 << false;
    QTest::newRow("auto start off") << true << 0 << false;
}

void TestDownloadRun::postRunLaunch()
{
    QFETCH(bool, automatic);
    QFETCH(int, autoStart);
    QFETCH(bool, launched);
    QTemporaryDir other;
    const QString marker = other.filePath(QStringLiteral("launched"));
    DownloadRequest in = inputs({QStringLiteral("MSFT")});
    in.automatic = automatic;
    in.settings.autoStartApp = Flag::loaded(qint16(autoStart));
    in.settings.appName = QStringLiteral("/usr/bin/touch \"%1\"").arg(marker);
    DownloadRun run(m_host, m_factory);
    test::runToEnd(run, in);
    if (launched)
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
    else {
        QTest::qWait(300);
        QVERIFY(!QFile::exists(marker));
    }
    // A program that cannot be started is skipped silently.
    in.settings.appName = QStringLiteral("/nonexistent/program");
    DownloadRun again(m_host, m_factory);
    QVERIFY(test::runToEnd(again, in).completed);
}

void TestDownloadRun::inFlightMatchesOneAtATime_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("activeAlerts");
    QTest::addColumn<bool>("stop");
    QTest::newRow("Yahoo, passive alerts") << "Yahoo" << 0 << false;
    QTest::newRow("Yahoo, No Data! answered Yes") << "Yahoo" << 1 << false;
    QTest::newRow("Yahoo, No Data! answered No") << "Yahoo" << 1 << true;
    QTest::newRow("Yahoo Chart, passive alerts") << "Yahoo Chart" << 0 << false;
    QTest::newRow("Yahoo Chart, No Data! answered No") << "Yahoo Chart" << 1 << true;
}

void TestDownloadRun::inFlightMatchesOneAtATime()
{
    // With four requests in flight the user sees exactly what a one-at-a-time
    // run shows: texts, prompts, finished tickers, files and log lines in list
    // order; a stop throws away what the requests in flight brought.
    QFETCH(QString, source);
    QFETCH(int, activeAlerts);
    QFETCH(bool, stop);
    const QStringList symbols{"SLOW_A", "MSFT", "E500_G", "KO", "ZZNONE", "IBM", "SLOW_B", "AAPL"};
    struct Seen
    {
        QStringList events;
        QMap<QString, QByteArray> files;
        int stored = 0, failed = 0;
        bool stopped = false, completed = false;
    };
    const auto runWith = [&](int jobs) {
        for (const QString& f : dataFiles())
            QFile::remove(m_dir->filePath(f));
        m_host = RecordingHost{};
        m_host.stopAnswer = stop;
        DownloadRequest in = inputs(symbols);
        in.settings.dataSource = source;
        in.settings.activeAlerts = activeAlerts != 0;
        in.settings.parallelRequests = jobs;
        DownloadRun run(m_host, m_factory);
        const RunResult r = test::runToEnd(run, in);
        Seen seen{m_host.events, {}, r.stored, r.failed, r.stopped, r.completed};
        for (const QString& f : dataFiles())
            seen.files.insert(f, test::readAll(m_dir->filePath(f)));
        return seen;
    };
    const Seen one = runWith(1);
    const Seen four = runWith(4);
    QCOMPARE(four.events, one.events);
    QCOMPARE(four.files.keys(), one.files.keys());
    QVERIFY(four.files == one.files);
    QCOMPARE(four.stored, one.stored);
    QCOMPARE(four.failed, one.failed);
    QCOMPARE(four.stopped, stop);
    QCOMPARE(four.completed, !stop);
    if (stop)
        QVERIFY(!four.files.contains(QStringLiteral("KO.csv")) && !four.files.contains(QStringLiteral("KO")));
}

QTEST_GUILESS_MAIN(TestDownloadRun)
#include "test_download_run.moc"
