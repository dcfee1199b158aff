#include "formats/metastock_folder_writer.h"

#include "formats/metastock_fields.h"
#include "formats/metastock_format.h"
#include "platform/staged_file.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <bit>
#include <cmath>

namespace kestrion {

using namespace metastock;

namespace {

constexpr int kMasterRecord = 53;
constexpr int kEmasterRecord = 192;
constexpr int kXmasterRecord = 150;
constexpr int kMasterCapacity = 255; // file numbers 1..255 live in MASTER
constexpr int kSymbolLength = 14;
constexpr int kShortNameLength = 16;
constexpr int kLongNameLength = 45;
const QByteArray kXmasterSignature("\x5D\xFE\x58\x4D", 4);

const QString kMaster = QStringLiteral("MASTER");
const QString kEmaster = QStringLiteral("EMASTER");
const QString kXmaster = QStringLiteral("XMASTER");

} // namespace

MetaStockFolderWriter::~MetaStockFolderWriter()
{
    flush();
}

void MetaStockFolderWriter::reset()
{
    m_dir.clear();
    m_haveFolder = false;
    m_created = false;
    m_indexDirty = false;
    m_unreadable = false;
    m_xmasterNextFree = 0;
    m_hadXmaster = false;
    m_securities.clear();
    m_current = -1;
}

void MetaStockFolderWriter::createFolder(const QString& directory)
{
    flush();
    reset();
    m_dir = directory;
    m_haveFolder = true;
    m_created = true;
}

void MetaStockFolderWriter::openFolder(const QString& directory)
{
    flush();
    reset();
    m_dir = directory;
    m_haveFolder = true;
    readIndex();
}

QString MetaStockFolderWriter::existingFile(const QString& name) const
{
    // Folders copied from elsewhere may carry lower-case names.
    const QDir dir(m_dir);
    if (QFile::exists(dir.filePath(name)))
        return name;
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& e : entries) {
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return e;
    }
    return {};
}

void MetaStockFolderWriter::readIndex()
{
    const QDir dir(m_dir);
    auto readFile = [&](const QString& name, QByteArray& bytes) {
        const QString found = existingFile(name);
        if (found.isEmpty())
            return false;
        QFile f(dir.filePath(found));
        if (!f.open(QIODevice::ReadOnly)) {
            m_unreadable = true;
            return false;
        }
        bytes = f.readAll();
        if (f.error() != QFileDevice::NoError) {
            m_unreadable = true;
            return false;
        }
        return true;
    };
    QSet<int> seen;

    QByteArray master;
    if (readFile(kMaster, master)) {
        const int records = int(master.size() / kMasterRecord);
        for (int r = 1; r < records; ++r) {
            const QByteArray rec = master.mid(r * kMasterRecord, kMasterRecord);
            const int fn = quint8(rec.at(0));
            if (fn == 0 || seen.contains(fn))
                continue;
            seen.insert(fn);
            Security s;
            s.isNew = false;
            s.fileNumber = fn;
            s.fields = quint8(rec.at(4));
            s.symbol = textAt(rec, 36, kSymbolLength);
            s.name = textAt(rec, 7, kShortNameLength);
            s.period = rec.at(33);
            s.firstDate = dateFromMbf(u32At(rec, 25));
            s.lastDate = dateFromMbf(u32At(rec, 29));
            s.usable = s.fields >= 5 && s.fields <= 8 && quint8(rec.at(3)) == 4 * s.fields && !s.symbol.isEmpty()
                && usablePeriod(s.period);
            s.masterRecord = rec;
            m_securities.push_back(std::move(s));
        }
    }

    QByteArray emaster;
    if (readFile(kEmaster, emaster)) {
        const int records = int(emaster.size() / kEmasterRecord);
        for (int r = 1; r < records; ++r) {
            const QByteArray rec = emaster.mid(r * kEmasterRecord, kEmasterRecord);
            const int fn = quint8(rec.at(2));
            if (fn == 0)
                continue;
            const QByteArray longName = textAt(rec, 139, kLongNameLength);
            auto it = std::find_if(m_securities.begin(), m_securities.end(),
                                   [fn](const Security& s) { return s.fileNumber == fn; });
            if (it != m_securities.end()) {
                // A record that names another symbol describes something else.
                if (it->emasterRecord.isEmpty() && textAt(rec, 11, kSymbolLength) == it->symbol) {
                    it->emasterRecord = rec;
                    if (!longName.isEmpty())
                        it->name = longName;
                }
                continue;
            }
            // Listed only here (MASTER lost or short): take it when it reads well.
            Security s;
            s.isNew = false;
            s.fileNumber = fn;
            s.fields = quint8(rec.at(6));
            s.symbol = textAt(rec, 11, kSymbolLength);
            s.name = longName.isEmpty() ? textAt(rec, 32, kShortNameLength) : longName;
            s.period = rec.at(60);
            const float first = std::bit_cast<float>(u32At(rec, 64));
            const float last = std::bit_cast<float>(u32At(rec, 72));
            auto date = [](float v) {
                if (!(v > 0) || v > 2e7f)
                    return 0;
                const qint32 d = fromMetaStockDate(qint32(std::lround(v)));
                return isStorableDate(d) ? d : 0;
            };
            s.firstDate = date(first);
            s.lastDate = date(last);
            if (s.fields < 5 || s.fields > 8 || s.symbol.isEmpty() || !usablePeriod(s.period))
                continue;
            seen.insert(fn);
            s.emasterRecord = rec;
            updateRecords(s, false); // MASTER must list it too
            m_securities.push_back(std::move(s));
        }
    }

    QByteArray xmaster;
    if (readFile(kXmaster, xmaster)) {
        m_hadXmaster = true;
        if (xmaster.size() >= kXmasterRecord && xmaster.startsWith(kXmasterSignature))
            m_xmasterNextFree = u16At(xmaster, 18);
        const int records = int(xmaster.size() / kXmasterRecord);
        for (int r = 1; r < records; ++r) {
            const QByteArray rec = xmaster.mid(r * kXmasterRecord, kXmasterRecord);
            const int fn = u16At(rec, 65);
            if (rec.at(0) != 1 || fn <= kMasterCapacity || seen.contains(fn))
                continue;
            Security s;
            s.isNew = false;
            s.fileNumber = fn;
            s.fields = fieldCountFromBits(quint8(rec.at(70)));
            s.symbol = textAt(rec, 1, kSymbolLength + 1);
            s.name = textAt(rec, 16, kLongNameLength + 1);
            s.period = rec.at(62);
            auto date = [](quint32 v) { return isStorableDate(qint32(v)) ? qint32(v) : 0; };
            s.firstDate = date(u32At(rec, 104));
            s.lastDate = date(u32At(rec, 116));
            if (s.symbol.isEmpty())
                continue;
            s.usable = s.fields != 0 && usablePeriod(s.period);
            seen.insert(fn);
            s.xmasterRecord = rec;
            m_securities.push_back(std::move(s));
        }
    }
}

void MetaStockFolderWriter::addSecurity(const QString& symbol, const QString& name, qint16 period)
{
    m_current = -1;
    const char letter = periodLetter(period);
    const QByteArray sym = storedText(symbol, kSymbolLength);
    if (!m_haveFolder || letter == 0 || sym.isEmpty())
        return;
    for (size_t i = 0; i < m_securities.size(); ++i) {
        Security& s = m_securities[i];
        if (s.usable && s.period == letter && s.symbol == sym) {
            s.touched = true;
            m_current = int(i);
            return;
        }
    }
    const int fn = newFileNumber();
    if (fn == 0)
        return;
    Security s;
    s.fileNumber = fn;
    s.symbol = sym;
    s.name = storedText(name, kLongNameLength);
    if (s.name.isEmpty())
        s.name = sym;
    s.period = letter;
    s.touched = true;
    m_securities.push_back(std::move(s));
    m_current = int(m_securities.size()) - 1;
}

int MetaStockFolderWriter::newFileNumber() const
{
    QSet<int> used;
    int highest = kMasterCapacity;
    for (const Security& s : m_securities) {
        used.insert(s.fileNumber);
        highest = std::max(highest, s.fileNumber);
    }
    // A data file the index does not list may still hold someone's quotes
    // (an index lost or replaced): its number is not given out again.
    QSet<QString> files;
    const QStringList entries = QDir(m_dir).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System);
    for (const QString& e : entries)
        files.insert(e.toUpper());
    auto free = [&](int fn) {
        const QString ext = fn <= kMasterCapacity ? QStringLiteral("DAT") : QStringLiteral("MWD");
        return !used.contains(fn) && !files.contains(QStringLiteral("F%1.%2").arg(fn).arg(ext));
    };
    int count = 0;
    for (const Security& s : m_securities)
        count += s.fileNumber <= kMasterCapacity ? 1 : 0;
    if (count < kMasterCapacity) {
        for (int fn = 1; fn <= kMasterCapacity; ++fn) {
            if (free(fn))
                return fn;
        }
    }
    for (int fn = std::max(highest + 1, std::min(m_xmasterNextFree, 0xFFFF)); fn <= 0xFFFF; ++fn) {
        if (free(fn))
            return fn;
    }
    return 0;
}

void MetaStockFolderWriter::addQuote(qint32 date, qint32 time, float v1, float v2, float v3, float v4, float v5,
                                     float v6)
{
    if (m_current < 0 || !isStorableDate(date))
        return;
    for (const float v : {v1, v2, v3, v4, v5, v6}) {
        if (!toMbf(v))
            return;
    }
    Bar b;
    b.time = time;
    b.open = v1;
    b.high = v2;
    b.low = v3;
    b.close = v4;
    b.volume = v5;
    b.openInterest = v6;
    m_securities[size_t(m_current)].pending.insert(date, b);
}

QString MetaStockFolderWriter::dataFileName(const Security& s) const
{
    if (!s.dataFileName.isEmpty())
        return s.dataFileName;
    const QString name = QStringLiteral("F%1.%2")
                             .arg(s.fileNumber)
                             .arg(s.fileNumber <= kMasterCapacity ? QStringLiteral("DAT") : QStringLiteral("MWD"));
    const QString found = existingFile(name);
    return found.isEmpty() ? name : found;
}

bool MetaStockFolderWriter::readBars(const Security& s, QMap<qint32, Bar>& bars) const
{
    const QString name = dataFileName(s);
    QFile f(QDir(m_dir).filePath(name));
    if (!f.exists())
        return true; // nothing stored yet
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return false;
    const int len = 4 * s.fields;
    const int inFile = int(data.size() / len); // header included
    if (inFile < 1)
        return true;
    // The header counts the records plus one; a count the file cannot hold
    // is not believed, the file's length is.
    const int counted = u16At(data, 2);
    const int records = (counted >= 1 && counted <= inFile) ? counted - 1 : inFile - 1;
    for (int r = 1; r <= records; ++r) {
        const QByteArray rec = data.mid(qsizetype(r) * len, len);
        auto field = [&rec](int i) { return fromMbf(u32At(rec, 4 * i)); };
        const qint32 date = dateFromMbf(u32At(rec, 0));
        if (date == 0)
            continue;
        Bar b;
        int i = 1;
        if (s.fields == 8)
            b.time = qint32(std::lround(field(i++)));
        if (s.fields >= 6)
            b.open = field(i++);
        b.high = field(i++);
        b.low = field(i++);
        b.close = field(i++);
        b.volume = field(i++);
        if (s.fields >= 7)
            b.openInterest = field(i++);
        bars.insert(date, b);
    }
    return true;
}

std::optional<QByteArray> MetaStockFolderWriter::dataBytes(const Security& s, QMap<qint32, Bar>& bars) const
{
    if (!s.isNew && !readBars(s, bars))
        return std::nullopt; // never replace history it could not read
    for (auto it = s.pending.cbegin(); it != s.pending.cend(); ++it)
        bars.insert(it.key(), it.value());

    const int len = 4 * s.fields;
    if (bars.size() + 1 > 0xFFFF)
        return std::nullopt;
    QByteArray data(qsizetype(bars.size() + 1) * len, '\0');
    putU16(data, 2, quint16(bars.size() + 1));
    int r = 1;
    for (auto it = bars.cbegin(); it != bars.cend(); ++it, ++r) {
        const int off = r * len;
        const Bar& b = it.value();
        int i = 0;
        auto put = [&](float v) { putMbf(data, off + 4 * i++, v); };
        put(float(toMetaStockDate(it.key())));
        if (s.fields == 8)
            put(float(b.time));
        if (s.fields >= 6)
            put(b.open);
        put(b.high);
        put(b.low);
        put(b.close);
        put(b.volume);
        if (s.fields >= 7)
            put(b.openInterest);
    }
    return data;
}

bool MetaStockFolderWriter::storeSecurity(size_t index)
{
    // The security as the folder on disk describes it, to go back to when
    // any of its files cannot be written.
    Security before = m_securities[index];
    before.touched = false;
    before.pending.clear();

    Security& s = m_securities[index];
    s.touched = false;
    QMap<qint32, Bar> bars;
    const std::optional<QByteArray> data = dataBytes(s, bars);
    s.pending.clear();
    std::unique_ptr<StagedFile> staged;
    const QString name = dataFileName(s);
    if (data)
        staged = StagedFile::write(QDir(m_dir).filePath(name), *data, nullptr);
    if (staged) {
        s.dataFileName = name;
        s.firstDate = bars.isEmpty() ? 0 : bars.firstKey();
        s.lastDate = bars.isEmpty() ? 0 : bars.lastKey();
        updateRecords(s, true);
    }
    // The data file and the index that describes it go into place together,
    // or neither does.
    IndexFiles indexFiles;
    if (staged && stageIndex(indexFiles) && staged->commit(QDir(m_dir).filePath(name))) {
        s.isNew = false;
        if (!commitIndex(indexFiles)) {
            m_indexDirty = true; // the data file is in place: its index follows at the next flush
            return false;
        }
        return true;
    }
    if (before.isNew)
        m_securities.erase(m_securities.begin() + std::ptrdiff_t(index));
    else
        m_securities[index] = std::move(before);
    return false;
}

void MetaStockFolderWriter::updateRecords(Security& s, bool patchExisting)
{
    // Records read from the folder keep every byte but the ones that change;
    // missing ones are made from what is known of the security.
    const quint8 bits = fieldBits(s.fields);
    if (s.fileNumber <= kMasterCapacity) {
        QByteArray& m = s.masterRecord;
        const bool newMaster = m.size() != kMasterRecord;
        if (newMaster) {
            m = QByteArray(kMasterRecord, '\0');
            m[0] = char(s.fileNumber);
            putU16(m, 1, 101);
            putText(m, 7, kShortNameLength, s.name.left(kShortNameLength), ' ');
            m[33] = s.period;
            putText(m, 36, kSymbolLength, s.symbol, ' ');
            m[50] = ' ';
            m[51] = ' ';
        }
        if (newMaster || patchExisting) {
            m[3] = char(4 * s.fields);
            m[4] = char(s.fields);
            putMbf(m, 25, msDateFloat(s.firstDate));
            putMbf(m, 29, msDateFloat(s.lastDate));
        }

        QByteArray& e = s.emasterRecord;
        const bool newEmaster = e.size() != kEmasterRecord;
        if (newEmaster) {
            e = QByteArray(kEmasterRecord, '\0');
            e[0] = '6';
            e[1] = '6';
            e[2] = char(s.fileNumber);
            putText(e, 11, kSymbolLength, s.symbol, '\0');
            putText(e, 32, kShortNameLength, s.name.left(kShortNameLength), '\0');
            e[60] = s.period;
            putText(e, 139, kLongNameLength, s.name, '\0');
        }
        if (newEmaster || patchExisting) {
            e[6] = char(s.fields);
            e[7] = char(bits);
            putIeee(e, 64, msDateFloat(s.firstDate));
            putIeee(e, 72, msDateFloat(s.lastDate));
            putU32(e, 126, quint32(s.firstDate));
        }
    } else {
        QByteArray& x = s.xmasterRecord;
        const bool newXmaster = x.size() != kXmasterRecord;
        if (newXmaster) {
            x = QByteArray(kXmasterRecord, '\0');
            x[0] = 1;
            putText(x, 1, kSymbolLength, s.symbol, '\0');
            putText(x, 16, kLongNameLength, s.name, '\0');
            x[62] = s.period;
            putU16(x, 65, quint16(s.fileNumber));
        }
        if (newXmaster || patchExisting) {
            x[70] = char(bits);
            putU32(x, 104, quint32(s.firstDate));
            putU32(x, 108, quint32(s.firstDate));
            putU32(x, 116, quint32(s.lastDate));
        }
    }
}

bool MetaStockFolderWriter::stageIndex(IndexFiles& files)
{
    const QDir dir(m_dir);
    QByteArray master(kMasterRecord, '\0');
    QByteArray emaster(kEmasterRecord, '\0');
    QByteArray xmaster(kXmasterRecord, '\0');
    int masterCount = 0, masterHighest = 0, xmasterCount = 0, xmasterHighest = kMasterCapacity;
    for (Security& s : m_securities) {
        if (s.fileNumber <= kMasterCapacity) {
            updateRecords(s, false); // listed in only one of the two: describe it in both
            master += s.masterRecord;
            emaster += s.emasterRecord;
            ++masterCount;
            masterHighest = std::max(masterHighest, s.fileNumber);
        } else {
            xmaster += s.xmasterRecord;
            ++xmasterCount;
            xmasterHighest = std::max(xmasterHighest, s.fileNumber);
        }
    }
    putU16(master, 0, quint16(masterCount));
    putU16(master, 2, quint16(masterHighest));
    putU16(emaster, 0, quint16(masterCount));
    putU16(emaster, 2, quint16(masterHighest));
    xmaster.replace(0, 4, kXmasterSignature);
    putU16(xmaster, 10, quint16(xmasterCount));
    putU16(xmaster, 14, quint16(xmasterCount));
    putU16(xmaster, 18, quint16(std::min(std::max(xmasterHighest + 1, m_xmasterNextFree), 0xFFFF)));

    auto target = [&](const QString& name) {
        const QString found = existingFile(name);
        return dir.filePath(found.isEmpty() ? name : found);
    };
    files = IndexFiles{};
    files.masterPath = target(kMaster);
    files.emasterPath = target(kEmaster);
    files.xmasterPath = target(kXmaster);
    files.master = StagedFile::write(files.masterPath, master, nullptr);
    files.emaster = StagedFile::write(files.emasterPath, emaster, nullptr);
    if (!files.master || !files.emaster)
        return false;
    if (xmasterCount > 0 || (m_hadXmaster && !m_created)) {
        files.xmaster = StagedFile::write(files.xmasterPath, xmaster, nullptr);
        return bool(files.xmaster);
    }
    if (m_created && !existingFile(kXmaster).isEmpty())
        files.removeXmaster = true;
    return true;
}

bool MetaStockFolderWriter::commitIndex(IndexFiles& files)
{
    bool ok = true;
    if (files.xmaster)
        ok = files.xmaster->commit(files.xmasterPath);
    else if (files.removeXmaster)
        ok = QFile::remove(files.xmasterPath);
    // EMASTER marks the folder: it goes last.
    ok = ok && files.master->commit(files.masterPath) && files.emaster->commit(files.emasterPath);
    if (ok) {
        m_indexDirty = false;
        m_created = false;
    }
    return ok;
}

bool MetaStockFolderWriter::flush()
{
    m_current = -1;
    if (!m_haveFolder)
        return true;
    bool ok = true;
    if (m_unreadable) {
        // Rewriting the index now would drop the securities it could not read.
        for (Security& s : m_securities) {
            if (s.touched)
                ok = false;
            s.touched = false;
            s.pending.clear();
        }
        return ok;
    }
    // One security at a time, each with its own index: a file that cannot be
    // written leaves the folder as the securities before it left it.
    for (size_t i = 0; i < m_securities.size();) {
        if (!m_securities[i].touched) {
            ++i;
            continue;
        }
        const size_t count = m_securities.size();
        if (!storeSecurity(i))
            ok = false;
        if (m_securities.size() == count)
            ++i; // else a new security that could not be stored is gone
    }
    if (m_indexDirty || m_created) {
        IndexFiles files;
        if (!stageIndex(files) || !commitIndex(files))
            ok = false;
    }
    return ok;
}

} // namespace kestrion
