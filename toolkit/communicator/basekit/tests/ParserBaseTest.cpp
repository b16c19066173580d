#include <basekit/LList.h>
#include <basekit/ParserBase.h>

#include "CountingElement.h"

#include <gtest/gtest.h>

namespace {

// A parser that fills its lists the way a concrete parser does.
class CFillingParser : public CParserBase {
public:
    explicit CFillingParser(int* destroyed) : destroyed(destroyed) {}

    int parse_message(const char* text) override
    {
        if (!text)
            return 0;
        CLList* list = new CLList("tokens");
        list->add_element(new CCountingElement(text, destroyed));
        set_tokens(list);
        CLList* found = new CLList("entities");
        found->add_element(new CCountingElement("entity", destroyed));
        set_entities(found);
        set_parser_type(PARSER_TYPE_KQML);
        return 1;
    }

private:
    int* destroyed;
};

} // namespace

TEST(ParserBase, TypeCodes)
{
    EXPECT_EQ(CParserBase::PARSER_TYPE_UNKNOWN, 0);
    EXPECT_EQ(CParserBase::PARSER_TYPE_KQML, 1);
    EXPECT_EQ(CParserBase::PARSER_TYPE_XML, 2);
    EXPECT_EQ(CParserBase::PARSER_TYPE_HTTP, 3);
}

TEST(ParserBase, FreshParserIsEmpty)
{
    CParserBase parser;
    EXPECT_EQ(parser.get_parser_type(), 0);
    EXPECT_EQ(parser.get_entities(), nullptr);
    EXPECT_EQ(parser.get_tokens(), nullptr);
    EXPECT_EQ(parser.get_btype(), CListElement::BTYPE_ELEMENT);
    parser.set_parser_type(3);
    EXPECT_EQ(parser.get_parser_type(), 3);
}

TEST(ParserBase, DefaultsReturnNothing)
{
    CParserBase parser("p");
    EXPECT_EQ(parser.parsable("(tell)"), 0);
    EXPECT_EQ(parser.parse_message("(tell :sender A)"), 0);
    EXPECT_EQ(parser.find_token("sender"), nullptr);
    EXPECT_EQ(parser.find_performative(), nullptr);
    EXPECT_EQ(parser.find_sender(), nullptr);
    EXPECT_EQ(parser.find_ontology(), nullptr);
    EXPECT_EQ(parser.find_language(), nullptr);
    EXPECT_EQ(parser.find_receiver(), nullptr);
    EXPECT_EQ(parser.find_reply_with(), nullptr);
    EXPECT_EQ(parser.find_in_reply_to(), nullptr);
    EXPECT_EQ(parser.find_contents(), nullptr);
    EXPECT_EQ(parser.find_content(), nullptr);
    EXPECT_EQ(parser.find_forward(), nullptr);
    EXPECT_EQ(parser.listall_getfirst(0), nullptr);
    EXPECT_EQ(parser.listall_getnext(0), nullptr);
    EXPECT_EQ(parser.listall_getfirst_token(), nullptr);
    EXPECT_EQ(parser.listall_getnext_token(), nullptr);
    EXPECT_EQ(parser.listall_getfirst_contents(), nullptr);
    EXPECT_EQ(parser.listall_getnext_contents(), nullptr);
    EXPECT_EQ(parser.compose_message("tell", "B", "A", nullptr, nullptr, nullptr, nullptr, nullptr, 0),
              nullptr);
    EXPECT_EQ(parser.create_message("tell", "B", "A", "o", "l", "r", "i", "f", "c"), nullptr);
    EXPECT_EQ(parser.compose_token("k", 1.5f), nullptr);
    EXPECT_EQ(parser.compose_token("k", 1), nullptr);
    EXPECT_EQ(parser.compose_token("k", "v"), nullptr);
    EXPECT_EQ(parser.get_parser_type(), 0);
}

TEST(ParserBase, OwnsTheListsAConcreteParserFills)
{
    int destroyed = 0;
    {
        CFillingParser parser(&destroyed);
        CParserBase* base = &parser;
        EXPECT_EQ(base->parse_message("first"), 1);
        EXPECT_EQ(base->get_parser_type(), CParserBase::PARSER_TYPE_KQML);
        ASSERT_NE(base->get_tokens(), nullptr);
        EXPECT_STREQ(base->get_tokens()->get_element(0)->get_name(), "first");
        EXPECT_EQ(base->parse_message("second"), 1);
        // Re-parsing replaced both lists and destroyed the old ones.
        EXPECT_EQ(destroyed, 2);
        EXPECT_STREQ(base->get_tokens()->get_element(0)->get_name(), "second");
    }
    EXPECT_EQ(destroyed, 4);
}

TEST(ParserBase, DestroyedThroughBasePointer)
{
    int destroyed = 0;
    CParserBase* parser = new CFillingParser(&destroyed);
    parser->parse_message("x");
    delete parser;
    EXPECT_EQ(destroyed, 2);
}
