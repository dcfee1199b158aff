#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

namespace kestrion::sim {

struct HttpRequest
{
    QByteArray method;
    QByteArray target; // as sent, for the request log
    QByteArray path; // without the query, not decoded
    QByteArray query; // after the '?', not decoded
    bool keepAlive = true;
    // Header fields in the order sent, names in lower case.
    QList<QPair<QByteArray, QByteArray>> headers;

    // The value of the first field of that name (given in lower case);
    // empty when there is none.
    QByteArray header(const char* lowerName) const;
};

struct HttpReply
{
    // How the answer leaves the server; the last three exist to imitate
    // misbehaving services.
    enum class Delivery {
        Normal,
        Trickle, // the body in small pieces over about two seconds
        Hang, // nothing, ever; the connection stays open
        Reset, // the connection is torn down without an answer
        Repeat, // body, then repeatUnit again and again up to repeatBytes more
    };

    int status = 200;
    QByteArray contentType;
    QByteArray body;
    Delivery delivery = Delivery::Normal;
    QList<QPair<QByteArray, QByteArray>> extraHeaders;
    bool closeAfter = false;
    QByteArray repeatUnit; // for Repeat: sent as the socket drains, never held whole
    qint64 repeatBytes = 0;

    static HttpReply withBody(int status, const char* contentType, QByteArray body);
};

const char* reasonPhrase(int status);

// Cuts one request off the front of a connection's input buffer.
class RequestParser
{
public:
    enum class Result { Incomplete, Complete, Invalid };

    static constexpr qsizetype kMaxHeadSize = 16 * 1024;
    static constexpr qsizetype kMaxBodySize = 1024 * 1024;

    // On Complete the request (and any body, which is dropped) is removed
    // from buffer. On Invalid errorStatus says which error to answer with;
    // the connection is not usable after that.
    Result parse(QByteArray& buffer, HttpRequest& request);
    int errorStatus() const { return m_errorStatus; }
    // The first line of the rejected request, for the request log.
    QByteArray rejectedLine() const { return m_rejectedLine; }

private:
    Result fail(int status, const QByteArray& line);

    int m_errorStatus = 400;
    QByteArray m_rejectedLine;
};

// Query parameters with '+' read as a space and %XX sequences decoded (bad
// sequences stay as they are); the first of repeated names wins.
class QueryParams
{
public:
    explicit QueryParams(const QByteArray& query);
    bool contains(const QString& name) const { return m_values.contains(name); }
    QString value(const QString& name) const { return m_values.value(name); }

private:
    QHash<QString, QString> m_values;
};

QByteArray percentDecode(const QByteArray& text, bool plusIsSpace);

} // namespace kestrion::sim
