#include "http_server.h"

#include "request_log.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <sys/socket.h>

namespace kestrion::sim {

namespace {

// Stop taking new requests off a connection while this much of earlier
// answers is still waiting to be sent (a client that pipelines but never reads).
constexpr qint64 kMaxPendingOutput = 8 * 1024 * 1024;
constexpr qint64 kReadBufferSize = 2 * 1024 * 1024;

} // namespace

HttpConnection::HttpConnection(QTcpSocket* socket, const ServerOptions& options, RequestHandler handler,
                               RequestLog* log, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_options(options)
    , m_handler(std::move(handler))
    , m_log(log)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(kReadBufferSize);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_delay.setSingleShot(true);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::processNext);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &HttpConnection::processNext);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(&m_trickleTimer, &QTimer::timeout, this, &HttpConnection::trickle);
    processNext();
}

void HttpConnection::processNext()
{
    if (m_busy || m_closed)
        return;
    if (m_socket->bytesToWrite() > kMaxPendingOutput)
        return; // resumed by bytesWritten
    m_input.append(m_socket->readAll());

    HttpRequest request;
    const RequestParser::Result result = m_parser.parse(m_input, request);
    if (result == RequestParser::Result::Incomplete)
        return;
    m_busy = true;

    if (result == RequestParser::Result::Invalid) {
        if (m_log)
            m_log->write("BAD", m_parser.rejectedLine());
        const int status = m_parser.errorStatus();
        HttpReply reply = HttpReply::withBody(status, "text/plain", QByteArray(reasonPhrase(status)) + '\n');
        m_input.clear();
        send(reply, false, false);
        return;
    }

    if (m_log)
        m_log->write(request.method, request.target);
    HttpReply reply = m_handler(request);
    const bool keepAlive = request.keepAlive && !reply.closeAfter;
    const bool headOnly = request.method == "HEAD";
    if (m_options.delayMs <= 0) {
        send(reply, keepAlive, headOnly);
        return;
    }
    m_delay.disconnect();
    connect(&m_delay, &QTimer::timeout, this,
            [this, reply = std::move(reply), keepAlive, headOnly] { send(reply, keepAlive, headOnly); });
    m_delay.start(m_options.delayMs);
}

QByteArray HttpConnection::head(const HttpReply& reply, qsizetype bodySize, bool keepAlive)
{
    QByteArray h;
    h.reserve(256);
    h.append("HTTP/1.1 ").append(QByteArray::number(reply.status)).append(' ');
    h.append(reasonPhrase(reply.status)).append("\r\n");
    h.append("Server: kestrion-quote-sim\r\n");
    if (!reply.contentType.isEmpty())
        h.append("Content-Type: ").append(reply.contentType).append("\r\n");
    h.append("Content-Length: ").append(QByteArray::number(bodySize)).append("\r\n");
    h.append("Cache-Control: no-store\r\n");
    for (const auto& [name, value] : reply.extraHeaders)
        h.append(name).append(": ").append(value).append("\r\n");
    h.append(keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n");
    h.append("\r\n");
    return h;
}

void HttpConnection::send(const HttpReply& reply, bool keepAlive, bool headOnly)
{
    switch (reply.delivery) {
    case HttpReply::Delivery::Hang:
        // Stay busy for good: nothing more is read or answered here, while
        // every other connection goes on being served.
        m_closed = true;
        return;
    case HttpReply::Delivery::Reset:
        resetConnection();
        return;
    case HttpReply::Delivery::Trickle:
        if (!headOnly && !reply.body.isEmpty()) {
            m_socket->write(head(reply, reply.body.size(), keepAlive));
            m_trickleBody = reply.body;
            m_trickleSent = 0;
            const int steps = std::max(1, m_options.trickleSteps);
            m_trickleChunk = std::max<qsizetype>(1, (reply.body.size() + steps - 1) / steps);
            m_trickleKeepAlive = keepAlive;
            trickle();
            if (m_trickleSent < m_trickleBody.size())
                m_trickleTimer.start(std::max(1, m_options.trickleMs / steps));
            return;
        }
        break;
    case HttpReply::Delivery::Repeat:
        if (!headOnly && !reply.repeatUnit.isEmpty()) {
            m_socket->write(head(reply, reply.body.size() + reply.repeatBytes, keepAlive) + reply.body);
            m_repeatChunk = reply.repeatUnit.repeated(std::max<qsizetype>(1, (1 << 20) / reply.repeatUnit.size()));
            m_repeatLeft = reply.repeatBytes;
            m_repeatKeepAlive = keepAlive;
            connect(m_socket, &QTcpSocket::bytesWritten, this, &HttpConnection::pumpRepeat, Qt::UniqueConnection);
            pumpRepeat();
            return;
        }
        break;
    case HttpReply::Delivery::Normal:
        break;
    }
    // One write for head and body: two small writes would meet Nagle's
    // algorithm and the peer's delayed ACK, costing 40 ms per answer.
    QByteArray out = head(reply, reply.body.size(), keepAlive);
    if (!headOnly)
        out.append(reply.body);
    m_socket->write(out);
    replyDone(keepAlive);
}

void HttpConnection::trickle()
{
    const qsizetype n = std::min(m_trickleChunk, m_trickleBody.size() - m_trickleSent);
    m_socket->write(m_trickleBody.constData() + m_trickleSent, n);
    m_trickleSent += n;
    if (m_trickleSent < m_trickleBody.size())
        return;
    m_trickleTimer.stop();
    m_trickleBody.clear();
    replyDone(m_trickleKeepAlive);
}

void HttpConnection::pumpRepeat()
{
    if (m_repeatLeft <= 0)
        return;
    // A few chunks in flight at most: the server's memory stays flat too.
    while (m_repeatLeft > 0 && m_socket->bytesToWrite() < 4 * m_repeatChunk.size()) {
        const qint64 n = std::min<qint64>(m_repeatLeft, m_repeatChunk.size());
        m_socket->write(m_repeatChunk.constData(), n);
        m_repeatLeft -= n;
    }
    if (m_repeatLeft == 0) {
        m_repeatChunk.clear();
        replyDone(m_repeatKeepAlive);
    }
}

void HttpConnection::replyDone(bool keepAlive)
{
    m_busy = false;
    if (!keepAlive) {
        m_closed = true;
        m_socket->disconnectFromHost(); // after what is still queued has gone out
        return;
    }
    // Requests that arrived meanwhile wait in the buffer; take the next one.
    QMetaObject::invokeMethod(this, &HttpConnection::processNext, Qt::QueuedConnection);
}

void HttpConnection::resetConnection()
{
    m_closed = true;
    // A zero linger time makes close() send RST instead of an orderly FIN,
    // as a crashed or overloaded server would.
    const qintptr fd = m_socket->socketDescriptor();
    if (fd >= 0) {
        const linger hard{1, 0};
        ::setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    m_socket->abort();
    deleteLater();
}

HttpServer::HttpServer(const ServerOptions& options, RequestHandler handler, RequestLog* log, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_handler(std::move(handler))
    , m_log(log)
{
    m_server.setMaxPendingConnections(1000);
    connect(&m_server, &QTcpServer::newConnection, this, &HttpServer::acceptAll);
}

bool HttpServer::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

void HttpServer::acceptAll()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection())
        new HttpConnection(socket, m_options, m_handler, m_log, this);
}

} // namespace kestrion::sim
