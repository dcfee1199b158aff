#include "options/options_form.h"

#include <utility>

namespace kestrion {

OptionsForm::OptionsForm(Settings& settings, SourceNamer sourceName)
    : m_settings(settings)
    , m_sourceName(std::move(sourceName))
{
}

const std::array<QString, 6>& OptionsForm::formatCodes()
{
    static const std::array<QString, 6> codes{QStringLiteral("4"), QStringLiteral("1"), QStringLiteral("3"),
                                              QStringLiteral("6"), QStringLiteral("5"), QStringLiteral("7")};
    return codes;
}

OptionsValues& OptionsForm::values()
{
    if (!m_values) {
        m_values = loadedValues();
        m_loadedFrom = m_settings;
    }
    return *m_values;
}

void OptionsForm::reload()
{
    if (m_values) {
        m_values = loadedValues();
        m_loadedFrom = m_settings;
    }
}

void OptionsForm::reloadIfRecordChanged()
{
    if (m_values && !(m_settings == m_loadedFrom))
        reload();
}

OptionsValues OptionsForm::loadedValues() const
{
    const Settings& s = m_settings;
    OptionsValues v;
    // Only the exact names count; the download run treats every other text
    // as Wall Street City. Nothing chosen yet means Yahoo Chart, which needs
    // no key.
    v.source = s.dataSource.isEmpty() ? kFirstRunDataSource : m_sourceName(s.dataSource);
    // A code outside the table selects nothing and is kept at close.
    for (const QString& code : formatCodes()) {
        if (s.dataFormat == code) {
            v.formatCode = code;
            break;
        }
    }
    v.activeAlerts = s.activeAlerts.on();
    v.deleteExistingFiles = s.deleteExistingFiles.on();
    v.dateStamp = s.dateStamp.on();
    v.fileExtension = s.fileExtension.isEmpty() ? kDefaultFileExtension : s.fileExtension;
    v.autoRun = s.autoStartApp.on();
    v.appName = s.appName;
    v.convertToMS = s.convertToMS.on();
    v.playSound = s.playSound.on();
    v.adt = s.adt;
    v.parallelRequests = s.parallelRequests;
    // Deleting the files first leaves nothing to update: a hand-edited store
    // asking for both keeps the older of the two settings.
    v.updateExistingFiles = s.updateExistingFiles && !v.deleteExistingFiles;
    return v;
}

void OptionsForm::setPlaySound(bool on)
{
    values().playSound = on;
    m_settings.playSound = on;
    // The form's own write is no news to it.
    m_loadedFrom.playSound = m_settings.playSound;
}

void OptionsForm::close()
{
    if (!m_values)
        return;
    const OptionsValues v = *std::exchange(m_values, std::nullopt);
    Settings& s = m_settings;
    s.dataSource = m_sourceName(v.source);
    if (!v.formatCode.isEmpty())
        s.dataFormat = v.formatCode;
    // Every flag closes in its plain form, whatever number it was loaded as.
    s.activeAlerts = v.activeAlerts;
    s.deleteExistingFiles = v.deleteExistingFiles;
    s.dateStamp = v.dateStamp;
    // An emptied box comes back as the default the next time it is shown,
    // so the default is what the files get now too.
    s.fileExtension = v.fileExtension.isEmpty() ? kDefaultFileExtension : v.fileExtension;
    s.autoStartApp = v.autoRun;
    s.convertToMS = v.convertToMS;
    s.appName = v.appName;
    s.adt = v.adt;
    s.parallelRequests = v.parallelRequests;
    s.updateExistingFiles = v.updateExistingFiles;
}

} // namespace kestrion
