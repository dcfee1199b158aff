#pragma once

#include "http_message.h"

#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <functional>

class QTcpSocket;

namespace kestrion::sim {

class RequestLog;

using RequestHandler = std::function<HttpReply(const HttpRequest&)>;

struct ServerOptions
{
    int delayMs = 0; // before every answer
    int trickleMs = 2000;
    int trickleSteps = 20;
};

// One client connection: reads requests one after another (keep-alive and
// pipelining), answers each in order, and closes when asked to or when the
// request cannot be understood.
class HttpConnection : public QObject
{
    Q_OBJECT
public:
    HttpConnection(QTcpSocket* socket, const ServerOptions& options, RequestHandler handler, RequestLog* log,
                   QObject* parent = nullptr);

private:
    void processNext();
    void send(const HttpReply& reply, bool keepAlive, bool headOnly);
    void trickle();
    void pumpRepeat();
    void replyDone(bool keepAlive);
    void resetConnection();
    static QByteArray head(const HttpReply& reply, qsizetype bodySize, bool keepAlive);

    QTcpSocket* m_socket;
    ServerOptions m_options;
    RequestHandler m_handler;
    RequestLog* m_log;
    RequestParser m_parser;
    QByteArray m_input;
    bool m_busy = false; // a request is being answered
    bool m_closed = false; // no further requests on this connection
    QTimer m_delay;
    QTimer m_trickleTimer;
    QByteArray m_trickleBody;
    qsizetype m_trickleSent = 0;
    qsizetype m_trickleChunk = 1;
    bool m_trickleKeepAlive = false;
    QByteArray m_repeatChunk; // whole units, about 1 MiB
    qint64 m_repeatLeft = 0;
    bool m_repeatKeepAlive = false;
};

class HttpServer : public QObject
{
    Q_OBJECT
public:
    HttpServer(const ServerOptions& options, RequestHandler handler, RequestLog* log, QObject* parent = nullptr);

    bool listen(quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }

private:
    void acceptAll();

    QTcpServer m_server;
    ServerOptions m_options;
    RequestHandler m_handler;
    RequestLog* m_log;
};

} // namespace kestrion::sim
