// Download runs that leave MetaStock data, with the program's own
// components, against the local quote service.
#include "download/download_run.h"
#include "formats/error_log.h"
#include "download/metastock_factory.h"
#include "metastock_reader.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace kestrion;
using kestrion::test::MsFolder;
using kestrion::test::MsQuote;
using kestrion::test::MsSecurity;
using kestrion::test::readMetaStockFolder;

namespace {

class QuietHost : public RunView
{
public:
    void setStatusText(const QString&) override {}
    void setProgressRange(int, int) override {}
    void setProgressValue(int) override {}
    void progressToMinimum() override {}
    void progressToMaximum() override {}
};

QStringList securities(const MsFolder& f)
{
    QStringList out;
    for (const MsSecurity& s : f.securities)
        out << s.symbol + QLatin1Char('/') + QLatin1Char(s.period);
    out.sort();
    return out;
}

// The quotes of a stored "ASCII 7" file, read with a plain split.
QStringList asciiSevenQuotes(const QByteArray& file)
{
    QStringList out;
    const QList<QByteArray> lines = file.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> c = lines.at(i).trimmed().split(',');
        if (c.size() != 9)
            continue;
        QStringList parts{QString::fromLatin1(c.at(2))};
        for (int k = 3; k < 9; ++k)
            parts << QString::number(double(c.at(k).toFloat()), 'g', 9);
        out << parts.join(QLatin1Char(' '));
    }
    return out;
}

QStringList storedQuotes(const MsSecurity& s)
{
    QStringList out;
    for (const MsQuote& q : s.quotes) {
        QStringList parts{QString::number(q.date)};
        for (const float v : {q.open, q.high, q.low, q.close, q.volume, q.openInterest})
            parts << QString::number(double(v), 'g', 9);
        out << parts.join(QLatin1Char(' '));
    }
    return out;
}

// A download directory on a file system that fills up: a 64 KB tmpfs where
// the tests may mount one, else any folder with the programs started under a
// small file-size limit, so index files stop growing as on a full disk.
class SmallDisk
{
public:
    SmallDisk()
    {
        if (!m_dir.isValid())
            return;
        m_mounted = ::geteuid() == 0
            && ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                       "size=64k")
                == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    bool mounted() const { return m_mounted; }
    // What the child process runs first.
    std::function<void()> childSetup() const
    {
        if (m_mounted)
            return {};
        return [] {
            ::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
            const rlimit l{8192, 8192};
            ::setrlimit(RLIMIT_FSIZE, &l);
        };
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

QStringList symbolsOf(const MsFolder& f)
{
    QStringList out;
    for (const MsSecurity& s : f.securities)
        out << s.symbol;
    out.sort();
    return out;
}

} // namespace

class TestMetaStockRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void yahooThroughTheDownloader();
    void wallStreetCityThroughTheWriter_data();
    void wallStreetCityThroughTheWriter();
    void secondRunAddsToTheFolder();
    void fullDiskLeavesFolderAsItWas_data();
    void fullDiskLeavesFolderAsItWas();

private:
    DownloadRequest inputs(const QString& dir, const QStringList& symbols, const QString& source, double convert);

    test::QuoteService m_service;
};

void TestMetaStockRun::initTestCase()
{
    QVERIFY2(m_service.start(), "the local quote service did not start");
}

DownloadRequest TestMetaStockRun::inputs(const QString& dir, const QStringList& symbols, const QString& source,
                                   double convert)
{
    DownloadRequest in;
    in.services.yahooHistoryHost = m_service.host();
    in.services.wscQueryHost = m_service.host();
    in.services.wscFileHost = m_service.host();
    in.services.fetchTimeoutSeconds = 10;
    in.settings.dataSource = source;
    in.settings.dataFormat = QStringLiteral("1");
    in.settings.fileExtension = QStringLiteral(".csv");
    in.settings.convertToMS = NumberFlag::loaded(convert);
    in.range = {QDate(2003, 1, 1), QDate(2003, 9, 25)};
    in.period = HistoryPeriod::Weekly;
    in.downloadDir = dir;
    in.symbols = symbols;
    return in;
}

void TestMetaStockRun::yahooThroughTheDownloader()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QuietHost host;
    // Made per run with the run's services, as the window and the command line do.
    const std::unique_ptr<MetaStockFactory> factory =
        makeMetaStockFactory(inputs(dir.path(), {}, QStringLiteral("Yahoo"), 1).services);
    DownloadRun run(host, *factory);
    const RunResult r = test::runToEnd(run, inputs(dir.path(), {QStringLiteral("MSFT"), QStringLiteral("ZZBAD"),
                                                    QStringLiteral("BCE.TO")},
                                       QStringLiteral("Yahoo"), 1));
    QVERIFY(r.completed);
    QCOMPARE(r.stored, 2);
    QCOMPARE(r.failed, 1);
    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(securities(folder), (QStringList{"BCE-TO/W", "MSFT/W"}));
    for (const MsSecurity& s : folder.securities) {
        QVERIFY(!s.quotes.isEmpty());
        QVERIFY(s.firstDate >= 20030101 && s.lastDate <= 20030925);
    }
    QVERIFY(test::readAll(ErrorLog::path(dir.path())).contains("ZZBAD"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("MSFT.csv"))));
}

void TestMetaStockRun::wallStreetCityThroughTheWriter_data()
{
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<QStringList>("stored");
    QTest::newRow("three tickers") << QStringList{"MSFT", "IBM", "BCE.TO"}
                                   << QStringList{"BCE-TO/W", "IBM/W", "MSFT/W"};
    QTest::newRow("unknown ticker left out") << QStringList{"ZZNONE", "KO"} << QStringList{"KO/W"};
}

void TestMetaStockRun::wallStreetCityThroughTheWriter()
{
    QFETCH(QStringList, symbols);
    QFETCH(QStringList, stored);
    const QString wsc = QStringLiteral("Wall Street City");
    // The same run without conversion leaves the files the conversion reads.
    QTemporaryDir plain;
    QTemporaryDir folderDir;
    QVERIFY(plain.isValid() && folderDir.isValid());
    QuietHost host;
    const std::unique_ptr<MetaStockFactory> factory = makeMetaStockFactory({});
    {
        DownloadRun run(host, *factory);
        QVERIFY(test::runToEnd(run, inputs(plain.path(), symbols, wsc, 0)).completed);
    }
    {
        DownloadRun run(host, *factory);
        QVERIFY(test::runToEnd(run, inputs(folderDir.path(), symbols, wsc, 1)).completed);
    }
    const MsFolder folder = readMetaStockFolder(folderDir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(securities(folder), stored);
    for (const MsSecurity& s : folder.securities) {
        const QByteArray file = test::readAll(plain.filePath(s.symbol + QStringLiteral(".csv")));
        QVERIFY(!file.isEmpty());
        QCOMPARE(storedQuotes(s), asciiSevenQuotes(file));
    }
    // No data file remains beside the folder's own files.
    const QRegularExpression own(QStringLiteral("^(MASTER|EMASTER|F[0-9]+\\.DAT|errorlog\\.txt)$"));
    for (const QString& f : QDir(folderDir.path()).entryList(QDir::Files | QDir::Hidden))
        QVERIFY2(own.match(f).hasMatch(), qPrintable(f));
}

void TestMetaStockRun::secondRunAddsToTheFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString wsc = QStringLiteral("Wall Street City");
    QuietHost host;
    const std::unique_ptr<MetaStockFactory> factory = makeMetaStockFactory({});
    DownloadRequest first = inputs(dir.path(), {QStringLiteral("MSFT")}, wsc, 1);
    first.range.to = QDate(2003, 6, 30);
    DownloadRequest second = inputs(dir.path(), {QStringLiteral("MSFT"), QStringLiteral("IBM")}, wsc, 1);
    second.range.from = QDate(2003, 5, 1);
    {
        DownloadRun run(host, *factory);
        QVERIFY(test::runToEnd(run, first).completed);
    }
    const int before = readMetaStockFolder(dir.path()).find(QStringLiteral("MSFT"), 'W')->quotes.size();
    {
        DownloadRun run(host, *factory);
        QVERIFY(test::runToEnd(run, second).completed);
    }
    const MsFolder folder = readMetaStockFolder(dir.path());
    QCOMPARE(folder.problems, QStringList{});
    QCOMPARE(securities(folder), (QStringList{"IBM/W", "MSFT/W"}));
    const MsSecurity* msft = folder.find(QStringLiteral("MSFT"), 'W');
    QVERIFY(msft->quotes.size() > before);
    QCOMPARE(msft->firstDate, msft->quotes.first().date);
    QVERIFY(msft->firstDate < 20030201);
    QVERIFY(msft->lastDate > 20030901);
}

void TestMetaStockRun::fullDiskLeavesFolderAsItWas_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("Yahoo Chart tables through the writer") << "yahoo-chart";
    QTest::newRow("Wall Street City ASCII 7 through the writer") << "wsc";
    QTest::newRow("Yahoo through the downloader") << "yahoo";
}

void TestMetaStockRun::fullDiskLeavesFolderAsItWas()
{
    QFETCH(QString, source);
    test::TempConfig config;
    config.pointServicesAt(m_service.host(), 5);
    QTemporaryDir lists;
    SmallDisk disk;
    QVERIFY(lists.isValid() && disk.isValid());
    if (!disk.mounted())
        qInfo("no tmpfs could be mounted: a file-size limit stands in for the full disk");
    const QString dl = disk.path();

    QStringList first, second;
    for (int i = 1; i <= 8; ++i)
        first << QStringLiteral("OLD%1").arg(i);
    for (int i = 1; i <= 292; ++i)
        second << QStringLiteral("NEW%1").arg(i, 3, 10, QLatin1Char('0'));
    second << first; // updated last, when nothing fits any more
    const QString firstList = lists.filePath(QStringLiteral("first.mdb"));
    const QString secondList = lists.filePath(QStringLiteral("second.mdb"));
    QVERIFY(test::makeList(firstList, first) && test::makeList(secondList, second));
    auto run = [&](const QString& list, const QString& to) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        return test::runCli({"--list", list, "--dir", dl, "--source", source, "--format", "1", "--metastock",
                             "--from", "2024-01-02", "--to", to, "--period", "daily", "--ext", ".csv"},
                            config.path(), env, disk.childSetup());
    };

    const test::CliResult r1 = run(firstList, QStringLiteral("2024-01-31"));
    QVERIFY2(r1.code == 0, qPrintable(r1.out + r1.err));
    const MsFolder before = readMetaStockFolder(dl);
    QCOMPARE(before.problems, QStringList{});
    QCOMPARE(symbolsOf(before), first);

    const test::CliResult r2 = run(secondList, QStringLiteral("2024-02-29"));
    QCOMPARE(r2.code, 1);
    // Each ticker is in the folder, or says why not.
    QStringList stored = first;
    int failed = 0;
    const QRegularExpression line(QStringLiteral("^(\\S+) (ok (.*)|failed: (.*))$"));
    const QStringList lines = r2.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), second.size());
    for (const QString& l : lines) {
        const QRegularExpressionMatch m = line.match(l);
        QVERIFY2(m.hasMatch(), qPrintable(l));
        if (m.captured(3).isEmpty()) {
            QCOMPARE(m.captured(4), QStringLiteral("write-failed"));
            ++failed;
        } else {
            QCOMPARE(m.captured(3), dl);
            if (!first.contains(m.captured(1)))
                stored << m.captured(1);
        }
    }
    QVERIFY(failed > 0);
    stored.sort();

    // The index lists what the data files hold, and only what was reported stored.
    const MsFolder after = readMetaStockFolder(dl);
    QCOMPARE(after.problems, QStringList{});
    QCOMPARE(symbolsOf(after), stored);
    const QStringList dataFiles =
        QDir(dl).entryList({QStringLiteral("F*.DAT"), QStringLiteral("F*.MWD")}, QDir::Files);
    QCOMPARE(dataFiles.size(), after.securities.size());
    QCOMPARE(QDir(dl).entryList({QStringLiteral(".kestrion-*")}, QDir::Files | QDir::Hidden), QStringList{});
    // The earlier securities read as they did, or with the days added when
    // their update was stored.
    for (const MsSecurity& old : before.securities) {
        const MsSecurity* now = after.find(old.symbol, 'D');
        QVERIFY2(now, qPrintable(old.symbol));
        const QStringList oldQuotes = storedQuotes(old);
        const QStringList newQuotes = storedQuotes(*now);
        if (lines.contains(old.symbol + QStringLiteral(" ok ") + dl))
            QCOMPARE(newQuotes.mid(0, oldQuotes.size()), oldQuotes);
        else
            QCOMPARE(newQuotes, oldQuotes);
    }
}

QTEST_GUILESS_MAIN(TestMetaStockRun)
#include "test_metastock_run.moc"
