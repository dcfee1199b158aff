#include "sources/yahoo_table_source.h"
#include "sources/source_registry.h"

#include "sources/service_address.h"

namespace kestrion {

namespace {

// The Yahoo table service of old: one request, the body kept as sent.
class YahooTableSource : public QuoteSource
{
public:
    explicit YahooTableSource(const SourceSetup& s)
        : m_s(s)
    {
    }
    QString name() const override { return kSourceYahoo; }
    HttpGet dataRequest(const QString& symbol, const QByteArray&, const DateRange& range) const override
    {
        return {yahooUrl(m_s.services.yahooHistoryHost, range, m_s.period, symbol), {}};
    }
    bool storesBodyAsSent() const override { return true; }
    bool writesPriceTable() const override { return true; }
    bool trustsDefiniteAnswers() const override { return false; }

private:
    SourceSetup m_s;
};

} // namespace

QString yahooUrl(const QString& host, const DateRange& range, HistoryPeriod period, const QString& symbol)
{
    const DayTexts start = DayTexts::of(range.from);
    const DayTexts end = DayTexts::of(range.to);
    return serviceBase(host) + QStringLiteral("/table.csv?a=") + QString::number(range.from.month() - 1)
        + QStringLiteral("&b=") + start.day + QStringLiteral("&c=") + start.year + QStringLiteral("&d=")
        + QString::number(range.to.month() - 1) + QStringLiteral("&e=") + end.day + QStringLiteral("&f=") + end.year
        + QStringLiteral("&s=") + encodeSymbol(symbol) + QStringLiteral("&y=0&g=") + periodValues(period).yahooLetter
        + QStringLiteral("&ignore=.csv");
}


std::unique_ptr<QuoteSource> makeYahooTableSource(const SourceSetup& setup)
{
    return std::make_unique<YahooTableSource>(setup);
}

} // namespace kestrion
