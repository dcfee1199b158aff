#pragma once

#include <QString>
#include <QStringList>

namespace kestrion {

class SettingsStore;

// Finds and starts the desktop's system information program for the About
// box. The user can name one in the settings store; otherwise the usual
// programs are looked for on the PATH.
namespace SystemInfo {

// Where a configured program is read from (never written by Kestrion).
inline const QString kSection = QStringLiteral("Tools");
inline const QString kProgramKey = QStringLiteral("System Info Program");

// Looked for on the PATH in this order: dedicated system information tools
// first, then hardware listers, then the desktops' system monitors.
const QStringList& candidatePrograms();

// Reads a configured value. True with the text when one is stored and not
// blank; false with an empty text otherwise. Never reports an error itself.
bool GetKeyValue(const SettingsStore& store, const QString& section, const QString& name, QString& value);

// The first candidate that is an executable file in one of the PATH's
// folders, as a full path; empty when none is. Empty and relative PATH
// entries are skipped, so nothing is run from the current folder.
QString findOnPath(const QString& pathVariable, const QStringList& programs = candidatePrograms());

// The program to start: the configured path as it is (not checked, so a
// wrong setting shows up as a failed start), else the PATH search. Empty
// when neither gives one.
QString locateProgram(const SettingsStore& store, const QString& pathVariable);

// Starts the program by its path (no command-line splitting, so a path
// with blanks works), without waiting. False when it could not be started.
bool startProgram(const QString& programPath);

// The PATH of this process.
QString processPath();

} // namespace SystemInfo

} // namespace kestrion
