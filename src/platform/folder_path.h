#pragma once

#include <QString>

namespace kestrion {

// Makes the folder and every missing folder above it. True when the folder
// is there afterwards (made now or before); otherwise false, with why in
// words for a message ("\"/a/b\" is a file, not a folder").
bool makeFolderPath(const QString& path, QString* why = nullptr);

} // namespace kestrion
