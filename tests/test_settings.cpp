#include "core/settings_record.h"
#include "platform/settings_store.h"
#include "sources/source_registry.h"
#include "testsupport.h"

#include <QFile>
#include <QSettings>
#include <QtTest>

using namespace kestrion;

class TestSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void emptyStoreGivesDefaults();
    void leadingNumber_data();
    void leadingNumber();
    void flagsAndNumbers_data();
    void flagsAndNumbers();
    void dataFormatEmptyBecomesFive();
    void storedNumbersGoBackUnlessSet_data();
    void storedNumbersGoBackUnlessSet();
    void saveWritesTextInOrder();
    void roundTripKeepsEveryValue();
    void oddCoordinateFallsBackToDefault();
    void databasePath_data();
    void databasePath();
    void services();
    void downloadSectionLoads_data();
    void downloadSectionLoads();
    void downloadSectionRoundTrip_data();
    void downloadSectionRoundTrip();
    void effectiveParallelRequests_data();
    void effectiveParallelRequests();
};

void TestSettings::emptyStoreGivesDefaults()
{
    test::TempConfig config;
    SettingsStore store;
    Settings s;
    WindowValues w;
    loadSettings(store, s, w);
    QCOMPARE(w.mainLeft, 1000.f);
    QCOMPARE(w.mainTop, 1000.f);
    QCOMPARE(w.mainWidth, 6500.f);
    QCOMPARE(w.mainHeight, 6500.f);
    QCOMPARE(s.databaseName, QStringLiteral("dbase.mdb"));
    QVERIFY(w.downloadDir.isEmpty());
    QVERIFY(w.startMonth.isEmpty());
    QCOMPARE(s.dataFormat, QStringLiteral("5"));
    QCOMPARE(s.dataSource, QStringLiteral("Yahoo Chart"));
    QCOMPARE(s.fileExtension, QStringLiteral(".csv"));
    QVERIFY(s.appName.isEmpty());
    QVERIFY(s.adt.isEmpty());
    QCOMPARE(s.activeAlerts, qint16(0));
    QCOMPARE(s.deleteExistingFiles, qint16(0));
    QCOMPARE(s.dateStamp, qint16(0));
    QCOMPARE(s.autoStartApp, qint16(0));
    QCOMPARE(s.convertToMS, 0.0);
    QCOMPARE(s.playSound, 0.0);
    QCOMPARE(s.parallelRequests, 0);
    QCOMPARE(s.updateExistingFiles, false);
    // Reading writes nothing.
    QVERIFY(!QFile::exists(config.settingsFile()));
}

void TestSettings::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << "1" << 1.0;
    QTest::newRow("negative") << "-1" << -1.0;
    QTest::newRow("blanks before") << "  12" << 12.0;
    QTest::newRow("trailing text") << "12abc" << 12.0;
    QTest::newRow("fraction") << "1.5x" << 1.5;
    QTest::newRow("leading dot") << ".5" << 0.5;
    QTest::newRow("exponent") << "2e3" << 2000.0;
    QTest::newRow("no number") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("true is not a number") << "True" << 0.0;
}

void TestSettings::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(kestrion::leadingNumber(text), expected);
}

void TestSettings::flagsAndNumbers_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("flag");       // as a 16-bit flag
    QTest::addColumn<double>("number");  // as "Convert to MS" / "Play Sound"
    QTest::newRow("one") << "1" << 1 << 1.0;
    QTest::newRow("minus one") << "-1" << -1 << -1.0;
    QTest::newRow("zero") << "0" << 0 << 0.0;
    QTest::newRow("text") << "yes" << 0 << 0.0;
    QTest::newRow("half rounds to even") << "2.5" << 2 << 2.5;
    QTest::newRow("one and a half") << "1.5" << 2 << 1.5;
    QTest::newRow("out of 16-bit range") << "40000" << 0 << 40000.0;
    QTest::newRow("16-bit limit") << "32767" << 32767 << 32767.0;
}

void TestSettings::flagsAndNumbers()
{
    QFETCH(QString, stored);
    QFETCH(int, flag);
    QFETCH(double, number);
    test::TempConfig config;
    for (const char* name : {"Active Alerts", "Delete Existing Files", "Date Stamp", "Auto Start App", "Convert to MS",
                             "Play Sound"})
        config.set(QStringLiteral("Settings"), QLatin1String(name), stored);
    SettingsStore store;
    Settings s;
    WindowValues w;
    loadSettings(store, s, w);
    QCOMPARE(int(s.activeAlerts.stored()), flag);
    QCOMPARE(int(s.deleteExistingFiles.stored()), flag);
    QCOMPARE(int(s.dateStamp.stored()), flag);
    QCOMPARE(int(s.autoStartApp.stored()), flag);
    QCOMPARE(s.convertToMS.stored(), number);
    QCOMPARE(s.playSound.stored(), number);
    // A loaded 1.0 counts as on, like an option-set 1.
    QCOMPARE(s.convertToMS.on(), number == 1.0);
    // Each value has one reading: "Active Alerts" is on at -1 only, the
    // others at 1 only.
    QCOMPARE(s.activeAlerts.on(), flag == -1);
    QCOMPARE(s.deleteExistingFiles.on(), flag == 1);
    QCOMPARE(s.dateStamp.on(), flag == 1);
    QCOMPARE(s.autoStartApp.on(), flag == 1);
    QCOMPARE(s.playSound.on(), number == 1.0);
}

void TestSettings::dataFormatEmptyBecomesFive()
{
    test::TempConfig config;
    config.set(QStringLiteral("Settings"), QStringLiteral("Data Format"), QString());
    Settings s;
    WindowValues w;
    {
        SettingsStore store;
        loadSettings(store, s, w);
        QCOMPARE(s.dataFormat, QStringLiteral("5"));
        saveSettings(store, s, w);
    }
    QSettings raw(config.settingsFile(), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("Settings/Data Format")).toString(), QStringLiteral("5"));
}

void TestSettings::storedNumbersGoBackUnlessSet_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("saved"); // as loaded and saved again
    QTest::newRow("minus one") << "-1" << "-1";
    QTest::newRow("two") << "2" << "2";
    QTest::newRow("text") << "yes" << "0";
}

void TestSettings::storedNumbersGoBackUnlessSet()
{
    QFETCH(QString, stored);
    QFETCH(QString, saved);
    const QStringList names{"Active Alerts", "Delete Existing Files", "Date Stamp",
                            "Auto Start App", "Convert to MS", "Play Sound"};
    test::TempConfig config;
    for (const QString& name : names)
        config.set(QStringLiteral("Settings"), name, stored);
    Settings s;
    WindowValues w;
    {
        SettingsStore store;
        loadSettings(store, s, w);
        saveSettings(store, s, w);
    }
    {
        QSettings raw(config.settingsFile(), QSettings::IniFormat);
        raw.beginGroup(QStringLiteral("Settings"));
        for (const QString& name : names)
            QCOMPARE(raw.value(name).toString(), saved);
    }
    // Set by the program, a flag is written in its plain form.
    s.activeAlerts = true;
    s.deleteExistingFiles = true;
    s.dateStamp = false;
    s.autoStartApp = true;
    s.convertToMS = true;
    s.playSound = false;
    {
        SettingsStore store;
        saveSettings(store, s, w);
    }
    QSettings raw(config.settingsFile(), QSettings::IniFormat);
    raw.beginGroup(QStringLiteral("Settings"));
    const QStringList plain{"-1", "1", "0", "1", "1", "0"};
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(raw.value(names.at(i)).toString(), plain.at(i));
}

void TestSettings::saveWritesTextInOrder()
{
    test::TempConfig config;
    Settings s;
    s.activeAlerts = true;
    s.convertToMS = true;
    s.playSound = false;
    s.dataSource = QStringLiteral("Yahoo");
    s.fileExtension = QStringLiteral(".csv");
    WindowValues w;
    w.mainLeft = 1234.5f;
    {
        SettingsStore store;
        saveSettings(store, s, w);
    }
    QFile f(config.settingsFile());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    // Numbers are stored as their decimal text.
    QVERIFY2(text.contains(QLatin1String("MainLeft=1234.5")), qPrintable(text));
    QVERIFY(text.contains(QLatin1String("MainWidth=6500")));
    QVERIFY(text.contains(QLatin1String("Active%20Alerts=-1")));
    QVERIFY(text.contains(QLatin1String("Convert%20to%20MS=1")));
    QVERIFY(text.contains(QLatin1String("Play%20Sound=0")));
    QSettings raw(config.settingsFile(), QSettings::IniFormat);
    raw.beginGroup(QStringLiteral("Settings"));
    QCOMPARE(raw.childKeys().size(), 20);
}

void TestSettings::roundTripKeepsEveryValue()
{
    test::TempConfig config;
    Settings s;
    s.databaseName = QStringLiteral("/home/u/lists/tech.mdb");
    s.dataSource = QStringLiteral("Wall Street City");
    s.dataFormat = QStringLiteral("1");
    s.fileExtension = QStringLiteral(".txt");
    s.appName = QStringLiteral("\"/opt/My Charts/bin/charts\" --open, now");
    s.adt = QStringLiteral("9:30:00 PM");
    s.activeAlerts = true;
    s.deleteExistingFiles = true;
    s.dateStamp = true;
    s.autoStartApp = true;
    s.convertToMS = true;
    s.playSound = true;
    WindowValues w;
    w.mainLeft = 15;
    w.mainTop = 30;
    w.mainWidth = 9000;
    w.mainHeight = 7500;
    w.downloadDir = QStringLiteral("/home/u/My Stocks");
    w.startMonth = QStringLiteral("Sep");
    w.startDay = QStringLiteral("25");
    w.startYear = QStringLiteral("1965");
    {
        SettingsStore store;
        saveSettings(store, s, w);
    }
    SettingsStore store;
    Settings s2;
    WindowValues w2;
    loadSettings(store, s2, w2);
    QCOMPARE(s2.databaseName, s.databaseName);
    QCOMPARE(s2.dataSource, s.dataSource);
    QCOMPARE(s2.dataFormat, s.dataFormat);
    QCOMPARE(s2.fileExtension, s.fileExtension);
    QCOMPARE(s2.appName, s.appName);
    QCOMPARE(s2.adt, s.adt);
    QCOMPARE(s2.activeAlerts, s.activeAlerts);
    QCOMPARE(s2.deleteExistingFiles, s.deleteExistingFiles);
    QCOMPARE(s2.dateStamp, s.dateStamp);
    QCOMPARE(s2.autoStartApp, s.autoStartApp);
    QCOMPARE(s2.convertToMS, s.convertToMS);
    QCOMPARE(s2.playSound, s.playSound);
    QCOMPARE(w2.mainLeft, w.mainLeft);
    QCOMPARE(w2.mainTop, w.mainTop);
    QCOMPARE(w2.mainWidth, w.mainWidth);
    QCOMPARE(w2.mainHeight, w.mainHeight);
    QCOMPARE(w2.downloadDir, w.downloadDir);
    QCOMPARE(w2.startMonth, w.startMonth);
    QCOMPARE(w2.startDay, w.startDay);
    QCOMPARE(w2.startYear, w.startYear);
}

void TestSettings::oddCoordinateFallsBackToDefault()
{
    test::TempConfig config;
    config.set(QStringLiteral("Settings"), QStringLiteral("MainLeft"), QStringLiteral("left"));
    config.set(QStringLiteral("Settings"), QStringLiteral("MainTop"), QStringLiteral("1500.75"));
    SettingsStore store;
    Settings s;
    WindowValues w;
    loadSettings(store, s, w);
    QCOMPARE(w.mainLeft, 1000.f);
    QCOMPARE(w.mainTop, 1500.75f);
}

void TestSettings::databasePath_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("recordAfter");
    QTest::newRow("default name") << "dbase.mdb" << "/app/dbase.mdb" << "dbase.mdb";
    QTest::newRow("empty") << "" << "/app/dbase.mdb" << "dbase.mdb";
    QTest::newRow("case differs: a relative path") << "DBASE.MDB" << "DBASE.MDB" << "DBASE.MDB";
    QTest::newRow("full path") << "/data/lists/a.mdb" << "/data/lists/a.mdb" << "/data/lists/a.mdb";
}

void TestSettings::databasePath()
{
    QFETCH(QString, stored);
    QFETCH(QString, path);
    QFETCH(QString, recordAfter);
    Settings s;
    s.databaseName = stored;
    QCOMPARE(resolveDatabasePath(s, QStringLiteral("/app")), path);
    QCOMPARE(s.databaseName, recordAfter);
}

void TestSettings::services()
{
    test::TempConfig config;
    {
        SettingsStore store;
        const ServiceConfig c = ServiceConfig::load(store);
        QCOMPARE(c.yahooHistoryHost, QStringLiteral("ichart.finance.yahoo.com"));
        QCOMPARE(c.fetchTimeoutSeconds, 60);
    }
    config.pointServicesAt(QStringLiteral("127.0.0.1:8080"), 5);
    config.set(QStringLiteral("Services"), QStringLiteral("Chart Host"), QStringLiteral("charts.local"));
    SettingsStore store;
    const ServiceConfig c = ServiceConfig::load(store);
    QCOMPARE(c.yahooHistoryHost, QStringLiteral("127.0.0.1:8080"));
    QCOMPARE(c.wscQueryHost, QStringLiteral("127.0.0.1:8080"));
    QCOMPARE(c.wscFileHost, QStringLiteral("127.0.0.1:8080"));
    QCOMPARE(c.chartHost, QStringLiteral("charts.local"));
    QCOMPARE(c.fetchTimeoutSeconds, 5);
}

void TestSettings::downloadSectionLoads_data()
{
    // The stored text, or an unset QString for no value at all.
    QTest::addColumn<QString>("parallelText");
    QTest::addColumn<QString>("updateText");
    QTest::addColumn<int>("parallel");
    QTest::addColumn<bool>("update");

    QTest::newRow("absent") << QString() << QString() << 0 << false;
    QTest::newRow("1 and on") << "1" << "1" << 1 << true;
    QTest::newRow("8 and off") << "8" << "0" << 8 << false;
    QTest::newRow("blanks around") << " 5 " << " 1" << 5 << true;
    QTest::newRow("0 is the default") << "0" << "" << 0 << false;
    QTest::newRow("9 out of range") << "9" << "2" << 0 << false;
    QTest::newRow("negative") << "-3" << "-1" << 0 << false;
    QTest::newRow("fraction") << "2.5" << "yes" << 0 << false;
    QTest::newRow("word") << "four" << "true" << 0 << false;
}

void TestSettings::downloadSectionLoads()
{
    QFETCH(QString, parallelText);
    QFETCH(QString, updateText);
    QFETCH(int, parallel);
    QFETCH(bool, update);

    test::TempConfig config;
    if (!parallelText.isNull())
        config.set(QStringLiteral("Download"), QStringLiteral("Parallel Requests"), parallelText);
    if (!updateText.isNull())
        config.set(QStringLiteral("Download"), QStringLiteral("Update Existing Files"), updateText);
    // Values of the same names in the old section are not these.
    config.set(QStringLiteral("Settings"), QStringLiteral("Parallel Requests"), QStringLiteral("3"));
    config.set(QStringLiteral("Settings"), QStringLiteral("Update Existing Files"), QStringLiteral("1"));
    SettingsStore store;
    Settings s;
    WindowValues w;
    loadSettings(store, s, w);
    QCOMPARE(s.parallelRequests, parallel);
    QCOMPARE(s.updateExistingFiles, update);
}

void TestSettings::downloadSectionRoundTrip_data()
{
    QTest::addColumn<QString>("before"); // "Parallel Requests" in the file before the save; unset for none
    QTest::addColumn<int>("parallel");
    QTest::addColumn<bool>("update");
    QTest::addColumn<QString>("parallelStored"); // unset: no value
    QTest::addColumn<QString>("updateStored");

    QTest::newRow("defaults") << QString() << 0 << false << QString() << "0";
    QTest::newRow("set") << QString() << 3 << true << "3" << "1";
    QTest::newRow("highest") << "2" << 8 << false << "8" << "0";
    QTest::newRow("back to the default drops the value") << "6" << 0 << true << QString() << "1";
    QTest::newRow("out of range is not written") << "5" << 9 << false << QString() << "0";
}

void TestSettings::downloadSectionRoundTrip()
{
    QFETCH(QString, before);
    QFETCH(int, parallel);
    QFETCH(bool, update);
    QFETCH(QString, parallelStored);
    QFETCH(QString, updateStored);

    test::TempConfig config;
    if (!before.isNull())
        config.set(QStringLiteral("Download"), QStringLiteral("Parallel Requests"), before);
    Settings s;
    s.parallelRequests = parallel;
    s.updateExistingFiles = update;
    WindowValues w;
    {
        SettingsStore store;
        saveSettings(store, s, w);
    }
    QSettings raw(config.settingsFile(), QSettings::IniFormat);
    const QVariant storedParallel = raw.value(QStringLiteral("Download/Parallel Requests"));
    QCOMPARE(storedParallel.isValid(), !parallelStored.isNull());
    if (!parallelStored.isNull())
        QCOMPARE(storedParallel.toString(), parallelStored);
    QCOMPARE(raw.value(QStringLiteral("Download/Update Existing Files")).toString(), updateStored);
    // The twenty values of the old section stay twenty.
    raw.beginGroup(QStringLiteral("Settings"));
    QCOMPARE(raw.childKeys().size(), 20);
    raw.endGroup();

    SettingsStore store;
    Settings loaded;
    WindowValues window;
    loadSettings(store, loaded, window);
    QCOMPARE(loaded.parallelRequests, parallelStored.isNull() ? 0 : parallel);
    QCOMPARE(loaded.updateExistingFiles, update);
}

void TestSettings::effectiveParallelRequests_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("effective");

    QTest::newRow("default, Yahoo Chart") << 0 << "Yahoo Chart" << 4;
    QTest::newRow("default, Tiingo") << 0 << "Tiingo" << 1;
    QTest::newRow("default, other case is not Tiingo") << 0 << "tiingo" << 4;
    QTest::newRow("default, Wall Street City") << 0 << "Wall Street City" << 4;
    QTest::newRow("default, Yahoo") << 0 << "Yahoo" << 4;
    QTest::newRow("stored wins on Tiingo") << 3 << "Tiingo" << 3;
    QTest::newRow("stored 1") << 1 << "Yahoo Chart" << 1;
    QTest::newRow("stored 8") << 8 << "Yahoo Chart" << 8;
    QTest::newRow("9 is no value") << 9 << "Tiingo" << 1;
    QTest::newRow("negative is no value") << -2 << "Yahoo Chart" << 4;
}

void TestSettings::effectiveParallelRequests()
{
    QFETCH(int, stored);
    QFETCH(QString, source);
    QFETCH(int, effective);
    Settings s;
    s.parallelRequests = stored;
    s.dataSource = source;
    QCOMPARE(kestrion::effectiveParallelRequests(s), effective);
    QCOMPARE(kestrion::effectiveParallelRequests(stored, quoteSourceEntry(s).defaultParallelRequests), effective);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
