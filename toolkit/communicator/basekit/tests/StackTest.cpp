#include <basekit/Stack.h>

#include "CountingElement.h"

#include <climits>
#include <gtest/gtest.h>

TEST(Stack, DefaultsAndType)
{
    CStack stack;
    EXPECT_EQ(stack.get_size(), 100);
    EXPECT_EQ(stack.get_btype(), CListElement::BTYPE_STACK);
    EXPECT_EQ(stack.pop(), nullptr);
}

TEST(Stack, LastInFirstOut)
{
    int destroyed = 0;
    CStack stack;
    EXPECT_EQ(stack.push(new CCountingElement("a", &destroyed)), 1);
    EXPECT_EQ(stack.push(new CCountingElement("b", &destroyed)), 1);
    CListElement* b = stack.pop();
    EXPECT_STREQ(b->get_name(), "b");
    EXPECT_EQ(b->get_parent(), nullptr);
    delete b;
    CListElement* a = stack.pop();
    EXPECT_STREQ(a->get_name(), "a");
    delete a;
    EXPECT_EQ(stack.pop(), nullptr);
    EXPECT_EQ(destroyed, 2);
}

TEST(Stack, CapacityHundredAcceptsNinetyNine)
{
    int destroyed = 0;
    CStack stack;
    for (int i = 0; i < 99; ++i)
        EXPECT_EQ(stack.push(new CCountingElement("e", &destroyed)), 1) << i;
    CCountingElement* refused = new CCountingElement("refused", &destroyed);
    EXPECT_EQ(stack.push(refused), 0);
    EXPECT_EQ(refused->get_parent(), nullptr);
    EXPECT_EQ(stack.get_nr_elements(), 99);
    delete refused;
    EXPECT_EQ(destroyed, 1);
}

TEST(Stack, SmallAndOddCapacities)
{
    int destroyed = 0;
    CStack stack;
    stack.set_size(1);
    CCountingElement* e = new CCountingElement("e", &destroyed);
    EXPECT_EQ(stack.push(e), 0);
    stack.set_size(2);
    EXPECT_EQ(stack.push(e), 1);
    CCountingElement* f = new CCountingElement("f", &destroyed);
    EXPECT_EQ(stack.push(f), 0);
    EXPECT_EQ(f->get_parent(), nullptr);
    delete f;
    EXPECT_EQ(destroyed, 1);
    stack.set_size(INT_MIN);
    CCountingElement g("g", &destroyed);
    EXPECT_EQ(stack.push(&g), 0);
    stack.set_size(INT_MAX);
    EXPECT_EQ(stack.push(nullptr), 0);
    EXPECT_EQ(stack.get_nr_elements(), 1);
    delete stack.pop();
    EXPECT_EQ(destroyed, 2);
}
