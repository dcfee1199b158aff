#include "lists/list_import.h"

#include "lists/ticker_list.h"

#include <QFile>

namespace kestrion {

bool readImportLines(const QString& path, QStringList& lines, QString* error)
{
    lines.clear();
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
    // UTF-8 when the bytes are valid UTF-8, otherwise Latin-1, so that files
    // saved by older spreadsheet programs still import.
    QString text = QString::fromUtf8(bytes);
    if (text.contains(QChar::ReplacementCharacter))
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
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

QString overlongLinesReport(const QStringList& lines, int firstFew)
{
    QStringList named;
    int count = 0;
    for (int i = 0; i < lines.size(); ++i) {
        if (TickerList::symbolLength(lines.at(i)) <= TickerList::kMaxSymbolLength)
            continue;
        if (++count <= firstFew)
            named << QStringLiteral("line %1 (\"%2\")").arg(i + 1).arg(lines.at(i).left(40));
    }
    if (count == 0)
        return {};
    QString text = QStringLiteral("%1 line(s) longer than %2 characters could not be imported as ticker symbols: %3")
                       .arg(count)
                       .arg(TickerList::kMaxSymbolLength)
                       .arg(named.join(QStringLiteral(", ")));
    if (count > firstFew)
        text += QStringLiteral(" and %1 more").arg(count - firstFew);
    return text + QLatin1Char('.');
}

} // namespace kestrion
