#pragma once

#include <QString>
#include <QStringList>

namespace kestrion {

// The values an import offers, sorted into those the list can hold and
// those it skips. Nothing is changed or trimmed: a value goes in exactly as
// it was stored. A value with a control character (a tab, a line end) is
// no ticker symbol and is skipped.
struct ImportValues
{
    QStringList symbols; // held by the list, in order
    QStringList tooLong; // skipped, longer than a list symbol can be, in order
    QStringList withControls; // skipped, holding a control character, in order
    int empty = 0; // skipped, empty

    enum class Verdict { Symbol, Empty, TooLong, ControlCharacters };
    // Whether one value goes into the list, and why not.
    static Verdict judge(const QString& value);
    static ImportValues sort(const QStringList& values);

    int skipped() const { return int(tooLong.size() + withControls.size()) + empty; }
    // What was skipped, for a message after the import: how many values were
    // too long and the first few of them, the same for control characters,
    // then how many were empty. Empty
    // when nothing was skipped.
    QString skippedSummary(int firstFew = 5) const;
};

} // namespace kestrion
