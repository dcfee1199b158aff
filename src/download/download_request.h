#pragma once

#include "core/settings_record.h"
#include "formats/price_table.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace kestrion {

// Why a run has no ticker to fetch, said to the user instead of a run that
// ends as if all went well.
enum class NothingToFetch { None, NoList, EmptyList, NoTicker };

// A source asked for a ticker the chosen one could not give, with its key
// (empty when it takes none or has none).
struct FallbackSource
{
    QString storedText;
    QString apiKey;
};

// Everything a download run needs, built by whoever starts it (the window,
// the command line) from what it shows or was told.
struct DownloadRequest
{
    QStringList symbols; // the tickers to fetch, in list order
    NothingToFetch nothing = NothingToFetch::None;
    bool singleTicker = false; // one ticker of the list: no error log, no "No Data!" prompt
    DateRange range;
    HistoryPeriod period = HistoryPeriod::Daily;
    Settings settings;
    ServiceConfig services;
    QString downloadDir;
    QString apiKey; // the chosen source's key, where it needs one
    // Asked in this order for a ticker the chosen source failed; see
    // fallbackChain().
    std::vector<FallbackSource> fallbacks;
    bool automatic = false; // started by the daily timer: may start the charting program
    // The span a service's requests-per-minute counts over; shorter only in tests.
    qint64 paceWindowMs = 60'000;
};

// The tickers of a run over the open list (listSymbols, in stored order), or
// over its row currentRow when singleTicker; sets symbols, singleTicker and
// why nothing is fetched when the list is closed, empty or has no such row.
// The fallback sources a run on settings may ask, in order: those of
// settings.fallbackSources the registry knows and that write the table
// layout, each once, never the chosen source. None when the chosen source
// writes another kind of file (the old Yahoo service, Wall Street City).
QStringList fallbackChain(const Settings& settings);

void pickTickers(DownloadRequest& request, bool listOpen, const QStringList& listSymbols, bool singleTicker,
                 int currentRow);

} // namespace kestrion
