#include "request_log.h"

namespace kestrion::sim {

bool RequestLog::open(const QString& path)
{
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

namespace {

// An API key given as "token=KEY" in the query (a form some clients use)
// becomes "token=***": the log is a plain file anyone may be shown.
QByteArray withoutKeys(const QByteArray& target)
{
    const qsizetype question = target.indexOf('?');
    if (question < 0 || !target.toLower().contains("token="))
        return target;
    QList<QByteArray> pairs = target.mid(question + 1).split('&');
    for (QByteArray& pair : pairs) {
        const qsizetype eq = pair.indexOf('=');
        if (eq >= 0 && pair.left(eq).toLower() == "token")
            pair = pair.left(eq + 1) + "***";
    }
    return target.left(question + 1) + pairs.join('&');
}

} // namespace

void RequestLog::write(const QByteArray& method, const QByteArray& target)
{
    if (!m_file.isOpen())
        return;
    // One request must stay one line of plain text, whatever bytes the
    // client sent: anything else is written as %XX.
    static const char hex[] = "0123456789ABCDEF";
    QByteArray line;
    line.reserve(method.size() + target.size() + 2);
    const QByteArray raw = method + ' ' + withoutKeys(target);
    for (const char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F) {
            line.append('%').append(hex[u >> 4]).append(hex[u & 0xF]);
        } else {
            line.append(c);
        }
    }
    line.append('\n');
    m_file.write(line);
    m_file.flush();
}

} // namespace kestrion::sim
