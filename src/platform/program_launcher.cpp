#include "platform/program_launcher.h"

#include <QProcess>

namespace kestrion::ProgramLauncher {

QStringList splitCommandLine(const QString& commandLine)
{
    return QProcess::splitCommand(commandLine);
}

bool start(const QString& commandLine)
{
    QStringList parts = splitCommandLine(commandLine);
    if (parts.isEmpty())
        return false;
    const QString program = parts.takeFirst();
    return QProcess::startDetached(program, parts);
}

} // namespace kestrion::ProgramLauncher
