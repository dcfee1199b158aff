#pragma once

#include <QByteArray>
#include <QString>

namespace kestrion {

// The chart browser's engine (Chromium, in Qt WebEngine) refuses to start
// as root with its sandbox on, and ends the whole program. The README's
// commands run as root, so there Kestrion switches the sandbox off itself.

// Whether the sandbox has to be switched off: running as root, and the
// QTWEBENGINE_DISABLE_SANDBOX value the program was started with does not
// switch it off already.
bool sandboxMustBeSwitchedOff(bool runningAsRoot, const QByteArray& disableSandboxValue);

// Called at the start of main, before the engine can start: switches the
// sandbox off (QTWEBENGINE_DISABLE_SANDBOX=1) when it has to be. True when
// it did.
bool prepareBrowserSandbox();

// The status bar's note that the sandbox is off: the first time it is asked
// for after prepareBrowserSandbox() switched it off, empty every other time.
QString browserSandboxNoteOnce();

// Why the engine cannot start, in words for a message; empty when its
// helper program is where the engine looks for it (QTWEBENGINEPROCESS_PATH,
// else Qt's program folder, else the program's own folder). Without it the
// engine would end the program.
QString browserEngineProblem();

} // namespace kestrion
