#include "http_message.h"

#include <cctype>
#include <cstring>

namespace kestrion::sim {

HttpReply HttpReply::withBody(int status, const char* contentType, QByteArray body)
{
    HttpReply r;
    r.status = status;
    r.contentType = contentType;
    r.body = std::move(body);
    return r;
}

QByteArray HttpRequest::header(const char* lowerName) const
{
    for (const auto& [name, value] : headers) {
        if (name == lowerName)
            return value;
    }
    return {};
}

const char* reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        break;
    }
    return "Unknown";
}

namespace {

bool isToken(const QByteArray& s)
{
    if (s.isEmpty())
        return false;
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || std::strchr("()<>@,;:\\\"/[]?={}", c) != nullptr)
            return false;
    }
    return true;
}

bool hasToken(const QByteArray& headerValue, const char* token)
{
    for (const QByteArray& part : headerValue.split(','))
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool hasControlBytes(const QByteArray& s)
{
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return true;
    }
    return false;
}

} // namespace

RequestParser::Result RequestParser::fail(int status, const QByteArray& line)
{
    m_errorStatus = status;
    m_rejectedLine = line.left(200);
    return Result::Invalid;
}

RequestParser::Result RequestParser::parse(QByteArray& buffer, HttpRequest& request)
{
    // Tolerate stray empty lines between requests, as servers commonly do.
    qsizetype start = 0;
    while (start < buffer.size() && (buffer.at(start) == '\r' || buffer.at(start) == '\n'))
        ++start;
    if (start > 0)
        buffer.remove(0, start);

    qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    qsizetype sepLen = 4;
    const qsizetype bareEnd = buffer.indexOf("\n\n");
    if (bareEnd >= 0 && (headEnd < 0 || bareEnd < headEnd)) {
        headEnd = bareEnd;
        sepLen = 2;
    }
    if (headEnd < 0) {
        if (buffer.size() > kMaxHeadSize)
            return fail(431, buffer.left(buffer.indexOf('\n')));
        return Result::Incomplete;
    }
    if (headEnd > kMaxHeadSize)
        return fail(431, buffer.left(buffer.indexOf('\n')));

    QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    for (QByteArray& l : lines) {
        if (l.endsWith('\r'))
            l.chop(1);
    }
    const QByteArray requestLine = lines.takeFirst();
    const QList<QByteArray> parts = requestLine.split(' ');
    if (parts.size() != 3 || hasControlBytes(requestLine))
        return fail(400, requestLine);
    const QByteArray& method = parts[0];
    const QByteArray& target = parts[1];
    const QByteArray& version = parts[2];
    if (!isToken(method) || target.isEmpty())
        return fail(400, requestLine);
    if (version.size() != 8 || !version.startsWith("HTTP/") || version.at(6) != '.'
        || !std::isdigit(static_cast<unsigned char>(version.at(5)))
        || !std::isdigit(static_cast<unsigned char>(version.at(7))))
        return fail(400, requestLine);
    if (version.at(5) != '1')
        return fail(505, requestLine);
    const bool http10 = version.at(7) == '0';

    QByteArray path = target;
    if (path.startsWith("http://") || path.startsWith("https://")) { // absolute form, as proxies see it
        const qsizetype slash = path.indexOf('/', path.indexOf("//") + 2);
        path = slash < 0 ? QByteArray("/") : path.mid(slash);
    }
    if (!path.startsWith('/'))
        return fail(400, requestLine);

    qint64 contentLength = 0;
    bool keepAlive = !http10;
    QList<QPair<QByteArray, QByteArray>> headers;
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.left(colon)))
            return fail(400, requestLine);
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        headers.append(qMakePair(name, value));
        if (name == "content-length") {
            bool ok = false;
            const qint64 n = value.toLongLong(&ok);
            if (!ok || n < 0 || value.startsWith('+') || value.startsWith('-'))
                return fail(400, requestLine);
            if (n > kMaxBodySize)
                return fail(413, requestLine);
            contentLength = n;
        } else if (name == "transfer-encoding") {
            return fail(501, requestLine);
        } else if (name == "connection") {
            if (hasToken(value, "close"))
                keepAlive = false;
            else if (hasToken(value, "keep-alive"))
                keepAlive = true;
        }
    }

    const qsizetype total = headEnd + sepLen + contentLength;
    if (buffer.size() < total)
        return Result::Incomplete;
    buffer.remove(0, total);

    const qsizetype question = path.indexOf('?');
    request.method = method;
    request.target = target;
    request.path = question < 0 ? path : path.left(question);
    request.query = question < 0 ? QByteArray() : path.mid(question + 1);
    const qsizetype hash = request.query.indexOf('#');
    if (hash >= 0)
        request.query.truncate(hash);
    request.keepAlive = keepAlive;
    request.headers = std::move(headers);
    return Result::Complete;
}

QByteArray percentDecode(const QByteArray& text, bool plusIsSpace)
{
    const auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '%' && i + 2 < text.size() && hexValue(text.at(i + 1)) >= 0 && hexValue(text.at(i + 2)) >= 0) {
            out.append(static_cast<char>(hexValue(text.at(i + 1)) * 16 + hexValue(text.at(i + 2))));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out.append(' ');
        } else {
            out.append(c);
        }
    }
    return out;
}

QueryParams::QueryParams(const QByteArray& query)
{
    for (const QByteArray& pair : query.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf('=');
        const QByteArray rawName = eq < 0 ? pair : pair.left(eq);
        const QByteArray rawValue = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        const QString name = QString::fromUtf8(percentDecode(rawName, true));
        if (!m_values.contains(name))
            m_values.insert(name, QString::fromUtf8(percentDecode(rawValue, true)));
    }
}

} // namespace kestrion::sim
