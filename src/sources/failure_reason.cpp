#include "sources/failure_reason.h"

namespace kestrion {

QString reasonText(FailureReason reason)
{
    switch (reason) {
    case FailureReason::None:
        return {};
    case FailureReason::NotFound:
        return QStringLiteral("not-found");
    case FailureReason::NoData:
        return QStringLiteral("no-data");
    case FailureReason::RateLimited:
        return QStringLiteral("rate-limited");
    case FailureReason::Unauthorized:
        return QStringLiteral("unauthorized");
    case FailureReason::Unreachable:
        return QStringLiteral("unreachable");
    case FailureReason::Timeout:
        return QStringLiteral("timeout");
    case FailureReason::ServerError:
        return QStringLiteral("server-error");
    case FailureReason::BadData:
        return QStringLiteral("bad-data");
    case FailureReason::WriteFailed:
        return QStringLiteral("write-failed");
    case FailureReason::NameClash:
        return QStringLiteral("name-clash");
    }
    return {};
}

bool isQuotaText(const QByteArray& body)
{
    const QByteArray lower = body.toLower();
    for (const char* phrase : {"rate limit", "too many requests", "request allocation", "quota", "exceeded"}) {
        if (lower.contains(phrase))
            return true;
    }
    return false;
}

FailureReason fetchReason(const FetchResult& r)
{
    using F = FetchResult::Failure;
    switch (r.failure) {
    case F::None:
        return FailureReason::None;
    case F::Timeout:
        return FailureReason::Timeout;
    case F::Unreachable:
    case F::Aborted:
        return FailureReason::Unreachable;
    case F::Write:
        return FailureReason::WriteFailed;
    case F::HttpStatus:
        break;
    }
    if (r.status == 404)
        return FailureReason::NotFound;
    if (r.status == 401 || r.status == 403)
        return FailureReason::Unauthorized;
    if (r.status == 429)
        return FailureReason::RateLimited;
    return FailureReason::ServerError;
}

bool isRefusal(const FetchResult& r)
{
    return r.status == 429 || (r.status == 503 && !r.retryAfter.isEmpty());
}

} // namespace kestrion
