#pragma once

namespace kestrion {

// kestrion-cli --list-sources: one line per source, its fields separated by
// a tab:
//   --source name, "Data Source" text, "key: needed|optional|none",
//   "key present: yes|no" ("-" for a source that takes none), the periods
//   it gives ("daily,weekly,monthly"), where it comes from ("built in",
//   "shipped file", "user file") and, for a file, its path.
// The key itself is never printed. Returns the exit status.
int listSources();

// kestrion-cli --check-sources: each description that cannot be used, as
// "file: key: fault" on standard output; 0 when every one is usable, 1
// otherwise.
int checkSources();

} // namespace kestrion

#include <QString>

namespace kestrion {

struct Settings;

// kestrion-cli --fallback NAME[,NAME...] or --fallback none: the run's
// fallback sources instead of the saved ones, by --source name. Returns why
// the value cannot be used, empty when it can; settings.dataSource must be
// the run's source already.
QString applyFallbackOption(const QString& value, Settings& settings);

} // namespace kestrion
