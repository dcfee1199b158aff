#pragma once

#include "core/settings_record.h"

#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace kestrion {

// What the options dialog's controls hold, one member per control or group
// of option buttons.
struct OptionsValues
{
    QString source = kFirstRunDataSource; // the "From:" buttons, as the stored "Data Source" text
    QString formatCode; // code of the selected "Format:" button; empty: none selected
    bool activeAlerts = false; // optActiveAlerts; optPassiveLog when false
    bool deleteExistingFiles = false;
    bool dateStamp = false;
    QString fileExtension;
    bool convertToMS = false;
    bool autoRun = false; // "Launch Application:"
    QString appName;
    QString adt;
    bool playSound = false;
    // As stored: 0 until the user sets the box, so the shown default follows
    // the source.
    int parallelRequests = 0;
    bool updateExistingFiles = false;
};

// The options dialog's values without the dialog. Touching the values loads
// them from the settings record (the load step); closing copies them back
// (the close step) and unloads, so that the record is again their only
// holder until the next touch. The main window reads the automatic download
// time from here, the launch prompt writes the application path here, and
// the dialog binds to it while it is open.
class OptionsForm
{
public:
    // The "Data Source" text that a stored text stands for: the quote
    // services are known above this library.
    using SourceNamer = std::function<QString(const QString& storedText)>;

    OptionsForm(Settings& settings, SourceNamer sourceName);

    OptionsForm(const OptionsForm&) = delete;
    OptionsForm& operator=(const OptionsForm&) = delete;

    bool isLoaded() const { return m_values.has_value(); }
    // The values, loaded first when they are not.
    OptionsValues& values();

    QString adt() { return values().adt; }
    void setAppName(const QString& path) { values().appName = path; }
    // The completion alert takes effect at once, not at the close.
    void setPlaySound(bool on);

    // The close step: copies every value but "Play Sound" into the record and
    // unloads. Nothing when not loaded.
    void close();
    // Loads again from the record, without the close step, when loaded: the
    // record may have changed since, and an old copy would put old values
    // back at the close.
    void reload();
    // The same, only when the record changed since the values were loaded:
    // values in use that nothing outdated stay as they are.
    void reloadIfRecordChanged();

    // The format codes in the order they are compared at load and written at
    // close. The codes are what Wall Street City understands; they do not
    // follow the order of the buttons, and there is no "2".
    static const std::array<QString, 6>& formatCodes();

private:
    OptionsValues loadedValues() const;

    Settings& m_settings;
    SourceNamer m_sourceName;
    std::optional<OptionsValues> m_values;
    Settings m_loadedFrom; // the record as it was at the last load
};

} // namespace kestrion
