// How a download run deals with its sources: the chosen one and the
// fallbacks, each paced, waited for after a refusal and stopped on its own;
// a ticker one of them gives up on goes on to the next.
#include "download/download_run.h"
#include "download/run_ticker.h"

#include "sources/quote_source.h"
#include "sources/source_registry.h"

#include <algorithm>

namespace kestrion {

namespace {
bool isDefinite(FailureReason r)
{
    return r == FailureReason::NotFound || r == FailureReason::Unauthorized;
}
} // namespace

void DownloadRun::makeLanes()
{
    m_lanes.clear();
    auto add = [this](const QuoteSourceEntry& entry, const QString& key, int parallel) {
        auto lane = std::make_unique<Lane>();
        SourceSetup setup{m_in.settings, m_in.services, m_in.range, m_in.period, m_in.downloadDir, key};
        setup.settings.dataSource = entry.storedText;
        lane->source = makeQuoteSource(setup);
        lane->parallel = std::max(1, parallel);
        lane->requestsPerMinute = entry.requestsPerMinute;
        lane->pacer = RequestPacer(entry.requestsPerMinute, m_in.paceWindowMs);
        const int index = int(m_lanes.size());
        for (QTimer* timer : {&lane->pause, &lane->paced}) {
            timer->setSingleShot(true);
            connect(timer, &QTimer::timeout, this, [this, index] { resume(index); });
        }
        m_lanes.push_back(std::move(lane));
    };
    add(quoteSourceEntry(m_in.settings), m_in.apiKey, effectiveParallelRequests(m_in.settings));
    // A fallback keeps to its own default: "Parallel Requests" is set for the
    // chosen source.
    for (const FallbackSource& fallback : m_in.fallbacks) {
        const QuoteSourceEntry& entry = quoteSourceEntry(fallback.storedText);
        add(entry, fallback.apiKey, std::min(entry.defaultParallelRequests, effectiveParallelRequests(m_in.settings)));
    }
}

DownloadRun::Lane& DownloadRun::laneOf(const Ticker& t) const
{
    return *m_lanes.at(size_t(t.lane));
}

QuoteSource& DownloadRun::sourceOf(const Ticker& t) const
{
    return *laneOf(t).source;
}

int DownloadRun::inFlight(int lane) const
{
    // A source that refused lately has an answer under judgement count too:
    // it may be another refusal.
    const bool cautious = m_lanes.at(size_t(lane))->cautious;
    return int(std::count_if(m_open.cbegin(), m_open.cend(), [lane, cautious](const auto& open) {
        const Ticker& t = *open.second;
        return t.lane == lane && (t.transfer || (cautious && t.judging));
    }));
}

void DownloadRun::wake(int lane)
{
    const Lane& l = *m_lanes.at(size_t(lane));
    // In list order, so the first tickers get the first answers.
    std::vector<int> due;
    for (const auto& [row, t] : m_open) {
        if (t->waiting && t->lane == lane)
            due.push_back(row);
    }
    for (int row : due) {
        if (!m_running || l.pause.isActive() || l.paced.isActive() || inFlight(lane) >= l.limit())
            break;
        const auto it = m_open.find(row);
        if (it == m_open.end() || !it->second->waiting || it->second->lane != lane)
            continue;
        it->second->waiting = false;
        send(*it->second);
    }
}

void DownloadRun::resume(int lane)
{
    wake(lane);
    advance();
}

DownloadRun::Outcome DownloadRun::notAskedAgain(const Ticker& t) const
{
    // A ticker the source answered keeps the reason of its own answer; the
    // source's refusals of other tickers say nothing about it.
    if (t.ownFailure.reason != FailureReason::None) {
        Outcome o = t.ownFailure;
        o.definite = true;
        return o;
    }
    return Outcome::failure(FailureReason::RateLimited,
                            sourceOf(t).name() + QStringLiteral(" refused further requests"), true);
}

bool DownloadRun::nextSource(Ticker& t, const Outcome& o)
{
    if (t.lane == 0)
        t.chosenFailure = o;
    else
        t.fallbackFailures << sourceOf(t).name() + QStringLiteral(": ") + reasonText(o.reason);
    // A file that could not be written would fail the same way whoever sent it.
    const bool another = o.reason != FailureReason::WriteFailed && o.reason != FailureReason::NameClash;
    for (int next = t.lane + 1; another && next < int(m_lanes.size()); ++next) {
        if (m_lanes.at(size_t(next))->gate.stopped())
            continue;
        t.lane = next;
        t.failures = 0;
        t.ownFailure = Outcome();
        t.waiting = false;
        t.staged.reset();
        return true;
    }
    t.outcome = t.chosenFailure;
    t.done = true;
    return false;
}

void DownloadRun::settle(Ticker& t, Outcome o, const FetchResult& http, quint64 pauseAtSend)
{
    t.judging = false;
    Lane& lane = laneOf(t);
    if (o.attempt == Attempt::Failed)
        t.ownFailure = o;
    // A quota notice sent as a normal answer, or one a described service's
    // rules read in another answer (EODHD's 402), is a refusal too.
    const bool answered = http.ok() || http.failure == FetchResult::Failure::HttpStatus;
    const bool refusal = o.attempt == Attempt::Failed
        && (isRefusal(http) || (answered && o.reason == FailureReason::RateLimited && !o.definite));
    if (!refusal) {
        // An answer to a request sent before the latest pause says nothing
        // about whether the source has stopped refusing.
        if (pauseAtSend == lane.pauses) {
            lane.gate.answered();
            lane.cautious = false;
        }
        if (o.attempt == Attempt::Failed && !o.definite)
            o.definite = lane.source->trustsDefiniteAnswers() && isDefinite(o.reason);
        if (o.attempt == Attempt::Failed && !o.definite && ++t.failures < kAttempts) {
            send(t);
            return;
        }
        if (o.attempt == Attempt::Passed) {
            t.outcome = o;
            t.done = true;
        } else if (nextSource(t, o)) {
            send(t);
            return;
        }
        advance();
        return;
    }
    if (lane.gate.stopped()) {
        if (nextSource(t, Outcome::failure(FailureReason::RateLimited,
                                           lane.source->name() + QStringLiteral(" refused further requests"), true)))
            send(t);
        else
            advance();
        return;
    }
    // Requests sent before the pause began were refused for the same reason:
    // they wait for it without counting again.
    if (pauseAtSend != lane.pauses || lane.pause.isActive()) {
        if (lane.pause.isActive())
            t.waiting = true;
        else
            send(t);
        return;
    }
    lane.cautious = true;
    const std::optional<qint64> wait = lane.gate.refused(http.retryAfter);
    if (!wait) {
        sourceRefusedFurther(t);
        return;
    }
    ++lane.pauses;
    m_view.setStatusText(QStringLiteral("...Waiting %1 s: %2 is limiting requests")
                             .arg((*wait + 999) / 1000)
                             .arg(lane.source->name()));
    if (!m_running)
        return;
    t.waiting = true;
    lane.pause.start(int(*wait));
}

void DownloadRun::sourceRefusedFurther(Ticker& t)
{
    const int lane = t.lane;
    const QString text = sourceOf(t).name() + QStringLiteral(" refused further requests");
    if (lane == 0)
        m_result.sourceStopped = true;
    m_view.setStatusText(text);
    m_view.sourceStopped(text);
    if (!m_running)
        return;
    // This ticker, and those waiting for the source, go on without a request
    // to it.
    std::vector<int> moved;
    if (nextSource(t, Outcome::failure(FailureReason::RateLimited, text, true)))
        moved.push_back(t.row);
    for (auto& [row, other] : m_open) {
        if (other->waiting && other->lane == lane) {
            other->waiting = false;
            if (nextSource(*other, notAskedAgain(*other)))
                moved.push_back(row);
        }
    }
    for (int row : moved) {
        const auto it = m_open.find(row);
        if (m_running && it != m_open.end() && !it->second->done)
            send(*it->second);
    }
    advance();
}

} // namespace kestrion
