#pragma once

#include <QObject>
#include <QString>

namespace kestrion {

// Where an API key was found or put.
enum class KeyStorage {
    None, // nowhere: no key
    Environment, // the service's variable, which overrides the stored key
    SecretStore, // the desktop's secret store (Secret Service, KWallet)
    SettingsFile, // [Sources] of the settings file, made readable by its owner only
};

struct StoredKey
{
    QString key;
    KeyStorage where = KeyStorage::None;
    // The secret store gave an answer (the key, or "no such entry"); false
    // when it is missing, failed or did not answer in time.
    bool secretStoreAnswered = false;
};

// The names one service's key is kept under: its secret store entry and
// [Sources] value ("Tiingo API Key"), and the environment variable that
// overrides both.
struct KeyPlace
{
    QString name;
    QString variable;

    static KeyPlace tiingo();
};

// One service's API key (Tiingo's unless told otherwise). Read order: the environment, the desktop's secret store,
// the settings file. The key is written to the secret store; where none
// answers it goes to the settings file instead, made 0600. An empty key
// removes it from both.
//
// Every secret store call is capped by a timer, so a store that never answers
// costs at most the time-out. The object may be destroyed while a call is
// pending; its signal then never comes.
class ApiKeyStore : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 5000;

    explicit ApiKeyStore(QObject* parent = nullptr);
    explicit ApiKeyStore(KeyPlace place, QObject* parent = nullptr);
    ~ApiKeyStore() override;

    // The cap on each secret store call.
    void setTimeout(int milliseconds);
    int timeout() const { return m_timeoutMs; }

    // Starts a read; readDone follows (never from within this call).
    void read();
    // Starts storing the key (trimmed; empty clears it); writeDone follows
    // (never from within this call).
    void write(const QString& key);

    // KESTRION_TIINGO_TOKEN, trimmed; empty when unset or blank.
    static QString fromEnvironment();
    // The place's variable, the same way.
    static QString fromEnvironment(const KeyPlace& place);

    const KeyPlace& place() const { return m_place; }
    // Tiingo's names, for messages and tests.
    static const QString& environmentVariable();
    static const QString& settingsSection();
    static const QString& settingsValueName();

Q_SIGNALS:
    void readDone(const kestrion::StoredKey& result);
    // where: where the key is now (None after clearing); error: empty on
    // success, otherwise why the key could not be kept (nothing was lost
    // from where it was before).
    void writeDone(kestrion::KeyStorage where, const QString& error);

private:
    KeyPlace m_place;
    int m_timeoutMs = kDefaultTimeoutMs;
};

} // namespace kestrion
