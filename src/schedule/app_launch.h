#pragma once

#include "platform/program_launcher.h"

#include <QString>

namespace kestrion {

struct Settings;

// Starts the application named by "App Name" through start. False when none
// is named or it could not be started: the caller then asks for its path.
bool startConfiguredApplication(const Settings& settings, const ProgramStarter& start);

// The launch prompt's OK: the typed path becomes "App Name" (an empty path
// clears it) and is tried once through start. Whether it started is returned
// for the caller's information only; the new "App Name" stays either way.
bool acceptApplicationPath(Settings& settings, const QString& path, const ProgramStarter& start);

} // namespace kestrion
