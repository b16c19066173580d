#include <lexikit/HTTPParser.h>
#include <lexikit/KQMLParser.h>
#include <lexikit/XMLParser.h>

#include <gtest/gtest.h>

namespace {

const char* const KQML = "(tell :sender A)";
const char* const XML = "<a/>";
const char* const HTTP = "NOTIFY * HTTP/1.1\r\nNTS: ssdp:alive\r\n\r\n";

} // namespace

TEST(SingleKindParsers, EachAcceptsOnlyItsKind)
{
    CKQMLParser kqml;
    EXPECT_EQ(kqml.parse_message(KQML), 1);
    EXPECT_EQ(kqml.get_parser_type(), 1);
    EXPECT_EQ(kqml.parse_message(XML), 0);
    EXPECT_EQ(kqml.parse_message(HTTP), 0);

    CXMLParser xml;
    EXPECT_EQ(xml.parse_message(XML), 1);
    EXPECT_EQ(xml.get_parser_type(), 2);
    EXPECT_EQ(xml.parse_message(KQML), 0);
    EXPECT_EQ(xml.parse_message(HTTP), 0);

    CHTTPParser http;
    EXPECT_EQ(http.parse_message(HTTP), 1);
    EXPECT_EQ(http.get_parser_type(), 3);
    EXPECT_STREQ(http.find_token("nts"), "ssdp:alive");
    EXPECT_EQ(http.parse_message(KQML), 0);
    EXPECT_EQ(http.parse_message(XML), 0);
    EXPECT_EQ(http.get_parser_type(), 0);
}

TEST(SingleKindParsers, ComposeIsShared)
{
    CXMLParser xml;
    EXPECT_STREQ(xml.compose_message("tell", "B", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0),
                 "(tell :receiver B :content (");
}
