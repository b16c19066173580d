#include <lexikit/ParsedText.h>

#include <gtest/gtest.h>

TEST(ParsedTextArena, StoredTextsStayNulTerminatedAndApart)
{
    CParsedText parsed;
    const std::size_t a = parsed.store("abcdef", 3);
    const std::size_t b = parsed.store(std::string("xyz"));
    parsed.add_field(a, b);
    EXPECT_STREQ(parsed.text_at(a), "abc");
    EXPECT_STREQ(parsed.text_at(b), "xyz");
    EXPECT_EQ(parsed.field_count(), 1u);
    EXPECT_STREQ(parsed.field_token(0), "abc");
    EXPECT_STREQ(parsed.field_value(0), "xyz");
    EXPECT_EQ(parsed.field_token(1), nullptr);
    EXPECT_EQ(parsed.field_value(1), nullptr);
    EXPECT_EQ(parsed.text_at(CParsedText::NONE), nullptr);
}

TEST(ParsedTextArena, ClearForgetsEverything)
{
    CParsedText parsed;
    parsed.set_kind(CParsedText::KIND_HTTP);
    parsed.http().status_code = 200;
    parsed.http().body = parsed.store("body", 4);
    parsed.add_field(parsed.store("k", 1), parsed.store("v", 1));
    parsed.clear();
    EXPECT_EQ(parsed.kind(), CParsedText::KIND_UNKNOWN);
    EXPECT_EQ(parsed.field_count(), 0u);
    EXPECT_EQ(parsed.http().status_code, 0);
    EXPECT_EQ(parsed.text_at(parsed.http().body), nullptr);
    EXPECT_EQ(parsed.text_at(0), nullptr);
}
