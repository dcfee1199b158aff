#include "platform/settings_store.h"

#include <QFile>
#include <QSettings>

namespace kestrion {

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrion"),
                                             QStringLiteral("Kestrion")))
{
}

SettingsStore::SettingsStore(const QString& iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore() = default;

static QString key(const QString& section, const QString& name)
{
    return section + QLatin1Char('/') + name;
}

QString SettingsStore::read(const QString& section, const QString& name, const QString& defaultValue) const
{
    const QVariant v = m_settings->value(key(section, name));
    if (!v.isValid())
        return defaultValue;
    // A hand-edited value with unquoted commas comes back as a list.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

QStringList SettingsStore::names(const QString& section) const
{
    m_settings->beginGroup(section);
    const QStringList names = m_settings->childKeys();
    m_settings->endGroup();
    return names;
}

void SettingsStore::save(const QString& section, const QString& name, const QString& value)
{
    m_settings->setValue(key(section, name), value);
}

void SettingsStore::remove(const QString& section, const QString& name)
{
    m_settings->remove(key(section, name));
}

bool SettingsStore::sync()
{
    m_settings->sync();
    // A file holding the quote service API key stays readable by its owner
    // only, whoever rewrote it.
    if (m_settings->contains(QStringLiteral("Sources/Tiingo API Key")))
        QFile::setPermissions(m_settings->fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // A format error only says the old file was unreadable; it is rewritten
    // all the same.
    return m_settings->status() != QSettings::AccessError;
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

} // namespace kestrion
