#pragma once

#include "http_message.h"

#include <optional>

namespace kestrion::sim {

// The five keyed services Kestrion ships descriptions for (EODHD, Twelve
// Data, Massive, MarketData, Alpha Vantage), at their own paths, with their
// answer formats and the errors they document. Each checks its own key
// (below). By symbol: "ZZ..." is unknown, "NO_..." has no prices, "QUOTA_..."
// is the service's quota notice as it sends it (HTTP 200 where it does so),
// "R429_..." a plain HTTP 429.
inline constexpr const char* kSimEodhdKey = "sim-eodhd-key";
inline constexpr const char* kSimTwelveDataKey = "sim-twelve-data-key";
inline constexpr const char* kSimMassiveKey = "sim-massive-key";
inline constexpr const char* kSimMarketDataKey = "sim-marketdata-key";
inline constexpr const char* kSimAlphaVantageKey = "sim-alpha-vantage-key";

// The answer when the request is for one of them; nothing otherwise.
std::optional<HttpReply> describedServiceReply(const HttpRequest& request);

} // namespace kestrion::sim
