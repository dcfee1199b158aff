#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kestrion::test {

// A MetaStock data folder as a reader sees it, read straight from the bytes
// and checked for consistency on the way.
struct MsQuote
{
    qint32 date = 0; // yyyymmdd
    qint32 time = 0; // 8-field records only
    float open = 0, high = 0, low = 0, close = 0, volume = 0, openInterest = 0;
};

struct MsSecurity
{
    int fileNumber = 0;
    QString symbol;
    QString name;     // MASTER's 16 characters, or XMASTER's name
    QString longName; // EMASTER's long name (MASTER securities)
    char period = 0;
    int fields = 0;
    qint32 firstDate = 0, lastDate = 0; // yyyymmdd as the index says
    QString dataFile;                   // file name inside the folder
    bool fromXmaster = false;
    QList<MsQuote> quotes;
};

struct MsFolder
{
    QList<MsSecurity> securities;
    // Everything that does not agree with the format: wrong sizes, counts,
    // lists that differ, dates out of order, missing data files.
    QStringList problems;

    const MsSecurity* find(const QString& symbol, char period) const;
};

MsFolder readMetaStockFolder(const QString& directory);

// Shortest text that reads back as the same float: 25.1f is "25.1".
QString floatText(float v);

// 4-byte MBF float from its little-endian bytes.
double mbfValue(const char* bytes);

} // namespace kestrion::test
