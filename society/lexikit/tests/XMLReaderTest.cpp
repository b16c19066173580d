#include <lexikit/XMLReader.h>

#include <lexikit/ParsedText.h>

#include <gtest/gtest.h>

#include <string>

namespace {

bool read(const std::string& text, CParsedText& out)
{
    return CXMLReader::read(text.c_str(), text.size(), out);
}

} // namespace

TEST(XMLReaderRecognition, AngleBracketAfterWhitespace)
{
    EXPECT_TRUE(CXMLReader::looks_like("\n <a/>", 6));
    EXPECT_FALSE(CXMLReader::looks_like("a<b/>", 5));
    EXPECT_FALSE(CXMLReader::looks_like("", 0));
}

TEST(XMLReaderRoot, NameAndAttributesBothQuoteStyles)
{
    CParsedText out;
    ASSERT_TRUE(read("<msg from='a\"b' to = \"c'd\" >x</msg >", out));
    EXPECT_EQ(out.kind(), CParsedText::KIND_XML);
    ASSERT_EQ(out.field_count(), 3u);
    EXPECT_STREQ(out.field_token(0), "msg");
    EXPECT_STREQ(out.field_value(0), "__PERFORMATIVE__");
    EXPECT_STREQ(out.field_token(1), "from");
    EXPECT_STREQ(out.field_value(1), "a\"b");
    EXPECT_STREQ(out.field_token(2), "to");
    EXPECT_STREQ(out.field_value(2), "c'd");
}

TEST(XMLReaderRoot, ChildAttributesAreNotTheRoots)
{
    CParsedText out;
    ASSERT_TRUE(read("<a><b id=\"1\"/></a>", out));
    EXPECT_EQ(out.field_count(), 1u);
}

TEST(XMLReaderStructure, MiscAroundTheRoot)
{
    CParsedText out;
    EXPECT_TRUE(read("<?xml version='1.0'?><!--c--><a/><!--d--><?e?>\n", out));
    EXPECT_FALSE(read("<a/><!--unterminated", out));
    EXPECT_FALSE(read("<a/><!DOCTYPE a>", out));
    EXPECT_FALSE(read("<!DOCTYPE a [ <!ENTITY x 'y'>", out));
    EXPECT_FALSE(read("<!-- only a comment -->", out));
}

TEST(XMLReaderStructure, EndTagNeedsExactName)
{
    CParsedText out;
    EXPECT_TRUE(read("<ab></ab>", out));
    EXPECT_FALSE(read("<ab></a>", out));
    EXPECT_FALSE(read("<ab></abc>", out));
    EXPECT_FALSE(read("<a></A>", out));
    EXPECT_FALSE(read("<a></a", out));
}

TEST(XMLReaderStructure, References)
{
    CParsedText out;
    EXPECT_TRUE(read("<a>&lt;&#60;&#x3C;</a>", out));
    EXPECT_FALSE(read("<a>&#x;</a>", out));
    EXPECT_FALSE(read("<a>&lt</a>", out));
    EXPECT_FALSE(read("<a>& b</a>", out));
}
