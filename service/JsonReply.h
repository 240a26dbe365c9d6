#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace lumo::service {

// Keys in the order they are set: replies read "code", "message", "model".
using Json = nlohmann::ordered_json;

// A reply, compact: {"code":..., "message":...} with "model" after them
// unless it is null. Bytes that are not UTF-8 become U+FFFD, so the reply
// is always valid JSON.
std::string ReplyJson(int code, std::string_view message, const Json &model = nullptr);

}  // namespace lumo::service
