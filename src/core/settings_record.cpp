#include "core/settings_record.h"

#include "platform/settings_store.h"

#include <QRegularExpression>

#include <cmath>

namespace kestrion {

double leadingNumber(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eEdD][+-]?\\d+)?)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return 0;
    QString number = m.captured(1);
    number.replace(QLatin1Char('d'), QLatin1Char('e')).replace(QLatin1Char('D'), QLatin1Char('e'));
    bool ok = false;
    const double v = number.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

qint16 toInt16(double value)
{
    const double r = std::nearbyint(value); // default rounding mode: half to even
    if (!std::isfinite(r) || r < -32768 || r > 32767)
        return 0;
    return static_cast<qint16>(r);
}

QString numberText(double value)
{
    return QString::number(value, 'g', 15);
}

static float coordinate(const SettingsStore& store, const QString& name, float defaultValue)
{
    const QString text = store.read(kSettingsSection, name, numberText(defaultValue)).trimmed();
    bool ok = false;
    const float v = text.toFloat(&ok);
    // The program only ever writes numbers here; anything else (a hand edit)
    // falls back to the default rather than placing the window off screen.
    return ok && std::isfinite(v) ? v : defaultValue;
}

void loadSettings(const SettingsStore& store, Settings& s, WindowValues& w)
{
    const QString& sec = kSettingsSection;
    const WindowValues defaults;
    w.mainLeft = coordinate(store, QStringLiteral("MainLeft"), defaults.mainLeft);
    w.mainTop = coordinate(store, QStringLiteral("MainTop"), defaults.mainTop);
    w.mainWidth = coordinate(store, QStringLiteral("MainWidth"), defaults.mainWidth);
    w.mainHeight = coordinate(store, QStringLiteral("MainHeight"), defaults.mainHeight);

    s.databaseName = store.read(sec, QStringLiteral("Database Name"), kDefaultDatabaseName);
    w.downloadDir = store.read(sec, QStringLiteral("DownloadDir"), QString());
    w.startMonth = store.read(sec, QStringLiteral("StartMonth"), QString());
    w.startDay = store.read(sec, QStringLiteral("StartDay"), QString());
    w.startYear = store.read(sec, QStringLiteral("StartYear"), QString());

    s.dataSource = store.read(sec, QStringLiteral("Data Source"), QString());
    s.dataFormat = store.read(sec, QStringLiteral("Data Format"), QString());

    auto number = [&](const char* name) { return leadingNumber(store.read(sec, QLatin1String(name), QString())); };
    s.activeAlerts = AlertFlag::loaded(toInt16(number("Active Alerts")));
    s.deleteExistingFiles = Flag::loaded(toInt16(number("Delete Existing Files")));
    s.dateStamp = Flag::loaded(toInt16(number("Date Stamp")));
    s.fileExtension = store.read(sec, QStringLiteral("File Extension"), QString());
    s.autoStartApp = Flag::loaded(toInt16(number("Auto Start App")));
    s.convertToMS = NumberFlag::loaded(number("Convert to MS"));
    s.playSound = NumberFlag::loaded(number("Play Sound"));
    s.appName = store.read(sec, QStringLiteral("App Name"), QString());
    s.adt = store.read(sec, QStringLiteral("ADT"), QString());

    // Absent, not a whole number or out of range: the source's default.
    bool ok = false;
    const int parallel
        = store.read(kDownloadSection, QStringLiteral("Parallel Requests"), QString()).trimmed().toInt(&ok);
    s.parallelRequests = ok && parallel >= 1 && parallel <= kMaxParallelRequests ? parallel : 0;
    const QString update = store.read(kDownloadSection, QStringLiteral("Update Existing Files"), QString());
    s.updateExistingFiles = leadingNumber(update) == 1;
    for (const QString& name : store.read(kDownloadSection, QStringLiteral("Fallback Sources"), QString()).split(QLatin1Char(','))) {
        if (!name.trimmed().isEmpty() && !s.fallbackSources.contains(name.trimmed()))
            s.fallbackSources << name.trimmed();
    }

    if (s.dataFormat.isEmpty())
        s.dataFormat = QStringLiteral("5");
    // Options has always shown an empty value as the default extension; the
    // files a run writes get the extension Options shows.
    if (s.fileExtension.isEmpty())
        s.fileExtension = kDefaultFileExtension;
    // Nothing chosen yet: the Yahoo chart service, which needs no key. The
    // old Yahoo history service no longer answers, so a first run on it
    // could only fail.
    if (s.dataSource.isEmpty())
        s.dataSource = kFirstRunDataSource;
}

void saveSettings(SettingsStore& store, const Settings& s, const WindowValues& w)
{
    const QString& sec = kSettingsSection;
    auto put = [&](const char* name, const QString& value) { store.save(sec, QLatin1String(name), value); };
    put("MainLeft", QString::number(w.mainLeft, 'g', 7));
    put("MainTop", QString::number(w.mainTop, 'g', 7));
    put("MainWidth", QString::number(w.mainWidth, 'g', 7));
    put("MainHeight", QString::number(w.mainHeight, 'g', 7));
    put("DownloadDir", w.downloadDir);
    put("StartMonth", w.startMonth);
    put("StartDay", w.startDay);
    put("StartYear", w.startYear);
    put("Database Name", s.databaseName);
    put("Data Source", s.dataSource);
    put("Data Format", s.dataFormat);
    put("Active Alerts", QString::number(s.activeAlerts.stored()));
    put("Delete Existing Files", QString::number(s.deleteExistingFiles.stored()));
    put("Date Stamp", QString::number(s.dateStamp.stored()));
    put("File Extension", s.fileExtension);
    put("Auto Start App", QString::number(s.autoStartApp.stored()));
    put("Convert to MS", numberText(s.convertToMS.stored()));
    put("Play Sound", numberText(s.playSound.stored()));
    put("App Name", s.appName);
    put("ADT", s.adt);
    // The source's default is no value at all, so that it follows the source.
    const QString parallel = QStringLiteral("Parallel Requests");
    if (s.parallelRequests >= 1 && s.parallelRequests <= kMaxParallelRequests)
        store.save(kDownloadSection, parallel, QString::number(s.parallelRequests));
    else
        store.remove(kDownloadSection, parallel);
    store.save(kDownloadSection, QStringLiteral("Update Existing Files"),
               s.updateExistingFiles ? QStringLiteral("1") : QStringLiteral("0"));
    store.save(kDownloadSection, QStringLiteral("Fallback Sources"), s.fallbackSources.join(QLatin1Char(',')));
    store.sync();
}

int effectiveParallelRequests(int stored, int sourceDefault)
{
    if (stored >= 1 && stored <= kMaxParallelRequests)
        return stored;
    return sourceDefault;
}

QString resolveDatabasePath(Settings& s, const QString& applicationFolder)
{
    if (!s.databaseName.isEmpty() && s.databaseName != kDefaultDatabaseName)
        return s.databaseName;
    s.databaseName = kDefaultDatabaseName;
    return applicationFolder + QLatin1Char('/') + kDefaultDatabaseName;
}

ServiceConfig ServiceConfig::load(const SettingsStore& store)
{
    ServiceConfig c;
    const QString& sec = kServicesSection;
    c.yahooHistoryHost = store.read(sec, QStringLiteral("Yahoo History Host"), c.yahooHistoryHost);
    c.wscQueryHost = store.read(sec, QStringLiteral("WSC Query Host"), c.wscQueryHost);
    c.wscFileHost = store.read(sec, QStringLiteral("WSC File Host"), c.wscFileHost);
    c.chartHost = store.read(sec, QStringLiteral("Chart Host"), c.chartHost);
    c.yahooChartHost = store.read(sec, QStringLiteral("Yahoo Chart Host"), c.yahooChartHost);
    c.tiingoHost = store.read(sec, QStringLiteral("Tiingo Host"), c.tiingoHost);
    bool ok = false;
    const int t
        = store.read(sec, QStringLiteral("Fetch Timeout"), QString::number(c.fetchTimeoutSeconds)).trimmed().toInt(&ok);
    if (ok && t > 0)
        c.fetchTimeoutSeconds = t;
    const QString hostPrefix = QStringLiteral("Source Host ");
    for (const QString& name : store.names(sec)) {
        if (name.startsWith(hostPrefix))
            c.sourceHosts.insert(name.mid(hostPrefix.size()), store.read(sec, name, QString()).trimmed());
    }
    return c;
}

} // namespace kestrion
