#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace kestrion {

// Starts a program by its command line without waiting; false when it could
// not be started. Whoever starts programs is handed one, so that a test can
// watch instead of starting anything; ProgramLauncher::start is the real one.
using ProgramStarter = std::function<bool(const QString& commandLine)>;

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
