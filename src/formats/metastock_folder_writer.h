#pragma once

#include "formats/metastock_writer.h"
#include "platform/staged_file.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace kestrion {

// Writes a MetaStock end-of-day data folder: MASTER, EMASTER, XMASTER (once
// a folder holds more than 255 securities) and one data file per security,
// F1.DAT to F255.DAT and F256.MWD on, seven fields per record (date, open,
// high, low, close, volume, open interest).
//
// Quotes are kept in memory and stored by flush(), which the destructor
// calls. Every file is replaced as a whole (written beside it and synced,
// then renamed), one security at a time: its data file and the index are
// all written before any takes its place, so a full disk or an interrupted
// write leaves the folder as the securities before it left it.
class MetaStockFolderWriter : public MetaStockWriter
{
public:
    MetaStockFolderWriter() = default;
    ~MetaStockFolderWriter() override;

    MetaStockFolderWriter(const MetaStockFolderWriter&) = delete;
    MetaStockFolderWriter& operator=(const MetaStockFolderWriter&) = delete;

    // A new, empty folder in the directory: its index files are replaced by
    // the first flush. Whatever was pending for an earlier folder is stored
    // first.
    void createFolder(const QString& directory) override;
    // Adds to the folder already in the directory (MASTER, EMASTER and
    // XMASTER are read now; records that cannot be read are left as they are
    // and never updated). An empty directory is an empty folder.
    void openFolder(const QString& directory) override;
    // Starts or resumes the security stored under this symbol (at most 14
    // characters are kept) and period number (1 daily, 2 weekly, 3 monthly).
    // A security already in the folder under both is updated in place: its
    // name and layout stay, quotes are merged by date and the newest value of
    // a date wins. Any other period number selects nothing.
    void addSecurity(const QString& symbol, const QString& name, qint16 period) override;
    // Buffers one quote of the current security. Ignored without a current
    // security, for a date that is no calendar day of 1900 to 2999, and for
    // values a MetaStock number cannot hold.
    void addQuote(qint32 date, qint32 time, float v1, float v2, float v3, float v4, float v5, float v6) override;

    // Stores everything added since the last flush and ends the current
    // security. False when some of it could not be stored; a security whose
    // data file or index could not be written keeps its old data file and
    // index entry, or gets none when it is new. Nothing is written when an existing index file could
    // not be read, so a folder is never rewritten from a partial picture.
    bool flush() override;

private:
    struct Bar
    {
        qint32 time = 0;
        float open = 0, high = 0, low = 0, close = 0, volume = 0, openInterest = 0;
    };
    struct Security
    {
        int fileNumber = 0;
        QByteArray symbol; // Latin-1, no padding
        QByteArray name; // long name, up to 45 characters
        char period = 0;
        int fields = 7;
        bool usable = true; // false: kept in the index exactly as read, never updated
        bool isNew = true;
        bool touched = false;
        qint32 firstDate = 0, lastDate = 0; // yyyymmdd, 0 without quotes
        QString dataFileName; // as found on disk, or empty for the default name
        QByteArray masterRecord, emasterRecord, xmasterRecord; // as read, updated on write
        QMap<qint32, Bar> pending; // by yyyymmdd
    };

    // The index files staged beside the ones they replace.
    struct IndexFiles
    {
        QString masterPath, emasterPath, xmasterPath;
        std::unique_ptr<StagedFile> master, emaster, xmaster;
        bool removeXmaster = false; // a new folder without XMASTER securities
    };

    void reset();
    void readIndex();
    // Writes the security's data file and the index with it; when one of
    // them cannot be written, none is put in place and the security is as
    // it was before (a new one is dropped).
    bool storeSecurity(size_t index);
    std::optional<QByteArray> dataBytes(const Security& s, QMap<qint32, Bar>& bars) const;
    bool readBars(const Security& s, QMap<qint32, Bar>& bars) const;
    bool stageIndex(IndexFiles& files);
    bool commitIndex(IndexFiles& files);
    static void updateRecords(Security& s, bool patchExisting);
    int newFileNumber() const;
    QString existingFile(const QString& name) const;
    QString dataFileName(const Security& s) const;

    QString m_dir;
    bool m_haveFolder = false;
    bool m_created = false; // index files to be replaced even when empty
    bool m_indexDirty = false;
    bool m_unreadable = false; // an index file exists but could not be read
    int m_xmasterNextFree = 0; // as the existing XMASTER header says
    bool m_hadXmaster = false;
    std::vector<Security> m_securities;
    int m_current = -1;
};

} // namespace kestrion
