#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <QtGlobal>

#include <concepts>

namespace kestrion {

class SettingsStore;

// A flag as the settings file holds it, a number, next to the one way the
// program reads it, decoded once when loaded. A loaded number is written back
// unchanged until the program sets the flag; a flag set is written as OnValue
// or 0.
template <typename Number, int OnValue>
class StoredFlag
{
public:
    constexpr StoredFlag() = default;
    // Only a bool sets it; a number is a stored value, taken by loaded().
    template <typename B>
        requires std::same_as<B, bool>
    constexpr StoredFlag(B on)
        : m_stored(on ? Number(OnValue) : Number(0))
        , m_on(on)
    {
    }
    static constexpr StoredFlag loaded(Number stored)
    {
        StoredFlag f;
        f.m_stored = stored;
        f.m_on = stored == Number(OnValue);
        return f;
    }
    constexpr bool on() const { return m_on; }
    constexpr explicit operator bool() const { return m_on; }
    constexpr Number stored() const { return m_stored; }
    constexpr bool operator==(const StoredFlag&) const = default;
    // Compared with a number: the number as stored, not the reading.
    friend constexpr bool operator==(const StoredFlag& flag, Number stored) { return flag.m_stored == stored; }

private:
    Number m_stored = 0;
    bool m_on = false;
};

// "Active Alerts" is on only at -1, the value Options writes; the other flags
// only at exactly 1.
using AlertFlag = StoredFlag<qint16, -1>;
using Flag = StoredFlag<qint16, 1>;
// "Convert to MS" and "Play Sound" are stored as any number, on at 1.
using NumberFlag = StoredFlag<double, 1>;

// The program-wide record of persisted settings that do not live in a control
// of the main window. Each field's stored value name is in the comment beside
// it; the C++ field names are free.
struct Settings
{
    QString databaseName = QStringLiteral("dbase.mdb"); // "Database Name"
    QString dataSource; // "Data Source"; what it names the source registry knows
    QString dataFormat; // "Data Format": the Wall Street City layout code
    QString fileExtension; // "File Extension"
    QString appName; // "App Name"
    QString adt; // "ADT"
    AlertFlag activeAlerts; // "Active Alerts": ask before going on after a failed ticker
    Flag deleteExistingFiles; // "Delete Existing Files"
    Flag dateStamp; // "Date Stamp"
    Flag autoStartApp; // "Auto Start App"
    NumberFlag convertToMS; // "Convert to MS"
    NumberFlag playSound; // "Play Sound"

    // Section "Download", kept apart from the values above.
    int parallelRequests = 0; // "Parallel Requests": 1 to 8; 0 is the source's own default
    bool updateExistingFiles = false; // "Update Existing Files"
    // "Fallback Sources": stored source texts in the order they are asked
    // when the chosen one fails a ticker; comma-separated when stored.
    QStringList fallbackSources;

    // "Update Existing Files" in force: "Delete Existing Files" wins should a
    // settings file ask for both.
    bool updatesExistingFiles() const { return updateExistingFiles && !deleteExistingFiles.on(); }
    // The Wall Street City ASCII layout, the one its MetaStock conversion reads.
    bool asciiFormat() const { return dataFormat == QLatin1String("1"); }

    bool operator==(const Settings&) const = default;
};

// The stored values that live in the main window while it runs: its geometry
// (in twips), the download directory box and the three start-date boxes.
struct WindowValues
{
    float mainLeft = 1000;
    float mainTop = 1000;
    float mainWidth = 6500;
    float mainHeight = 6500;
    QString downloadDir;
    QString startMonth;
    QString startDay;
    QString startYear;
};

// Host names (optionally with ":port") of the quote and chart services and
// the fetch time-out; section "Services" of the store, read only.
struct ServiceConfig
{
    QString yahooHistoryHost = QStringLiteral("ichart.finance.yahoo.com");
    QString wscQueryHost = QStringLiteral("www.wallstreetcity.com");
    QString wscFileHost = QStringLiteral("www.wallstreetcity.com");
    QString chartHost = QStringLiteral("bigcharts.marketwatch.com");
    // The current sources speak https; a value may still name its scheme
    // ("http://127.0.0.1:8080").
    QString yahooChartHost = QStringLiteral("https://query1.finance.yahoo.com");
    QString tiingoHost = QStringLiteral("https://api.tiingo.com");
    int fetchTimeoutSeconds = 60;
    // "Source Host NAME": scheme, host and port that replace a described
    // service's own, by its name.
    QMap<QString, QString> sourceHosts;

    static ServiceConfig load(const SettingsStore& store);
};

inline const QString kSettingsSection = QStringLiteral("Settings");
inline const QString kServicesSection = QStringLiteral("Services");
inline const QString kDownloadSection = QStringLiteral("Download");
inline const QString kDefaultDatabaseName = QStringLiteral("dbase.mdb");
// The data file extension when none is stored: what Options shows and what a
// run uses are this one value.
inline const QString kDefaultFileExtension = QStringLiteral(".csv");
// The "Data Source" a first run gets: the Yahoo chart service, which needs
// no key. The source registry names the same text.
inline const QString kFirstRunDataSource = QStringLiteral("Yahoo Chart");

// The number at the start of a text, the way the stored flags have always been
// read: leading blanks skipped, optional sign, digits, fraction and exponent;
// "&H"/"&O" prefixes read hex and octal. No leading number gives 0.
double leadingNumber(const QString& text);
// Rounds half to even into a signed 16-bit value; out of range gives 0.
qint16 toInt16(double value);
// Text form of a stored number: "1", "-1", "1234.5".
QString numberText(double value);

// The most requests a run may have under way at once.
inline constexpr int kMaxParallelRequests = 8;
// How many requests a run keeps under way: the stored "Parallel Requests"
// when it is 1 to 8, otherwise the source's default (the registry knows it).
int effectiveParallelRequests(int stored, int sourceDefault);

// Reads every stored value in load order into the record and the window
// values. "Database Name" keeps its stored text; the caller resolves it.
void loadSettings(const SettingsStore& store, Settings& settings, WindowValues& window);
// Writes every value in save order.
void saveSettings(SettingsStore& store, const Settings& settings, const WindowValues& window);

// The list file that "Database Name" stands for: the application folder's
// "dbase.mdb" for an empty text or exactly "dbase.mdb" (the record is then set
// to "dbase.mdb"), otherwise the text unchanged.
QString resolveDatabasePath(Settings& settings, const QString& applicationFolder);

} // namespace kestrion
