// The shipped descriptions, unchanged but for their host, against the local
// quote service: each downloads, and each documented error reaches its reason.
#include "sources/answer_checks.h"
#include "sources/described_source.h"
#include "testsupport.h"

#include <QBuffer>
#include <QFile>
#include <QtTest>

using namespace kestrion;

// Declared before the raw-string helpers, which moc cannot read past.
class TestDescribedSim : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void answers_data();
    void answers();
    void servicesAgree();

private:
    TableResult fetch(const QString& which, const QString& symbol, const QString& key, const DateRange& range,
                      HistoryPeriod period);
    test::QuoteService m_service;
};

namespace {

SourceDescription shipped(const QString& which)
{
    QFile f(QStringLiteral(KESTRION_SOURCE_DIR "/share/kestrion/sources/") + which + QStringLiteral(".json"));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(f.fileName()));
    const DescriptionParse parsed = parseSourceDescription(f.readAll(), f.fileName());
    if (!parsed.description)
        qFatal("unusable: %s", qPrintable(parsed.problems.join(QLatin1Char('\n'))));
    return *parsed.description;
}

const QMap<QString, QString> kKeys = {
    {QStringLiteral("eodhd"), QStringLiteral("sim-eodhd-key")},
    {QStringLiteral("twelve-data"), QStringLiteral("sim-twelve-data-key")},
    {QStringLiteral("massive"), QStringLiteral("sim-massive-key")},
    {QStringLiteral("marketdata"), QStringLiteral("sim-marketdata-key")},
    {QStringLiteral("alpha-vantage"), QStringLiteral("sim-alpha-vantage-key")},
};

} // namespace

void TestDescribedSim::initTestCase()
{
    QVERIFY(m_service.start());
}

TableResult TestDescribedSim::fetch(const QString& which, const QString& symbol, const QString& key,
                                    const DateRange& range, HistoryPeriod period)
{
    const SourceDescription d = shipped(which);
    HttpClient client(10);
    QBuffer body;
    body.open(QIODevice::WriteOnly);
    const HttpGet get = describedRequest(d, symbol, range, period, key, QStringLiteral("http://") + m_service.host());
    HttpTransfer* transfer = client.get(get, &body);
    std::optional<FetchResult> done;
    connect(transfer, &HttpTransfer::finished, this, [&done](const FetchResult& r) { done = r; });
    if (!QTest::qWaitFor([&done] { return done.has_value(); }, 10000))
        return answers::failure(FailureReason::Timeout, QStringLiteral("no answer"));
    transfer->deleteLater();
    if (done->failure != FetchResult::Failure::None && done->failure != FetchResult::Failure::HttpStatus)
        return answers::failure(fetchReason(*done), QStringLiteral("fetch failed"));
    return describedTable(d, body.data(), done->status, range, period);
}

void TestDescribedSim::answers_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<bool>("goodKey");
    QTest::addColumn<QString>("reason");
    const struct
    {
        const char* which;
        const char* unknown; // what an unknown symbol is to the service
        const char* noData;
    } services[] = {{"eodhd", "not-found", "no-data"},
                    {"twelve-data", "not-found", "no-data"},
                    {"massive", "no-data", "no-data"},
                    {"marketdata", "not-found", "no-data"},
                    {"alpha-vantage", "not-found", "no-data"}};
    for (const auto& s : services) {
        const QByteArray w(s.which);
        QTest::newRow(w + " prices") << s.which << "MSFT" << true << "";
        QTest::newRow(w + " bad key") << s.which << "MSFT" << false << "unauthorized";
        QTest::newRow(w + " unknown symbol") << s.which << "ZZNOPE" << true << s.unknown;
        QTest::newRow(w + " no data") << s.which << "NO_PRICES" << true << s.noData;
        QTest::newRow(w + " quota notice") << s.which << "QUOTA_X" << true << "rate-limited";
        QTest::newRow(w + " 429") << s.which << "R429_X" << true << "rate-limited";
    }
}

void TestDescribedSim::answers()
{
    QFETCH(QString, which);
    QFETCH(QString, symbol);
    QFETCH(bool, goodKey);
    QFETCH(QString, reason);
    const bool monthly = which == QLatin1String("alpha-vantage");
    const DateRange range{QDate(2024, 1, 1), QDate(2024, 3, 31)};
    const TableResult result = fetch(which, symbol, goodKey ? kKeys.value(which) : QStringLiteral("wrong-key"), range,
                                     monthly ? HistoryPeriod::Monthly : HistoryPeriod::Daily);
    QCOMPARE(reasonText(result.reason), reason);
    if (!reason.isEmpty())
        return;
    const QList<QByteArray> lines = result.table.split('\n');
    QCOMPARE(lines.first(), QByteArray("Date,Open,High,Low,Close,Volume,Adj Close"));
    if (monthly) {
        QCOMPARE(lines.size(), 5); // header, three months, the empty end
        QVERIFY(lines.at(1).startsWith("2024-03-29,"));
        QVERIFY(lines.at(3).startsWith("2024-01-31,"));
    } else {
        QCOMPARE(lines.size(), 67); // header, 65 weekdays, the empty end
        QVERIFY(lines.at(1).startsWith("2024-03-29,"));
        QVERIFY(lines.at(65).startsWith("2024-01-01,"));
    }
}

// The simulator gives a symbol the same prices everywhere, so the four daily
// services, each read through its own description, must write the same file,
// folded into months the same way.
void TestDescribedSim::servicesAgree()
{
    const DateRange range{QDate(2024, 1, 10), QDate(2024, 4, 15)};
    for (const HistoryPeriod period : {HistoryPeriod::Daily, HistoryPeriod::Monthly}) {
        const TableResult first = fetch(QStringLiteral("eodhd"), QStringLiteral("IBM"), kKeys.value(QStringLiteral("eodhd")),
                                        range, period);
        QVERIFY(first.ok());
        for (const QString& which : {QStringLiteral("twelve-data"), QStringLiteral("massive"), QStringLiteral("marketdata")}) {
            const TableResult other = fetch(which, QStringLiteral("IBM"), kKeys.value(which), range, period);
            QVERIFY2(other.ok(), qPrintable(which + QLatin1Char(' ') + other.detail));
            QCOMPARE(other.table, first.table);
        }
    }
}

QTEST_GUILESS_MAIN(TestDescribedSim)
#include "test_described_sim.moc"
