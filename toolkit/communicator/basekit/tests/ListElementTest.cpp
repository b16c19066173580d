#include <basekit/LList.h>
#include <basekit/ListElement.h>

#include "CountingElement.h"

#include <gtest/gtest.h>

TEST(ListElement, FreshElementIsUnlinked)
{
    CListElement e("x");
    EXPECT_EQ(e.get_parent(), nullptr);
    EXPECT_EQ(e.get_next(), nullptr);
    EXPECT_EQ(e.get_last(), nullptr);
    EXPECT_EQ(e.get_content(), nullptr);
    EXPECT_EQ(e.get_btype(), CListElement::BTYPE_ELEMENT);
    EXPECT_EQ(e.get_btype(), 0);
}

TEST(ListElement, ContentIsBorrowed)
{
    int value = 7;
    {
        CListElement e;
        e.set_content(&value);
        EXPECT_EQ(e.get_content(), &value);
    }
    EXPECT_EQ(value, 7);
}

TEST(ListElement, PlainLinkAccessors)
{
    CListElement a("a"), b("b");
    CLList list;
    a.set_next(&b);
    b.set_last(&a);
    a.set_parent(&list);
    EXPECT_EQ(a.get_next(), &b);
    EXPECT_EQ(b.get_last(), &a);
    EXPECT_EQ(a.get_parent(), &list);
    // `a` claims a parent but is not linked there; destroying it must not
    // touch the list.
    a.set_parent(nullptr);
    a.set_next(nullptr);
    b.set_last(nullptr);
}

TEST(ListElement, ToStringOfNamedElement)
{
    CListElement e("alpha");
    EXPECT_STREQ(e.to_string(), "(i :n (alpha) :t (string) :c (void))\n ");
    e.set_name("beta");
    EXPECT_STREQ(e.to_string(), "(i :n (beta) :t (string) :c (void))\n ");
}

TEST(ListElement, ToStringOfUnnamedElementIsNull)
{
    CListElement e;
    EXPECT_EQ(e.to_string(), nullptr);
}

TEST(ListElement, FromStringChangesNothing)
{
    CListElement e("keep");
    char text[] = "(i :n (other))";
    EXPECT_EQ(e.from_string(text), 0);
    EXPECT_EQ(e.from_string(nullptr), 0);
    EXPECT_STREQ(e.get_name(), "keep");
    EXPECT_STREQ(text, "(i :n (other))");
}

TEST(ListElement, DestroyingLinkedElementUnlinksIt)
{
    int destroyed = 0;
    CLList list;
    list.add_element(new CCountingElement("a", &destroyed));
    CListElement* middle = list.add_element(new CCountingElement("b", &destroyed));
    list.add_element(new CCountingElement("c", &destroyed));
    delete middle;
    EXPECT_EQ(destroyed, 1);
    ASSERT_EQ(list.get_nr_elements(), 2);
    EXPECT_STREQ(list.get_element(0)->get_name(), "a");
    EXPECT_STREQ(list.get_element(1)->get_name(), "c");
    EXPECT_EQ(list.get_element(1)->get_last(), list.get_element(0));
}

TEST(ListElement, DestroyingNestedListUnlinksItFromOuter)
{
    CLList outer;
    CLList* inner = new CLList("inner");
    inner->add_element(new CListElement("x"));
    outer.add_element(inner);
    delete inner;
    EXPECT_EQ(outer.get_nr_elements(), 0);
    EXPECT_EQ(outer.get_first_element(), nullptr);
    EXPECT_EQ(outer.get_last_element(), nullptr);
}
