#include "tools/chart_symbol.h"

#include <QUrl>

namespace kestrion {

namespace {

struct AffixTest
{
    const char* affix;
    bool atEnd;
};

// Checked in this order, each against what the earlier ones left.
constexpr AffixTest kAffixTests[] = {
    {".to", true}, {"t.", false}, {".al", true}, {"al.", false},
    {".m", true},  {"m.", false}, {".v", true},  {"v.", false},
};

} // namespace

ChartSymbol chartSymbolFor(const QString& ticker)
{
    ChartSymbol result;
    result.symbol = ticker.toLower();
    for (const AffixTest& test : kAffixTests) {
        const QString affix = QString::fromLatin1(test.affix);
        const bool matches = test.atEnd ? result.symbol.endsWith(affix, Qt::CaseSensitive)
                                        : result.symbol.startsWith(affix, Qt::CaseSensitive);
        if (!matches)
            continue;
        result.exchangeAffix = affix;
        if (test.atEnd)
            result.symbol.chop(affix.size());
        else
            result.symbol.remove(0, affix.size());
    }
    result.country = result.exchangeAffix.isEmpty() ? QStringLiteral("us") : QStringLiteral("ca");
    return result;
}

const std::array<ChartPeriodInfo, 8>& chartPeriods()
{
    static const std::array<ChartPeriodInfo, 8> periods = {{
        {ChartPeriod::OneDay, "opt1Day", "1 Day", "&time=1&freq=6&country="},
        {ChartPeriod::FiveDay, "opt5Day", "5 Day", "&time=3&freq=7&country="},
        {ChartPeriod::OneMonth, "opt1Mo", "1 Mo.", "&time=4&freq=1&country="},
        {ChartPeriod::ThreeMonth, "opt3Mo", "3 Mo.", "&time=6&freq=1&country="},
        {ChartPeriod::SixMonth, "opt6Mo", "6 Mo.", "&time=7&freq=1&country="},
        {ChartPeriod::OneYear, "opt1Yr", "1 Yr.", "&time=8&freq=1&country="},
        {ChartPeriod::TwoYear, "opt2Yr", "2 Yr.", "&time=9&freq=1&country="},
        {ChartPeriod::FiveYear, "opt5Yr", "5 Yr.", "&time=12&freq=1&country="},
    }};
    return periods;
}

const ChartPeriodInfo& chartPeriodInfo(ChartPeriod period)
{
    return chartPeriods()[static_cast<std::size_t>(period)];
}

static QString queryValue(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QString chartAddress(const QString& chartHost, const QString& symbol, ChartPeriod period, const QString& country)
{
    return QStringLiteral("http://") + chartHost + QStringLiteral("/intchart/frames/main.asp?symb=")
        + queryValue(symbol) + QString::fromLatin1(chartPeriodInfo(period).query) + queryValue(country);
}

QString chartHomeAddress(const QString& chartHost)
{
    return QStringLiteral("http://") + chartHost + QLatin1Char('/');
}

QString chartSearchAddress(const QString& chartHost)
{
    return QStringLiteral("http://") + chartHost + QStringLiteral("/search");
}

void AddressHistory::add(const QString& address)
{
    m_entries.append(address);
}

void AddressHistory::visited(const QString& address)
{
    const qsizetype found = m_entries.indexOf(address);
    if (found >= 0)
        m_entries.removeAt(found);
    m_entries.prepend(address);
}

} // namespace kestrion
