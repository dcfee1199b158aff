#include "testsupport.h"

#include "lists/ticker_list.h"
#include "platform/http_fetch.h"
#include "platform/settings_store.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUrl>

namespace kestrion::test {

QString binPath(const QString& program)
{
    return QStringLiteral(KESTRION_BIN_DIR) + QLatin1Char('/') + program;
}

QuoteService::~QuoteService()
{
    if (m_process) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

bool QuoteService::start(const QStringList& options)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setProgram(binPath(QStringLiteral("kestrion-quote-sim")));
    m_process->setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0")} + options);
    m_process->start();
    if (!m_process->waitForStarted(10000))
        return false;
    // The first line it prints ends with the port it listens on.
    while (!m_process->canReadLine()) {
        if (!m_process->waitForReadyRead(10000))
            return false;
    }
    const QString line = QString::fromUtf8(m_process->readLine()).trimmed();
    m_port = line.section(QLatin1Char(':'), -1).toInt();
    return m_port > 0;
}

QString QuoteService::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

TempConfig::TempConfig()
{
    m_hadPrevious = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_previous = qgetenv("XDG_CONFIG_HOME");
    m_hadPreviousData = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    m_previousData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8());
    // The user's own default list lives in the data folder: keep it private too.
    qputenv("XDG_DATA_HOME", (m_dir.path() + QStringLiteral("/data")).toUtf8());
    // QSettings reads the variable once per process; tell it directly too.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
}

TempConfig::~TempConfig()
{
    if (m_hadPrevious)
        qputenv("XDG_CONFIG_HOME", m_previous);
    else
        qunsetenv("XDG_CONFIG_HOME");
    if (m_hadPreviousData)
        qputenv("XDG_DATA_HOME", m_previousData);
    else
        qunsetenv("XDG_DATA_HOME");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromLocal8Bit(m_hadPrevious ? m_previous : qgetenv("HOME") + "/.config"));
}

QString TempConfig::settingsFile() const
{
    return m_dir.path() + QStringLiteral("/Kestrion/Kestrion.conf");
}

void TempConfig::set(const QString& section, const QString& name, const QString& value)
{
    SettingsStore store;
    store.save(section, name, value);
    store.sync();
}

void TempConfig::pointServicesAt(const QString& host, int fetchTimeoutSeconds)
{
    SettingsStore store;
    for (const char* key : {"Yahoo History Host", "WSC Query Host", "WSC File Host", "Chart Host"})
        store.save(QStringLiteral("Services"), QLatin1String(key), host);
    // The current sources default to https; the local service speaks http.
    for (const char* key : {"Yahoo Chart Host", "Tiingo Host"})
        store.save(QStringLiteral("Services"), QLatin1String(key), QStringLiteral("http://") + host);
    // The described services: the shipped ones and the two a user's own
    // files describe (own_descriptions.h).
    for (const char* name : {"EODHD", "Twelve Data", "Massive", "MarketData", "Alpha Vantage", "Börsenblick", "Kabu Feed"})
        store.save(QStringLiteral("Services"), QStringLiteral("Source Host ") + QString::fromUtf8(name),
                   QStringLiteral("http://") + host);
    store.save(QStringLiteral("Services"), QStringLiteral("Fetch Timeout"), QString::number(fetchTimeoutSeconds));
    store.sync();
}

bool CliRunFixture::startService()
{
    m_log = m_logDir.filePath(QStringLiteral("requests.log"));
    return m_service.start({QStringLiteral("--log"), m_log});
}

bool CliRunFixture::renew(int fetchTimeoutSeconds)
{
    m_config.reset(); // the old one restores the environment when it goes
    m_config = std::make_unique<TempConfig>();
    m_config->pointServicesAt(m_service.host(), fetchTimeoutSeconds);
    m_dir = std::make_unique<QTemporaryDir>();
    m_dl = m_dir->filePath(QStringLiteral("dl"));
    QFile::resize(m_log, 0);
    return QDir().mkdir(m_dl);
}

CliResult runCli(const QStringList& args, const QString& configHome, QProcessEnvironment env,
                 const std::function<void()>& childSetup)
{
    QProcess p;
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    p.setProcessEnvironment(env);
    if (childSetup)
        p.setChildProcessModifier(childSetup);
    p.start(binPath(QStringLiteral("kestrion-cli")), args);
    if (!p.waitForFinished(120000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QByteArray binaryBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (char& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = char(x >> 24);
    }
    return bytes;
}

bool makeList(const QString& path, const QStringList& symbols)
{
    QFile::remove(path);
    if (!TickerList::create(path))
        return false;
    TickerList list;
    return list.open(path) && list.appendAll(symbols) == symbols.size();
}

QStringList fileSymbols(const QString& path)
{
    TickerList list;
    if (!list.open(path))
        return {QStringLiteral("<cannot open>")};
    return list.symbols();
}

ListLock::ListLock(const QString& path, bool exclusive)
{
    static int count = 0;
    m_name = QStringLiteral("test-lock-%1").arg(++count);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(path);
    m_locked = db.open()
               && QSqlQuery(db).exec(exclusive ? QStringLiteral("BEGIN EXCLUSIVE") : QStringLiteral("BEGIN IMMEDIATE"));
}

ListLock::~ListLock()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

ReadOnlyFolder::ReadOnlyFolder(const QString& path)
    : m_path(path)
{
    QDir().mkpath(path);
    m_mounted = QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                            QStringLiteral("-o"), QStringLiteral("size=1m"),
                                                            QStringLiteral("tmpfs"), path})
        == 0;
}

ReadOnlyFolder::~ReadOnlyFolder()
{
    if (m_mounted) {
        QProcess::execute(QStringLiteral("umount"), {m_path});
        return;
    }
    const auto writable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    QFile::setPermissions(m_path, writable);
    for (const QFileInfo& f : QDir(m_path).entryInfoList(QDir::Files | QDir::Hidden))
        QFile::setPermissions(f.filePath(), QFile::ReadOwner | QFile::WriteOwner);
}

bool ReadOnlyFolder::makeReadOnly()
{
    if (m_mounted) {
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-o"), QStringLiteral("remount,ro"), m_path})
            != 0)
            return false;
    } else {
        for (const QFileInfo& f : QDir(m_path).entryInfoList(QDir::Files | QDir::Hidden))
            QFile::setPermissions(f.filePath(), QFile::ReadOwner);
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ExeOwner);
    }
    QFile probe(QDir(m_path).filePath(QStringLiteral(".write-probe")));
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        return false;
    }
    return true;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

HttpSession::HttpSession(int timeoutSeconds)
    : m_client(std::make_unique<HttpClient>(timeoutSeconds))
    , m_timeoutSeconds(timeoutSeconds)
{
}

HttpSession::~HttpSession() = default;

FetchResult HttpSession::get(const HttpGet& request, QIODevice& sink)
{
    HttpTransfer* transfer = m_client->get(request, &sink);
    QSignalSpy done(transfer, &HttpTransfer::finished);
    FetchResult result;
    result.failure = FetchResult::Failure::Timeout;
    if (done.wait((m_timeoutSeconds + 5) * 1000))
        result = done.first().first().value<FetchResult>();
    delete transfer;
    return result;
}

QByteArray HttpSession::fetch(const QString& url)
{
    QBuffer body;
    body.open(QIODevice::WriteOnly);
    return get(url, body).ok() ? body.data() : QByteArray();
}

QByteArray httpGet(const QString& url, int timeoutSeconds)
{
    return HttpSession(timeoutSeconds).fetch(url);
}

StoredKey readStoredKey(int timeoutMs)
{
    ApiKeyStore store;
    store.setTimeout(timeoutMs);
    QSignalSpy done(&store, &ApiKeyStore::readDone);
    store.read();
    if (!done.wait(timeoutMs + 10000))
        return {};
    return done.first().first().value<StoredKey>();
}

QMap<QString, QByteArray> trashedFiles(const QString& dataHome)
{
    // Each trashed file has an information file of the same name that
    // tells where it came from.
    QMap<QString, QByteArray> trashed;
    const QDir info(dataHome + QStringLiteral("/Trash/info"));
    for (const QString& name : info.entryList({QStringLiteral("*.trashinfo")}, QDir::Files)) {
        const QList<QByteArray> lines = readAll(info.filePath(name)).split('\n');
        for (const QByteArray& line : lines) {
            if (!line.startsWith("Path="))
                continue;
            const QString from = QUrl::fromPercentEncoding(line.mid(5));
            const QString stored = name.chopped(int(qstrlen(".trashinfo")));
            trashed.insert(QFileInfo(from).fileName(), readAll(dataHome + QStringLiteral("/Trash/files/") + stored));
        }
    }
    return trashed;
}

RunResult runToEnd(DownloadRun& run, const DownloadRequest& in)
{
    QSignalSpy done(&run, &DownloadRun::finished);
    run.start(in);
    if (done.isEmpty())
        done.wait(300000);
    return run.result();
}

} // namespace kestrion::test
