#include "download/rate_gate.h"

#include <QLocale>

#include <algorithm>

namespace kestrion {

std::optional<qint64> RateGate::retryAfterMs(const QByteArray& value, const QDateTime& now)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool isNumber = false;
    const qint64 seconds = text.toLongLong(&isNumber);
    if (isNumber)
        return seconds < 0 ? std::nullopt : std::optional<qint64>(std::min(seconds, kMaxWaitMs / 1000) * 1000);
    // IMF-fixdate, the form HTTP dates are sent in: "Wed, 21 Oct 2015 07:28:00 GMT".
    QDateTime when = QLocale::c().toDateTime(QString::fromLatin1(text),
                                             QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!when.isValid())
        return std::nullopt;
    when.setTimeSpec(Qt::UTC);
    return std::clamp(now.msecsTo(when), qint64(0), kMaxWaitMs);
}

std::optional<qint64> RateGate::refused(const QByteArray& retryAfter, const QDateTime& now)
{
    if (++m_refusals >= kMaxRefusals) {
        m_stopped = true;
        return std::nullopt;
    }
    if (const auto asked = retryAfterMs(retryAfter, now))
        return *asked;
    return qint64(1000) << m_refusals; // 2 s, 4 s, ...
}

} // namespace kestrion
