#include "lists/list_import.h"

#include "lists/import_values.h"
#include "lists/ticker_list.h"

#include <QFile>
#include <QStringDecoder>

namespace kestrion {

namespace {

// Characters a text file of symbols may hold besides printable ones.
bool isTextControl(char16_t c)
{
    return c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

QString linesSentence(const QList<ImportLines::Skipped>& skipped, const QString& what, int firstFew)
{
    if (skipped.isEmpty())
        return {};
    QStringList named;
    for (const ImportLines::Skipped& s : skipped.mid(0, firstFew))
        named << QStringLiteral("line %1 (\"%2\")").arg(s.line).arg(shownValue(s.value));
    QString text = QStringLiteral("%1 line(s) %2 could not be imported as ticker symbols: %3")
                       .arg(skipped.size())
                       .arg(what, named.join(QStringLiteral(", ")));
    if (skipped.size() > firstFew)
        text += QStringLiteral(" and %1 more").arg(skipped.size() - firstFew);
    return text + QLatin1Char('.');
}

} // namespace

bool isMostlyNotText(const QString& text)
{
    qsizetype odd = 0;
    for (const QChar c : text) {
        if (c == QChar::ReplacementCharacter || (c.category() == QChar::Other_Control && !isTextControl(c.unicode())))
            ++odd;
    }
    return odd * 10 > text.size();
}

bool hasControlCharacter(const QString& value)
{
    for (const QChar c : value) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

QString shownValue(const QString& value)
{
    QString shown;
    for (const QChar c : value.left(40)) {
        if (c.category() == QChar::Other_Control)
            shown += QStringLiteral("\\x") + QString::number(c.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

bool readImportLines(const QString& path, QStringList& lines, QString* error, bool* notText)
{
    lines.clear();
    if (notText)
        *notText = false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = f.errorString();
        return false;
    }
    QString text;
    // A byte order mark says how the file is written (Notepad's "Unicode"
    // is UTF-16); the decoder drops the mark itself.
    if (const std::optional<QStringConverter::Encoding> marked = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decode(*marked);
        text = decode(bytes);
    } else {
        // UTF-8 when the bytes are valid UTF-8, otherwise Latin-1, so that
        // files saved by older spreadsheet programs still import.
        text = QString::fromUtf8(bytes);
        if (text.contains(QChar::ReplacementCharacter))
            text = QString::fromLatin1(bytes);
    }
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    if (isMostlyNotText(text)) {
        // A picture or a program picked by mistake would add fragments of
        // binary data as symbols.
        if (error)
            *error = QStringLiteral("most of it is not text");
        if (notText)
            *notText = true;
        return false;
    }
    if (text.isEmpty())
        return true;
    // LF, CRLF and the lone CR of classic Mac files all end a line.
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return true;
}

ImportLines ImportLines::sort(const QStringList& lines)
{
    ImportLines r;
    for (int i = 0; i < lines.size(); ++i) {
        // Blanks and tabs around a symbol are the file's layout, not the symbol.
        const QString value = lines.at(i).trimmed();
        switch (ImportValues::judge(value)) {
        case ImportValues::Verdict::Symbol:
            r.symbols << value;
            break;
        case ImportValues::Verdict::Empty:
            break;
        case ImportValues::Verdict::TooLong:
            r.tooLong << Skipped{i + 1, value};
            break;
        case ImportValues::Verdict::ControlCharacters:
            r.withControls << Skipped{i + 1, value};
            break;
        }
    }
    return r;
}

QString ImportLines::skippedReport(int firstFew) const
{
    QStringList parts;
    const QString longer
        = linesSentence(tooLong, QStringLiteral("longer than %1 characters").arg(TickerList::kMaxSymbolLength), firstFew);
    if (!longer.isEmpty())
        parts << longer;
    const QString controls = linesSentence(withControls, QStringLiteral("with control characters"), firstFew);
    if (!controls.isEmpty())
        parts << controls;
    return parts.join(QLatin1Char('\n'));
}

} // namespace kestrion
