#include "sources/source_registry.h"

#include "platform/api_key_store.h"
#include "sources/described_source.h"
#include "sources/tiingo_source.h"
#include "sources/wall_street_city_source.h"
#include "sources/yahoo_chart_source.h"
#include "sources/yahoo_table_source.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <algorithm>

namespace kestrion {

FailureReason QuoteSource::judgeStoredBody(const QByteArray& start) const
{
    if (start.isEmpty() || start.startsWith("No"))
        return FailureReason::NoData;
    return FailureReason::BadData; // an HTML page or anything else
}

ConvertingSource::ConvertingSource(const SourceSetup& setup)
    : m_setup(setup)
{
}

namespace {

std::vector<QuoteSourceEntry> builtInEntries()
{
    QuoteSourceEntry chart;
    chart.storedText = kSourceYahooChart;
    chart.cliName = QStringLiteral("yahoo-chart");
    chart.buttonName = QStringLiteral("optYahooChart");
    chart.picture = QStringLiteral("yahoofinance.bmp");
    chart.tableLayout = true;
    chart.fallbacks = true;
    chart.make = makeYahooChartSource;

    QuoteSourceEntry tiingo;
    tiingo.storedText = kSourceTiingo;
    tiingo.cliName = QStringLiteral("tiingo");
    tiingo.buttonName = QStringLiteral("optTiingo");
    tiingo.picture = QStringLiteral("tiingo.bmp");
    tiingo.needsApiKey = tiingo.takesApiKey = true;
    tiingo.keyPlace = KeyPlace::tiingo();
    // The free quota is counted per hour.
    tiingo.defaultParallelRequests = 1;
    tiingo.tableLayout = true;
    tiingo.fallbacks = true;
    tiingo.make = makeTiingoSource;

    QuoteSourceEntry yahoo;
    yahoo.storedText = kSourceYahoo;
    yahoo.cliName = QStringLiteral("yahoo");
    yahoo.buttonName = QStringLiteral("optYahoo");
    yahoo.picture = QStringLiteral("yahoofinance.bmp");
    yahoo.tableLayout = true;
    yahoo.componentDownload = true;
    yahoo.make = makeYahooTableSource;

    QuoteSourceEntry wsc;
    wsc.storedText = kSourceWallStreetCity;
    wsc.cliName = QStringLiteral("wsc");
    wsc.buttonName = QStringLiteral("optWallSt");
    wsc.picture = QStringLiteral("wallstreetcity.bmp");
    wsc.formatsApply = true;
    wsc.make = makeWallStreetCitySource;
    return {chart, tiingo, yahoo, wsc};
}

QuoteSourceEntry describedEntry(const SourceDescription& d)
{
    QuoteSourceEntry e;
    e.storedText = d.name;
    e.cliName = d.cliName;
    e.needsApiKey = d.key == DescribedKey::Required;
    e.takesApiKey = d.key != DescribedKey::None;
    e.keyPlace = {d.name + QStringLiteral(" API Key"), describedKeyVariable(d.name)};
    e.keyHelp = d.keyHelp;
    e.origin = d.folderIndex == 0 ? QuoteSourceEntry::Origin::ShippedFile : QuoteSourceEntry::Origin::UserFile;
    e.descriptionFile = d.filePath;
    e.requestsPerMinute = d.requestsPerMinute;
    e.defaultParallelRequests = d.parallel;
    e.periods.clear();
    for (HistoryPeriod p : describedPeriods(d))
        e.periods.push_back(p);
    e.tableLayout = true;
    e.fallbacks = true;
    e.make = [d](const SourceSetup& setup) {
        return makeDescribedSource(setup, d, setup.services.sourceHosts.value(d.name));
    };
    return e;
}

struct Registry
{
    std::vector<QuoteSourceEntry> entries = builtInEntries();
    QStringList problems;
};

Registry& registry()
{
    static Registry r;
    return r;
}

} // namespace

const std::vector<QuoteSourceEntry>& quoteSourceEntries()
{
    return registry().entries;
}

QStringList sourceDescriptionFolders()
{
    // Installed as prefix/bin and prefix/share, and laid out the same way in
    // a build.
    const QString shipped = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kestrion/sources");
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return {QDir::cleanPath(shipped), config + QStringLiteral("/Kestrion/sources")};
}

QStringList loadDescribedSources(const QStringList& folders)
{
    Registry& r = registry();
    r.entries = builtInEntries();
    const DescriptionSet set = loadSourceDescriptions(folders);
    r.problems = set.problems;
    for (const SourceDescription& d : set.usable)
        r.entries.push_back(describedEntry(d));
    // Wall Street City last: quoteSourceEntry() falls back to it.
    const auto wsc = std::find_if(r.entries.begin(), r.entries.end(),
                                  [](const QuoteSourceEntry& e) { return e.storedText == kSourceWallStreetCity; });
    std::rotate(wsc, wsc + 1, r.entries.end());
    return r.problems;
}

const QStringList& describedSourceProblems()
{
    return registry().problems;
}

bool QuoteSourceEntry::serves(HistoryPeriod period) const
{
    return std::find(periods.begin(), periods.end(), period) != periods.end();
}

const QuoteSourceEntry& quoteSourceEntry(const QString& storedText)
{
    const auto& all = quoteSourceEntries();
    for (const QuoteSourceEntry& e : all) {
        if (e.storedText == storedText)
            return e;
    }
    return all.back(); // every other text has always meant Wall Street City
}

const QuoteSourceEntry& quoteSourceEntry(const Settings& settings)
{
    return quoteSourceEntry(settings.dataSource);
}

const QuoteSourceEntry* quoteSourceEntryForButton(const QString& buttonName)
{
    for (const QuoteSourceEntry& e : quoteSourceEntries()) {
        if (!buttonName.isEmpty() && e.buttonName == buttonName)
            return &e;
    }
    return nullptr;
}

int effectiveParallelRequests(const Settings& settings)
{
    return effectiveParallelRequests(settings.parallelRequests, quoteSourceEntry(settings).defaultParallelRequests);
}

bool writerCondition(const Settings& settings)
{
    // Only the exact name: an unknown text downloads from Wall Street City
    // but has never been converted.
    return settings.dataSource == quoteSourceEntry(settings).storedText && quoteSourceEntry(settings).formatsApply
        && settings.asciiFormat() && settings.convertToMS.on();
}

bool tableWriterCondition(const Settings& settings)
{
    const QuoteSourceEntry& e = quoteSourceEntry(settings);
    // The component stores the old Yahoo service's tickers itself.
    return settings.convertToMS.on() && e.tableLayout && !e.componentDownload;
}

bool componentPath(const Settings& settings)
{
    return quoteSourceEntry(settings).componentDownload && settings.convertToMS.on();
}

std::unique_ptr<QuoteSource> makeQuoteSource(const SourceSetup& setup)
{
    return quoteSourceEntry(setup.settings.dataSource).make(setup);
}

} // namespace kestrion
