#pragma once

#include "sources/quote_source.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace kestrion {

struct QuoteSourceEntry
{
    QString storedText; // "Data Source" value
    QString cliName; // kestrion-cli --source
    bool needsApiKey = false;
    std::function<std::unique_ptr<QuoteSource>(const SourceSetup&)> make;
};
const std::vector<QuoteSourceEntry>& quoteSourceEntries();
// The entry for a "Data Source" text; any unknown text is Wall Street City.
const QuoteSourceEntry& quoteSourceEntry(const QString& storedText);
std::unique_ptr<QuoteSource> makeQuoteSource(const SourceSetup& setup);

} // namespace kestrion
