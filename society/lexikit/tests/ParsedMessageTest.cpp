#include <lexikit/ParsedMessage.h>

#include <gtest/gtest.h>

#include <string>

namespace {

struct KindCase {
    const char* text;
    int kind;
};

TEST(ParsedMessage, EachKindIsReadOnceAndNothingElseHasFields)
{
    const KindCase cases[] = {
        {"(tell :sender A :receiver B :reply-with R1 :content (ask :content register))",
         CParserBase::PARSER_TYPE_KQML},
        {"<agent name=\"A\"/>", CParserBase::PARSER_TYPE_XML},
        {"GET / HTTP/1.0\r\n\r\n", CParserBase::PARSER_TYPE_HTTP},
        {"(tell :sender A", CParserBase::PARSER_TYPE_UNKNOWN},
        {"", CParserBase::PARSER_TYPE_UNKNOWN},
    };
    for (const KindCase& c : cases) {
        const CParsedMessage::Ptr message = CParsedMessage::parse(c.text);
        EXPECT_EQ(message->text(), c.text);
        EXPECT_EQ(message->kind(), c.kind) << c.text;
        EXPECT_EQ(message->is_parsed(), c.kind != CParserBase::PARSER_TYPE_UNKNOWN) << c.text;
        if (!message->is_parsed()) {
            EXPECT_EQ(message->sender(), nullptr);
            EXPECT_EQ(message->content_message(), nullptr);
        }
    }
}

TEST(ParsedMessage, FieldsAndTheContentAreReadFromTheOneParse)
{
    const CParsedMessage::Ptr message =
        CParsedMessage::parse("(tell :sender A :reply-with R1 :content (ask :content register))");
    EXPECT_STREQ(message->sender(), "A");
    EXPECT_STREQ(message->reply_with(), "R1");
    EXPECT_STREQ(message->performative(), "tell");
    const CParsedMessage::Ptr content = message->content_message();
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(message->content_message(), content) << "the content is read once and shared";
    EXPECT_STREQ(content->performative(), "ask");
    EXPECT_STREQ(content->field("content"), "register");
    EXPECT_EQ(CParsedMessage::parse("(tell :sender A)")->content_message(), nullptr);
}

} // namespace
