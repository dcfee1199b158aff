#include "lists/access_file.h"

#include <QFile>
#include <QFileInfo>

#include <mdbtools.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace kestrion {

namespace {

// The header of page 0: a magic number, then the engine's name, then the
// file format version at 0x14.
constexpr int kVersionOffset = 0x14;
constexpr int kHeaderSize = kVersionOffset + 4;
const QByteArray kMagic("\x00\x01\x00\x00", 4);
const QByteArray kJetName("Standard Jet DB\0", 16);
const QByteArray kAceName("Standard ACE DB\0", 16);
// The newest format version the reading library knows (Access 2019).
constexpr quint32 kNewestVersion = 0x06;

struct Header
{
    AccessFormat format = AccessFormat::NotAccess;
    quint32 version = 0;
    qint64 pageSize = 0;
};

Header readHeader(const QString& path)
{
    Header h;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return h;
    const QByteArray bytes = f.read(kHeaderSize);
    if (bytes.size() < kHeaderSize || !bytes.startsWith(kMagic))
        return h;
    const QByteArray name = bytes.mid(4, 16);
    const auto* v = reinterpret_cast<const uchar*>(bytes.constData() + kVersionOffset);
    h.version = quint32(v[0]) | quint32(v[1]) << 8 | quint32(v[2]) << 16 | quint32(v[3]) << 24;
    if (name == kJetName && h.version == 0) {
        h.format = AccessFormat::Jet3;
        h.pageSize = 2048;
    } else if (name == kJetName && h.version == 1) {
        h.format = AccessFormat::Jet4;
        h.pageSize = 4096;
    } else if (name == kAceName && h.version >= 2) {
        h.format = AccessFormat::Ace;
        h.pageSize = 4096;
    }
    return h;
}

struct HandleCloser
{
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFreer
{
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using Handle = std::unique_ptr<MdbHandle, HandleCloser>;
using Table = std::unique_ptr<MdbTableDef, TableFreer>;

bool fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return false;
}

// A file that ends at a page boundary before its tables do.
QString cutShort(qint64 pages, qint64 pageSize)
{
    return QStringLiteral("it is cut short: it ends after %1 %2-byte %3, before the end of its tables")
        .arg(pages)
        .arg(pageSize)
        .arg(pages == 1 ? QStringLiteral("page") : QStringLiteral("pages"));
}

// The reason for a read that failed: cut short when the page the library
// asked for last lies past the file's end (it keeps that page's number even
// when the read found nothing), else damaged as the caller says.
QString damagedOrCutShort(MdbHandle* mdb, const QString& damaged)
{
    struct stat st = {};
    if (!mdb->f || !mdb->f->stream || fstat(fileno(mdb->f->stream), &st) != 0 || mdb->fmt->pg_size == 0)
        return damaged;
    const qint64 pages = qint64(st.st_size) / mdb->fmt->pg_size;
    return qint64(mdb->cur_pg) >= pages ? cutShort(pages, mdb->fmt->pg_size) : damaged;
}

// Opens the file read-only after checking what the reading library cannot:
// it trusts the header and reads past a cut-off end (or loops there), so a
// file that is not whole never reaches it.
Handle openChecked(const QString& path, QString* error)
{
    const QFileInfo fi(path);
    if (path.isEmpty() || !fi.exists()) {
        fail(error, QStringLiteral("the file does not exist"));
        return {};
    }
    if (!fi.isFile()) {
        fail(error, QStringLiteral("it is not a file"));
        return {};
    }
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        fail(error, probe.errorString());
        return {};
    }
    probe.close();
    const Header h = readHeader(path);
    if (h.format == AccessFormat::NotAccess) {
        fail(error, QStringLiteral("it is not an Access database"));
        return {};
    }
    if (h.version > kNewestVersion) {
        fail(error,
             QStringLiteral("it was made by an Access version this program cannot read (format %1)").arg(h.version));
        return {};
    }
    const qint64 size = fi.size();
    if (size % h.pageSize != 0) {
        fail(error,
             QStringLiteral("it is damaged or cut short: its size (%1 bytes) is not a whole number of "
                            "%2-byte pages")
                 .arg(size)
                 .arg(h.pageSize));
        return {};
    }
    if (size < 3 * h.pageSize) {
        fail(error, cutShort(size / h.pageSize, h.pageSize));
        return {};
    }
    Handle mdb(mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!mdb) {
        fail(error, QStringLiteral("it could not be opened as an Access database"));
        return {};
    }
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) {
        fail(error, damagedOrCutShort(mdb.get(), QStringLiteral("it is damaged: its list of tables cannot be read")));
        return {};
    }
    return mdb;
}

QString fromMdb(const char* text)
{
    return QString::fromUtf8(text);
}

// The table definition with its columns read, or null with the reason.
Table readTable(MdbCatalogEntry* entry, QString* error)
{
    Table table(mdb_read_table(entry));
    if (!table || !mdb_read_columns(table.get())) {
        fail(error,
             damagedOrCutShort(
                 entry->mdb,
                 QStringLiteral("it is damaged: the table \"%1\" cannot be read").arg(fromMdb(entry->object_name))));
        return {};
    }
    return table;
}

QVector<MdbCatalogEntry*> userTables(MdbHandle* mdb)
{
    QVector<MdbCatalogEntry*> result;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (mdb_is_user_table(entry))
            result << entry;
    }
    return result;
}

} // namespace

AccessFormat accessFormat(const QString& path)
{
    return readHeader(path).format;
}

bool readAccessTables(const QString& path, QVector<AccessTable>& tables, QString* error)
{
    tables.clear();
    const Handle mdb = openChecked(path, error);
    if (!mdb)
        return false;
    QVector<AccessTable> found;
    for (MdbCatalogEntry* entry : userTables(mdb.get())) {
        const Table table = readTable(entry, error);
        if (!table)
            return false;
        AccessTable t;
        t.name = fromMdb(entry->object_name);
        for (unsigned c = 0; c < table->num_cols; ++c) {
            const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, c));
            if (col->col_type == MDB_TEXT)
                t.textColumns << fromMdb(col->name);
        }
        found << t;
    }
    tables = found;
    return true;
}

bool readAccessColumn(const QString& path, const AccessColumnRef& source, QStringList& values, QString* error)
{
    values.clear();
    const Handle mdb = openChecked(path, error);
    if (!mdb)
        return false;
    MdbCatalogEntry* entry = nullptr;
    for (MdbCatalogEntry* e : userTables(mdb.get())) {
        if (fromMdb(e->object_name).compare(source.table, Qt::CaseInsensitive) == 0) {
            entry = e;
            break;
        }
    }
    if (!entry)
        return fail(error, QStringLiteral("it has no table \"%1\"").arg(source.table));
    const Table table = readTable(entry, error);
    if (!table)
        return false;
    const QString tableName = fromMdb(entry->object_name);

    int columnNumber = 0; // 1-based, as the binding counts
    for (unsigned c = 0; c < table->num_cols; ++c) {
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, c));
        if (fromMdb(col->name).compare(source.column, Qt::CaseInsensitive) != 0)
            continue;
        if (col->col_type != MDB_TEXT)
            return fail(error,
                        QStringLiteral("the column \"%1\" of the table \"%2\" does not hold text")
                            .arg(fromMdb(col->name), tableName));
        columnNumber = int(c) + 1;
        break;
    }
    if (columnNumber == 0)
        return fail(error, QStringLiteral("the table \"%1\" has no column \"%2\"").arg(tableName, source.column));

    // The library copies a value of up to bind_size bytes, its end included.
    std::vector<char> buffer(mdb->bind_size + 1, '\0');
    int length = 0;
    if (mdb_bind_column(table.get(), columnNumber, buffer.data(), &length) == -1)
        return fail(error, QStringLiteral("the column \"%1\" cannot be read").arg(source.column));
    mdb_rewind_table(table.get());

    // The table definition records how many rows it holds: fewer rows read
    // means pages are missing or damaged, and more means the row chain runs
    // wild; either way the list would be wrong.
    const qint64 expected = table->num_rows;
    QStringList read;
    while (mdb_fetch_row(table.get())) {
        if (read.size() >= expected)
            return fail(error,
                        QStringLiteral("it is damaged: the table \"%1\" yields more rows than the %2 it records")
                            .arg(tableName)
                            .arg(expected));
        const int n = std::clamp(length, 0, int(buffer.size()) - 1);
        read << QString::fromUtf8(buffer.data(), n);
    }
    if (read.size() != expected)
        return fail(error,
                    damagedOrCutShort(mdb.get(),
                                      QStringLiteral("it is damaged: only %1 of the %2 rows of the table "
                                                     "\"%3\" can be read")
                                          .arg(read.size())
                                          .arg(expected)
                                          .arg(tableName)));
    values = read;
    return true;
}

const AccessTable* findAccessTable(const QVector<AccessTable>& tables, const QString& name)
{
    for (const AccessTable& t : tables) {
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    }
    return nullptr;
}

AccessColumnRef defaultAccessColumn(const QVector<AccessTable>& tables)
{
    const AccessTable* table = findAccessTable(tables, QStringLiteral("Table1"));
    if (!table)
        return {};
    for (const QString& column : table->textColumns) {
        if (column.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0)
            return {table->name, column};
    }
    return {};
}

} // namespace kestrion
