#include "platform/http_fetch.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace kestrion {

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
    if (!get(url, nullptr, &body))
        return {};
    return body;
}

bool HttpFetcher::fetchTo(const QString& url, QIODevice& sink)
{
    return get(url, &sink, nullptr);
}

bool HttpFetcher::get(const QString& url, QIODevice* sink, QByteArray* body)
{
    if (m_abort)
        return false;
    // Queries are built already encoded; keep them byte for byte.
    const QUrl qurl = QUrl::fromEncoded(url.toLatin1(), QUrl::TolerantMode);
    if (!qurl.isValid() || qurl.host().isEmpty())
        return false;

    QNetworkRequest request(qurl);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    QNetworkReply* reply = m_nam->get(request);

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    bool timedOut = false;
    bool writeFailed = false;
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    QTimer abortPoll; // lets another thread cancel a request that hangs
    QObject::connect(&abortPoll, &QTimer::timeout, &loop, [&] {
        if (m_abort)
            reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (!reply->isOpen())
            return;
        const QByteArray chunk = reply->readAll();
        if (sink) {
            if (!writeFailed && sink->write(chunk) != chunk.size()) {
                writeFailed = true;
                reply->abort();
            }
        } else {
            body->append(chunk);
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(m_timeoutMs);
    abortPoll.start(100);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    const QByteArray rest = reply->isOpen() ? reply->readAll() : QByteArray();
    if (!rest.isEmpty()) {
        if (sink)
            writeFailed = writeFailed || sink->write(rest) != rest.size();
        else
            body->append(rest);
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool ok = !timedOut && !writeFailed && !m_abort && reply->error() == QNetworkReply::NoError
        && (status == 0 || (status >= 200 && status < 300));
    delete reply;
    return ok;
}

} // namespace kestrion
