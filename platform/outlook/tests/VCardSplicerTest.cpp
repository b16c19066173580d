#include <outlook/VCardSplicer.h>

#include <outlook/VCardFile.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using outlook::CVCard;
using outlook::CVCardFile;
using outlook::CVCardSplicer;

const std::string Jane =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:jane\r\nN:Doe;Jane;;;\r\nFN:Jane Doe\r\n"
    "EMAIL;TYPE=INTERNET:jane@example.org\r\nTEL;TYPE=CELL:+1 555 0001\r\n"
    "ADR;TYPE=HOME:;;1 Main St;Town;;12345;\r\n Land\r\nNOTE:Met at the fair\r\nEND:VCARD\r\n";
const std::string Team =
    "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Team\r\nMEMBER:urn:uuid:jane\r\nEND:VCARD\r\n";
const std::string Rick = "BEGIN:VCARD\nVERSION:2.1\nN:Roe;Rick\nFN:Rick Roe\n"
                         "NOTE;ENCODING=QUOTED-PRINTABLE:first line=0D=0A=\nsecond line\nEND:VCARD\n";

std::vector<CVCard> Cards(const std::string& text)
{
    std::vector<CVCard> cards;
    std::string error;
    EXPECT_TRUE(CVCardFile::Parse(text, cards, error)) << error;
    return cards;
}

CVCard Card(const std::string& uid, const std::string& first, const std::string& email)
{
    CVCard card;
    card.uid = uid;
    card.contact.firstName = first;
    card.contact.lastName = "Changed";
    card.contact.email1Address = email;
    return card;
}

TEST(VCardSplicerTest, AppendedCardsStartOnALineOfTheirOwn)
{
    const std::string unterminated = Jane.substr(0, Jane.size() - 2);
    const std::string text = CVCardSplicer::Append(unterminated, Card("new", "Ada", "ada@example.org"));
    EXPECT_EQ(text.compare(0, unterminated.size() + 2, unterminated + "\r\n"), 0);
    const std::vector<CVCard> cards = Cards(text);
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[1].uid, "new");
    EXPECT_EQ(Cards(CVCardSplicer::Append("", Card("only", "Ada", "a@example.org"))).size(), 1u);
}

TEST(VCardSplicerTest, ReplacingACardKeepsItsUnmappedLinesAndEveryOtherByte)
{
    const std::string text = Jane + Team + Rick;
    std::string result, error;
    ASSERT_TRUE(CVCardSplicer::Replace(text, 0, Card("jane", "Janet", "janet@example.org"), result, error))
        << error;
    EXPECT_EQ(result.substr(result.size() - Team.size() - Rick.size()), Team + Rick);
    EXPECT_NE(result.find("ADR;TYPE=HOME:;;1 Main St;Town;;12345;\r\n Land\r\n"), std::string::npos)
        << result;
    EXPECT_NE(result.find("NOTE:Met at the fair\r\n"), std::string::npos);
    EXPECT_EQ(result.find("jane@example.org"), std::string::npos);
    EXPECT_EQ(result.find("+1 555 0001"), std::string::npos);
    std::vector<CVCard> cards = Cards(result);
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0].uid, "jane");
    EXPECT_EQ(cards[0].contact.firstName, "Janet");
    EXPECT_EQ(cards[0].contact.email1Address, "janet@example.org");

    // The second individual card is the third block: the group is not one.
    ASSERT_TRUE(CVCardSplicer::Replace(text, 1, Card("rick", "Richard", "r@example.org"), result, error))
        << error;
    EXPECT_EQ(result.compare(0, Jane.size() + Team.size(), Jane + Team), 0);
    EXPECT_NE(result.find("NOTE;ENCODING=QUOTED-PRINTABLE:first line=0D=0A=\r\nsecond line\r\n"),
              std::string::npos)
        << result;
    cards = Cards(result);
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[1].contact.firstName, "Richard");
    EXPECT_EQ(cards[1].uid, "rick");
}

TEST(VCardSplicerTest, MissingOrIndistinctCardsAreRefused)
{
    std::string result, error;
    EXPECT_FALSE(CVCardSplicer::Replace(Jane, 1, Card("x", "X", "x@example.org"), result, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(CVCardSplicer::Replace("no cards here", 0, Card("x", "X", "x@example.org"), result, error));
    EXPECT_FALSE(error.empty());
}
} // namespace
