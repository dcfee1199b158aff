#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace kestrion {

// A ticker list file: an SQLite database with one table "Table1" holding one
// text column "Symbol" of 1 to 10 characters. Duplicates are allowed; rows are
// read in stored order (rowid), a row added later comes after older ones.
// One instance keeps one list open; use it on one thread.
class TickerList
{
public:
    struct Row
    {
        qint64 id = 0;
        QString symbol;
    };

    TickerList();
    ~TickerList();

    TickerList(const TickerList&) = delete;
    TickerList& operator=(const TickerList&) = delete;

    // Makes a new empty list file. A name without an extension gets ".mdb".
    // An existing file is never touched: that is a failure.
    static bool create(const QString& path, QString* createdPath = nullptr, QString* error = nullptr);
    // The path create() would use for a typed name.
    static QString withDefaultExtension(const QString& path);

    // Opens a list; on failure no list is open and error says why.
    bool open(const QString& path, QString* error = nullptr);
    void close();
    bool isOpen() const { return !m_connection.isEmpty(); }
    QString path() const { return m_path; }

    QVector<Row> rows() const;
    QStringList symbols() const;
    int count() const;

    // Appends one row; false when the file refuses the text.
    bool append(const QString& symbol);
    // Appends every text that the list can hold, in order, in one transaction:
    // returns the number of rows added, or -1 when the transaction failed and
    // the list was left as it was.
    int appendAll(const QStringList& symbols);
    bool remove(qint64 rowId);

private:
    QString m_connection;
    QString m_path;
};

} // namespace kestrion
