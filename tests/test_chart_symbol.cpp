#include "tools/chart_symbol.h"

#include <QtTest>

using namespace kestrion;

class TestChartSymbol : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void symbolAndCountry_data();
    void symbolAndCountry();
    void periodAddresses_data();
    void periodAddresses();
    void addressKeepsOddSymbolsInOneQueryValue_data();
    void addressKeepsOddSymbolsInOneQueryValue();
    void homeAndSearchPages();
    void history_data();
    void history();
};

void TestChartSymbol::symbolAndCountry_data()
{
    QTest::addColumn<QString>("ticker");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("affix");
    QTest::addColumn<QString>("country");

    QTest::newRow("no affix") << "MSFT" << "msft" << "" << "us";
    QTest::newRow("toronto suffix") << "BCE.TO" << "bce" << ".to" << "ca";
    QTest::newRow("toronto prefix") << "T.BCE" << "bce" << "t." << "ca";
    QTest::newRow("alberta suffix") << "ABC.AL" << "abc" << ".al" << "ca";
    QTest::newRow("alberta prefix") << "AL.ABC" << "abc" << "al." << "ca";
    QTest::newRow("montreal suffix") << "XYZ.M" << "xyz" << ".m" << "ca";
    QTest::newRow("vancouver prefix") << "v.xyz" << "xyz" << "v." << "ca";
    // Later tests see what earlier ones left; the affix recognised last wins.
    QTest::newRow("both toronto affixes") << "t.xyz.to" << "xyz" << "t." << "ca";
    QTest::newRow("order decides m.v") << "M.V" << "v" << "m." << "ca";
    QTest::newRow("affix only") << ".to" << "" << ".to" << "ca";
    QTest::newRow("removed at most once") << "abc.to.to" << "abc.to" << ".to" << "ca";
    QTest::newRow("ends in to without dot") << "TOTO" << "toto" << "" << "us";
    QTest::newRow("empty") << "" << "" << "" << "us";
    QTest::newRow("shorter than affix") << "T" << "t" << "" << "us";
    QTest::newRow("affix in the middle only") << "A.TO.B" << "a.to.b" << "" << "us";
}

void TestChartSymbol::symbolAndCountry()
{
    QFETCH(QString, ticker);
    QFETCH(QString, symbol);
    QFETCH(QString, affix);
    QFETCH(QString, country);
    const ChartSymbol chart = chartSymbolFor(ticker);
    QCOMPARE(chart.symbol, symbol);
    QCOMPARE(chart.exchangeAffix, affix);
    QCOMPARE(chart.country, country);
}

void TestChartSymbol::periodAddresses_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("address");

    const QString base = QStringLiteral("http://charts.example:8080/intchart/frames/main.asp?symb=bce");
    QTest::newRow("1 Day") << int(ChartPeriod::OneDay) << "opt1Day" << "1 Day" << base + "&time=1&freq=6&country=ca";
    QTest::newRow("5 Day") << int(ChartPeriod::FiveDay) << "opt5Day" << "5 Day" << base + "&time=3&freq=7&country=ca";
    QTest::newRow("1 Mo.") << int(ChartPeriod::OneMonth) << "opt1Mo" << "1 Mo." << base + "&time=4&freq=1&country=ca";
    QTest::newRow("3 Mo.") << int(ChartPeriod::ThreeMonth) << "opt3Mo" << "3 Mo." << base + "&time=6&freq=1&country=ca";
    QTest::newRow("6 Mo.") << int(ChartPeriod::SixMonth) << "opt6Mo" << "6 Mo." << base + "&time=7&freq=1&country=ca";
    QTest::newRow("1 Yr.") << int(ChartPeriod::OneYear) << "opt1Yr" << "1 Yr." << base + "&time=8&freq=1&country=ca";
    QTest::newRow("2 Yr.") << int(ChartPeriod::TwoYear) << "opt2Yr" << "2 Yr." << base + "&time=9&freq=1&country=ca";
    QTest::newRow("5 Yr.") << int(ChartPeriod::FiveYear) << "opt5Yr" << "5 Yr." << base + "&time=12&freq=1&country=ca";
}

void TestChartSymbol::periodAddresses()
{
    QFETCH(int, period);
    QFETCH(QString, objectName);
    QFETCH(QString, caption);
    QFETCH(QString, address);
    const auto p = static_cast<ChartPeriod>(period);
    // The buttons are listed left to right in the order of the enum.
    QCOMPARE(int(chartPeriods()[std::size_t(period)].period), period);
    QCOMPARE(QString::fromLatin1(chartPeriodInfo(p).objectName), objectName);
    QCOMPARE(QString::fromLatin1(chartPeriodInfo(p).caption), caption);
    QCOMPARE(chartAddress(QStringLiteral("charts.example:8080"), QStringLiteral("bce"), p, QStringLiteral("ca")),
             address);
}

void TestChartSymbol::addressKeepsOddSymbolsInOneQueryValue_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("symbValue");

    QTest::newRow("plain") << "msft" << "msft";
    QTest::newRow("dot and dash kept") << "brk.a-b_c~" << "brk.a-b_c~";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("ampersand") << "at&t" << "at%26t";
    QTest::newRow("hash") << "a#b" << "a%23b";
    QTest::newRow("blank and plus") << "a b+c" << "a%20b%2Bc";
}

void TestChartSymbol::addressKeepsOddSymbolsInOneQueryValue()
{
    QFETCH(QString, symbol);
    QFETCH(QString, symbValue);
    const QString address = chartAddress(QStringLiteral("h"), symbol, ChartPeriod::OneYear, QStringLiteral("us"));
    QCOMPARE(address, "http://h/intchart/frames/main.asp?symb=" + symbValue + "&time=8&freq=1&country=us");
    // Whatever the symbol, the server reads it back as the one symb value.
    const QUrlQuery query(QUrl(address).query());
    QCOMPARE(query.queryItemValue(QStringLiteral("symb"), QUrl::FullyDecoded), symbol);
    QCOMPARE(query.queryItemValue(QStringLiteral("time")), QStringLiteral("8"));
    QCOMPARE(query.queryItemValue(QStringLiteral("country")), QStringLiteral("us"));
}

void TestChartSymbol::homeAndSearchPages()
{
    QCOMPARE(chartHomeAddress(QStringLiteral("127.0.0.1:4000")), QStringLiteral("http://127.0.0.1:4000/"));
    QCOMPARE(chartSearchAddress(QStringLiteral("127.0.0.1:4000")), QStringLiteral("http://127.0.0.1:4000/search"));
}

void TestChartSymbol::history_data()
{
    QTest::addColumn<QStringList>("start");
    QTest::addColumn<QStringList>("visits");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("starting address visited")
        << QStringList{"http://h/a"} << QStringList{"http://h/a"} << QStringList{"http://h/a"};
    QTest::newRow("new addresses go first")
        << QStringList{"http://h/a"} << QStringList{"http://h/a", "http://h/b", "http://h/c"}
        << QStringList{"http://h/c", "http://h/b", "http://h/a"};
    QTest::newRow("revisit moves to the top")
        << QStringList{} << QStringList{"http://h/a", "http://h/b", "http://h/c", "http://h/a"}
        << QStringList{"http://h/a", "http://h/c", "http://h/b"};
    QTest::newRow("same address twice in a row")
        << QStringList{} << QStringList{"http://h/a", "http://h/a"} << QStringList{"http://h/a"};
    QTest::newRow("comparison is case-sensitive")
        << QStringList{} << QStringList{"http://h/A", "http://h/a"} << QStringList{"http://h/a", "http://h/A"};
    QTest::newRow("starting address that never completes stays last")
        << QStringList{"http://h/typed"} << QStringList{"http://h/b"}
        << QStringList{"http://h/b", "http://h/typed"};
}

void TestChartSymbol::history()
{
    QFETCH(QStringList, start);
    QFETCH(QStringList, visits);
    QFETCH(QStringList, entries);
    AddressHistory history;
    for (const QString& address : start)
        history.add(address);
    for (const QString& address : visits)
        history.visited(address);
    QCOMPARE(history.entries(), entries);
}

QTEST_APPLESS_MAIN(TestChartSymbol)
#include "test_chart_symbol.moc"
