#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kestrion {

// The lines of an import file, each whole (not split at commas, not
// trimmed), in file order, without their line ends (LF, CRLF or a lone CR). A final
// line without a line end counts; the end of the file after a line end
// does not add an empty line. A file that starts with a UTF-8, UTF-16 or
// UTF-32 byte order mark is read in that encoding; any other file as UTF-8
// when it is valid UTF-8, else as Latin-1. False when the file cannot be
// read, or when it is mostly not text (then notText is set): error says why.
bool readImportLines(const QString& path, QStringList& lines, QString* error = nullptr, bool* notText = nullptr);

// Whether read text is mostly something other than text: more than one
// character in ten is a control character other than a line end, tab or
// form feed, or a byte that could not be read as a character.
bool isMostlyNotText(const QString& text);

// Whether a value holds a control character (a tab, a line end, a NUL...).
bool hasControlCharacter(const QString& value);

// A value as a message shows it: control characters written as \xNN, and
// cut after 40 characters.
QString shownValue(const QString& value);

// What a list takes from an import file's lines: each line trimmed of
// blanks and tabs at its ends; empty lines add nothing; a line too long for
// a symbol, or holding a control character, is skipped and named by its
// 1-based number.
struct ImportLines
{
    struct Skipped
    {
        int line = 0;
        QString value;
        bool operator==(const Skipped&) const = default;
    };
    QStringList symbols; // trimmed, in file order
    QList<Skipped> tooLong;
    QList<Skipped> withControls;

    static ImportLines sort(const QStringList& lines);
    // The skipped lines as sentences for the user; empty when none.
    QString skippedReport(int firstFew = 5) const;
};

} // namespace kestrion
