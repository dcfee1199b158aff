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

namespace {

// One line of the summary: the count, what the values were, the first few
// of them (control characters shown escaped) and how many more.
QString skippedLine(const QStringList& values, int firstFew, const QString& one, const QString& many)
{
    QStringList shown;
    for (const QString& value : values.mid(0, firstFew))
        shown << QStringLiteral("\"%1\"").arg(shownValue(value));
    QString text = values.size() == 1 ? one : many.arg(values.size());
    text += shown.join(QStringLiteral(", "));
    if (values.size() > firstFew)
        text += QStringLiteral(" and %1 more").arg(values.size() - firstFew);
    return text + QLatin1Char('.');
}

} // namespace

QString ImportValues::skippedSummary(int firstFew) const
{
    QStringList parts;
    if (!tooLong.isEmpty())
        parts << skippedLine(
            tooLong, firstFew,
            QStringLiteral("1 value longer than %1 characters was skipped: ").arg(TickerList::kMaxSymbolLength),
            QStringLiteral("%1 values longer than ") + QString::number(TickerList::kMaxSymbolLength)
                + QStringLiteral(" characters were skipped: "));
    if (!withControls.isEmpty())
        parts << skippedLine(withControls, firstFew, QStringLiteral("1 value with control characters was skipped: "),
                             QStringLiteral("%1 values with control characters were skipped: "));
    if (empty == 1)
        parts << QStringLiteral("1 empty value was skipped.");
    else if (empty > 1)
        parts << QStringLiteral("%1 empty values were skipped.").arg(empty);
    return parts.join(QLatin1Char('\n'));
}

} // namespace kestrion
