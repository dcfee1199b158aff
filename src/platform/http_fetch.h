#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <atomic>
#include <memory>

class QIODevice;
class QNetworkAccessManager;

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

// Plain HTTP(S) GET with a blocking call shape, over QNetworkAccessManager.
// Connections to the same host are kept alive between requests. A request
// fails as a time-out when nothing has arrived for the time-out: before the
// answer starts or between two of its pieces. It spins a
// local event loop while it waits, so use it off the window thread (the
// download run has its own thread) or where no window needs to repaint.
class HttpFetcher
{
public:
    explicit HttpFetcher(int timeoutSeconds = 60);
    ~HttpFetcher();

    HttpFetcher(const HttpFetcher&) = delete;
    HttpFetcher& operator=(const HttpFetcher&) = delete;

    // The body, or empty on any failure.
    QByteArray fetch(const QString& url);
    // Streams the body into sink as it arrives; returns false on failure, in
    // which case whatever reached the sink must be discarded by the caller.
    bool fetchTo(const QString& url, QIODevice& sink);
    // The same with headers and the reason of a failure. An error answer's
    // body reaches the sink too, so that the caller can read what it says.
    FetchResult fetchTo(const HttpGet& request, QIODevice& sink);

    void setTimeoutSeconds(int seconds) { m_timeoutMs = seconds * 1000; }
    // Aborts the request under way from another thread (shutdown).
    void abort() { m_abort = true; }

private:
    FetchResult get(const HttpGet& request, QIODevice* sink, QByteArray* body);

    std::unique_ptr<QNetworkAccessManager> m_nam;
    int m_timeoutMs;
    std::atomic_bool m_abort{false};
};

} // namespace kestrion
