#pragma once

#include <QString>

#include <QtGlobal>

namespace kestrion {

class SettingsStore;

// The program-wide record of persisted settings that do not live in a control
// of the main window. Field names follow the stored value names.
struct Settings
{
    QString databaseName = QStringLiteral("dbase.mdb"); // "Database Name"
    QString dataSource; // "Data Source"
    QString dataFormat; // "Data Format"
    QString fileExtension; // "File Extension"
    QString appName; // "App Name"
    QString adt; // "ADT"
    qint16 activeAlerts = 0; // "Active Alerts"
    qint16 deleteExistingFiles = 0; // "Delete Existing Files"
    qint16 dateStamp = 0; // "Date Stamp"
    qint16 autoStartApp = 0; // "Auto Start App"
    double convertToMS = 0; // "Convert to MS"
    double playSound = 0; // "Play Sound"

    // Section "Download", kept apart from the values above.
    int parallelRequests = 0; // "Parallel Requests": 1 to 8; 0 is the source's own default
    bool updateExistingFiles = false; // "Update Existing Files"

    // The quote service "Data Source" names; any text not listed here counts
    // as Wall Street City, as it always has.
    enum class Source { Yahoo, WallStreetCity, YahooChart, Tiingo };
    Source source() const
    {
        if (dataSource == QLatin1String("Yahoo"))
            return Source::Yahoo;
        if (dataSource == QLatin1String("Yahoo Chart"))
            return Source::YahooChart;
        if (dataSource == QLatin1String("Tiingo"))
            return Source::Tiingo;
        return Source::WallStreetCity;
    }
    bool isYahoo() const { return dataSource == QLatin1String("Yahoo"); }
    bool convertsToMetaStock() const { return convertToMS == 1; }
    bool playsSound() const { return playSound == 1; }
    // "Update Existing Files" in force: "Delete Existing Files" wins should a
    // settings file ask for both.
    bool updatesExistingFiles() const { return updateExistingFiles && deleteExistingFiles != 1; }
    // MetaStock conversion of downloaded Wall Street City ASCII files.
    bool writerCondition() const
    {
        return dataSource == QLatin1String("Wall Street City") && dataFormat == QLatin1String("1") && convertToMS == 1;
    }
    // Files of the current sources, in the table layout, go into the
    // MetaStock folder through the same writer.
    bool tableWriterCondition() const
    {
        return convertToMS == 1 && (source() == Source::YahooChart || source() == Source::Tiingo);
    }
    // The downloader component fetches and stores the ticker itself.
    bool componentPath() const { return isYahoo() && convertToMS == 1; }
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

    static ServiceConfig load(const SettingsStore& store);
};

inline const QString kSettingsSection = QStringLiteral("Settings");
inline const QString kServicesSection = QStringLiteral("Services");
inline const QString kDownloadSection = QStringLiteral("Download");
inline const QString kDefaultDatabaseName = QStringLiteral("dbase.mdb");
// The data file extension when none is stored: what Options shows and what a
// run uses are this one value.
inline const QString kDefaultFileExtension = QStringLiteral(".csv");
inline const QString kSourceYahoo = QStringLiteral("Yahoo");
inline const QString kSourceWallStreetCity = QStringLiteral("Wall Street City");
inline const QString kSourceYahooChart = QStringLiteral("Yahoo Chart");
inline const QString kSourceTiingo = QStringLiteral("Tiingo");

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
// when it is 1 to 8, otherwise the source's default: 1 for Tiingo, whose free
// quota is counted per hour, 4 for the others.
int effectiveParallelRequests(int stored, Settings::Source source);
int effectiveParallelRequests(const Settings& settings);

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
