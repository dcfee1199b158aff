#pragma once

#include "core/settings_record.h"

#include <QString>

namespace kestrion {

// State that lives for the whole run of the program and is shared by its
// windows: the settings record, the service hosts, and the few program-wide
// values the commands hand each other.
struct AppState
{
    Settings settings;
    ServiceConfig services;
    QString strTicker; // symbol handed to the chart browser
    QString strViewFile; // file the viewer opens
    int autoRunMarker = 0; // 1 while a timer-started run is going on
};

AppState& appState();
// Back to a fresh start (tests).
void resetAppState();

// "1.5.7": major, minor and revision in plain decimal.
QString versionNumber();
// Organisation, application name and version, which also choose where the
// settings and the default list live. Both programs call it first.
void setApplicationIdentity();

// The folder holding the program's own files (starter list, pictures, help):
// beside the program in a build tree, <prefix>/share/kestrion when installed.
QString applicationFolder();

// The per-user folder holding the default list "dbase.mdb"; the list is
// copied there from the application folder the first time it is needed.
QString defaultListFolder();

} // namespace kestrion
