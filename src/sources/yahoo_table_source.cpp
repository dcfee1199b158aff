#include "sources/yahoo_table_source.h"
#include "sources/source_registry.h"

#include "sources/service_address.h"

namespace kestrion {

namespace {

// The selector values of a run asking for other days: the range's dates as
// the selectors would show them (month name, two-digit day, four-digit year).
RunRequestValues valuesFor(const RunRequestValues& run, const DateRange& range)
{
    RequestInputs in = run.inputs;
    const auto month = [](QDate d) { return monthNames().value(d.month() - 1); };
    const auto day = [](QDate d) { return QStringLiteral("%1").arg(d.day(), 2, 10, QLatin1Char('0')); };
    in.startMonth = month(range.from);
    in.startDay = day(range.from);
    in.startYear = QString::number(range.from.year());
    in.endMonth = month(range.to);
    in.endDay = day(range.to);
    in.endYear = QString::number(range.to.year());
    return RunRequestValues::from(in);
}

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
        return {yahooUrl(m_s.services.yahooHistoryHost, valuesFor(m_s.values, range), symbol), {}};
    }
    bool storesBodyAsSent() const override { return true; }
    bool writesPriceTable() const override { return true; }
    bool trustsDefiniteAnswers() const override { return false; }

private:
    SourceSetup m_s;
};

} // namespace

QString yahooUrl(const QString& host, const RunRequestValues& v, const QString& symbol)
{
    const RequestInputs& in = v.inputs;
    return serviceBase(host) + QStringLiteral("/table.csv?a=") + QString::number(v.start.zeroBased)
        + QStringLiteral("&b=") + in.startDay + QStringLiteral("&c=") + in.startYear + QStringLiteral("&d=")
        + QString::number(v.end.zeroBased) + QStringLiteral("&e=") + in.endDay + QStringLiteral("&f=") + in.endYear
        + QStringLiteral("&s=") + encodeSymbol(symbol) + QStringLiteral("&y=0&g=") + v.period.yahooLetter
        + QStringLiteral("&ignore=.csv");
}


std::unique_ptr<QuoteSource> makeYahooTableSource(const SourceSetup& setup)
{
    return std::make_unique<YahooTableSource>(setup);
}

} // namespace kestrion
