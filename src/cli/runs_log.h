#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

namespace kestrion {

// What an unattended run (kestrion-cli --automatic) leaves in runs.log.
struct RunRecord
{
    bool automatic = false;
    QDateTime started = QDateTime::currentDateTime();
    QElapsedTimer clock;
    QString listPath; // empty for a --symbol run
    QString source; // the source's stored text
    int stored = 0;
    int failed = 0;

    RunRecord() { clock.start(); }
};

// $XDG_STATE_HOME/Kestrion/runs.log (~/.local/state/Kestrion/runs.log).
QString runsLogPath();
// One line of seven tab-separated fields: start time (ISO 8601, local, with
// its offset), list file, source, tickers stored, tickers failed, seconds,
// exit status.
QString runsLogLine(const RunRecord& record, int exitCode);
// Appends the line; false (with why on standard error) when it cannot.
bool appendRunsLog(const RunRecord& record, int exitCode);

} // namespace kestrion
