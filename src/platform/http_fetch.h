#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>

class QIODevice;
class QNetworkAccessManager;
class QNetworkReply;

namespace kestrion {

// One GET: an already encoded address and the extra request headers.
struct HttpGet
{
    QString url;
    QList<QPair<QByteArray, QByteArray>> headers;
};

// How a fetch ended, in enough detail to tell the user why it failed.
struct FetchResult
{
    enum class Failure {
        None,
        Timeout, // no answer within the time-out
        Unreachable, // bad address, name lookup, refused or dropped connection, TLS
        HttpStatus, // the server answered with a status outside 2xx
        Write, // the body could not be kept (disk full)
        Aborted, // cancelled by the program
    };
    Failure failure = Failure::None;
    int status = 0; // HTTP status, 0 when none arrived
    QByteArray retryAfter; // the Retry-After header, as sent

    bool ok() const { return failure == Failure::None; }
};

// One GET under way. The body streams into the sink as it arrives (an error
// answer's body too, so the caller can read what it says); finished() comes
// exactly once, always from the event loop, never from inside get() or
// abort(). A transfer fails as a time-out when nothing has arrived for the
// time-out: before the answer starts or between two of its pieces.
class HttpTransfer : public QObject
{
    Q_OBJECT
public:
    ~HttpTransfer() override;

    // Ends the transfer as Aborted; finished() still comes.
    void abort();

Q_SIGNALS:
    void finished(const kestrion::FetchResult& result);

private:
    friend class HttpClient;
    HttpTransfer(QNetworkReply* reply, QIODevice* sink, int timeoutMs, QObject* parent);
    HttpTransfer(FetchResult failed, QObject* parent);
    void keep(const QByteArray& chunk);
    void end();

    QPointer<QNetworkReply> m_reply;
    QIODevice* m_sink = nullptr;
    QTimer m_silence;
    FetchResult m_result;
    bool m_timedOut = false;
    bool m_aborted = false;
    bool m_writeFailed = false;
    bool m_done = false;
};

// Plain HTTP(S) GETs over one QNetworkAccessManager, so connections to the
// same host are kept alive between requests. Everything is asynchronous:
// nothing here waits.
class HttpClient : public QObject
{
    Q_OBJECT
public:
    explicit HttpClient(int timeoutSeconds = 60, QObject* parent = nullptr);
    ~HttpClient() override;

    // Starts a GET whose body goes to sink (which must outlive the transfer).
    // The transfer belongs to this client; delete it (or deleteLater) once
    // finished() has come.
    HttpTransfer* get(const HttpGet& request, QIODevice* sink);

    void setTimeoutSeconds(int seconds) { m_timeoutMs = seconds * 1000; }

private:
    std::unique_ptr<QNetworkAccessManager> m_nam;
    int m_timeoutMs;
};

} // namespace kestrion
