#include "schedule/app_launch.h"

#include "core/settings_record.h"
#include "platform/program_launcher.h"

#include <utility>

namespace kestrion {

namespace {

ProgramStarter& starterSlot()
{
    static ProgramStarter starter = &ProgramLauncher::start;
    return starter;
}

} // namespace

const ProgramStarter& programStarter()
{
    return starterSlot();
}

void setProgramStarter(ProgramStarter starter)
{
    starterSlot() = starter ? std::move(starter) : ProgramStarter(&ProgramLauncher::start);
}

bool startConfiguredApplication(const Settings& settings)
{
    if (settings.appName.isEmpty())
        return false;
    return programStarter()(settings.appName);
}

bool acceptApplicationPath(Settings& settings, const QString& path)
{
    settings.appName = path;
    // An empty path only clears the setting; there is nothing to start.
    if (path.isEmpty())
        return false;
    return programStarter()(path);
}

} // namespace kestrion
