#pragma once

#include <QString>

#include <functional>

namespace kestrion {

struct Settings;

// Starts a program by its command line without waiting; false when it could
// not be started.
using ProgramStarter = std::function<bool(const QString& commandLine)>;

// The start service of the launch command and its prompt:
// ProgramLauncher::start unless a test has put another in its place.
const ProgramStarter& programStarter();
// An empty starter puts ProgramLauncher::start back.
void setProgramStarter(ProgramStarter starter);

// Starts the application named by "App Name". False when none is named or it
// could not be started: the caller then asks for its path.
bool startConfiguredApplication(const Settings& settings);

// The launch prompt's OK: the typed path becomes "App Name" (an empty path
// clears it) and is tried once. Whether it started is returned for the
// caller's information only; the new "App Name" stays either way.
bool acceptApplicationPath(Settings& settings, const QString& path);

} // namespace kestrion
