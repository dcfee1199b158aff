#include "platform/http_fetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace kestrion {

namespace {

constexpr qint64 kReadBufferBytes = 1024 * 1024;

FetchResult::Failure failureOf(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::NoError:
        return FetchResult::Failure::None;
    case QNetworkReply::TimeoutError:
        return FetchResult::Failure::Timeout;
    case QNetworkReply::OperationCanceledError:
        return FetchResult::Failure::Aborted;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
    case QNetworkReply::UnknownProxyError:
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::ProtocolFailure:
        return FetchResult::Failure::Unreachable;
    default:
        // Content and server errors come with a status, judged by the caller.
        return FetchResult::Failure::HttpStatus;
    }
}

} // namespace

HttpTransfer::HttpTransfer(QNetworkReply* reply, QIODevice* sink, int timeoutMs, QObject* parent)
    : QObject(parent)
    , m_reply(reply)
    , m_sink(sink)
{
    // Qt stops reading from the socket while this much waits unread, so a
    // huge answer never piles up in memory when the disk is slower.
    reply->setReadBufferSize(kReadBufferBytes);
    m_silence.setSingleShot(true);
    m_silence.setInterval(timeoutMs);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        if (m_reply)
            m_reply->abort();
    });
    // The time-out is for silence: every piece that arrives starts it again,
    // so a long answer that keeps coming is never cut.
    connect(reply, &QNetworkReply::readyRead, this, [this] {
        m_silence.start();
        if (m_reply && m_reply->isOpen())
            keep(m_reply->readAll());
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] { m_silence.start(); });
    connect(reply, &QNetworkReply::finished, this, &HttpTransfer::end);
    m_silence.start();
}

HttpTransfer::HttpTransfer(FetchResult failed, QObject* parent)
    : QObject(parent)
    , m_result(failed)
{
    m_done = true;
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT finished(m_result); }, Qt::QueuedConnection);
}

HttpTransfer::~HttpTransfer()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        delete m_reply;
    }
}

void HttpTransfer::abort()
{
    if (m_done)
        return;
    m_aborted = true;
    if (m_reply)
        m_reply->abort();
}

void HttpTransfer::keep(const QByteArray& chunk)
{
    if (chunk.isEmpty() || m_writeFailed || !m_sink)
        return;
    if (m_sink->write(chunk) != chunk.size()) {
        m_writeFailed = true;
        m_reply->abort();
    }
}

void HttpTransfer::end()
{
    if (m_done || !m_reply)
        return;
    m_done = true;
    m_silence.stop();
    QNetworkReply* reply = m_reply;
    if (reply->isOpen())
        keep(reply->readAll());
    m_result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    m_result.retryAfter = reply->rawHeader("Retry-After");
    if (m_timedOut)
        m_result.failure = FetchResult::Failure::Timeout;
    else if (m_aborted)
        m_result.failure = FetchResult::Failure::Aborted;
    else if (m_writeFailed)
        m_result.failure = FetchResult::Failure::Write;
    else if (m_result.status != 0 && (m_result.status < 200 || m_result.status >= 300))
        m_result.failure = FetchResult::Failure::HttpStatus;
    else
        m_result.failure = failureOf(reply->error());
    reply->disconnect(this);
    reply->deleteLater();
    m_reply = nullptr;
    // abort() finishes the reply at once; the news still comes from the
    // event loop, so no caller is re-entered from inside its own call.
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT finished(m_result); }, Qt::QueuedConnection);
}

HttpClient::HttpClient(int timeoutSeconds, QObject* parent)
    : QObject(parent)
    , m_nam(std::make_unique<QNetworkAccessManager>())
    , m_timeoutMs(timeoutSeconds * 1000)
{
    m_nam->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

HttpClient::~HttpClient()
{
    // Transfers go first: their replies belong to the manager.
    qDeleteAll(findChildren<HttpTransfer*>(Qt::FindDirectChildrenOnly));
}

HttpTransfer* HttpClient::get(const HttpGet& call, QIODevice* sink)
{
    // Queries are built already encoded; keep them byte for byte.
    const QUrl qurl = QUrl::fromEncoded(call.url.toLatin1(), QUrl::TolerantMode);
    if (!qurl.isValid() || qurl.host().isEmpty()) {
        FetchResult failed;
        failed.failure = FetchResult::Failure::Unreachable;
        return new HttpTransfer(failed, this);
    }
    QNetworkRequest request(qurl);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    for (const auto& [name, value] : call.headers)
        request.setRawHeader(name, value);
    return new HttpTransfer(m_nam->get(request), sink, m_timeoutMs, this);
}

} // namespace kestrion
