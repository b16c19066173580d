#include <lexikit/HTTPReader.h>

#include <lexikit/ParsedText.h>

#include <gtest/gtest.h>

#include <string>

namespace {

bool read(const std::string& text, CParsedText& out)
{
    return CHTTPReader::read(text.c_str(), text.size(), out);
}

} // namespace

TEST(HTTPReaderStartLine, RequestParts)
{
    CParsedText out;
    ASSERT_TRUE(read("GET /index.html HTTP/1.0\r\n\r\n", out));
    EXPECT_EQ(out.kind(), CParsedText::KIND_HTTP);
    EXPECT_STREQ(out.text_at(out.http().method), "GET");
    EXPECT_STREQ(out.text_at(out.http().target), "/index.html");
    EXPECT_STREQ(out.text_at(out.http().version), "HTTP/1.0");
    EXPECT_EQ(out.text_at(out.http().status), nullptr);
    EXPECT_EQ(out.field_count(), 0u);
}

TEST(HTTPReaderStartLine, StatusWithoutReason)
{
    CParsedText out;
    ASSERT_TRUE(read("HTTP/1.1 204\r\n\r\n", out));
    EXPECT_EQ(out.http().status_code, 204);
    EXPECT_STREQ(out.text_at(out.http().reason), "");
    EXPECT_FALSE(read("HTTP/1.1 204x\r\n\r\n", out));
    EXPECT_FALSE(read("HTTP/1.1\r\n\r\n", out));
}

TEST(HTTPReaderStartLine, MethodMustBeAToken)
{
    CParsedText out;
    EXPECT_TRUE(read("M-SEARCH * HTTP/1.1\r\n\r\n", out));
    EXPECT_FALSE(read("GE(T / HTTP/1.1\r\n\r\n", out));
    EXPECT_FALSE(read("GET / HTTP/1.1 extra\r\n\r\n", out));
    EXPECT_FALSE(read("GET /\x01 HTTP/1.1\r\n\r\n", out));
    EXPECT_FALSE(read("\r\n\r\n", out));
}

TEST(HTTPReaderBody, ContentLengthCutsTheBody)
{
    CParsedText out;
    ASSERT_TRUE(read("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabcdef", out));
    EXPECT_STREQ(out.text_at(out.http().body), "abc");
    ASSERT_TRUE(read("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", out));
    EXPECT_STREQ(out.text_at(out.http().body), "");
    ASSERT_TRUE(read("HTTP/1.0 200 OK\r\nContent-Length: 2\r\nCONTENT-LENGTH: 2\r\n\r\nab", out));
    EXPECT_FALSE(read("HTTP/1.0 200 OK\r\nContent-Length: 2x\r\n\r\nab", out));
    EXPECT_FALSE(read("HTTP/1.0 200 OK\r\nContent-Length:\r\n\r\n", out));
}

TEST(HTTPReaderHeaders, ValuesAreTrimmedAndKeptInOrder)
{
    CParsedText out;
    ASSERT_TRUE(read("GET / HTTP/1.1\r\nA:1\r\nB: \t 2 \t\r\nA: 3\r\n\r\n", out));
    ASSERT_EQ(out.field_count(), 3u);
    EXPECT_STREQ(out.field_token(0), "A");
    EXPECT_STREQ(out.field_value(0), "1");
    EXPECT_STREQ(out.field_value(1), "2");
    EXPECT_STREQ(out.field_value(2), "3");
}

TEST(HTTPReaderHeaders, FoldOntoAnEmptyValue)
{
    CParsedText out;
    ASSERT_TRUE(read("GET / HTTP/1.1\r\nA:\r\n  more\r\n \r\n\r\n", out));
    EXPECT_STREQ(out.field_value(0), "more");
}

TEST(HTTPReaderHeaders, BlankBeforeColonIsRefused)
{
    CParsedText out;
    EXPECT_FALSE(read("GET / HTTP/1.1\r\nHost : x\r\n\r\n", out));
}
