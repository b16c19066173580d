#include <basekit/NameSpace.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string take(char* text)
{
    std::string copy = text ? text : "<null>";
    free(text);
    return copy;
}

} // namespace

TEST(NameSpace, TypeAndDefaults)
{
    CNameSpace ns;
    EXPECT_EQ(ns.get_btype(), CListElement::BTYPE_STACK);
    EXPECT_EQ(ns.get_separator(), ':');
    EXPECT_EQ(ns.get_size(), 100);
}

TEST(NameSpace, ToStringJoinsNames)
{
    CNameSpace ns;
    EXPECT_EQ(ns.to_string(), nullptr);
    ns.add_name("root");
    EXPECT_STREQ(ns.to_string(), "(root)");
    ns.add_name("child");
    ns.add_name(nullptr);
    ns.add_name("leaf");
    EXPECT_STREQ(ns.to_string(), "(root:child:leaf)");
    ns.set_separator('/');
    EXPECT_STREQ(ns.to_string(), "(root/child/leaf)");
}

TEST(NameSpace, ToStringOfUnnamedElementIsEmptyPiece)
{
    CNameSpace ns;
    ns.add_name("a");
    ns.add_element(new CListElement());
    ns.add_name("b");
    EXPECT_STREQ(ns.to_string(), "(a::b)");
}

TEST(NameSpace, RemoveNamePopsCopies)
{
    CNameSpace ns;
    ns.add_name("first");
    ns.add_name("second");
    EXPECT_EQ(take(ns.remove_name()), "second");
    EXPECT_EQ(ns.get_nr_elements(), 1);
    EXPECT_EQ(take(ns.remove_name()), "first");
    EXPECT_EQ(ns.remove_name(), nullptr);
    EXPECT_EQ(ns.to_string(), nullptr);
}

TEST(NameSpace, FromStringAppendsNames)
{
    CNameSpace ns;
    char text[] = "(a:b:c)";
    EXPECT_EQ(ns.from_string(text), 1);
    ASSERT_EQ(ns.get_nr_elements(), 3);
    EXPECT_STREQ(ns.get_element(0)->get_name(), "a");
    EXPECT_STREQ(ns.get_element(2)->get_name(), "c");
    EXPECT_STREQ(ns.to_string(), "(a:b:c)");
    EXPECT_EQ(ns.from_string(nullptr), 0);
    EXPECT_EQ(ns.get_nr_elements(), 3);
}

TEST(NameSpace, FromStringEdgeTexts)
{
    CNameSpace ns;
    char empty[] = "()";
    EXPECT_EQ(ns.from_string(empty), 1);
    EXPECT_EQ(ns.get_nr_elements(), 0);
    char bare[] = "x:y";
    EXPECT_EQ(ns.from_string(bare), 1);
    EXPECT_EQ(ns.get_nr_elements(), 2);
    ns.set_separator('.');
    char dotted[] = "(p.q.)";
    EXPECT_EQ(ns.from_string(dotted), 1);
    EXPECT_STREQ(ns.to_string(), "(x.y.p.q)");
}
