// Download runs that leave MetaStock data, with the program's own
// components, against the local quote service.
#include "download/download_run.h"
#include "download/error_log.h"
#include "download/metastock_factory.h"
#include "metastock_reader.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrion;
using kestrion::test::MsFolder;
using kestrion::test::MsQuote;
using kestrion::test::MsSecurity;
using kestrion::test::readMetaStockFolder;

namespace {

class QuietHost : public RunHost
{
public:
    void setStatus(const QString&) override {}
    void setProgressRange(int, int) override {}
    void setProgressValue(int) override {}
    void progressToMinimum() override {}
    void progressToMaximum() override {}
    bool askStop() override { return false; }
    QString promptCreateDirectory() override { return {}; }
    void showCompletionMessage() override {}
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

private:
    RunInputs inputs(const QString& dir, const QStringList& symbols, const QString& source, double convert);

    test::QuoteService m_service;
};

void TestMetaStockRun::initTestCase()
{
    QVERIFY2(m_service.start(), "the local quote service did not start");
}

RunInputs TestMetaStockRun::inputs(const QString& dir, const QStringList& symbols, const QString& source,
                                   double convert)
{
    RunInputs in;
    in.services.yahooHistoryHost = m_service.host();
    in.services.wscQueryHost = m_service.host();
    in.services.wscFileHost = m_service.host();
    in.services.fetchTimeoutSeconds = 10;
    in.settings.dataSource = source;
    in.settings.dataFormat = QStringLiteral("1");
    in.settings.fileExtension = QStringLiteral(".csv");
    in.settings.convertToMS = convert;
    in.request = {QStringLiteral("Jan"), QStringLiteral("01"), QStringLiteral("2003"),
                  QStringLiteral("Sep"), QStringLiteral("25"), QStringLiteral("2003"), HistoryPeriod::Weekly};
    in.downloadDir = dir;
    in.listOpen = true;
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
    RunInputs first = inputs(dir.path(), {QStringLiteral("MSFT")}, wsc, 1);
    first.request.endMonth = QStringLiteral("Jun");
    first.request.endDay = QStringLiteral("30");
    RunInputs second = inputs(dir.path(), {QStringLiteral("MSFT"), QStringLiteral("IBM")}, wsc, 1);
    second.request.startMonth = QStringLiteral("May");
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

QTEST_GUILESS_MAIN(TestMetaStockRun)
#include "test_metastock_run.moc"
