#pragma once

#include "core/settings_record.h"
#include "download/metastock_components.h"

namespace kestrion {

// The components a run uses: a MetaStockFolderWriter and a
// YahooMetaStockDownloader that asks the services given here.
class DefaultMetaStockFactory : public MetaStockFactory
{
public:
    explicit DefaultMetaStockFactory(ServiceConfig services = {})
        : m_services(std::move(services))
    {
    }

    // For the next downloader created (the "Services" settings may change between runs).
    void setServices(const ServiceConfig& services) { m_services = services; }
    const ServiceConfig& services() const { return m_services; }

    std::unique_ptr<MetaStockWriter> createWriter() override;
    std::unique_ptr<MetaStockDownloader> createDownloader() override;

private:
    ServiceConfig m_services;
};

// The MetaStock components the window and the command-line runner use: a
// DefaultMetaStockFactory asking the given services.
std::unique_ptr<MetaStockFactory> makeMetaStockFactory(const ServiceConfig& services);

} // namespace kestrion
