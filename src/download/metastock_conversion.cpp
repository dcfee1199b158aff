#include "download/metastock_components.h"

namespace kestrion {

// Placeholder until the quote line parser lands.
void convertToMetaStock(const QString&, const QString&, qint16, MetaStockWriter&) {}

} // namespace kestrion
