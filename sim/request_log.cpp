#include "request_log.h"

namespace kestrion::sim {

bool RequestLog::open(const QString& path)
{
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void RequestLog::write(const QByteArray& method, const QByteArray& target)
{
    if (!m_file.isOpen())
        return;
    // One request must stay one line of plain text, whatever bytes the
    // client sent: anything else is written as %XX.
    static const char hex[] = "0123456789ABCDEF";
    QByteArray line;
    line.reserve(method.size() + target.size() + 2);
    const QByteArray raw = method + ' ' + target;
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
