#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumo::service {

// Writes one compact JSON object. Strings are expected to be UTF-8; control
// characters, quotes and backslashes are escaped.
class JsonWriter {
public:
    JsonWriter();

    JsonWriter &Field(std::string_view key, std::string_view value);
    JsonWriter &Field(std::string_view key, std::int64_t value);
    // Opens a nested object under `key`; close it with EndObject().
    JsonWriter &BeginObject(std::string_view key);
    JsonWriter &EndObject();

    // The finished document; closes every object still open.
    std::string Finish();

    static std::string Quote(std::string_view text);

private:
    void Key(std::string_view key);

    std::string out_;
    int depth_ = 1;
    bool first_ = true;
};

// The reply envelope: {"code":..., "message":...}.
std::string EnvelopeJson(int code, std::string_view message);

}  // namespace lumo::service
