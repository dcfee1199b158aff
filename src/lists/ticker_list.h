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

    // How a change of the list ended. The editing commands answer a text the
    // list can't hold differently from a file that takes no change at all.
    enum class WriteResult {
        Done,
        // The list refuses the change itself: a text it can't hold (empty,
        // over 10 characters), or a row to remove that is not there.
        Refused,
        // The file took nothing (no list open, locked by another program,
        // read-only, damaged); the list is as it was.
        Failed,
    };

    // The longest symbol a list holds, in characters.
    static constexpr int kMaxSymbolLength = 10;
    // A text's length as the list file counts it: characters, so that a
    // letter outside the Basic Multilingual Plane counts once.
    static int symbolLength(const QString& symbol);

    TickerList();
    ~TickerList();

    TickerList(const TickerList&) = delete;
    TickerList& operator=(const TickerList&) = delete;

    // Makes a new empty list file. A name without an extension gets ".mdb".
    // An existing file is never touched: that is a failure.
    static bool create(const QString& path, QString* createdPath = nullptr, QString* error = nullptr);
    // The path create() would use for a typed name.
    static QString withDefaultExtension(const QString& path);
    // Whether the file is an SQLite database by its header (a list, or a
    // database open() refuses); false when it cannot be read.
    static bool isDatabaseFile(const QString& path);

    // Opens a list; on failure no list is open and error says why.
    bool open(const QString& path, QString* error = nullptr);
    void close();
    bool isOpen() const { return !m_connection.isEmpty(); }
    QString path() const { return m_path; }

    QVector<Row> rows() const;
    // The rows, or false (rows left empty) when the file could not be read,
    // so that a caller can tell an unreadable list from an empty one.
    bool readRows(QVector<Row>& rows, QString* error = nullptr) const;
    QStringList symbols() const;
    // The symbols, or false when the file could not be read (locked by
    // another program, damaged): a download must not take that for an empty list.
    bool readSymbols(QStringList& symbols, QString* error = nullptr) const;
    int count() const;

    // Appends one row; false when the file refuses the text.
    bool append(const QString& symbol);
    // Appends one row, telling a refused text from a failing file.
    WriteResult add(const QString& symbol, QString* error = nullptr);
    // How Add of the window ended, with the reason when it did not go
    // through: a sentence for the user (without the file's name).
    struct AddResult
    {
        WriteResult result = WriteResult::Failed;
        QString reason;
    };
    // Appends a ticker typed by the user. Refused, with the reason: an empty
    // text, one over kMaxSymbolLength characters, and one the list holds
    // already (compared without regard to case and surrounding blanks).
    // Failed when the file takes nothing, with what stands in the way (a
    // read-only file or file system, another program's lock, a full disk).
    AddResult addTicker(const QString& ticker);
    // Appends every text that the list can hold, in order, in one transaction:
    // returns the number of rows added, or -1 when the transaction failed and
    // the list was left as it was. Texts the list refuses are skipped; any
    // other failure of a row ends the transaction with nothing added.
    int appendAll(const QStringList& symbols, QString* error = nullptr);
    bool remove(qint64 rowId);
    // Removes one row, telling a row that is not there from a failing file.
    WriteResult removeRow(qint64 rowId, QString* error = nullptr);

private:
    QString m_connection;
    QString m_path;
};

} // namespace kestrion
