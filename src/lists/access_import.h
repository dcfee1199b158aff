#pragma once

#include "lists/access_file.h"
#include "lists/import_values.h"

#include <QString>
#include <QVector>

namespace kestrion {

// The tables of an Access file, or why they could not be read: one value, so
// that a worker thread can hand it back whole.
struct AccessTablesRead
{
    bool ok = false;
    QString error;
    QVector<AccessTable> tables;

    static AccessTablesRead from(const QString& path);
};

// The values of one column of an Access file, sorted for a list, or why
// they could not be read.
struct AccessValuesRead
{
    bool ok = false;
    QString error;
    ImportValues values;

    static AccessValuesRead from(const QString& path, const AccessColumnRef& source);
};

// The name proposed for a new list made from an Access file: beside it,
// "NAME-kestrion.mdb", so that the Access file itself is never replaced.
QString proposedListPathFor(const QString& accessPath);

// Makes a new list file holding the symbols, in one transaction. A name
// without an extension gets ".mdb" (createdPath says which file). An
// existing file is never touched; when filling the new file fails, it is
// removed again, so that no half list stays behind.
bool createListWithSymbols(const QString& path, const QStringList& symbols, QString* createdPath = nullptr,
                           QString* error = nullptr);

} // namespace kestrion
