#include "faults.h"

#include <optional>

namespace kestrion::sim {

namespace {

// The n of a "<word><n>_" prefix: one to nine digits right after word,
// then an underscore.
std::optional<int> countedPrefix(const QString& symbol, QLatin1String word)
{
    if (!symbol.startsWith(word))
        return std::nullopt;
    const qsizetype start = word.size();
    const qsizetype underscore = symbol.indexOf(QLatin1Char('_'), start);
    if (underscore <= start || underscore - start > 9)
        return std::nullopt;
    const QString digits = symbol.mid(start, underscore - start);
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    return digits.toInt();
}

// The date of a "<word><yyyymmdd>_" prefix: exactly eight digits naming a
// real day, then an underscore.
QDate datedPrefix(const QString& symbol, QLatin1String word)
{
    const qsizetype start = word.size();
    if (!symbol.startsWith(word) || symbol.size() < start + 9 || symbol.at(start + 8) != QLatin1Char('_'))
        return {};
    const QStringView digits = QStringView(symbol).mid(start, 8);
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
    }
    return QDate::fromString(digits.toString(), QStringLiteral("yyyyMMdd"));
}

} // namespace

Fault Fault::of(const QString& symbol)
{
    static const std::pair<const char*, Kind> plain[] = {
        {"HANG_", Kind::Hang},       {"RESET_", Kind::Reset},      {"NO_", Kind::NoData},
        {"E500_", Kind::E500},       {"SLOW_", Kind::Slow},        {"BIG_", Kind::Big},
        {"NULL_", Kind::NullRows},   {"LIVE_", Kind::LiveRow},     {"SPLIT_", Kind::Split},
        {"DIV_", Kind::Dividend},    {"R429_", Kind::RateLimited}, {"R503RA_", Kind::Busy503},
        {"QUOTA_", Kind::QuotaText}, {"HTML_", Kind::HtmlPage},    {"RLONG_", Kind::LongWait},
    };
    Fault f;
    for (const auto& [prefix, kind] : plain) {
        if (symbol.startsWith(QLatin1String(prefix))) {
            f.kind = kind;
            f.failures = kind == Kind::Busy503 ? 1 : 0;
            return f;
        }
    }
    static const std::pair<const char*, Kind> dated[] = {{"SPLIT", Kind::SplitOn}, {"DIV", Kind::DividendOn}};
    for (const auto& [word, kind] : dated) {
        const QDate on = datedPrefix(symbol, QLatin1String(word));
        if (on.isValid()) {
            f.kind = kind;
            f.on = on;
            return f;
        }
    }
    static const std::pair<const char*, Kind> counted[] = {
        {"FAIL", Kind::Fail}, {"RA", Kind::RetryAfter}, {"RL", Kind::RateLimitedFirst}, {"HUGE", Kind::Huge}};
    for (const auto& [word, kind] : counted) {
        if (const auto n = countedPrefix(symbol, QLatin1String(word))) {
            f.kind = kind;
            f.failures = *n;
            return f;
        }
    }
    return f;
}

bool FailureCounter::shouldFail(const QString& key, int failures)
{
    int& seen = m_seen[key];
    if (seen >= failures)
        return false; // stop counting: the answer no longer changes
    ++seen;
    return true;
}

ServiceFault serviceFault(const QString& symbol, const char* tag)
{
    const qsizetype end = symbol.indexOf(QLatin1Char('_'));
    if (end <= 0)
        return ServiceFault::None;
    for (const QString& word : symbol.left(end).split(QLatin1Char('-'))) {
        if (word == QLatin1Char('N') + QLatin1String(tag))
            return ServiceFault::Unknown;
        if (word == QLatin1Char('R') + QLatin1String(tag))
            return ServiceFault::Refused;
    }
    return ServiceFault::None;
}

bool isUnknownSymbol(const QString& symbol)
{
    return symbol.isEmpty() || symbol.startsWith(QLatin1String("ZZ"));
}

} // namespace kestrion::sim
