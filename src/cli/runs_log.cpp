#include "cli/runs_log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace kestrion {

namespace {
// "2026-12-09T18:30:00+01:00": the local time and how far it is from UTC.
QString localWithOffset(const QDateTime& when)
{
    const int offset = when.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// A field may not break the line or the columns.
QString field(QString text)
{
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}
} // namespace

QString runsLogPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Kestrion/runs.log");
}

QString runsLogLine(const RunRecord& record, int exitCode)
{
    const QStringList fields{localWithOffset(record.started),
                             field(record.listPath),
                             field(record.source),
                             QString::number(record.stored),
                             QString::number(record.failed),
                             QString::number(double(record.clock.elapsed()) / 1000.0, 'f', 3),
                             QString::number(exitCode)};
    return fields.join(QLatin1Char('\t'));
}

bool appendRunsLog(const RunRecord& record, int exitCode)
{
    const QString path = runsLogPath();
    QFile file(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !file.open(QIODevice::WriteOnly | QIODevice::Append)
        || file.write((runsLogLine(record, exitCode) + QLatin1Char('\n')).toUtf8()) < 0 || !file.flush()) {
        std::fprintf(stderr, "kestrion-cli: could not write %s: %s\n", qPrintable(QDir::toNativeSeparators(path)),
                     qPrintable(file.errorString()));
        return false;
    }
    return true;
}

} // namespace kestrion
