// How a download run judges an answer, plans and merges an update, and puts
// a ticker's file in place.
#include "download/download_run.h"
#include "download/quote_source.h"
#include "download/run_ticker.h"
#include "download/table_update.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace kestrion {

namespace {
// Puts a complete temporary file in place of path in one step, so that no
// half-written file ever stands under its name; the data is on disk first.
bool replaceWith(QTemporaryFile& temp, const QString& path)
{
    if (!temp.flush() || ::fsync(temp.handle()) != 0)
        return false;
    if (std::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    temp.setAutoRemove(false);
    return true;
}
} // namespace

void DownloadRun::planRange(Ticker& t)
{
    t.range = runRange(m_values);
    t.partial = false;
    t.old.reset();
    // A date-stamped name is a new file every day: there is nothing to update.
    if (!m_in.settings.updatesExistingFiles() || t.inFull || !m_source->writesPriceTable()
        || m_in.settings.dateStamp == 1)
        return;
    t.old = readExistingTable(t.path);
    if (!t.old)
        return; // missing or not the table layout: fetched in full and replaced
    if (const std::optional<QDate> from = updateFrom(*t.old, t.range, m_in.request.period)) {
        t.range.from = *from;
        t.partial = true;
    }
}

bool DownloadRun::merge(Ticker& t, Outcome& o)
{
    if (!t.partial)
        return true;
    if (o.attempt == Attempt::Failed && o.reason != FailureReason::NoData)
        return true; // tried again as it is, the old file untouched
    const UpdateMerge m = o.attempt == Attempt::Passed ? mergeUpdate(*t.old, t.fresh, m_in.request.period)
                                                       : UpdateMerge{true, {}, {}};
    if (m.fetchInFull) {
        // Past prices changed (a split, a dividend) or the short answer
        // was no good: ask for the whole range, at no cost of an attempt.
        t.inFull = true;
        t.fresh = TableResult{};
        send(t);
        return false;
    }
    t.fresh.table = m.table;
    t.merged = true;
    return true;
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
    if (!start.isEmpty() && start != "<h" && start != "No") {
        if (t.partial && t.answer->seek(0))
            t.fresh.table = t.answer->readAll(); // merged into the old file, not put in its place
        return Outcome::passed();
    }
    t.answer.reset();
    return Outcome::failure(m_source->judgeStoredBody(start));
}

DownloadRun::Outcome DownloadRun::judgeConverted(Ticker& t, const FetchResult& http)
{
    const std::unique_ptr<AnswerBuffer> answer = std::move(t.buffer);
    QByteArray body;
    if (answer->size() <= kMaxPriceAnswerBytes && answer->seek(0))
        body = answer->readAll();
    if (!http.ok()) {
        // An error answer may still say more than its status (Yahoo's JSON
        // names an unknown symbol); its reason stays the status's.
        const FailureReason reason = fetchReason(http);
        const TableResult said = m_source->convert(body, t.range);
        const QString detail = said.reason == reason && !said.detail.isEmpty()
            ? said.detail
            : (http.status ? QStringLiteral("HTTP %1").arg(http.status) : QString());
        return Outcome::failure(reason, detail);
    }
    if (answer->size() > kMaxPriceAnswerBytes)
        return Outcome::failure(FailureReason::BadData, QStringLiteral("the answer is too large to be a price table"));
    t.fresh = m_source->convert(body, t.range);
    if (!t.fresh.ok())
        return Outcome::failure(t.fresh.reason, t.fresh.detail);
    return Outcome::passed();
}

bool DownloadRun::storeFile(Ticker& t)
{
    if (m_source->storesBodyAsSent() && !t.merged)
        return t.answer && replaceWith(*t.answer, t.path);
    const QByteArray& table = t.fresh.table;
    // Written beside the data file and renamed over it, so the old file
    // stands until the new one is complete on disk.
    QTemporaryFile out(QDir(QFileInfo(t.path).absolutePath()).filePath(QStringLiteral(".kestrion-XXXXXX.part")));
    if (out.open() && out.write(table) == table.size() && replaceWith(out, t.path))
        return true;
    t.outcome = Outcome::failure(FailureReason::WriteFailed, out.errorString());
    return false;
}

} // namespace kestrion
