// A service's requests per minute: never more started in any window.
#include "download/request_pacer.h"

#include <QtTest>

using namespace kestrion;

class TestRequestPacer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void waits_data();
    void waits();
    void neverMoreInAnyWindow();
};

void TestRequestPacer::waits_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QList<qint64>>("starts"); // ms
    QTest::addColumn<qint64>("now");
    QTest::addColumn<qint64>("wait");
    QTest::newRow("no pacing") << 0 << QList<qint64>{0, 0, 0, 0} << qint64(0) << qint64(0);
    QTest::newRow("under the limit") << 3 << QList<qint64>{0, 10} << qint64(20) << qint64(0);
    QTest::newRow("at the limit: the oldest leaves first") << 3 << QList<qint64>{0, 10, 20} << qint64(30)
                                                           << qint64(59'970);
    QTest::newRow("oldest just left") << 3 << QList<qint64>{0, 10, 20} << qint64(60'000) << qint64(0);
    QTest::newRow("older starts forgotten") << 2 << QList<qint64>{0, 30'000, 50'000} << qint64(55'000)
                                            << qint64(35'000);
    QTest::newRow("one a minute") << 1 << QList<qint64>{5'000} << qint64(5'000) << qint64(60'000);
}

void TestRequestPacer::waits()
{
    QFETCH(int, limit);
    QFETCH(QList<qint64>, starts);
    QFETCH(qint64, now);
    QFETCH(qint64, wait);
    RequestPacer pacer(limit);
    for (qint64 at : starts)
        pacer.started(at);
    QCOMPARE(pacer.waitMs(now), wait);
    QCOMPARE(pacer.paces(), limit > 0);
}

void TestRequestPacer::neverMoreInAnyWindow()
{
    // Starting each request as soon as allowed, 8 a minute for 5 minutes.
    RequestPacer pacer(8);
    QList<qint64> starts;
    qint64 now = 0;
    while (now < 300'000) {
        now += pacer.waitMs(now);
        pacer.started(now);
        starts << now;
        now += 250; // the answer's time
    }
    for (qsizetype i = 8; i < starts.size(); ++i)
        QVERIFY2(starts.at(i) - starts.at(i - 8) >= RequestPacer::kWindowMs, qPrintable(QString::number(i)));
    QVERIFY(starts.size() >= 5 * 8);
}

QTEST_GUILESS_MAIN(TestRequestPacer)
#include "test_request_pacer.moc"
