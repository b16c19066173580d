#include <basekit/Token.h>

#include <gtest/gtest.h>

TEST(Token, ElementOfItsOwnType)
{
    CToken token("word");
    EXPECT_EQ(token.get_btype(), CListElement::BTYPE_TOKEN);
    EXPECT_EQ(token.get_btype(), 8);
    EXPECT_STREQ(token.to_string(), "(i :n (word) :t (string) :c (void))\n ");
    CToken unnamed;
    EXPECT_EQ(unnamed.get_btype(), 8);
    EXPECT_EQ(unnamed.get_name(), nullptr);
}
