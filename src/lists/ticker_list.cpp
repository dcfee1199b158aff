#include "lists/ticker_list.h"

#include "lists/access_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

#include <sys/statvfs.h>

namespace kestrion {

namespace {

QString newConnectionName()
{
    static std::atomic_int counter{0};
    return QStringLiteral("kestrion-list-%1").arg(++counter);
}

const char* const kSchema = "CREATE TABLE Table1 (Symbol TEXT NOT NULL CHECK (length(Symbol) BETWEEN 1 AND 10))";

// Another program writing the list holds it locked; the window waits this
// long at most before it says the change did not go through.
const char* const kConnectOptions = "QSQLITE_BUSY_TIMEOUT=2000";

// The driver reports SQLite's extended result code; its low byte is the
// primary code, SQLITE_CONSTRAINT (19) for a text the column's rules refuse.
bool isRefusedText(const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok && (code & 0xff) == 19;
}

QString describe(const QSqlError& error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

const QString kNotOpen = QStringLiteral("no list is open");

bool onReadOnlyFileSystem(const QString& path)
{
    struct statvfs fs = {};
    return statvfs(QFile::encodeName(path).constData(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0;
}

// Why a change did not reach the list file, in words a user can act on;
// SQLite's own text only when none of the usual causes is found.
QString describeWriteFailure(const QString& path, const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    if (ok && (code == 5 || code == 6)) // SQLITE_BUSY, SQLITE_LOCKED
        return QStringLiteral("another program is using the list; try again once it has finished");
    if (ok && code == 13) // SQLITE_FULL
        return QStringLiteral("the disk is full");
    if (onReadOnlyFileSystem(path))
        return QStringLiteral("the file system it is on is read-only");
    if (!file.isWritable())
        return QStringLiteral("the file is read-only");
    // A change is written through a journal file beside the list.
    if (!QFileInfo(folder).isWritable())
        return QStringLiteral("its folder \"%1\" cannot be written").arg(folder);
    return describe(error);
}

bool looksLikeSqlite(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

} // namespace

bool TickerList::isDatabaseFile(const QString& path)
{
    return looksLikeSqlite(path);
}

int TickerList::symbolLength(const QString& symbol)
{
    return int(symbol.toUcs4().size());
}

TickerList::TickerList() = default;

TickerList::~TickerList()
{
    close();
}

QString TickerList::withDefaultExtension(const QString& path)
{
    if (QFileInfo(path).suffix().isEmpty())
        return path + QStringLiteral(".mdb");
    return path;
}

bool TickerList::create(const QString& requested, QString* createdPath, QString* error)
{
    const QString path = withDefaultExtension(requested);
    if (createdPath)
        *createdPath = path;
    {
        // Claim the name first so that an existing file is never opened.
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (error)
                *error = f.exists() ? QStringLiteral("the file already exists") : f.errorString();
            return false;
        }
    }
    bool ok = false;
    const QString name = newConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            ok = q.exec(QLatin1String(kSchema));
            if (!ok && error)
                *error = q.lastError().text();
            db.close();
        } else if (error) {
            *error = db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!ok)
        QFile::remove(path);
    return ok;
}

bool TickerList::open(const QString& path, QString* error)
{
    close();
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo fi(path);
    if (path.isEmpty() || !fi.exists())
        return fail(QStringLiteral("the file does not exist"));
    if (!fi.isFile())
        return fail(QStringLiteral("it is not a file"));
    // Lists kept by older programs in Access files are only read, to import
    // from; say so rather than call them not a list at all.
    if (isAccessFile(path))
        return fail(QStringLiteral("it is an Access database, which Kestrion can import tickers from "
                                   "(File > Open List) but not open as a list"));
    if (!looksLikeSqlite(path))
        return fail(QStringLiteral("it is not a ticker list database"));

    const QString name = newConnectionName();
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QLatin1String(kConnectOptions));
        if (!db.open()) {
            why = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("SELECT Symbol FROM Table1 LIMIT 0"))) {
                // A file locked by another program is not a file without the table.
                const QString sqlText = q.lastError().databaseText();
                why = sqlText.contains(QLatin1String("no such"))
                    ? QStringLiteral("it has no table \"Table1\" with a column \"Symbol\"")
                    : describe(q.lastError());
            }
        }
    }
    if (!why.isEmpty()) {
        QSqlDatabase::removeDatabase(name);
        return fail(why);
    }
    m_connection = name;
    m_path = path;
    return true;
}

void TickerList::close()
{
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
    m_path.clear();
}

QVector<TickerList::Row> TickerList::rows() const
{
    QVector<Row> result;
    readRows(result);
    return result;
}

bool TickerList::readRows(QVector<Row>& result, QString* error) const
{
    result.clear();
    if (!isOpen()) {
        if (error)
            *error = kNotOpen;
        return false;
    }
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT rowid, Symbol FROM Table1 ORDER BY rowid"))) {
        if (error)
            *error = describe(q.lastError());
        return false;
    }
    while (q.next())
        result.push_back({q.value(0).toLongLong(), q.value(1).toString()});
    // A read that stops part-way (the file locked or damaged meanwhile) is a
    // failure too, not a shorter list.
    if (q.lastError().isValid()) {
        if (error)
            *error = describe(q.lastError());
        result.clear();
        return false;
    }
    return true;
}

bool TickerList::readSymbols(QStringList& symbols, QString* error) const
{
    symbols.clear();
    QVector<Row> rows;
    if (!readRows(rows, error))
        return false;
    for (const Row& r : rows)
        symbols << r.symbol;
    return true;
}

QStringList TickerList::symbols() const
{
    QStringList result;
    for (const Row& r : rows())
        result << r.symbol;
    return result;
}

int TickerList::count() const
{
    if (!isOpen())
        return 0;
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (q.exec(QStringLiteral("SELECT count(*) FROM Table1")) && q.next())
        return q.value(0).toInt();
    return 0;
}

bool TickerList::append(const QString& symbol)
{
    return add(symbol) == WriteResult::Done;
}

TickerList::WriteResult TickerList::add(const QString& symbol, QString* error)
{
    if (!isOpen()) {
        if (error)
            *error = kNotOpen;
        return WriteResult::Failed;
    }
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("INSERT INTO Table1 (Symbol) VALUES (?)"));
    q.addBindValue(symbol);
    if (q.exec())
        return WriteResult::Done;
    if (error)
        *error = describe(q.lastError());
    return isRefusedText(q.lastError()) ? WriteResult::Refused : WriteResult::Failed;
}

TickerList::AddResult TickerList::addTicker(const QString& ticker)
{
    if (!isOpen())
        return {WriteResult::Failed, QStringLiteral("no list is open")};
    if (ticker.isEmpty())
        return {WriteResult::Refused, QStringLiteral("Type a ticker symbol in the box first.")};
    const int length = symbolLength(ticker);
    if (length > kMaxSymbolLength)
        return {WriteResult::Refused,
                QStringLiteral("\"%1\" has %2 characters; a ticker symbol has at most %3.")
                    .arg(ticker)
                    .arg(length)
                    .arg(kMaxSymbolLength)};
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT Symbol FROM Table1 ORDER BY rowid")))
        return {WriteResult::Failed, describeWriteFailure(m_path, q.lastError())};
    const QString wanted = ticker.trimmed();
    while (q.next()) {
        const QString held = q.value(0).toString();
        if (held.trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
            return {WriteResult::Refused,
                    held == ticker ? QStringLiteral("\"%1\" is in the list already.").arg(ticker)
                                   : QStringLiteral("\"%1\" is in the list already, as \"%2\".").arg(ticker, held)};
    }
    if (q.lastError().isValid())
        return {WriteResult::Failed, describeWriteFailure(m_path, q.lastError())};
    q.finish();
    q.prepare(QStringLiteral("INSERT INTO Table1 (Symbol) VALUES (?)"));
    q.addBindValue(ticker);
    if (q.exec())
        return {WriteResult::Done, QString()};
    if (isRefusedText(q.lastError()))
        return {WriteResult::Refused, describe(q.lastError())};
    return {WriteResult::Failed, describeWriteFailure(m_path, q.lastError())};
}

int TickerList::appendAll(const QStringList& symbols, QString* error)
{
    if (!isOpen()) {
        if (error)
            *error = kNotOpen;
        return -1;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    if (!db.transaction()) {
        if (error)
            *error = describe(db.lastError());
        return -1;
    }
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral("INSERT INTO Table1 (Symbol) VALUES (?)"))) {
        if (error)
            *error = describe(q.lastError());
        db.rollback();
        return -1;
    }
    int added = 0;
    for (const QString& s : symbols) {
        q.addBindValue(s);
        if (q.exec()) {
            ++added;
            continue;
        }
        // Texts the column refuses (empty, too long) add no row; the CHECK
        // constraint fails that one statement only. Anything else (locked,
        // read-only, disk full) would leave a part of the file's lines in
        // the list: nothing is kept then.
        if (!isRefusedText(q.lastError())) {
            if (error)
                *error = describe(q.lastError());
            q.finish();
            db.rollback();
            return -1;
        }
    }
    q.finish();
    if (!db.commit()) {
        if (error)
            *error = describe(db.lastError());
        db.rollback();
        return -1;
    }
    return added;
}

bool TickerList::remove(qint64 rowId)
{
    return removeRow(rowId) == WriteResult::Done;
}

TickerList::WriteResult TickerList::removeRow(qint64 rowId, QString* error)
{
    if (!isOpen()) {
        if (error)
            *error = kNotOpen;
        return WriteResult::Failed;
    }
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("DELETE FROM Table1 WHERE rowid = ?"));
    q.addBindValue(rowId);
    if (!q.exec()) {
        if (error)
            *error = describe(q.lastError());
        return WriteResult::Failed;
    }
    if (q.numRowsAffected() == 1)
        return WriteResult::Done;
    if (error)
        *error = QStringLiteral("the row is not in the list");
    return WriteResult::Refused;
}

} // namespace kestrion
