#pragma once

#include "formats/price_table.h"
#include "platform/http_fetch.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

namespace kestrion {

// Why a quote source gave no table. The network side maps HTTP failures onto
// the same values, so a run reports every source the same way.
// WriteFailed is ours, not the service's: the answer could not be stored.
// NameClash is ours too: an earlier ticker of the run has its file name.
enum class FailureReason {
    None,
    NotFound,
    NoData,
    RateLimited,
    Unauthorized,
    Unreachable,
    Timeout,
    ServerError,
    BadData,
    WriteFailed,
    NameClash
};

// "not-found", "no-data", "rate-limited", "unauthorized", "unreachable",
// "timeout", "server-error", "bad-data", "write-failed", "name-clash"; "" for None. These texts go into
// logs and the command-line output, so they never change.
QString reasonText(FailureReason reason);

struct TableResult
{
    FailureReason reason = FailureReason::None; // None: table holds the file's bytes
    QByteArray table;
    QString detail; // short human text for a failure; never holds secrets
    // The days of the splits and dividends the answer tells of, oldest first,
    // in or out of the range. An event whose day cannot be read is an invalid
    // date: it may lie anywhere, so an update must not trust older prices.
    QList<QDate> events;

    bool ok() const { return reason == FailureReason::None; }
};

// True when a body that should be a price table is instead a quota or
// rate-limit notice ("rate limit", "too many requests", "request allocation",
// "quota", "exceeded", any case). Only meaningful for bodies that failed to
// parse: a real table never holds these words.
bool isQuotaText(const QByteArray& body);

// The reason an HTTP exchange failed, before any body is looked at.
FailureReason fetchReason(const FetchResult& result);
// A refusal asks the client to slow down: 429, or 503 with Retry-After.
bool isRefusal(const FetchResult& result);

} // namespace kestrion
