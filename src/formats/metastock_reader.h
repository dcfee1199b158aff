#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kestrion::metastock {

// One record of a security's data file, as stored.
struct Quote
{
    qint32 date = 0; // yyyymmdd
    qint32 time = 0; // 8-field records only
    float open = 0, high = 0, low = 0, close = 0, volume = 0, openInterest = 0;
};

// One security of a folder's index (MASTER with EMASTER, or XMASTER).
struct Security
{
    int fileNumber = 0;
    QString symbol;
    QString name; // MASTER's 16 characters, or XMASTER's name
    QString longName; // EMASTER's long name (MASTER securities)
    char period = 0; // 'D', 'W', 'M', 'I' as stored
    int fields = 0; // 5 to 8; 0 when the index gives none that can be read
    qint32 firstDate = 0, lastDate = 0; // yyyymmdd as the index says
    QString dataFile; // file name inside the folder
    bool fromXmaster = false;
    QList<Quote> quotes; // filled by readQuotes() or readFolder()

    // The best name the index gives: the long name, else the name, else the symbol.
    QString displayName() const;
};

struct Folder
{
    QList<Security> securities; // MASTER's in file order, then XMASTER's
    // Everything that does not agree with the format: wrong sizes, counts,
    // lists that differ, dates out of order, missing data files. Empty for a
    // sound folder.
    QStringList problems;

    const Security* find(const QString& symbol, char period) const;
};

// True when the directory holds a MASTER or an XMASTER file.
bool isFolder(const QString& directory);

// Reads MASTER, EMASTER and XMASTER: the securities with their index facts
// but no quotes. Records that cannot be read are named in problems and
// left out when they give no usable data file; a folder without any index
// gives no securities and says so in problems.
Folder readIndex(const QString& directory);

// Reads the data file of one security listed by readIndex() into its
// quotes (oldest first). False, with the reason naming the data file and the
// record, when the file is missing, cut short, of the wrong size, or holds a
// date that is no calendar day or out of order; the quotes are then left
// empty, so a partial history is never taken for a whole one. Disagreements
// with the index that leave the quotes sound (first or last date) are
// appended to problems when it is given.
bool readQuotes(const QString& directory, Security& security, QString* error, QStringList* problems = nullptr);

// readIndex() and readQuotes() for every security, every problem collected.
Folder readFolder(const QString& directory);

} // namespace kestrion::metastock
