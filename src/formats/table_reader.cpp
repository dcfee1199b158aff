#include "formats/table_reader.h"

#include <QFile>

#include <charconv>

namespace kestrion {

const QByteArray kTableHeader("Date,Open,High,Low,Close,Volume,Adj Close\n");

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Files are read whole and every row checked, so this runs over every byte
// of every file an update touches. The bytes end in an LF, checked first:
// it stops every scan below, which therefore needs no length check.

// Past the digits at p; p itself when there are none.
const char* skipDigits(const char* p)
{
    while (isDigit(*p))
        ++p;
    return p;
}

// A plain decimal at p ("-12", "12.3456"), ended by the separator sep:
// past the separator, or nullptr.
const char* decimal(const char* p, char sep)
{
    if (*p == '-')
        ++p;
    const char* q = skipDigits(p);
    // More digits than any double holds would read as infinity.
    if (q == p || q - p > 300)
        return nullptr;
    if (*q == '.') {
        const char* fraction = skipDigits(q + 1);
        if (fraction == q + 1)
            return nullptr;
        q = fraction;
    }
    return *q == sep ? q + 1 : nullptr;
}

int number(const char* p, int width)
{
    int n = 0;
    for (int i = 0; i < width; ++i)
        n = n * 10 + (p[i] - '0');
    return n;
}

// "YYYY-MM-DD," at p.
QDate rowDate(const char* p, const char* end)
{
    if (end - p < 11 || p[4] != '-' || p[7] != '-' || p[10] != ',')
        return {};
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (!isDigit(p[i]))
            return {};
    }
    return QDate(number(p, 4), number(p + 5, 2), number(p + 8, 2));
}

// The row at p: its date and where its Adj Close starts; past its LF, or
// nullptr when it is not the layout's.
const char* parseRow(const char* p, const char* end, TableRow& row)
{
    row.date = rowDate(p, end);
    if (!row.date.isValid())
        return nullptr;
    const char* q = p + 11;
    for (int field = 0; field < 4 && q; ++field) // Open, High, Low, Close
        q = decimal(q, ',');
    if (!q)
        return nullptr;
    const char* volume = skipDigits(q);
    if (volume == q || *volume != ',')
        return nullptr;
    row.adjOffset = volume + 1 - p;
    return decimal(volume + 1, '\n');
}

} // namespace

std::optional<ExistingTable> parseExistingTable(QByteArray bytes)
{
    if (!bytes.startsWith(kTableHeader) || bytes.size() == kTableHeader.size() || !bytes.endsWith('\n'))
        return std::nullopt;
    ExistingTable t;
    t.bytes = std::move(bytes);
    const char* const begin = t.bytes.constData();
    const char* const end = begin + t.bytes.size();
    // Rows run about 50 bytes; one allocation for a typical file.
    t.rows.reserve(size_t((t.bytes.size() - kTableHeader.size()) / 40 + 1));
    for (const char* p = begin + kTableHeader.size(); p < end;) {
        TableRow row;
        const char* next = parseRow(p, end, row);
        if (!next)
            return std::nullopt;
        if (!t.rows.empty() && row.date >= t.rows.back().date)
            return std::nullopt; // out of order, or a date twice
        row.offset = p - begin;
        row.length = next - p;
        t.rows.push_back(row);
        p = next;
    }
    t.newest = t.rows.front().date;
    t.oldest = t.rows.back().date;
    return t;
}

double ExistingTable::adjClose(const TableRow& row) const
{
    const char* p = bytes.constData() + row.offset + row.adjOffset;
    double value = 0;
    std::from_chars(p, bytes.constData() + row.offset + row.length - 1, value);
    return value;
}

std::optional<ExistingTable> readExistingTable(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxPriceAnswerBytes)
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return parseExistingTable(std::move(bytes));
}

} // namespace kestrion
