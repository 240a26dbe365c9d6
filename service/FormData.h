#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumo::service {

// Decodes one percent-encoded form value or name. "%XX" (either case of hex
// digit) gives that byte and "+" a space; every other byte must be a visible
// ASCII character other than "&" and "=". The decoded bytes must be valid
// UTF-8 without NUL. Returns false and a short reason on failure; `out` is
// then unspecified.
bool PercentDecode(std::string_view encoded, std::string &out, std::string &error);

// True when `bytes` is well-formed UTF-8 (no overlongs, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// An application/x-www-form-urlencoded body or query string, decoded.
// Fields keep the order in which they were written; names are unique.
class FormData {
public:
    static constexpr std::size_t kMaxFields = 32;

    // Parses `text` ("name=value&name=value"). An empty text is a valid form
    // without fields. Empty segments, segments without "=", empty names,
    // repeated names, bad escapes and too many fields are errors.
    static bool Parse(std::string_view text, FormData &out, std::string &error);

    bool Has(std::string_view name) const;
    // The decoded value of `name`, or nullptr when the form lacks it.
    const std::string *Find(std::string_view name) const;
    std::size_t Size() const { return fields_.size(); }
    const std::vector<std::pair<std::string, std::string>> &Fields() const { return fields_; }

    // Checks that the form holds exactly the names in `expected` (any order).
    // On failure `error` names the first missing or unexpected field.
    bool HasExactly(const std::vector<std::string_view> &expected, std::string &error) const;

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

}  // namespace lumo::service
