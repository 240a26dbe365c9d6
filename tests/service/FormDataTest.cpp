#include <gtest/gtest.h>

#include "service/FormData.h"

using lumo::service::FormData;
using lumo::service::IsValidUtf8;
using lumo::service::PercentDecode;

TEST(PercentDecode, Table)
{
    struct Case {
        const char *encoded;
        bool ok;
        const char *decoded;
    };
    const Case cases[] = {
        {"", true, ""},
        {"AZaz09-._~", true, "AZaz09-._~"},
        {"a%20b%26c", true, "a b&c"},
        {"%E4%BD%A0%e5%a5%bd", true, "你好"},
        {"a+b", true, "a b"},
        {"%2B%25", true, "+%"},
        {"100%", false, nullptr},
        {"%4", false, nullptr},
        {"%G1", false, nullptr},
        {"%1g", false, nullptr},
        {"%00", false, nullptr},
        {"a b", false, nullptr},
        {"a=b", false, nullptr},
        {"\t", false, nullptr},
        {"\xE4\xBD\xA0", false, nullptr},  // raw bytes must be escaped
        {"%C3%28", false, nullptr},        // bad continuation
        {"%C0%AF", false, nullptr},        // overlong "/"
        {"%ED%A0%80", false, nullptr},     // surrogate
        {"%F4%90%80%80", false, nullptr},  // above U+10FFFF
        {"%E4%BD", false, nullptr},        // cut short
        {"%F0%9F%98%80", true, "😀"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.encoded);
        std::string out, error;
        EXPECT_EQ(PercentDecode(c.encoded, out, error), c.ok);
        if (c.ok) {
            EXPECT_EQ(out, c.decoded);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

TEST(FormData, ParseTable)
{
    struct Case {
        const char *text;
        bool ok;
        std::vector<std::pair<std::string, std::string>> fields;
    };
    const std::vector<Case> cases = {
        {"", true, {}},
        {"feedback=", true, {{"feedback", ""}}},
        {"a=1&b=%E4%BD%A0", true, {{"a", "1"}, {"b", "你"}}},
        {"b=2&a=1", true, {{"b", "2"}, {"a", "1"}}},
        {"a=1&", false, {}},
        {"&a=1", false, {}},
        {"a=1&&b=2", false, {}},
        {"a", false, {}},
        {"=1", false, {}},
        {"a=1&a=2", false, {}},
        {"a=1=2", false, {}},
        {"a=%zz", false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        FormData form;
        std::string error;
        EXPECT_EQ(FormData::Parse(c.text, form, error), c.ok);
        if (c.ok) {
            EXPECT_EQ(form.Fields(), c.fields);
        }
    }
}

TEST(FormData, FieldCountIsBounded)
{
    std::string text;
    for (std::size_t i = 0; i <= FormData::kMaxFields; ++i) {
        text += (i ? "&f" : "f") + std::to_string(i) + "=x";
    }
    FormData form;
    std::string error;
    EXPECT_FALSE(FormData::Parse(text, form, error));
    text = text.substr(0, text.rfind('&'));
    EXPECT_TRUE(FormData::Parse(text, form, error)) << error;
    EXPECT_EQ(form.Size(), FormData::kMaxFields);
}

TEST(FormData, HasExactly)
{
    FormData form;
    std::string error;
    ASSERT_TRUE(FormData::Parse("type=INFO&info=x", form, error));
    EXPECT_TRUE(form.HasExactly({"info", "type"}, error));
    EXPECT_FALSE(form.HasExactly({"type"}, error));
    EXPECT_NE(error.find("info"), std::string::npos);
    EXPECT_FALSE(form.HasExactly({"type", "info", "page"}, error));
    EXPECT_NE(error.find("page"), std::string::npos);
}

TEST(IsValidUtf8, AcceptsEveryEncodedLength)
{
    EXPECT_TRUE(IsValidUtf8("a\xC2\xA9\xE4\xBD\xA0\xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\x80"));
    EXPECT_FALSE(IsValidUtf8("\xC1\xBF"));
    EXPECT_FALSE(IsValidUtf8("\xF5\x80\x80\x80"));
}
