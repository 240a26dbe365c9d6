#include "service/FormData.h"

#include <algorithm>

namespace lumo::service {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            len = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            len = 3;
            if (b0 == 0xE0) lo = 0xA0;        // overlong
            if (b0 == 0xED) hi = 0x9F;        // UTF-16 surrogates
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            len = 4;
            if (b0 == 0xF0) lo = 0x90;        // overlong
            if (b0 == 0xF4) hi = 0x8F;        // above U+10FFFF
        } else {
            return false;
        }
        if (n - i < len) return false;
        const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        if (b1 < lo || b1 > hi) return false;
        for (std::size_t k = 2; k < len; ++k) {
            const auto bk = static_cast<unsigned char>(bytes[i + k]);
            if (bk < 0x80 || bk > 0xBF) return false;
        }
        i += len;
    }
    return true;
}

bool PercentDecode(std::string_view encoded, std::string &out, std::string &error)
{
    out.clear();
    out.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '%') {
            if (encoded.size() - i < 3) {
                error = "truncated percent escape";
                return false;
            }
            const int hi = HexValue(encoded[i + 1]);
            const int lo = HexValue(encoded[i + 2]);
            if (hi < 0 || lo < 0) {
                error = "bad percent escape";
                return false;
            }
            const char byte = static_cast<char>(hi * 16 + lo);
            if (byte == '\0') {
                error = "NUL byte in value";
                return false;
            }
            out.push_back(byte);
            i += 2;
        } else if (c == '+') {
            // Browsers' form encoders write a space as "+"; the desktop
            // client always writes %20, so both decode the same.
            out.push_back(' ');
        } else if (c > 0x20 && c < 0x7F && c != '&' && c != '=') {
            out.push_back(c);
        } else {
            error = "character that must be percent-encoded";
            return false;
        }
    }
    if (!IsValidUtf8(out)) {
        error = "value is not UTF-8";
        return false;
    }
    return true;
}

bool FormData::Parse(std::string_view text, FormData &out, std::string &error)
{
    out.fields_.clear();
    if (text.empty()) return true;

    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('&', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view segment = text.substr(start, end - start);
        if (segment.empty()) {
            error = "empty field";
            return false;
        }
        const std::size_t eq = segment.find('=');
        if (eq == std::string_view::npos) {
            error = "field without '='";
            return false;
        }
        if (out.fields_.size() >= kMaxFields) {
            error = "too many fields";
            return false;
        }
        std::string name, value, why;
        if (!PercentDecode(segment.substr(0, eq), name, why)) {
            error = "field name: " + why;
            return false;
        }
        if (name.empty()) {
            error = "empty field name";
            return false;
        }
        if (!PercentDecode(segment.substr(eq + 1), value, why)) {
            error = "field '" + name + "': " + why;
            return false;
        }
        if (out.Has(name)) {
            error = "field '" + name + "' given twice";
            return false;
        }
        out.fields_.emplace_back(std::move(name), std::move(value));
        start = end + 1;
    }
    return true;
}

bool FormData::Has(std::string_view name) const
{
    return Find(name) != nullptr;
}

const std::string *FormData::Find(std::string_view name) const
{
    for (const auto &field : fields_) {
        if (field.first == name) return &field.second;
    }
    return nullptr;
}

bool FormData::HasExactly(const std::vector<std::string_view> &expected, std::string &error) const
{
    for (std::string_view name : expected) {
        if (!Has(name)) {
            error = "missing field '" + std::string(name) + "'";
            return false;
        }
    }
    for (const auto &field : fields_) {
        if (std::find(expected.begin(), expected.end(), std::string_view(field.first)) == expected.end()) {
            error = "unexpected field '" + field.first + "'";
            return false;
        }
    }
    return true;
}

}  // namespace lumo::service
