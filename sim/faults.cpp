#include "faults.h"

namespace kestrion::sim {

Fault Fault::of(const QString& symbol)
{
    Fault f;
    if (symbol.startsWith(QLatin1String("HANG_")))
        f.kind = Kind::Hang;
    else if (symbol.startsWith(QLatin1String("RESET_")))
        f.kind = Kind::Reset;
    else if (symbol.startsWith(QLatin1String("NO_")))
        f.kind = Kind::NoData;
    else if (symbol.startsWith(QLatin1String("E500_")))
        f.kind = Kind::E500;
    else if (symbol.startsWith(QLatin1String("SLOW_")))
        f.kind = Kind::Slow;
    else if (symbol.startsWith(QLatin1String("BIG_")))
        f.kind = Kind::Big;
    else if (symbol.startsWith(QLatin1String("FAIL"))) {
        const qsizetype underscore = symbol.indexOf(QLatin1Char('_'), 4);
        const QString digits = symbol.mid(4, underscore - 4);
        bool allDigits = underscore > 4 && digits.size() <= 9;
        for (const QChar c : digits)
            allDigits = allDigits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (allDigits) {
            f.kind = Kind::Fail;
            f.failures = digits.toInt();
        }
    }
    return f;
}

bool FailureCounter::shouldFail(const QString& symbol, int failures)
{
    int& seen = m_seen[symbol];
    if (seen >= failures)
        return false; // stop counting: the answer no longer changes
    ++seen;
    return true;
}

bool isUnknownSymbol(const QString& symbol)
{
    return symbol.isEmpty() || symbol.startsWith(QLatin1String("ZZ"));
}

} // namespace kestrion::sim
