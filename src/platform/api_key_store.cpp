#include "platform/api_key_store.h"

#include <qt6keychain/keychain.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

#include <functional>
#include <memory>
#include <utility>

namespace kestrion {

namespace {

const QString kService = QStringLiteral("Kestrion");
const QString kSection = QStringLiteral("Sources");

QString settingsKey(const KeyPlace& place)
{
    return kSection + QLatin1Char('/') + place.name;
}

// The same native file SettingsStore uses.
std::unique_ptr<QSettings> openSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrion"),
                                       QStringLiteral("Kestrion"));
}

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Creates the file 0600 when it is missing, so the key never sits in a file
// others can read, not even for a moment; an existing file is narrowed.
bool prepareOwnerOnlyFile(const QString& path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    if (!QFileInfo::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly) && !QFileInfo::exists(path))
            return false;
    }
    return QFile::setPermissions(path, kOwnerOnly);
}

QString readSettingsFileKey(const KeyPlace& place)
{
    return openSettings()->value(settingsKey(place)).toString().trimmed();
}

// Puts the key into the settings file, or removes it for an empty key.
bool writeSettingsFileKey(const KeyPlace& place, const QString& key, QString* error)
{
    auto settings = openSettings();
    const QString path = settings->fileName();
    if (key.isEmpty()) {
        if (!settings->contains(settingsKey(place)))
            return true; // nothing to remove; leave the file alone
        settings->remove(settingsKey(place));
    } else {
        if (!prepareOwnerOnlyFile(path)) {
            *error = QStringLiteral("The settings file %1 cannot be made private to you.")
                         .arg(QDir::toNativeSeparators(path));
            return false;
        }
        settings->setValue(settingsKey(place), key);
    }
    settings->sync();
    if (settings->status() == QSettings::AccessError) {
        *error = QStringLiteral("The settings file %1 cannot be written.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    // The file is replaced on every write; make sure the new one is private too.
    if (!key.isEmpty() && !QFile::setPermissions(path, kOwnerOnly)) {
        *error
            = QStringLiteral("The settings file %1 cannot be made private to you.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    return true;
}

enum class Answer {
    Ok,
    NotFound,
    Failed, // an error, or no answer within the time-out
};

// Starts a secret store job and calls done exactly once: with its answer (and
// the text read), or with Failed when it has not finished within timeoutMs.
// The job deletes itself when it finishes; it is never deleted from here,
// because the back end would call into a deleted job. When context goes
// first, done is not called.
//
// done runs from the event loop, not inside the job's own signal: the secret
// store library runs one job at a time and counts a job as running until its
// signal returns, so a job started from there would wait for the time-out.
void runJob(QKeychain::Job* job, const QString& entry, QObject* context, int timeoutMs,
            std::function<void(Answer, QKeychain::Error, const QString&)> done)
{
    auto settled = std::make_shared<bool>(false);
    job->setAutoDelete(true);
    job->setKey(entry);
    QObject::connect(job, &QKeychain::Job::finished, context, [context, settled, done](QKeychain::Job* finished) {
        if (std::exchange(*settled, true))
            return;
        const QKeychain::Error e = finished->error();
        const Answer answer = e == QKeychain::NoError ? Answer::Ok
            : e == QKeychain::EntryNotFound           ? Answer::NotFound
                                                      : Answer::Failed;
        QString text;
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished); read && answer == Answer::Ok)
            text = read->textData();
        QMetaObject::invokeMethod(
            context, [done, answer, e, text] { done(answer, e, text); }, Qt::QueuedConnection);
    });
    QTimer::singleShot(timeoutMs, context, [settled, done] {
        if (std::exchange(*settled, true))
            return;
        done(Answer::Failed, QKeychain::OtherError, QString());
    });
    job->start();
}

} // namespace

ApiKeyStore::ApiKeyStore(QObject* parent)
    : ApiKeyStore(KeyPlace::tiingo(), parent)
{
}

ApiKeyStore::ApiKeyStore(KeyPlace place, QObject* parent)
    : QObject(parent)
    , m_place(std::move(place))
{
}

ApiKeyStore::~ApiKeyStore() = default;

void ApiKeyStore::setTimeout(int milliseconds)
{
    m_timeoutMs = qMax(1, milliseconds);
}

KeyPlace KeyPlace::tiingo()
{
    return {QStringLiteral("Tiingo API Key"), QStringLiteral("KESTRION_TIINGO_TOKEN")};
}

const QString& ApiKeyStore::environmentVariable()
{
    static const QString variable = KeyPlace::tiingo().variable;
    return variable;
}

const QString& ApiKeyStore::settingsSection()
{
    return kSection;
}

const QString& ApiKeyStore::settingsValueName()
{
    static const QString name = KeyPlace::tiingo().name;
    return name;
}

QString ApiKeyStore::fromEnvironment()
{
    return fromEnvironment(KeyPlace::tiingo());
}

QString ApiKeyStore::fromEnvironment(const KeyPlace& place)
{
    // UTF-8, as the environment is: a service named "Börsenblick" is read
    // from KESTRION_BÖRSENBLICK_KEY.
    return qEnvironmentVariable(place.variable.toUtf8().constData()).trimmed();
}

void ApiKeyStore::read()
{
    const QString env = fromEnvironment(m_place);
    if (!env.isEmpty()) {
        // Callers connect after starting; answer from the event loop as the
        // other paths do.
        QMetaObject::invokeMethod(
            this,
            [this, env] {
                Q_EMIT readDone(StoredKey{env, KeyStorage::Environment, false});
            },
            Qt::QueuedConnection);
        return;
    }
    runJob(new QKeychain::ReadPasswordJob(kService), m_place.name, this, m_timeoutMs,
           [this](Answer answer, QKeychain::Error, const QString& text) {
               StoredKey result;
               result.secretStoreAnswered = answer != Answer::Failed;
               if (answer == Answer::Ok) {
                   result.key = text.trimmed();
                   if (!result.key.isEmpty())
                       result.where = KeyStorage::SecretStore;
               }
               if (result.key.isEmpty()) {
                   result.key = readSettingsFileKey(m_place);
                   result.where = result.key.isEmpty() ? KeyStorage::None : KeyStorage::SettingsFile;
               }
               Q_EMIT readDone(result);
           });
}

void ApiKeyStore::write(const QString& rawKey)
{
    const QString key = rawKey.trimmed();
    if (key.isEmpty()) {
        runJob(new QKeychain::DeletePasswordJob(kService), m_place.name, this, m_timeoutMs,
               [this](Answer answer, QKeychain::Error e, const QString&) {
                   QString error;
                   writeSettingsFileKey(m_place, QString(), &error);
                   // A store that is missing or silent holds nothing we could
                   // reach; one that refused still holds the key.
                   if (answer == Answer::Failed
                       && (e == QKeychain::AccessDenied || e == QKeychain::AccessDeniedByUser
                           || e == QKeychain::CouldNotDeleteEntry)) {
                       error = QStringLiteral("The desktop's secret store did not let the key be removed.");
                   }
                   Q_EMIT writeDone(KeyStorage::None, error);
               });
        return;
    }
    auto* job = new QKeychain::WritePasswordJob(kService);
    job->setTextData(key);
    runJob(job, m_place.name, this, m_timeoutMs, [this, key](Answer answer, QKeychain::Error, const QString&) {
        QString error;
        if (answer == Answer::Ok) {
            // An older copy left in the file from a session without a secret
            // store would come back if the store ever went missing.
            if (!writeSettingsFileKey(m_place, QString(), &error))
                error = QStringLiteral("The key was saved in the desktop's secret store, but an older copy "
                                       "could not be removed from the settings file: ")
                    + error;
            Q_EMIT writeDone(KeyStorage::SecretStore, error);
            return;
        }
        if (writeSettingsFileKey(m_place, key, &error))
            Q_EMIT writeDone(KeyStorage::SettingsFile, QString());
        else
            Q_EMIT writeDone(KeyStorage::None, QStringLiteral("The API key could not be saved. ") + error);
    });
}

} // namespace kestrion
