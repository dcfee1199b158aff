#pragma once

#include "platform/api_key_store.h"
#include "sources/quote_source.h"
#include "sources/source_description.h"
#include "sources/source_names.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace kestrion {

// Everything the program knows about one quote service. A new service is one
// entry in quoteSourceEntries() plus its own file; every other part of the
// program asks here.
struct QuoteSourceEntry
{
    QString storedText; // "Data Source" value
    QString cliName; // kestrion-cli --source
    QString buttonName; // object name of its "From:" button in Options
    QString picture; // file in the application folder the status bar shows
    bool needsApiKey = false; // a run without its key does not start
    bool takesApiKey = false; // a key is needed or may be given
    KeyPlace keyPlace; // where its key is kept, and the variable that overrides it
    QString keyHelp; // where to get a key, one line
    // Where it is described: in code, in a file shipped with Kestrion, or in
    // one of the user's.
    enum class Origin { BuiltIn, ShippedFile, UserFile };
    Origin origin = Origin::BuiltIn;
    QString descriptionFile;
    int requestsPerMinute = 0; // 0: no pacing
    // Requests a run keeps under way when "Parallel Requests" holds none.
    int defaultParallelRequests = 4;
    std::vector<HistoryPeriod> periods{HistoryPeriod::Daily, HistoryPeriod::Weekly, HistoryPeriod::Monthly};
    // The data file is the table layout, so it can be brought up to date and
    // converted to MetaStock through the table writer.
    bool tableLayout = false;
    // Takes part in fallback chains: the current services, whose answers are
    // converted into the table layout. The old Yahoo service writes its body
    // as sent and Wall Street City its own files.
    bool fallbacks = false;
    // Wall Street City's "Format:" layouts, and the MetaStock conversion of
    // its ASCII files, apply.
    bool formatsApply = false;
    // The old Yahoo service: with "Convert to MS" the MetaStock downloader
    // component fetches and stores each ticker itself.
    bool componentDownload = false;
    std::function<std::unique_ptr<QuoteSource>(const SourceSetup&)> make;

    bool serves(HistoryPeriod period) const;
};
// The built-in sources, then the described ones loaded last.
const std::vector<QuoteSourceEntry>& quoteSourceEntries();

// The folders descriptions are read from, in order: the shipped one
// (share/kestrion/sources beside the programs' folder) and the user's
// ($XDG_CONFIG_HOME/Kestrion/sources).
QStringList sourceDescriptionFolders();
// Reads the descriptions in the folders and makes them the described
// sources of the registry; a description named like a built-in source is
// left out. The program calls it once at start, before anything asks the
// registry; returns what could not be used, "file: key: fault" each.
QStringList loadDescribedSources(const QStringList& folders = sourceDescriptionFolders());
// The faults of the last load.
const QStringList& describedSourceProblems();
// The entry for a "Data Source" text; any unknown text is Wall Street City.
const QuoteSourceEntry& quoteSourceEntry(const QString& storedText);
// The same for the record's "Data Source".
const QuoteSourceEntry& quoteSourceEntry(const Settings& settings);
// The entry whose Options button has this object name; null for none.
const QuoteSourceEntry* quoteSourceEntryForButton(const QString& buttonName);
std::unique_ptr<QuoteSource> makeQuoteSource(const SourceSetup& setup);


// How many requests a run on the record's source keeps under way.
int effectiveParallelRequests(const Settings& settings);
// MetaStock conversion of downloaded Wall Street City ASCII files.
bool writerCondition(const Settings& settings);
// Files in the table layout go into the MetaStock folder through the same
// writer.
bool tableWriterCondition(const Settings& settings);
// The downloader component fetches and stores the ticker itself.
bool componentPath(const Settings& settings);

} // namespace kestrion
