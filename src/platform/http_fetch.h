#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>

class QIODevice;
class QNetworkAccessManager;

namespace kestrion {

// Plain HTTP GET with a blocking call shape, over QNetworkAccessManager.
// Connections to the same host are kept alive between requests. It spins a
// local event loop while it waits, so use it off the window thread (the
// download run has its own thread) or where no window needs to repaint.
// Any failure (no connection, an unknown host, an HTTP error status, the
// time-out) yields an empty body.
class HttpFetcher
{
public:
    explicit HttpFetcher(int timeoutSeconds = 60);
    ~HttpFetcher();

    HttpFetcher(const HttpFetcher&) = delete;
    HttpFetcher& operator=(const HttpFetcher&) = delete;

    QByteArray fetch(const QString& url);
    // Streams the body into sink as it arrives; returns false on failure, in
    // which case whatever reached the sink must be discarded by the caller.
    bool fetchTo(const QString& url, QIODevice& sink);

    void setTimeoutSeconds(int seconds) { m_timeoutMs = seconds * 1000; }
    // Aborts the request under way from another thread (shutdown).
    void abort() { m_abort = true; }

private:
    bool get(const QString& url, QIODevice* sink, QByteArray* body);

    std::unique_ptr<QNetworkAccessManager> m_nam;
    int m_timeoutMs;
    std::atomic_bool m_abort{false};
};

} // namespace kestrion
