#include "sources/wall_street_city_source.h"
#include "sources/source_registry.h"

#include "sources/service_address.h"

#include <QFile>

namespace kestrion {

namespace {

// Wall Street City: a query page names the result file, which is the data.
class WallStreetCitySource : public QuoteSource
{
public:
    explicit WallStreetCitySource(const SourceSetup& s)
        : m_s(s)
    {
    }
    QString name() const override { return kSourceWallStreetCity; }
    std::optional<HttpGet> queryPage(const QString& symbol) const override
    {
        return HttpGet{wscQueryUrl(m_s.services.wscQueryHost, m_s.range, m_s.period, symbol, m_s.settings.dataFormat), {}};
    }
    // The file the query page names holds the run's range.
    HttpGet dataRequest(const QString&, const QByteArray& page, const DateRange&) const override
    {
        return {wscResultUrl(m_s.services.wscFileHost, page, m_s.downloadDir), {}};
    }
    bool storesBodyAsSent() const override { return true; }
    bool trustsDefiniteAnswers() const override { return false; }

private:
    SourceSetup m_s;
};

bool isWordByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u >= 0x80;
}

} // namespace

QString wscQueryUrl(const QString& host, const DateRange& range, HistoryPeriod period, const QString& symbol,
                    const QString& dataFormat)
{
    const DayTexts start = DayTexts::of(range.from);
    const DayTexts end = DayTexts::of(range.to);
    return serviceBase(host) + QStringLiteral("/wsc2/Historical_Quotes.html?Symbol=") + encodeSymbol(symbol)
        + QStringLiteral("&Button=Get+Quotes&StartDate=") + QString::number(range.from.month()) + QStringLiteral("%2F")
        + start.day + QStringLiteral("%2F") + start.year.right(2) + QStringLiteral("&Type=")
        + periodValues(period).wscCode + QStringLiteral("&EndDate=") + QString::number(range.to.month())
        + QStringLiteral("%2F") + end.day + QStringLiteral("%2F") + end.year.right(2) + QStringLiteral("&Format=")
        + dataFormat;
}

QByteArray wscResultName(const QByteArray& page)
{
    static const QByteArray word("dynamic");
    qsizetype p = -1;
    for (qsizetype from = 0;;) {
        const qsizetype i = page.indexOf(word, from);
        if (i < 0)
            break;
        const bool startsWord = i == 0 || !isWordByte(page.at(i - 1));
        const qsizetype after = i + word.size();
        const bool endsWord = after >= page.size() || !isWordByte(page.at(after));
        if (startsWord && endsWord) {
            p = i;
            break;
        }
        from = i + 1;
    }
    // 1-based offset p + 9 is 0-based p + 8; without the word p is -1.
    const qsizetype offset = p + word.size() + 1;
    if (offset >= page.size())
        return {};
    return page.mid(offset, 15);
}

QString wscResultUrl(const QString& fileHost, const QByteArray& stage1Page, const QString& downloadDir)
{
    // The page goes through "temp.txt" in the download directory; the file is
    // read back so that what is searched is exactly what was stored.
    const QString tempPath = downloadDir + QStringLiteral("/temp.txt");
    // A page that cannot be stored whole (a full disk) is searched as it
    // came: a cut copy would name no file, and the answer would read as an
    // unknown ticker.
    QByteArray stored = stage1Page;
    {
        QFile f(tempPath);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            const bool whole = f.write(stage1Page) == stage1Page.size() && f.flush();
            f.close();
            if (whole && f.open(QIODevice::ReadOnly))
                stored = f.readAll();
        }
    }
    QFile::remove(tempPath);
    return serviceBase(fileHost) + QStringLiteral("/dynamic/") + QString::fromLatin1(wscResultName(stored));
}


std::unique_ptr<QuoteSource> makeWallStreetCitySource(const SourceSetup& setup)
{
    return std::make_unique<WallStreetCitySource>(setup);
}

} // namespace kestrion
