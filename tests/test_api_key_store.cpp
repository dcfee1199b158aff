// The Tiingo API key store against real settings files. No desktop secret
// store runs here: first without any session bus, then on a private bus
// where the secret service is missing and then one where it never answers.
#include "platform/api_key_store.h"
#include "platform/settings_store.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLibrary>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <sys/stat.h>

#include <memory>
#include <optional>

using namespace kestrion;

namespace {

struct WriteResult
{
    KeyStorage where = KeyStorage::None;
    QString error;
};

std::optional<WriteResult> writeKey(const QString& key, int timeoutMs = 20000)
{
    ApiKeyStore store;
    store.setTimeout(timeoutMs);
    std::optional<WriteResult> result;
    QObject::connect(&store, &ApiKeyStore::writeDone,
                     [&](KeyStorage where, const QString& error) { result = WriteResult{where, error}; });
    store.write(key);
    if (!QTest::qWaitFor([&] { return result.has_value(); }, timeoutMs + 5000))
        return std::nullopt;
    return result;
}

std::optional<StoredKey> readKey(int timeoutMs = 20000)
{
    ApiKeyStore store;
    store.setTimeout(timeoutMs);
    std::optional<StoredKey> result;
    QObject::connect(&store, &ApiKeyStore::readDone, [&](const StoredKey& r) { result = r; });
    store.read();
    if (!QTest::qWaitFor([&] { return result.has_value(); }, timeoutMs + 5000))
        return std::nullopt;
    return result;
}

int fileMode(const QString& path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// QtKeychain opens libsecret at run time to reach the secret service; without
// it nothing is asked on the bus and the key goes straight to the file.
bool secretLibraryLoads()
{
    QLibrary library(QStringLiteral("secret-1"), 0);
    return library.load();
}

QVariant fileValue(const QString& path)
{
    return QSettings(path, QSettings::IniFormat).value(QStringLiteral("Sources/Tiingo API Key"));
}

} // namespace

class TestApiKeyStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void environmentOverrides_data();
    void environmentOverrides();
    void noSecretStoreKeepsKeyInPrivateFile();
    void roundTrip_data();
    void roundTrip();
    void clearingWithoutKeyLeavesNoFile();
    void existingFileMadePrivateAndKept();
    void laterSettingsWritesKeepFilePrivate();
    void unwritableSettingsFileIsReported();

    // On a private session bus; these keep the order given.
    void busWithoutSecretServiceFailsFast();
    void silentSecretServiceIsCappedByTimer();

private:
    bool startPrivateBus(bool silentSecretService);

    std::unique_ptr<test::TempConfig> m_config;
    QTemporaryDir m_busDir;
    QProcess m_bus;
};

void TestApiKeyStore::initTestCase()
{
    // A headless machine: no session bus, so no secret store can answer.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("KESTRION_TIINGO_TOKEN");
    QVERIFY(m_busDir.isValid());
}

void TestApiKeyStore::init()
{
    qunsetenv("KESTRION_TIINGO_TOKEN");
    m_config = std::make_unique<test::TempConfig>();
}

void TestApiKeyStore::cleanup()
{
    qunsetenv("KESTRION_TIINGO_TOKEN");
    m_config.reset();
}

void TestApiKeyStore::cleanupTestCase()
{
    if (m_bus.state() != QProcess::NotRunning) {
        m_bus.kill();
        m_bus.waitForFinished(5000);
    }
}

void TestApiKeyStore::environmentOverrides_data()
{
    QTest::addColumn<QString>("env");
    QTest::addColumn<QString>("inFile");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("where");

    QTest::newRow("environment only") << "envkey123" << "" << "envkey123" << int(KeyStorage::Environment);
    QTest::newRow("environment over file") << " envkey123\n" << "filekey" << "envkey123"
                                           << int(KeyStorage::Environment);
    QTest::newRow("blank environment ignored") << "   " << "filekey" << "filekey" << int(KeyStorage::SettingsFile);
    QTest::newRow("nothing anywhere") << "" << "" << "" << int(KeyStorage::None);
}

void TestApiKeyStore::environmentOverrides()
{
    QFETCH(QString, env);
    QFETCH(QString, inFile);
    QFETCH(QString, key);
    QFETCH(int, where);

    if (!inFile.isEmpty())
        m_config->set(QStringLiteral("Sources"), QStringLiteral("Tiingo API Key"), inFile);
    if (!env.isEmpty())
        qputenv("KESTRION_TIINGO_TOKEN", env.toUtf8());

    const StoredKey blocking = test::readStoredKey(3000);
    QCOMPARE(blocking.key, key);
    QCOMPARE(int(blocking.where), where);
    const std::optional<StoredKey> async = readKey();
    QVERIFY(async);
    QCOMPARE(async->key, key);
    QCOMPARE(int(async->where), where);
}

void TestApiKeyStore::noSecretStoreKeepsKeyInPrivateFile()
{
    // The store must say no at once, well inside the time-out.
    QElapsedTimer clock;
    clock.start();
    const std::optional<WriteResult> written = writeKey(QStringLiteral("abc123def"), 20000);
    QVERIFY(written);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(written->error, QString());
    QCOMPARE(int(written->where), int(KeyStorage::SettingsFile));
    QCOMPARE(fileMode(m_config->settingsFile()), 0600);
    QCOMPARE(fileValue(m_config->settingsFile()).toString(), QStringLiteral("abc123def"));

    clock.restart();
    const StoredKey read = test::readStoredKey(20000);
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(read.key, QStringLiteral("abc123def"));
    QCOMPARE(int(read.where), int(KeyStorage::SettingsFile));
    QVERIFY(!read.secretStoreAnswered);
}

void TestApiKeyStore::roundTrip_data()
{
    QTest::addColumn<QStringList>("writes"); // in order
    QTest::addColumn<QString>("key");        // what is read back; empty: none

    QTest::newRow("one key") << QStringList{"k1"} << "k1";
    QTest::newRow("pasted with blanks") << QStringList{"  k1 \t"} << "k1";
    QTest::newRow("replaced") << QStringList{"k1", "k2"} << "k2";
    QTest::newRow("cleared") << QStringList{"k1", ""} << "";
    QTest::newRow("blank clears") << QStringList{"k1", "   "} << "";
    QTest::newRow("set again after clearing") << QStringList{"k1", "", "k3"} << "k3";
}

void TestApiKeyStore::roundTrip()
{
    QFETCH(QStringList, writes);
    QFETCH(QString, key);

    for (const QString& k : writes) {
        const std::optional<WriteResult> written = writeKey(k);
        QVERIFY(written);
        QCOMPARE(written->error, QString());
        QCOMPARE(int(written->where), int(k.trimmed().isEmpty() ? KeyStorage::None : KeyStorage::SettingsFile));
    }
    const std::optional<StoredKey> read = readKey();
    QVERIFY(read);
    QCOMPARE(read->key, key);
    QCOMPARE(int(read->where), int(key.isEmpty() ? KeyStorage::None : KeyStorage::SettingsFile));
    // Cleared means gone from the file, not stored as an empty text.
    QCOMPARE(fileValue(m_config->settingsFile()).isValid(), !key.isEmpty());
}

void TestApiKeyStore::clearingWithoutKeyLeavesNoFile()
{
    const std::optional<WriteResult> written = writeKey(QString());
    QVERIFY(written);
    QCOMPARE(written->error, QString());
    QCOMPARE(int(written->where), int(KeyStorage::None));
    QVERIFY(!QFile::exists(m_config->settingsFile()));
}

void TestApiKeyStore::existingFileMadePrivateAndKept()
{
    m_config->set(QStringLiteral("Settings"), QStringLiteral("Data Source"), QStringLiteral("Tiingo"));
    QVERIFY(QFile::setPermissions(m_config->settingsFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                 | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    QCOMPARE(fileMode(m_config->settingsFile()), 0644);

    const std::optional<WriteResult> written = writeKey(QStringLiteral("secret1"));
    QVERIFY(written);
    QCOMPARE(int(written->where), int(KeyStorage::SettingsFile));
    QCOMPARE(fileMode(m_config->settingsFile()), 0600);
    QSettings file(m_config->settingsFile(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("Settings/Data Source")).toString(), QStringLiteral("Tiingo"));
    QCOMPARE(file.value(QStringLiteral("Sources/Tiingo API Key")).toString(), QStringLiteral("secret1"));
}

void TestApiKeyStore::laterSettingsWritesKeepFilePrivate()
{
    QVERIFY(writeKey(QStringLiteral("secret2")));
    // Someone widened the file; the program's next settings save narrows it
    // again and keeps the key.
    QVERIFY(QFile::setPermissions(m_config->settingsFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                 | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    {
        SettingsStore store;
        store.save(QStringLiteral("Settings"), QStringLiteral("ADT"), QStringLiteral("9:30:00 AM"));
        QVERIFY(store.sync());
    }
    QCOMPARE(fileMode(m_config->settingsFile()), 0600);
    QCOMPARE(fileValue(m_config->settingsFile()).toString(), QStringLiteral("secret2"));
    QCOMPARE(test::readStoredKey(3000).key, QStringLiteral("secret2"));
}

void TestApiKeyStore::unwritableSettingsFileIsReported()
{
    // A folder where the file should be: unwritable even for the superuser.
    QVERIFY(QDir().mkpath(m_config->settingsFile()));
    const std::optional<WriteResult> written = writeKey(QStringLiteral("new-key"));
    QVERIFY(written);
    QVERIFY(!written->error.isEmpty());
    QVERIFY(!written->error.contains(QStringLiteral("new-key")));
    QCOMPARE(int(written->where), int(KeyStorage::None));
    QCOMPARE(test::readStoredKey(3000).key, QString());
}

bool TestApiKeyStore::startPrivateBus(bool silentSecretService)
{
    // A session bus with no services at all, or whose secret service is
    // "started" by a program that never takes its name: calls to it wait.
    const QString services = m_busDir.filePath(QStringLiteral("services"));
    QDir().mkpath(services);
    const QString serviceFile = services + QStringLiteral("/org.freedesktop.secrets.service");
    if (silentSecretService) {
        QFile f(serviceFile);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write("[D-BUS Service]\nName=org.freedesktop.secrets\nExec=/bin/sleep 120\n");
    } else {
        QFile::remove(serviceFile);
    }
    if (m_bus.state() != QProcess::NotRunning) {
        // Same bus (the client libraries keep their connection): let it
        // reread its service folder.
        return QProcess::execute(QStringLiteral("dbus-send"),
                                 {QStringLiteral("--bus=") + qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"),
                                  QStringLiteral("--type=method_call"), QStringLiteral("--print-reply"),
                                  QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                  QStringLiteral("org.freedesktop.DBus.ReloadConfig")})
            == 0;
    }
    const QString config = m_busDir.filePath(QStringLiteral("bus.conf"));
    QFile c(config);
    if (!c.open(QIODevice::WriteOnly))
        return false;
    c.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig><type>session</type><listen>unix:dir=%1</listen>\n"
                           "<servicedir>%2</servicedir>\n"
                           "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                           "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                .arg(m_busDir.path(), services)
                .toUtf8());
    c.close();
    m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                                QStringLiteral("--print-address=1")});
    if (!m_bus.waitForStarted(5000))
        return false;
    while (!m_bus.canReadLine()) {
        if (!m_bus.waitForReadyRead(5000))
            return false;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());
    return true;
}

void TestApiKeyStore::busWithoutSecretServiceFailsFast()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        QSKIP("no dbus-daemon");
    QVERIFY(startPrivateBus(false));

    QElapsedTimer clock;
    clock.start();
    const std::optional<WriteResult> written = writeKey(QStringLiteral("bus1"), 20000);
    QVERIFY(written);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(int(written->where), int(KeyStorage::SettingsFile));
    QCOMPARE(fileMode(m_config->settingsFile()), 0600);

    clock.restart();
    const StoredKey read = test::readStoredKey(20000);
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(read.key, QStringLiteral("bus1"));
    QCOMPARE(int(read.where), int(KeyStorage::SettingsFile));
}

void TestApiKeyStore::silentSecretServiceIsCappedByTimer()
{
    if (m_bus.state() == QProcess::NotRunning)
        QSKIP("no private bus");
    QVERIFY(startPrivateBus(true));

    QElapsedTimer clock;
    clock.start();
    const std::optional<WriteResult> written = writeKey(QStringLiteral("bus2"), 800);
    QVERIFY(written);
    // Where the service is asked, it stays silent and only the timer ends the
    // wait; either way the wait is capped and the outcome is the same.
    if (secretLibraryLoads())
        QVERIFY2(clock.elapsed() >= 700, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(written->error, QString());
    QCOMPARE(int(written->where), int(KeyStorage::SettingsFile));

    clock.restart();
    const StoredKey read = test::readStoredKey(800);
    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(read.key, QStringLiteral("bus2"));
    QCOMPARE(int(read.where), int(KeyStorage::SettingsFile));
    QVERIFY(!read.secretStoreAnswered);

    clock.restart();
    const std::optional<WriteResult> cleared = writeKey(QString(), 800);
    QVERIFY(cleared);
    QVERIFY(clock.elapsed() < 4000);
    QCOMPARE(cleared->error, QString());
    QVERIFY(!fileValue(m_config->settingsFile()).isValid());
}

QTEST_GUILESS_MAIN(TestApiKeyStore)
#include "test_api_key_store.moc"
