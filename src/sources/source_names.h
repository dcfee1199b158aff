#pragma once

#include "core/settings_record.h"

#include <QString>

namespace kestrion {

// The stored texts of the sources, for code and tests that name one.
inline const QString kSourceYahoo = QStringLiteral("Yahoo");
inline const QString kSourceWallStreetCity = QStringLiteral("Wall Street City");
inline const QString kSourceYahooChart = kFirstRunDataSource;
inline const QString kSourceTiingo = QStringLiteral("Tiingo");

} // namespace kestrion
