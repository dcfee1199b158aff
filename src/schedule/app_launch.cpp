#include "schedule/app_launch.h"

#include "core/settings_record.h"

namespace kestrion {

bool startConfiguredApplication(const Settings& settings, const ProgramStarter& start)
{
    if (settings.appName.isEmpty() || !start)
        return false;
    return start(settings.appName);
}

bool acceptApplicationPath(Settings& settings, const QString& path, const ProgramStarter& start)
{
    settings.appName = path;
    // An empty path only clears the setting; there is nothing to start.
    if (path.isEmpty() || !start)
        return false;
    return start(path);
}

} // namespace kestrion
