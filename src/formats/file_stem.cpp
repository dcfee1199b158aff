#include "formats/file_stem.h"

namespace kestrion {

QString fileStem(const QString& symbol)
{
    QString stem = symbol;
    const qsizetype dot = stem.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        stem[dot] = QLatin1Char('-');
    for (QChar& c : stem) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            c = QLatin1Char('-');
    }
    return stem;
}

} // namespace kestrion
