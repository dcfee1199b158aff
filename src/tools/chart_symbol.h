#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace kestrion {

// What the chart browser asks the chart service for: the ticker without its
// Canadian exchange affixes, and the country the chart host needs to find it.
struct ChartSymbol
{
    QString symbol; // lower case, affixes removed
    QString exchangeAffix; // the affix recognised last, or empty
    QString country; // "ca" when any affix was recognised, else "us"
};

// Lower-cases the ticker and strips the Toronto (".to", "t."), Alberta
// (".al", "al."), Montreal (".m", "m.") and Vancouver (".v", "v.") affixes,
// each test in that fixed order and each at most once. The order matters:
// "m.v" loses "m." and keeps "v".
ChartSymbol chartSymbolFor(const QString& ticker);

// The eight chart periods of the browser's option buttons, left to right.
enum class ChartPeriod { OneDay, FiveDay, OneMonth, ThreeMonth, SixMonth, OneYear, TwoYear, FiveYear };

struct ChartPeriodInfo
{
    ChartPeriod period;
    const char* objectName; // the option button's name
    const char* caption;
    const char* query; // appended after the symbol, followed by the country
};

const std::array<ChartPeriodInfo, 8>& chartPeriods();
const ChartPeriodInfo& chartPeriodInfo(ChartPeriod period);

// The period the browser opens with.
inline constexpr ChartPeriod kDefaultChartPeriod = ChartPeriod::OneYear;

// "http://" + host + "/intchart/frames/main.asp?symb=" + symbol + query +
// country. Letters, digits and ".-_~" go in as they are (every real ticker);
// anything else is percent-encoded so that a stray "&", "#" or blank cannot
// cut the query short and fetch the chart of another symbol or period.
QString chartAddress(const QString& chartHost, const QString& symbol, ChartPeriod period, const QString& country);
// The pages the browser's Home and Search buttons go to.
QString chartHomeAddress(const QString& chartHost);
QString chartSearchAddress(const QString& chartHost);

// The address box's list: every visited address once, most recent first.
class AddressHistory
{
public:
    // Appends an entry (the starting address, before anything was visited).
    void add(const QString& address);
    // A completed navigation: the first entry equal to the address (exact,
    // case-sensitive) is removed and the address becomes the first entry.
    void visited(const QString& address);

    const QStringList& entries() const { return m_entries; }
    void clear() { m_entries.clear(); }

private:
    QStringList m_entries;
};

} // namespace kestrion
