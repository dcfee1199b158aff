// How a download run judges an answer, plans and merges an update, and puts
// a ticker's file in place.
#include "download/download_run.h"
#include "sources/described_source.h"
#include "sources/quote_source.h"
#include "download/run_ticker.h"
#include "download/table_update.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace kestrion {

namespace {
// Puts a complete temporary file, already on disk, in place of path in one
// step, so that no half-written file ever stands under its name.
bool putInPlace(QTemporaryFile& temp, const QString& path)
{
    if (std::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    temp.setAutoRemove(false);
    return true;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// What a worker makes of a good answer.
struct Prepared
{
    TableResult fresh; // converted; its table is dropped once written
    bool fetchInFull = false; // the update showed past prices changed
    std::unique_ptr<StagedFile> file;
    QString writeError;
};

// Turns body into the table (convertWith null: body is the table already),
// merges it into old when updating (checking a shorter request's answer
// against the file first), and writes the result beside path.
Prepared prepareAnswer(const QuoteSource* convertWith, const QByteArray& body, const DateRange& range,
                       const ExistingTable* old, bool partial, HistoryPeriod period, const QString& path)
{
    Prepared p;
    if (convertWith)
        p.fresh = convertWith->convert(body, range);
    else
        p.fresh.table = body;
    if (!p.fresh.ok())
        return p;
    QByteArray table = std::exchange(p.fresh.table, {});
    if (old && !partial) {
        // A whole range: checked by nothing, it still removes no row outside
        // its days. An answer not in the layout replaces the file as before.
        if (std::optional<QByteArray> merged = mergeAnswer(*old, table, period))
            table = std::move(*merged);
    } else if (old) {
        UpdateMerge m = mergeUpdate(*old, TableResult{FailureReason::None, std::move(table), {}, p.fresh.events},
                                    period);
        if (m.fetchInFull) {
            p.fetchInFull = true;
            return p;
        }
        table = std::move(m.table);
    }
    p.file = StagedFile::write(path, table, &p.writeError);
    return p;
}
} // namespace

DownloadRun::Ticker* DownloadRun::ticker(int row, quint64 token)
{
    const auto it = m_open.find(row);
    if (!m_running || it == m_open.end() || it->second->job != token)
        return nullptr;
    return it->second.get();
}

bool DownloadRun::readOldFile(Ticker& t)
{
    // A date-stamped name is a new file every day: there is nothing to update.
    if (t.oldRead || t.inFull || !m_in.settings.updatesExistingFiles() || !m_lanes.front()->source->writesPriceTable()
        || m_in.settings.dateStamp.on())
        return false;
    t.reading = true;
    const quint64 token = t.job = ++m_lastJob;
    m_workers.start([this, row = t.row, token, path = t.path]() -> RunWorkers::Then {
        std::optional<ExistingTable> read = readExistingTable(path);
        auto old = read ? std::make_shared<const ExistingTable>(std::move(*read)) : nullptr;
        return [this, row, token, old = std::move(old)] {
            Ticker* t = ticker(row, token);
            if (!t)
                return;
            t->reading = false;
            t->oldRead = true;
            t->old = old; // missing or not the table layout: fetched in full and replaced
            send(*t);
        };
    });
    return true;
}

void DownloadRun::planRange(Ticker& t)
{
    t.range = m_in.range;
    t.partial = false;
    if (t.old && !holdsPeriod(*t.old, m_in.period))
        t.old = nullptr; // daily rows and weekly ones do not mix: replaced whole
    if (!t.old || t.inFull)
        return;
    if (const std::optional<QDate> from = updateFrom(*t.old, t.range, m_in.period)) {
        t.range.from = *from;
        t.partial = true;
    }
}

void DownloadRun::answered(Ticker& t, const Answered& a)
{
    if (!sourceOf(t).storesBodyAsSent()) {
        if (!a.http.ok()) {
            judged(t, judgeFailedConversion(t, a.http), a);
            return;
        }
        std::unique_ptr<AnswerBuffer> answer = std::move(t.buffer);
        if (answer->size() > kMaxPriceAnswerBytes) {
            judged(
                t,
                Outcome::failure(FailureReason::BadData, QStringLiteral("the answer is too large to be a price table")),
                a);
            return;
        }
        prepare(t, std::move(answer), true, a);
        return;
    }
    const Outcome o = judgeBodyAsSent(t, a.http);
    if (o.attempt == Attempt::Passed && t.old) {
        // Merged into the old file, not put in its place.
        prepare(t, std::move(t.answer), false, a);
        return;
    }
    if (o.attempt == Attempt::Passed) {
        syncKeptBody(t, a);
        return;
    }
    judged(t, o, a);
}

void DownloadRun::syncKeptBody(Ticker& t, const Answered& a)
{
    // On a worker, through a descriptor of its own: dropping the ticker
    // meanwhile closes nothing the worker still uses.
    const int fd = ::dup(t.answer->handle());
    const quint64 token = t.job = ++m_lastJob;
    m_workers.start([this, row = t.row, token, a, fd, path = t.path]() -> RunWorkers::Then {
        const bool synced = fd >= 0 && syncAsReplacement(fd, path);
        const QString error = synced ? QString() : systemError();
        if (fd >= 0)
            ::close(fd);
        return [this, row, token, a, synced, error] {
            Ticker* t = ticker(row, token);
            if (!t)
                return;
            t->answerSynced = synced;
            t->writeError = error;
            judged(*t, Outcome::passed(), a);
        };
    });
}

void DownloadRun::prepare(Ticker& t, std::unique_ptr<QIODevice> answer, bool convert, const Answered& a)
{
    const quint64 token = t.job = ++m_lastJob;
    // The answer is read on the worker too (it may wait in a file), and goes
    // back with the result, to be closed on this thread like it was opened.
    m_workers.start([this, row = t.row, token, a, source = convert ? &sourceOf(t) : nullptr,
                     answer = std::shared_ptr<QIODevice>(std::move(answer)), range = t.range,
                     old = t.old, partial = t.partial, period = m_in.period,
                     path = t.path]() mutable -> RunWorkers::Then {
        QByteArray body;
        if (answer->seek(0))
            body = answer->readAll();
        auto p = std::make_shared<Prepared>(prepareAnswer(source, body, range, old.get(), partial, period, path));
        return [this, row, token, a, p, answer = std::move(answer)] {
            Ticker* t = ticker(row, token);
            if (!t)
                return; // its file goes with p
            if (!p->fresh.ok()) {
                judged(*t, Outcome::failure(p->fresh.reason, p->fresh.detail), a);
                return;
            }
            if (p->fetchInFull) {
                refetchInFull(*t);
                return;
            }
            t->staged = std::move(p->file);
            t->writeError = p->writeError;
            judged(*t, Outcome::passed(), a);
        };
    });
}

void DownloadRun::judged(Ticker& t, Outcome o, const Answered& a)
{
    // Without its query page the second request was bound to fail; the
    // page's failure is the one to tell.
    if (o.attempt == Attempt::Failed && a.queryFailure != FailureReason::None)
        o.reason = a.queryFailure;
    // An update's short answer without prices: the whole range may have them.
    // Other failures are tried again as they are, the old file untouched.
    if (t.partial && o.attempt == Attempt::Failed && o.reason == FailureReason::NoData) {
        refetchInFull(t);
        return;
    }
    settle(t, o, a.http, a.pauseAtSend);
}

void DownloadRun::refetchInFull(Ticker& t)
{
    t.inFull = true;
    t.staged.reset();
    send(t);
}

DownloadRun::Outcome DownloadRun::judgeBodyAsSent(Ticker& t, const FetchResult& http)
{
    if (!t.answer || !http.ok() || !t.answer->flush()) {
        t.answer.reset();
        return Outcome::failure(http.ok() ? FailureReason::WriteFailed : fetchReason(http));
    }
    // The content test: not empty, and not an error page or "No data".
    QByteArray start;
    if (t.answer->seek(0))
        start = t.answer->read(2);
    if (!start.isEmpty() && start != "<h" && start != "No")
        return Outcome::passed();
    t.answer.reset();
    return Outcome::failure(sourceOf(t).judgeStoredBody(start));
}

DownloadRun::Outcome DownloadRun::judgeFailedConversion(Ticker& t, const FetchResult& http)
{
    // An error answer may still say more than its status (Yahoo's JSON names
    // an unknown symbol); its reason stays the status's.
    const std::unique_ptr<AnswerBuffer> answer = std::move(t.buffer);
    QByteArray body;
    if (answer->size() <= kMaxPriceAnswerBytes && answer->seek(0))
        body = answer->readAll();
    // A described service's own rules read the answer first; a refusal
    // stays one whatever they say.
    if (const auto* described = dynamic_cast<const DescribedSource*>(&sourceOf(t));
        described && http.failure == FetchResult::Failure::HttpStatus) {
        const TableResult judged = described->judgeAnswer(body, http.status);
        const FailureReason reason = isRefusal(http) || judged.ok() ? fetchReason(http) : judged.reason;
        const QString detail = reason == judged.reason && !judged.detail.isEmpty()
            ? judged.detail
            : QStringLiteral("HTTP %1").arg(http.status);
        return Outcome::failure(reason, detail);
    }
    const FailureReason reason = fetchReason(http);
    const TableResult said = sourceOf(t).convert(body, t.range);
    const QString detail = said.reason == reason && !said.detail.isEmpty()
        ? said.detail
        : (http.status ? QStringLiteral("HTTP %1").arg(http.status) : QString());
    return Outcome::failure(reason, detail);
}

bool DownloadRun::storeFile(Ticker& t)
{
    // Written and synced beside the data file already; the rename puts it in
    // place in one step, so the old file stands until then.
    const bool written = t.answer ? t.answerSynced : bool(t.staged);
    if (written && (t.answer ? putInPlace(*t.answer, t.path) : t.staged->commit(t.path)))
        return true;
    if (written)
        t.writeError = systemError(); // the rename failed
    t.outcome = Outcome::failure(FailureReason::WriteFailed, t.writeError);
    return false;
}

} // namespace kestrion
