#include "sources/source_registry.h"

#include "sources/tiingo_source.h"
#include "sources/wall_street_city_source.h"
#include "sources/yahoo_chart_source.h"
#include "sources/yahoo_table_source.h"

namespace kestrion {

FailureReason QuoteSource::judgeStoredBody(const QByteArray& start) const
{
    if (start.isEmpty() || start.startsWith("No"))
        return FailureReason::NoData;
    return FailureReason::BadData; // an HTML page or anything else
}

ConvertingSource::ConvertingSource(const SourceSetup& setup)
    : m_setup(setup)
    , m_runRange(setup.range)
{
}

const std::vector<QuoteSourceEntry>& quoteSourceEntries()
{
    static const std::vector<QuoteSourceEntry> entries{
        {kSourceYahooChart, QStringLiteral("yahoo-chart"), false, makeYahooChartSource},
        {kSourceTiingo, QStringLiteral("tiingo"), true, makeTiingoSource},
        {kSourceYahoo, QStringLiteral("yahoo"), false, makeYahooTableSource},
        {kSourceWallStreetCity, QStringLiteral("wsc"), false, makeWallStreetCitySource},
    };
    return entries;
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

std::unique_ptr<QuoteSource> makeQuoteSource(const SourceSetup& setup)
{
    return quoteSourceEntry(setup.settings.dataSource).make(setup);
}

} // namespace kestrion
