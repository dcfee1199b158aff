#pragma once

#include "formats/metastock_reader.h"

#include <QString>

namespace kestrion::test {

// The tests read MetaStock folders through the program's own reader, which
// has its own tests on hand-made bytes (test_metastock_reader).
using MsQuote = metastock::Quote;
using MsSecurity = metastock::Security;
using MsFolder = metastock::Folder;

// Every security with its quotes, every disagreement with the format in
// problems.
inline MsFolder readMetaStockFolder(const QString& directory)
{
    return metastock::readFolder(directory);
}

// Shortest text that reads back as the same float: 25.1f is "25.1".
QString floatText(float v);

// 4-byte MBF float from its little-endian bytes, decoded here on its own so
// the writer's encoding is checked against an independent reading.
double mbfValue(const char* bytes);

} // namespace kestrion::test
