#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QSettings;

namespace kestrion {

// The per-user settings store: named text values grouped in sections under
// the organisation and application "Kestrion". On Linux this is
// $XDG_CONFIG_HOME/Kestrion/Kestrion.conf. Every value is kept as text.
class SettingsStore
{
public:
    SettingsStore();
    // A store backed by an explicit file, for tests and tools.
    explicit SettingsStore(const QString& iniPath);
    ~SettingsStore();

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    QString read(const QString& section, const QString& name, const QString& defaultValue) const;
    // The value names stored in a section.
    QStringList names(const QString& section) const;
    void save(const QString& section, const QString& name, const QString& value);
    // Removes the value; nothing when there is none.
    void remove(const QString& section, const QString& name);
    // Writes pending changes to disk now; false when the store could not be
    // written.
    bool sync();
    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace kestrion
