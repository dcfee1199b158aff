#include "download/metastock_factory.h"

namespace kestrion {

namespace {

class NoWriter : public MetaStockWriter
{
public:
    void createFolder(const QString&) override {}
    void openFolder(const QString&) override {}
    void addSecurity(const QString&, const QString&, qint16) override {}
    void addQuote(qint32, qint32, float, float, float, float, float, float) override {}
};

class NoDownloader : public MetaStockDownloader
{
public:
    void setRunSetting(qint16) override {}
    int downloadTicker(const QString&, const QString&, qint32, qint32, qint16, const QString&, const QString&,
                       bool) override
    {
        return kErrorCouldNotDownload;
    }
};

class PlaceholderFactory : public MetaStockFactory
{
public:
    std::unique_ptr<MetaStockWriter> createWriter() override { return std::make_unique<NoWriter>(); }
    std::unique_ptr<MetaStockDownloader> createDownloader() override { return std::make_unique<NoDownloader>(); }
};

} // namespace

std::unique_ptr<MetaStockFactory> makeMetaStockFactory(const ServiceConfig&)
{
    return std::make_unique<PlaceholderFactory>();
}

} // namespace kestrion
