#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace kestrion {

// Ticker lists kept in Microsoft Access (Jet) database files, as older
// Windows machines left them. Kestrion only ever reads these files: every
// function here opens the file read-only and never changes a byte of it.
// The functions are independent of each other and hold no state, so a
// worker thread may run them while the window stays responsive.

enum class AccessFormat {
    NotAccess, // no Access header (a Kestrion list, a text file, ...)
    Jet3, // Access 97
    Jet4, // Access 2000 to 2003
    Ace, // Access 2007 and later (.accdb)
};

// What the file's header says it is; reads the first page's header only.
// NotAccess also for a file that cannot be read.
AccessFormat accessFormat(const QString& path);
inline bool isAccessFile(const QString& path)
{
    return accessFormat(path) != AccessFormat::NotAccess;
}

struct AccessTable
{
    QString name;
    // The columns that hold text, in the table's column order.
    QStringList textColumns;
};

// The table and column a list is read from.
struct AccessColumnRef
{
    QString table;
    QString column;
};

// The user tables of the file (system tables left out) in the order the file
// lists them, each with its text columns. False, with the reason, when the
// file is not an Access file, is damaged or cannot be read.
bool readAccessTables(const QString& path, QVector<AccessTable>& tables, QString* error = nullptr);

// The values of one text column in the table's row order; an empty (null)
// value comes back as an empty text. Table and column names match without
// regard to case, as Access matches them. False, with the reason, when the
// table or the text column is not there, or when the file is damaged: a
// table whose rows cannot all be read is a failure, never a shorter list.
bool readAccessColumn(const QString& path, const AccessColumnRef& source, QStringList& values,
                      QString* error = nullptr);

// Where a list is read from when nobody says: "Table1" / "Symbol", the names
// Kestrion's own lists use. Empty when the file has no such text column.
AccessColumnRef defaultAccessColumn(const QVector<AccessTable>& tables);

// The table of that name (matched without regard to case), or null.
const AccessTable* findAccessTable(const QVector<AccessTable>& tables, const QString& name);

} // namespace kestrion
