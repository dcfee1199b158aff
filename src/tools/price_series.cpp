#include "tools/price_series.h"

#include "formats/file_stem.h"
#include "formats/metastock_reader.h"

#include <QFileInfo>

#include <cmath>

namespace kestrion {

namespace {

QString periodName(char period)
{
    switch (period) {
    case 'D':
        return QStringLiteral("daily");
    case 'W':
        return QStringLiteral("weekly");
    case 'M':
        return QStringLiteral("monthly");
    case 'I':
        return QStringLiteral("intraday");
    default:
        return QStringLiteral("period %1").arg(QLatin1Char(period ? period : '?'));
    }
}

class FileSource final : public PriceSource
{
public:
    explicit FileSource(QString path)
        : m_path(std::move(path))
    {
    }
    QString path() const override { return m_path; }
    QStringList entries() const override { return {QFileInfo(m_path).fileName()}; }
    SeriesLoad load(int) const override { return readPriceFile(m_path); }

private:
    QString m_path;
};

class MetaStockSource final : public PriceSource
{
public:
    MetaStockSource(QString dir, metastock::Folder index)
        : m_dir(std::move(dir))
        , m_index(std::move(index))
    {
    }
    QString path() const override { return m_dir; }
    bool isFolder() const override { return true; }
    QStringList entries() const override
    {
        QStringList out;
        for (const metastock::Security& s : m_index.securities) {
            QString line = s.symbol;
            const QString name = s.displayName();
            if (name != s.symbol)
                line += QStringLiteral(" - ") + name;
            out << line + QStringLiteral(" (%1)").arg(periodName(s.period));
        }
        return out;
    }
    QStringList warnings() const override { return m_index.problems; }
    int find(const QString& symbol) const override
    {
        for (int i = 0; i < m_index.securities.size(); ++i) {
            if (m_index.securities.at(i).symbol.compare(symbol, Qt::CaseInsensitive) == 0)
                return i;
        }
        return 0;
    }
    SeriesLoad load(int entry) const override
    {
        SeriesLoad out;
        if (entry < 0 || entry >= m_index.securities.size()) {
            out.error = QStringLiteral("no such security");
            return out;
        }
        metastock::Security s = m_index.securities.at(entry);
        if (!metastock::readQuotes(m_dir, s, &out.error))
            return out;
        out.series.symbol = s.symbol;
        out.series.period = (s.period == 'D' || s.period == 'W' || s.period == 'M') ? s.period : 0;
        out.series.bars.reserve(size_t(s.quotes.size()));
        for (const metastock::Quote& q : std::as_const(s.quotes)) {
            PriceBar b;
            b.date = QDate(q.date / 10000, q.date / 100 % 100, q.date % 100);
            // Five-field records keep no open; the close stands in for it.
            b.open = s.fields >= 6 ? q.open : q.close;
            b.high = q.high;
            b.low = q.low;
            b.close = q.close;
            b.volume = std::isfinite(q.volume) && q.volume > 0 && q.volume < 9.0e18f ? qint64(std::llround(q.volume))
                                                                                     : 0;
            b.adjClose = q.close;
            out.series.bars.push_back(b);
        }
        return out;
    }

private:
    QString m_dir;
    metastock::Folder m_index;
};

} // namespace

std::unique_ptr<PriceSource> openPriceSource(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("it does not exist");
        return nullptr;
    }
    QString dir;
    if (info.isDir()) {
        dir = info.absoluteFilePath();
        if (!metastock::isFolder(dir)) {
            *error = QStringLiteral("the folder holds no MetaStock index (MASTER or XMASTER)");
            return nullptr;
        }
    } else {
        const QString name = info.fileName().toUpper();
        if (name == QLatin1String("MASTER") || name == QLatin1String("EMASTER") || name == QLatin1String("XMASTER"))
            dir = info.absolutePath();
    }
    if (dir.isEmpty())
        return std::make_unique<FileSource>(path);
    metastock::Folder index = metastock::readIndex(dir);
    if (index.securities.isEmpty()) {
        *error = index.problems.isEmpty()
            ? QStringLiteral("the MetaStock folder lists no securities")
            : QStringLiteral("the MetaStock index cannot be read: ") + index.problems.join(QStringLiteral("; "));
        return nullptr;
    }
    return std::make_unique<MetaStockSource>(dir, std::move(index));
}

ChartTarget chartTargetFor(const QString& dataFile, const QString& downloadDir, const QString& symbol)
{
    ChartTarget t;
    t.lookedFor = dataFile;
    if (QFileInfo(dataFile).isFile()) {
        t.path = dataFile;
        return t;
    }
    if (!metastock::isFolder(downloadDir))
        return t;
    const QString stem = fileStem(symbol);
    const metastock::Folder index = metastock::readIndex(downloadDir);
    for (const metastock::Security& s : index.securities) {
        if (s.symbol.compare(stem, Qt::CaseInsensitive) == 0) {
            t.path = downloadDir;
            t.symbol = s.symbol;
            break;
        }
    }
    return t;
}

} // namespace kestrion
