#include "options/options_form.h"

#include <utility>

namespace kestrion {

namespace {

// Every reader of these flags tests for exactly 1, so a box shows ticked only
// then; any other stored value is off for the program and shows clear.
bool isOn(double value)
{
    return value == 1;
}

qint16 flag(bool on)
{
    return on ? 1 : 0;
}

} // namespace

OptionsForm::OptionsForm(Settings& settings)
    : m_settings(settings)
{
}

const std::array<QString, 6>& OptionsForm::formatCodes()
{
    static const std::array<QString, 6> codes{QStringLiteral("4"), QStringLiteral("1"), QStringLiteral("3"),
                                              QStringLiteral("6"), QStringLiteral("5"), QStringLiteral("7")};
    return codes;
}

QString OptionsForm::sourceName(Settings::Source source)
{
    switch (source) {
    case Settings::Source::Yahoo:
        return kSourceYahoo;
    case Settings::Source::YahooChart:
        return kSourceYahooChart;
    case Settings::Source::Tiingo:
        return kSourceTiingo;
    case Settings::Source::WallStreetCity:
        break;
    }
    return kSourceWallStreetCity;
}

OptionsValues& OptionsForm::values()
{
    if (!m_values)
        m_values = loadedValues();
    return *m_values;
}

void OptionsForm::reload()
{
    if (m_values)
        m_values = loadedValues();
}

OptionsValues OptionsForm::loadedValues() const
{
    const Settings& s = m_settings;
    OptionsValues v;
    // Only the exact names count; the download run treats every other text
    // as Wall Street City. Nothing chosen yet means Yahoo Chart, which needs
    // no key.
    v.source = s.dataSource.isEmpty() ? Settings::Source::YahooChart : s.source();
    // A code outside the table selects nothing and is kept at close.
    for (const QString& code : formatCodes()) {
        if (s.dataFormat == code) {
            v.formatCode = code;
            break;
        }
    }
    v.activeAlerts = s.activeAlerts == -1;
    v.deleteExistingFiles = isOn(s.deleteExistingFiles);
    v.dateStamp = isOn(s.dateStamp);
    v.fileExtension = s.fileExtension.isEmpty() ? kDefaultFileExtension : s.fileExtension;
    v.autoRun = isOn(s.autoStartApp);
    v.appName = s.appName;
    v.convertToMS = isOn(s.convertToMS);
    v.playSound = isOn(s.playSound);
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
    m_settings.playSound = on ? 1 : 0;
}

void OptionsForm::close()
{
    if (!m_values)
        return;
    const OptionsValues v = *std::exchange(m_values, std::nullopt);
    Settings& s = m_settings;
    s.dataSource = sourceName(v.source);
    if (!v.formatCode.isEmpty())
        s.dataFormat = v.formatCode;
    s.activeAlerts = v.activeAlerts ? -1 : 0;
    s.deleteExistingFiles = flag(v.deleteExistingFiles);
    s.dateStamp = flag(v.dateStamp);
    // An emptied box comes back as the default the next time it is shown,
    // so the default is what the files get now too.
    s.fileExtension = v.fileExtension.isEmpty() ? kDefaultFileExtension : v.fileExtension;
    s.autoStartApp = flag(v.autoRun);
    s.convertToMS = flag(v.convertToMS);
    s.appName = v.appName;
    s.adt = v.adt;
    s.parallelRequests = v.parallelRequests;
    s.updateExistingFiles = v.updateExistingFiles;
}

} // namespace kestrion
