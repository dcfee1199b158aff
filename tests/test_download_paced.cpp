// A described service's requests-per-minute paces a whole run: never more
// requests started in any window than it allows, and the wait is said.
#include "download/download_run.h"
#include "download/metastock_factory.h"
#include "sources/source_registry.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using namespace kestrion;

namespace {

class StatusHost : public RunView
{
public:
    void setStatusText(const QString& text) override { texts << text; }
    void setProgressRange(int, int) override { }
    void setProgressValue(int) override { }
    void progressToMinimum() override { }
    void progressToMaximum() override { }
    void tickerFinished(const QString&, bool ok, const QString&) override { stored += ok ? 1 : 0; }
    QStringList texts;
    int stored = 0;
};

} // namespace

class TestDownloadPaced : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void paced_data();
    void paced();

private:
    test::QuoteService m_service;
};

void TestDownloadPaced::initTestCase()
{
    QVERIFY(m_service.start());
    QVERIFY(loadDescribedSources({test::binPath(QStringLiteral("../share/kestrion/sources"))}).isEmpty());
    QCOMPARE(quoteSourceEntry(QStringLiteral("Twelve Data")).requestsPerMinute, 8);
}

void TestDownloadPaced::paced_data()
{
    QTest::addColumn<int>("tickers");
    QTest::addColumn<bool>("waits");
    // Twelve Data allows 8 a minute; the window is shortened to 1.5 s here.
    QTest::newRow("within the limit") << 8 << false;
    QTest::newRow("one more than the limit") << 9 << true;
    QTest::newRow("two windows' worth") << 12 << true;
}

void TestDownloadPaced::paced()
{
    QFETCH(int, tickers);
    QFETCH(bool, waits);
    constexpr qint64 window = 1500;
    QTemporaryDir dir;
    DownloadRequest in;
    in.services.fetchTimeoutSeconds = 5;
    in.services.sourceHosts.insert(QStringLiteral("Twelve Data"), QStringLiteral("http://") + m_service.host());
    in.settings.dataSource = QStringLiteral("Twelve Data");
    in.settings.fileExtension = QStringLiteral(".csv");
    in.settings.parallelRequests = 4;
    in.range = {QDate(2024, 1, 2), QDate(2024, 1, 31)};
    in.downloadDir = dir.path();
    in.apiKey = QStringLiteral("sim-twelve-data-key");
    in.paceWindowMs = window;
    for (int i = 0; i < tickers; ++i)
        in.symbols << QStringLiteral("T%1").arg(i);
    StatusHost host;
    const std::unique_ptr<MetaStockFactory> metastock = makeMetaStockFactory(in.services);
    DownloadRun run(host, *metastock);
    QElapsedTimer clock;
    clock.start();
    const RunResult r = test::runToEnd(run, in);
    const qint64 took = clock.elapsed();
    QVERIFY(r.completed);
    QCOMPARE(host.stored, tickers);
    const bool said = std::any_of(host.texts.cbegin(), host.texts.cend(), [](const QString& text) {
        return text.startsWith(QLatin1String("...Waiting ")) && text.endsWith(QLatin1String(" s: Twelve Data allows 8 requests a minute"));
    });
    QCOMPARE(said, waits);
    if (waits)
        QVERIFY2(took >= window * ((tickers - 1) / 8), qPrintable(QString::number(took)));
    else
        QVERIFY2(took < window, qPrintable(QString::number(took)));
}

QTEST_GUILESS_MAIN(TestDownloadPaced)
#include "test_download_paced.moc"
