#include <factkit/ListBelief.h>

#include <gtest/gtest.h>

namespace {

class CountingList : public CLList {
public:
    explicit CountingList(int* counter) : counter(counter) {}
    ~CountingList() override { ++*counter; }

private:
    int* counter;
};

class CountingElement : public CListElement {
public:
    CountingElement(const char* name, int* counter) : CListElement(name), counter(counter) {}
    ~CountingElement() override { ++*counter; }

private:
    int* counter;
};

} // namespace

TEST(ListBeliefValue, NoListByDefault)
{
    CListBelief belief("lookup");
    EXPECT_STREQ(belief.get_name(), "lookup");
    EXPECT_EQ(belief.get_value(), nullptr);
}

TEST(ListBeliefOwnership, DestroysItsListAndEntries)
{
    int lists = 0;
    int entries = 0;
    {
        auto* list = new CountingList(&lists);
        list->add_element(new CountingElement("a", &entries));
        list->add_element(new CountingElement("b", &entries));
        CListBelief belief("lookup", list);
        EXPECT_EQ(belief.get_value(), list);
    }
    EXPECT_EQ(lists, 1);
    EXPECT_EQ(entries, 2);
}

TEST(ListBeliefOwnership, SetValueFreesTheOldList)
{
    int old_list = 0;
    int new_list = 0;
    CListBelief belief("lookup", new CountingList(&old_list));
    auto* replacement = new CountingList(&new_list);
    belief.set_value(replacement);
    EXPECT_EQ(old_list, 1);
    EXPECT_EQ(new_list, 0);
    EXPECT_EQ(belief.get_value(), replacement);
}

TEST(ListBeliefOwnership, SameListAgainIsKept)
{
    int destroyed = 0;
    auto* list = new CountingList(&destroyed);
    CListBelief belief("lookup", list);
    belief.set_value(list);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(belief.get_value(), list);
}

TEST(ListBeliefOwnership, NullDropsTheList)
{
    int destroyed = 0;
    CListBelief belief("lookup", new CountingList(&destroyed));
    belief.set_value(nullptr);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(belief.get_value(), nullptr);
}
