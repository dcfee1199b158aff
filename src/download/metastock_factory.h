#pragma once

#include "download/metastock_components.h"

namespace kestrion {

struct ServiceConfig;

// The MetaStock components the window and the command-line runner use.
std::unique_ptr<MetaStockFactory> makeMetaStockFactory(const ServiceConfig& services);

} // namespace kestrion
