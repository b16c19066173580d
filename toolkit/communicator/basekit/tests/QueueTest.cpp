#include <basekit/Queue.h>

#include "CountingElement.h"

#include <gtest/gtest.h>

TEST(Queue, DefaultsAndType)
{
    CQueue queue;
    EXPECT_EQ(queue.get_size(), 100);
    EXPECT_EQ(queue.get_btype(), CListElement::BTYPE_QUEUE);
    EXPECT_EQ(queue.dequeue(), nullptr);
    CQueue named("q");
    EXPECT_STREQ(named.get_name(), "q");
}

TEST(Queue, FirstInFirstOut)
{
    int destroyed = 0;
    CQueue queue;
    EXPECT_EQ(queue.enqueue(new CCountingElement("a", &destroyed)), 0);
    EXPECT_EQ(queue.enqueue(new CCountingElement("b", &destroyed)), 0);
    CListElement* a = queue.dequeue();
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->get_name(), "a");
    EXPECT_EQ(a->get_parent(), nullptr);
    delete a;
    CListElement* b = queue.dequeue();
    EXPECT_STREQ(b->get_name(), "b");
    delete b;
    EXPECT_EQ(queue.dequeue(), nullptr);
    EXPECT_EQ(destroyed, 2);
}

TEST(Queue, CapacityTwoKeepsLastTwo)
{
    int destroyed = 0;
    CQueue queue;
    queue.set_size(2);
    queue.enqueue(new CCountingElement("1", &destroyed));
    queue.enqueue(new CCountingElement("2", &destroyed));
    EXPECT_EQ(destroyed, 0);
    queue.enqueue(new CCountingElement("3", &destroyed));
    EXPECT_EQ(destroyed, 1);
    ASSERT_EQ(queue.get_nr_elements(), 2);
    EXPECT_STREQ(queue.get_element(0)->get_name(), "2");
    EXPECT_STREQ(queue.get_element(1)->get_name(), "3");
}

TEST(Queue, DefaultCapacityHoldsHundred)
{
    int destroyed = 0;
    CQueue queue;
    for (int i = 0; i < 101; ++i)
        queue.enqueue(new CCountingElement("e", &destroyed));
    EXPECT_EQ(queue.get_nr_elements(), 100);
    EXPECT_EQ(destroyed, 1);
}

TEST(Queue, ShrinkingDropsOldestOnNextEnqueue)
{
    int destroyed = 0;
    CQueue queue;
    for (const char* name : {"a", "b", "c", "d"})
        queue.enqueue(new CCountingElement(name, &destroyed));
    queue.set_size(2);
    queue.enqueue(new CCountingElement("e", &destroyed));
    EXPECT_EQ(destroyed, 3);
    ASSERT_EQ(queue.get_nr_elements(), 2);
    EXPECT_STREQ(queue.get_element(0)->get_name(), "d");
}

TEST(Queue, NoCapacityHoldsNothing)
{
    int destroyed = 0;
    CQueue queue;
    queue.enqueue(new CCountingElement("old", &destroyed));
    queue.set_size(0);
    EXPECT_EQ(queue.enqueue(new CCountingElement("new", &destroyed)), 0);
    EXPECT_EQ(queue.get_nr_elements(), 0);
    EXPECT_EQ(destroyed, 2);
    queue.set_size(-5);
    queue.enqueue(new CCountingElement("negative", &destroyed));
    EXPECT_EQ(queue.get_nr_elements(), 0);
    EXPECT_EQ(destroyed, 3);
}

TEST(Queue, RefusedElementCostsNothing)
{
    int destroyed = 0;
    CQueue queue, other;
    queue.set_size(1);
    queue.enqueue(new CCountingElement("kept", &destroyed));
    other.enqueue(new CCountingElement("foreign", &destroyed));
    EXPECT_EQ(queue.enqueue(other.get_element(0)), 0);
    EXPECT_EQ(queue.enqueue(nullptr), 0);
    EXPECT_EQ(destroyed, 0);
    EXPECT_STREQ(queue.get_element(0)->get_name(), "kept");
    EXPECT_EQ(other.get_nr_elements(), 1);
}
