#pragma once

#include "download/download_run.h"
#include "platform/api_key_store.h"
#include "platform/http_fetch.h"

#include <QProcess>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace kestrion::test {

// The project's local quote service (kestrion-quote-sim) on a free port of
// 127.0.0.1, for the life of the object.
class QuoteService
{
public:
    QuoteService() = default;
    ~QuoteService();
    // Starts it with extra options (for example "--delay-ms", "50"); false
    // when it did not come up.
    bool start(const QStringList& options = {});
    // "127.0.0.1:PORT", the form the "Services" hosts take.
    QString host() const;
    int port() const { return m_port; }

private:
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
};

// A private settings store: XDG_CONFIG_HOME (and XDG_DATA_HOME, for the
// user's default list) point into a temporary folder for the life of the
// object, so tests read and write real settings files.
class TempConfig
{
public:
    TempConfig();
    ~TempConfig();
    QString path() const { return m_dir.path(); }
    QString settingsFile() const;
    // Sets every quote and chart host of the "Services" section.
    void pointServicesAt(const QString& host, int fetchTimeoutSeconds = 10);
    void set(const QString& section, const QString& name, const QString& value);

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious = false;
    QByteArray m_previousData;
    bool m_hadPreviousData = false;
};

// For tests of whole kestrion-cli runs: the local quote service writing a
// request log, and for each test function a fresh settings folder pointed at
// it and a fresh download folder (m_dl, inside m_dir).
class CliRunFixture
{
protected:
    bool startService(); // in initTestCase
    bool renew(int fetchTimeoutSeconds); // in init; also empties the log

    QuoteService m_service;
    QTemporaryDir m_logDir;
    QString m_log;
    std::unique_ptr<TempConfig> m_config;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_dl;
};

// Makes a ticker list file holding the symbols (duplicates kept, in order).
bool makeList(const QString& path, const QStringList& symbols);
// Bytes of no text file, the same each time: a picture or a program picked
// by mistake.
QByteArray binaryBytes(int size);
// What a list file holds, read through a connection of its own.
QStringList fileSymbols(const QString& path);

// Holds a list file locked the way another program writing it would.
class ListLock
{
public:
    // Exclusive also keeps others from reading.
    explicit ListLock(const QString& path, bool exclusive = false);
    ~ListLock();
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;
    bool isLocked() const { return m_locked; }

private:
    QString m_name;
    bool m_locked = false;
};

// A folder whose files can be read but not changed, made in two steps: the
// folder first (a small tmpfs of its own where this process may mount one),
// then, once its files are in, read-only: the tmpfs remounted read-only,
// else the folder and its files without write permission (which does not
// bind the superuser).
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(const QString& path);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    // False when nothing stops this process from writing there.
    bool makeReadOnly();
    // A read-only file system rather than permissions.
    bool isFileSystem() const { return m_mounted; }

private:
    QString m_path;
    bool m_mounted = false;
};

QByteArray readAll(const QString& path);
QString binPath(const QString& program);

// What a run of kestrion-cli left: exit code (-1 when it crashed or did not
// end within two minutes) and its two output streams.
struct CliResult
{
    int code = -1;
    QString out;
    QString err;
};
// Runs kestrion-cli with the settings folder configHome in env.
// childSetup, if given, runs in the child before the program starts.
CliResult runCli(const QStringList& args, const QString& configHome,
                 QProcessEnvironment env = QProcessEnvironment::systemEnvironment(),
                 const std::function<void()>& childSetup = {});

// GETs through the program's own HTTP client, waited for; one client, so
// its connections are reused from one request to the next.
class HttpSession
{
public:
    explicit HttpSession(int timeoutSeconds = 10);
    ~HttpSession();
    // How the request ended; what arrived goes to sink.
    FetchResult get(const HttpGet& request, QIODevice& sink);
    FetchResult get(const QString& url, QIODevice& sink) { return get(HttpGet{url, {}}, sink); }
    // The body, or empty on any failure.
    QByteArray fetch(const QString& url);

private:
    std::unique_ptr<HttpClient> m_client;
    int m_timeoutSeconds;
};

// One GET in a session of its own: the body, or empty on any failure.
QByteArray httpGet(const QString& url, int timeoutSeconds = 10);

// The stored API key, read as the programs read it, waited for.
StoredKey readStoredKey(int timeoutMs = 3000);

// What the desktop's trash under dataHome ($XDG_DATA_HOME) holds: the name
// each file had before it was trashed, and its bytes.
QMap<QString, QByteArray> trashedFiles(const QString& dataHome);

// Starts the run and waits (up to five minutes) for its end.
RunResult runToEnd(DownloadRun& run, const DownloadRequest& in);

} // namespace kestrion::test
