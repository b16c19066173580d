#include <lexikit/KQMLReader.h>

#include <lexikit/ParsedText.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

bool read(const std::string& text, CParsedText& out)
{
    return CKQMLReader::read(text.c_str(), text.size(), out);
}

} // namespace

TEST(KQMLReaderRecognition, OpeningParenthesisAfterWhitespace)
{
    EXPECT_TRUE(CKQMLReader::looks_like(" \r\n(x", 5));
    EXPECT_FALSE(CKQMLReader::looks_like("x(", 2));
    EXPECT_FALSE(CKQMLReader::looks_like("   ", 3));
    EXPECT_FALSE(CKQMLReader::looks_like("", 0));
}

TEST(KQMLReaderFields, PairsInSourceOrderWithDuplicates)
{
    CParsedText out;
    ASSERT_TRUE(read("(tell :a 1 :b \"two\" :a (3))", out));
    EXPECT_EQ(out.kind(), CParsedText::KIND_KQML);
    ASSERT_EQ(out.field_count(), 4u);
    EXPECT_STREQ(out.field_token(0), "tell");
    EXPECT_STREQ(out.field_value(0), "__PERFORMATIVE__");
    EXPECT_STREQ(out.field_token(1), ":a");
    EXPECT_STREQ(out.field_value(1), "1");
    EXPECT_STREQ(out.field_value(2), "\"two\"");
    EXPECT_STREQ(out.field_token(3), ":a");
    EXPECT_STREQ(out.field_value(3), "(3)");
}

TEST(KQMLReaderFields, ListValuesNeedOnlyBalance)
{
    CParsedText out;
    ASSERT_TRUE(read("(tell :free (text :dangling (x) \"q\" :k))", out));
    EXPECT_STREQ(out.field_value(1), "(text :dangling (x) \"q\" :k)");
}

TEST(KQMLReaderFields, TextAfterTheMessageIsRefused)
{
    CParsedText out;
    EXPECT_TRUE(read("(tell)  \n", out));
    EXPECT_FALSE(read("(tell)\x04", out));
    EXPECT_FALSE(read("(tell)x", out));
}

TEST(KQMLReaderFields, FailureLeavesOutputUntouched)
{
    CParsedText out;
    ASSERT_TRUE(read("(tell :a 1)", out));
    EXPECT_FALSE(read("(tell :a", out));
    EXPECT_EQ(out.kind(), CParsedText::KIND_KQML);
    EXPECT_STREQ(out.field_value(1), "1");
}

TEST(KQMLReaderFields, LengthBoundIsHonoured)
{
    // Only the first `len` bytes count, even when more follow in memory.
    const char* text = "(tell :a 1) junk";
    CParsedText out;
    EXPECT_TRUE(CKQMLReader::read(text, 11, out));
    EXPECT_FALSE(CKQMLReader::read(text, 10, out));
}
