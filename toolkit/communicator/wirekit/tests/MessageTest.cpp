#include <wirekit/Message.h>

#include <lexikit/KQMLParser.h>
#include <lexikit/Parser.h>
#include <lexikit/XMLParser.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Completed(const char* head, const std::string& content)
{
    return std::string(head) + " " + content + " ))";
}

} // namespace

TEST(MessageTest, ComposesAHeadThatCompletesIntoAParsableMessage)
{
    CMessage message("outgoing");
    EXPECT_STREQ(message.get_name(), "outgoing");
    const char* head =
        message.compose_message("tell", "Bob", "Alice", "dms", "ORVANTE-KQML", "rw-1", nullptr, nullptr, 0);
    ASSERT_NE(head, nullptr);

    CParser reader;
    ASSERT_EQ(reader.parse_message(Completed(head, "contract :negID 7").c_str()), 1);
    EXPECT_STREQ(reader.find_performative(), "tell");
    EXPECT_STREQ(reader.find_receiver(), "Bob");
    EXPECT_STREQ(reader.find_sender(), "Alice");
    EXPECT_STREQ(reader.find_ontology(), "dms");
    EXPECT_STREQ(reader.find_language(), "ORVANTE-KQML");
    EXPECT_STREQ(reader.find_reply_with(), "rw-1");
    EXPECT_EQ(reader.find_in_reply_to(), nullptr);
    CParser content;
    ASSERT_EQ(content.parse_message(reader.find_content()), 1);
    EXPECT_STREQ(content.find_performative(), "contract");
    EXPECT_STREQ(content.find_token("negID"), "7");
}

TEST(MessageTest, RefusesValuesThatWouldCutTheMessageOnTheWire)
{
    CMessage message;
    EXPECT_EQ(message.compose_message("tell",
                                      "Bo\x04"
                                      "b",
                                      "Alice", nullptr, nullptr, nullptr, nullptr, nullptr, 0),
              nullptr);
    EXPECT_EQ(message.compose_message("not an atom", "Bob", "Alice", nullptr, nullptr, nullptr, nullptr,
                                      nullptr, 0),
              nullptr);
}

TEST(MessageTest, KqmlIsTheCurrentParserUntilAnotherKindIsChosen)
{
    CMessage message;
    EXPECT_EQ(message.get_parser_kind(), CMessage::KIND_KQML);
    EXPECT_EQ(message.get_parser(), message.get_kqml_parser());

    EXPECT_EQ(message.set_parser(CMessage::KIND_XML), 1);
    EXPECT_EQ(message.get_parser(), message.get_xml_parser());
    EXPECT_EQ(message.set_parser(3), 0);
    EXPECT_EQ(message.get_parser_kind(), CMessage::KIND_XML);

    EXPECT_EQ(message.get_kqml_parser()->parse_message("<a/>"), 0);
    EXPECT_EQ(message.get_xml_parser()->parse_message("<a/>"), 1);
    EXPECT_EQ(message.set_parser(CMessage::KIND_KQML), 1);
    EXPECT_EQ(message.get_parser(), message.get_kqml_parser());
}

TEST(MessageTest, KeepsItsOwnCopyOfTheText)
{
    CMessage message;
    EXPECT_EQ(message.get_text(), nullptr);
    std::string text = "(tell :content (x))";
    message.set_text(text.c_str());
    text[1] = 'X';
    EXPECT_STREQ(message.get_text(), "(tell :content (x))");
    message.set_text(nullptr);
    EXPECT_EQ(message.get_text(), nullptr);
}
