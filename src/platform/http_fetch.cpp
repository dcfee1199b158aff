#include "platform/http_fetch.h"

#include <QEventLoop>
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

HttpFetcher::HttpFetcher(int timeoutSeconds)
    : m_nam(std::make_unique<QNetworkAccessManager>())
    , m_timeoutMs(timeoutSeconds * 1000)
{
    m_nam->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

HttpFetcher::~HttpFetcher() = default;

QByteArray HttpFetcher::fetch(const QString& url)
{
    QByteArray body;
    if (!get(HttpGet{url, {}}, nullptr, &body).ok())
        return {};
    return body;
}

bool HttpFetcher::fetchTo(const QString& url, QIODevice& sink)
{
    return get(HttpGet{url, {}}, &sink, nullptr).ok();
}

FetchResult HttpFetcher::fetchTo(const HttpGet& request, QIODevice& sink)
{
    return get(request, &sink, nullptr);
}

FetchResult HttpFetcher::get(const HttpGet& call, QIODevice* sink, QByteArray* body)
{
    FetchResult result;
    if (m_abort) {
        result.failure = FetchResult::Failure::Aborted;
        return result;
    }
    // Queries are built already encoded; keep them byte for byte.
    const QUrl qurl = QUrl::fromEncoded(call.url.toLatin1(), QUrl::TolerantMode);
    if (!qurl.isValid() || qurl.host().isEmpty()) {
        result.failure = FetchResult::Failure::Unreachable;
        return result;
    }

    QNetworkRequest request(qurl);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    for (const auto& [name, value] : call.headers)
        request.setRawHeader(name, value);
    QNetworkReply* reply = m_nam->get(request);
    // Qt stops reading from the socket while this much waits unread, so a
    // huge answer never piles up in memory when the disk is slower.
    reply->setReadBufferSize(kReadBufferBytes);

    QEventLoop loop;
    QTimer silence;
    silence.setSingleShot(true);
    bool timedOut = false;
    bool writeFailed = false;
    QObject::connect(&silence, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    QTimer abortPoll; // lets another thread cancel a request that hangs
    QObject::connect(&abortPoll, &QTimer::timeout, &loop, [&] {
        if (m_abort)
            reply->abort();
    });
    auto keep = [&](const QByteArray& chunk) {
        if (chunk.isEmpty())
            return;
        if (sink) {
            if (!writeFailed && sink->write(chunk) != chunk.size()) {
                writeFailed = true;
                reply->abort();
            }
        } else {
            body->append(chunk);
        }
    };
    // The time-out is for silence: every piece that arrives starts it again,
    // so a long answer that keeps coming is never cut.
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        silence.start(m_timeoutMs);
        if (reply->isOpen())
            keep(reply->readAll());
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] { silence.start(m_timeoutMs); });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    silence.start(m_timeoutMs);
    abortPoll.start(100);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    if (reply->isOpen())
        keep(reply->readAll());
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.retryAfter = reply->rawHeader("Retry-After");
    if (timedOut)
        result.failure = FetchResult::Failure::Timeout;
    else if (m_abort)
        result.failure = FetchResult::Failure::Aborted;
    else if (writeFailed)
        result.failure = FetchResult::Failure::Write;
    else if (result.status != 0 && (result.status < 200 || result.status >= 300))
        result.failure = FetchResult::Failure::HttpStatus;
    else
        result.failure = failureOf(reply->error());
    delete reply;
    return result;
}

} // namespace kestrion
