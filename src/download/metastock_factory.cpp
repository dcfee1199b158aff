#include "download/metastock_factory.h"

#include "formats/metastock_folder_writer.h"
#include "download/metastock_yahoo_downloader.h"

namespace kestrion {

std::unique_ptr<MetaStockWriter> DefaultMetaStockFactory::createWriter()
{
    return std::make_unique<MetaStockFolderWriter>();
}

std::unique_ptr<MetaStockDownloader> DefaultMetaStockFactory::createDownloader()
{
    return std::make_unique<YahooMetaStockDownloader>(m_services);
}

std::unique_ptr<MetaStockFactory> makeMetaStockFactory(const ServiceConfig& services)
{
    return std::make_unique<DefaultMetaStockFactory>(services);
}

} // namespace kestrion
