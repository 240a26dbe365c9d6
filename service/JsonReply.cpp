#include "service/JsonWriter.h"

#include <cstdio>

namespace lumo::service {

JsonWriter::JsonWriter() : out_("{") {}

std::string JsonWriter::Quote(std::string_view text)
{
    std::string q;
    q.reserve(text.size() + 2);
    q.push_back('"');
    for (char c : text) {
        switch (c) {
        case '"': q += "\\\""; break;
        case '\\': q += "\\\\"; break;
        case '\n': q += "\\n"; break;
        case '\r': q += "\\r"; break;
        case '\t': q += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                q += buf;
            } else {
                q.push_back(c);
            }
        }
    }
    q.push_back('"');
    return q;
}

void JsonWriter::Key(std::string_view key)
{
    if (!first_) out_.push_back(',');
    first_ = false;
    out_ += Quote(key);
    out_.push_back(':');
}

JsonWriter &JsonWriter::Field(std::string_view key, std::string_view value)
{
    Key(key);
    out_ += Quote(value);
    return *this;
}

JsonWriter &JsonWriter::Field(std::string_view key, std::int64_t value)
{
    Key(key);
    out_ += std::to_string(value);
    return *this;
}

JsonWriter &JsonWriter::BeginObject(std::string_view key)
{
    Key(key);
    out_.push_back('{');
    first_ = true;
    ++depth_;
    return *this;
}

JsonWriter &JsonWriter::EndObject()
{
    if (depth_ > 1) {
        out_.push_back('}');
        --depth_;
        first_ = false;
    }
    return *this;
}

std::string JsonWriter::Finish()
{
    while (depth_ > 0) {
        out_.push_back('}');
        --depth_;
    }
    return std::move(out_);
}

std::string EnvelopeJson(int code, std::string_view message)
{
    return JsonWriter().Field("code", code).Field("message", message).Finish();
}

}  // namespace lumo::service
