#pragma once

#include <QString>
#include <QStringList>

namespace kestrion {

// Starts another program by its command line without waiting for it. The
// line is split into program and arguments the way a shell splits a plain
// command line (blanks separate; single quotes, double quotes and backslashes
// group; a leading ~ is the home folder), but no shell is run.
namespace ProgramLauncher {

// Empty when a quote is left open.
QStringList splitCommandLine(const QString& commandLine);
// False when the text is empty or the program could not be started.
bool start(const QString& commandLine);

} // namespace ProgramLauncher

} // namespace kestrion
