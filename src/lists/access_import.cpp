#include "lists/access_import.h"

#include "lists/ticker_list.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kestrion {

AccessTablesRead AccessTablesRead::from(const QString& path)
{
    AccessTablesRead r;
    r.ok = readAccessTables(path, r.tables, &r.error);
    return r;
}

AccessValuesRead AccessValuesRead::from(const QString& path, const AccessColumnRef& source)
{
    AccessValuesRead r;
    QStringList raw;
    r.ok = readAccessColumn(path, source, raw, &r.error);
    if (r.ok)
        r.values = ImportValues::sort(raw);
    return r;
}

QString proposedListPathFor(const QString& accessPath)
{
    const QFileInfo fi(accessPath);
    return fi.dir().filePath(fi.completeBaseName() + QStringLiteral("-kestrion.mdb"));
}

bool createListWithSymbols(const QString& path, const QStringList& symbols, QString* createdPath, QString* error)
{
    QString created;
    const bool made = TickerList::create(path, &created, error);
    if (createdPath)
        *createdPath = created;
    if (!made)
        return false;
    bool filled = false;
    {
        TickerList list;
        filled = list.open(created, error) && list.appendAll(symbols, error) == symbols.size();
        if (!filled && error && error->isEmpty())
            *error = QStringLiteral("the list refused some of the symbols");
    }
    if (!filled)
        QFile::remove(created);
    return filled;
}

} // namespace kestrion
