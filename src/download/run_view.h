#pragma once

#include "sources/failure_reason.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace kestrion {

// What a download run shows and asks. The main window implements it with
// its controls and prompts; the command-line runner prints and never asks.
// The run calls these in the order the user sees them, on its own thread.
//
// A prompt answers through its callback, later or at once; the run waits
// for the answer without blocking anything, and a run cancelled meanwhile
// ignores it.
class RunView
{
public:
    virtual ~RunView() = default;

    // A run begins: what the last one told is forgotten.
    virtual void runStarting() { }
    virtual void setInputsEnabled(bool enabled) { Q_UNUSED(enabled) }
    virtual void refreshList() { }
    virtual void setStatusText(const QString& text) = 0;
    virtual void setStatusToolTip(const QString& text) { Q_UNUSED(text) }
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void progressToMinimum() = 0;
    virtual void progressToMaximum() = 0;

    // "No Data!" after a ticker was given up: true stops the run.
    virtual void askStop(std::function<void(bool stop)> answered) { answered(false); }
    // The download directory is missing: the folder made in its place
    // (which the directory box then shows), or empty.
    virtual void askCreateDirectory(const QString& typedPath, std::function<void(const QString& created)> answered)
    {
        Q_UNUSED(typedPath)
        answered(QString());
    }
    // "Download Complete!" with the sound option on; the run ends once the
    // message is closed.
    virtual void showCompletionMessage(std::function<void()> closed) { closed(); }

    // A ticker is done: stored (path of its file, or the MetaStock folder) or
    // given up / not downloaded (empty path).
    virtual void tickerFinished(const QString& symbol, bool ok, const QString& path)
    {
        Q_UNUSED(symbol)
        Q_UNUSED(ok)
        Q_UNUSED(path)
    }
    // Why a ticker failed, told just before tickerFinished() reports it.
    virtual void tickerFailed(const QString& symbol, FailureReason reason, const QString& detail)
    {
        Q_UNUSED(symbol)
        Q_UNUSED(reason)
        Q_UNUSED(detail)
    }
    // A fallback source gave the ticker, not the chosen one; told just
    // before tickerFinished() reports it stored.
    virtual void tickerServedBy(const QString& symbol, const QString& source)
    {
        Q_UNUSED(symbol)
        Q_UNUSED(source)
    }
    // Why each fallback asked for a failed ticker could not give it
    // ("Tiingo: not-found"), in order; told just after tickerFailed().
    virtual void fallbacksFailed(const QString& symbol, const QStringList& failures)
    {
        Q_UNUSED(symbol)
        Q_UNUSED(failures)
    }
    // A source refused further requests; text says so, for the user.
    virtual void sourceStopped(const QString& text) { Q_UNUSED(text) }
};

} // namespace kestrion
