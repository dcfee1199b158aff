#pragma once

#include "download/answer_buffer.h"
#include "download/download_run.h"
#include "download/table_update.h"
#include "platform/http_fetch.h"
#include "platform/staged_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QStringList>
#include <QTemporaryFile>

#include <memory>

namespace kestrion {

// One ticker while it is open: asked, waiting for its turn, or done.
struct DownloadRun::Ticker
{
    int row = 0;
    QString symbol;
    QString path;
    int failures = 0; // attempts that failed so far
    bool done = false;
    bool waiting = false; // for a refusing source's pause to end
    bool reading = false; // its file to update is being read
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
