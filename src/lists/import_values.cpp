#include "lists/import_values.h"

#include "lists/list_import.h"
#include "lists/ticker_list.h"

namespace kestrion {

ImportValues::Verdict ImportValues::judge(const QString& value)
{
    if (value.isEmpty())
        return Verdict::Empty;
    if (hasControlCharacter(value))
        return Verdict::ControlCharacters;
    if (TickerList::symbolLength(value) > TickerList::kMaxSymbolLength)
        return Verdict::TooLong;
    return Verdict::Symbol;
}

ImportValues ImportValues::sort(const QStringList& values)
{
    ImportValues v;
    for (const QString& value : values) {
        switch (judge(value)) {
        case Verdict::Symbol:
            v.symbols << value;
            break;
        case Verdict::Empty:
            ++v.empty;
            break;
        case Verdict::TooLong:
            v.tooLong << value;
            break;
        case Verdict::ControlCharacters:
            v.withControls << value;
            break;
        }
    }
    return v;
}

QString ImportValues::skippedSummary(int firstFew) const
{
    QStringList parts;
    if (!tooLong.isEmpty()) {
        QStringList shown;
        for (const QString& value : tooLong.mid(0, firstFew))
            shown << QStringLiteral("\"%1\"").arg(value);
        QString text = tooLong.size() == 1
            ? QStringLiteral("1 value longer than %1 characters was skipped: ").arg(TickerList::kMaxSymbolLength)
            : QStringLiteral("%1 values longer than %2 characters were skipped: ")
                  .arg(tooLong.size())
                  .arg(TickerList::kMaxSymbolLength);
        text += shown.join(QStringLiteral(", "));
        if (tooLong.size() > firstFew)
            text += QStringLiteral(" and %1 more").arg(tooLong.size() - firstFew);
        parts << text + QLatin1Char('.');
    }
    if (!withControls.isEmpty()) {
        QStringList shown;
        for (const QString& value : withControls.mid(0, firstFew))
            shown << QStringLiteral("\"%1\"").arg(shownValue(value));
        QString text = withControls.size() == 1
            ? QStringLiteral("1 value with control characters was skipped: ")
            : QStringLiteral("%1 values with control characters were skipped: ").arg(withControls.size());
        text += shown.join(QStringLiteral(", "));
        if (withControls.size() > firstFew)
            text += QStringLiteral(" and %1 more").arg(withControls.size() - firstFew);
        parts << text + QLatin1Char('.');
    }
    if (empty == 1)
        parts << QStringLiteral("1 empty value was skipped.");
    else if (empty > 1)
        parts << QStringLiteral("%1 empty values were skipped.").arg(empty);
    return parts.join(QLatin1Char('\n'));
}

} // namespace kestrion
