#pragma once

#include "http_message.h"

#include <optional>

namespace kestrion::sim {

// Two services Kestrion ships no description for, the kind a user describes
// in a file of their own: "Börsenblick" (CSV with ';', German column names
// and numbers, dd.MM.yyyy, newest first, a title line, the key in an
// X-Api-Key header) and "Kabu Feed" (JSON rows under data.bars, prices
// nested, epoch seconds of midnight in Tokyo, an optional key).
inline constexpr const char* kSimBoersenblickKey = "sim-boersenblick-key";
inline constexpr const char* kSimKabuKey = "sim-kabu-key";

// The answer when the request is for one of them; nothing otherwise.
std::optional<HttpReply> ownServiceReply(const HttpRequest& request);

} // namespace kestrion::sim
