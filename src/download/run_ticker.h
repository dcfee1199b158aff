#pragma once

#include "download/answer_buffer.h"
#include "download/download_run.h"
#include "download/table_update.h"
#include "platform/http_fetch.h"
#include "platform/staged_file.h"
#include "sources/quote_source.h"

#include <QBuffer>
#include <QByteArray>
#include <QStringList>
#include <QTemporaryFile>

#include <memory>

namespace kestrion {

// One source of a run: the chosen one or a fallback, each with its own
// pacing, refusals and stop.
struct DownloadRun::Lane
{
    std::unique_ptr<QuoteSource> source;
    int parallel = 1; // requests under way while it answers
    // After a refusal, one request at a time until an answer is not one:
    // several under way would all be refused and count as one.
    bool cautious = false;
    RateGate gate;
    QTimer pause; // a refusal's wait; its tickers due meanwhile wait for it
    quint64 pauses = 0; // pauses begun so far
    RequestPacer pacer; // its requests per minute
    QTimer paced; // ends when the pacer lets the next request go
    int requestsPerMinute = 0;

    int limit() const { return cautious ? 1 : parallel; }
};

// One ticker while it is open: asked, waiting for its turn, or done.
struct DownloadRun::Ticker
{
    int row = 0;
    QString symbol;
    QString path;
    int failures = 0; // attempts of its current source that failed so far
    int lane = 0; // the source asked now: 0 the chosen one, then the fallbacks
    Outcome chosenFailure; // why the chosen source could not give it
    QStringList fallbackFailures; // "Tiingo: not-found", one for each fallback asked
    bool done = false;
    bool waiting = false; // for its source: a refusal's pause, pacing, or a free place
    bool reading = false; // its file to update is being read
    bool judging = false; // its answer came and is being judged
    quint64 job = 0; // the latest work handed to the run's workers for it
    Outcome outcome;
    Outcome ownFailure; // how its latest answer failed; reason None before any
    QStringList pending; // texts for the user, shown when its turn comes
    std::unique_ptr<QTemporaryFile> answer; // a body kept as sent, as it arrives beside its file
    bool answerSynced = false; // answer is on disk, ready to take its name
    std::unique_ptr<AnswerBuffer> buffer; // an answer to convert, as it arrives
    QByteArray page; // a two-stage source's query page
    QBuffer pageSink{&page};
    std::unique_ptr<StagedFile> staged; // the new file, on disk beside its place until its turn comes
    QString writeError; // why the new file could not be written
    DateRange range; // the days asked for
    std::shared_ptr<const ExistingTable> old; // the file an update adds to
    bool oldRead = false; // old holds what there is to update
    bool partial = false; // asked only for the days the file lacks
    bool inFull = false; // the update showed the whole range must come again
    HttpTransfer* transfer = nullptr; // the request under way, owned by the run's client
    int componentError = 0;

    ~Ticker()
    {
        if (transfer) {
            transfer->disconnect();
            transfer->abort();
            transfer->deleteLater();
        }
    }
};

} // namespace kestrion
