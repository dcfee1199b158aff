#include "download/download_request.h"

#include "sources/source_registry.h"

#include <algorithm>

namespace kestrion {

QStringList fallbackChain(const Settings& settings)
{
    const QuoteSourceEntry& chosen = quoteSourceEntry(settings);
    QStringList chain;
    if (!chosen.fallbacks)
        return chain;
    for (const QString& name : settings.fallbackSources) {
        const auto& entries = quoteSourceEntries();
        const auto known = std::find_if(entries.cbegin(), entries.cend(),
                                        [&name](const QuoteSourceEntry& e) { return e.storedText == name; });
        if (known != entries.cend() && known->fallbacks && known->storedText != chosen.storedText
            && !chain.contains(known->storedText))
            chain << known->storedText;
    }
    return chain;
}

void pickTickers(DownloadRequest& request, bool listOpen, const QStringList& listSymbols, bool singleTicker,
                 int currentRow)
{
    const QStringList list = listSymbols; // may be request.symbols itself
    request.singleTicker = singleTicker;
    request.symbols.clear();
    if (!listOpen)
        request.nothing = NothingToFetch::NoList;
    else if (list.isEmpty())
        request.nothing = NothingToFetch::EmptyList;
    else if (singleTicker && (currentRow < 0 || currentRow >= list.size()))
        request.nothing = NothingToFetch::NoTicker;
    else {
        request.nothing = NothingToFetch::None;
        request.symbols = singleTicker ? QStringList{list.at(currentRow)} : list;
    }
}

} // namespace kestrion
