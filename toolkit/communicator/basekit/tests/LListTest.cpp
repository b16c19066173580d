#include <basekit/LList.h>

#include "CountingElement.h"
#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> names_of(CLList& list)
{
    std::vector<std::string> names;
    for (CListElement* e = list.get_element(0); e; e = e->get_next())
        names.push_back(e->get_name() ? e->get_name() : "<null>");
    return names;
}

// Walks the list both ways and checks every link, the ends and the count.
void expect_consistent(CLList& list)
{
    int forward = 0;
    CListElement* previous = nullptr;
    for (CListElement* e = list.get_element(0); e; e = e->get_next()) {
        EXPECT_EQ(e->get_last(), previous);
        EXPECT_EQ(e->get_parent(), &list);
        previous = e;
        ++forward;
    }
    EXPECT_EQ(list.get_last_element(), previous);
    int backward = 0;
    for (CListElement* e = list.get_last_element(); e; e = e->get_last())
        ++backward;
    EXPECT_EQ(forward, list.get_nr_elements());
    EXPECT_EQ(backward, list.get_nr_elements());
}

void fill(CLList& list, std::initializer_list<const char*> names, int* counter)
{
    for (const char* name : names)
        list.add_element(new CCountingElement(name, counter));
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(LListAdd, AppendsAndLinks)
{
    CLList list;
    EXPECT_EQ(list.get_btype(), CListElement::BTYPE_LIST);
    CListElement* a = new CListElement("a");
    EXPECT_EQ(list.add_element(a), a);
    CListElement* b = list.add_element(new CListElement("b"));
    EXPECT_EQ(list.get_nr_elements(), 2);
    EXPECT_EQ(a->get_next(), b);
    EXPECT_EQ(b->get_last(), a);
    EXPECT_EQ(b->get_next(), nullptr);
    EXPECT_EQ(b->get_parent(), &list);
    expect_consistent(list);
}

TEST(LListAdd, NullChangesNothing)
{
    CLList list;
    EXPECT_EQ(list.add_element(nullptr), nullptr);
    EXPECT_EQ(list.get_nr_elements(), 0);
}

TEST(LListAdd, ElementOfAnotherListIsRefused)
{
    CLList first, second;
    CListElement* e = first.add_element(new CListElement("shared"));
    EXPECT_EQ(second.add_element(e), nullptr);
    EXPECT_EQ(first.add_element(e), nullptr);
    EXPECT_EQ(first.get_nr_elements(), 1);
    EXPECT_EQ(second.get_nr_elements(), 0);
    expect_consistent(first);
}

TEST(LListAdd, CyclesAreRefused)
{
    CLList* outer = new CLList("outer");
    CLList* inner = new CLList("inner");
    outer->add_element(inner);
    EXPECT_EQ(outer->add_element(outer), nullptr);
    EXPECT_EQ(inner->add_element(outer), nullptr);
    EXPECT_EQ(inner->get_nr_elements(), 0);
    delete outer;
}

TEST(LListAdd, RemovedElementCanBeAddedElsewhere)
{
    CLList first, second;
    CListElement* e = first.add_element(new CListElement("moving"));
    ASSERT_EQ(first.remove_element(e), 1);
    EXPECT_EQ(second.add_element(e), e);
    EXPECT_EQ(e->get_parent(), &second);
}

TEST(LListFind, FirstExactCaseSensitiveMatch)
{
    CLList list;
    CListElement* first = list.add_element(new CListElement("foo"));
    list.add_element(new CListElement());
    list.add_element(new CListElement("foo"));
    EXPECT_EQ(list.find_element("foo"), first);
    EXPECT_EQ(list.find_element("Foo"), nullptr);
    EXPECT_EQ(list.find_element("fo"), nullptr);
    EXPECT_EQ(list.find_element(nullptr), nullptr);
}

TEST(LListFind, UnnamedElementsNeverMatch)
{
    CLList list;
    list.add_element(new CListElement());
    EXPECT_EQ(list.find_element(""), nullptr);
    CListElement* empty = list.add_element(new CListElement(""));
    EXPECT_EQ(list.find_element(""), empty);
}

TEST(LListIndex, GetElementBounds)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"a", "b", "c"}, &destroyed);
    EXPECT_STREQ(list.get_element(0)->get_name(), "a");
    EXPECT_STREQ(list.get_element(2)->get_name(), "c");
    EXPECT_EQ(list.get_element(3), nullptr);
    EXPECT_EQ(list.get_element(-1), nullptr);
    CLList empty;
    EXPECT_EQ(empty.get_element(0), nullptr);
}

TEST(LListCursor, WalksForwardAndBack)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"a", "b", "c"}, &destroyed);
    EXPECT_STREQ(list.get_first_element()->get_name(), "a");
    EXPECT_STREQ(list.get_next_element()->get_name(), "b");
    EXPECT_STREQ(list.get_next_element()->get_name(), "c");
    EXPECT_STREQ(list.get_previous_element()->get_name(), "b");
    EXPECT_STREQ(list.get_previous_element()->get_name(), "a");
    EXPECT_EQ(list.get_previous_element(), nullptr);
    // Once off the end the cursor stays null.
    EXPECT_EQ(list.get_next_element(), nullptr);
    EXPECT_EQ(list.get_previous_element(), nullptr);
}

TEST(LListCursor, EmptyList)
{
    CLList list;
    EXPECT_EQ(list.get_first_element(), nullptr);
    EXPECT_EQ(list.get_next_element(), nullptr);
    EXPECT_EQ(list.get_last_element(), nullptr);
    EXPECT_EQ(list.get_nr_elements(), 0);
}

TEST(LListCursor, DeletingCursorElementClearsCursor)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"a", "b", "c"}, &destroyed);
    list.get_first_element();
    CListElement* b = list.get_next_element();
    EXPECT_EQ(list.delete_element(b), 1);
    EXPECT_EQ(list.get_next_element(), nullptr);
    EXPECT_EQ(list.get_previous_element(), nullptr);
}

TEST(LListCursor, RemovingCursorElementClearsCursor)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"a", "b"}, &destroyed);
    CListElement* a = list.get_first_element();
    EXPECT_EQ(list.remove_element(a), 1);
    EXPECT_EQ(list.get_next_element(), nullptr);
    delete a;
    EXPECT_EQ(destroyed, 1);
}

TEST(LListCursor, DeletingOtherElementKeepsCursor)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"a", "b", "c"}, &destroyed);
    list.get_first_element();
    list.delete_element(list.get_element(1));
    EXPECT_STREQ(list.get_next_element()->get_name(), "c");
}

TEST(LListDelete, DestroysAndRelinks)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"a", "b", "c"}, &destroyed);
    EXPECT_EQ(list.delete_element(list.get_element(1)), 1);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"a", "c"}));
    expect_consistent(list);
    EXPECT_EQ(list.delete_element(list.get_element(0)), 1);
    EXPECT_EQ(list.delete_element(list.get_element(0)), 1);
    EXPECT_EQ(destroyed, 3);
    EXPECT_EQ(list.get_first_element(), nullptr);
    EXPECT_EQ(list.get_last_element(), nullptr);
    EXPECT_EQ(list.get_nr_elements(), 0);
}

TEST(LListDelete, HeadAndTail)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"a", "b", "c"}, &destroyed);
    list.delete_element(list.get_last_element());
    list.delete_element(list.get_element(0));
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"b"}));
    expect_consistent(list);
}

TEST(LListDelete, NullAndForeignDoNothing)
{
    int destroyed = 0;
    CLList list, other;
    fill(list, {"a"}, &destroyed);
    fill(other, {"x", "y"}, &destroyed);
    EXPECT_EQ(list.delete_element(nullptr), 0);
    EXPECT_EQ(list.delete_element(other.get_element(0)), 0);
    EXPECT_EQ(list.remove_element(other.get_element(1)), 0);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(list.get_nr_elements(), 1);
    EXPECT_EQ(other.get_nr_elements(), 2);
    expect_consistent(list);
    expect_consistent(other);
    CListElement loose("loose");
    EXPECT_EQ(list.remove_element(&loose), 0);
}

TEST(LListRemove, HandsOwnershipBack)
{
    int destroyed = 0;
    CListElement* kept = nullptr;
    {
        CLList list;
        fill(list, {"a", "b", "c"}, &destroyed);
        kept = list.get_element(1);
        EXPECT_EQ(list.remove_element(kept), 1);
        EXPECT_EQ(kept->get_parent(), nullptr);
        EXPECT_EQ(kept->get_next(), nullptr);
        EXPECT_EQ(kept->get_last(), nullptr);
        EXPECT_EQ(list.get_nr_elements(), 2);
        expect_consistent(list);
    }
    EXPECT_EQ(destroyed, 2);
    delete kept;
    EXPECT_EQ(destroyed, 3);
}

TEST(LListByName, DeleteActsOnLastMatch)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"dup", "x", "dup"}, &destroyed);
    CListElement* first = list.get_element(0);
    EXPECT_EQ(list.delete_element_by_name("dup"), 1);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(list.find_element("dup"), first);
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"dup", "x"}));
    expect_consistent(list);
}

TEST(LListByName, RemoveActsOnLastMatch)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"dup", "dup", "x"}, &destroyed);
    CListElement* second = list.get_element(1);
    CListElement* removed = list.remove_element_by_name("dup");
    EXPECT_EQ(removed, second);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(list.get_nr_elements(), 2);
    delete removed;
}

TEST(LListByName, NoMatchDoesNothing)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"a"}, &destroyed);
    EXPECT_EQ(list.delete_element_by_name("A"), 0);
    EXPECT_EQ(list.remove_element_by_name("b"), nullptr);
    EXPECT_EQ(list.delete_element_by_name(nullptr), 0);
    EXPECT_EQ(list.remove_element_by_name(nullptr), nullptr);
    EXPECT_EQ(list.get_nr_elements(), 1);
    EXPECT_EQ(destroyed, 0);
}

TEST(LListDeleteList, DestroysEverything)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"a", "b", "c"}, &destroyed);
    list.get_first_element();
    list.delete_list();
    EXPECT_EQ(destroyed, 3);
    EXPECT_EQ(list.get_nr_elements(), 0);
    EXPECT_EQ(list.get_first_element(), nullptr);
    EXPECT_EQ(list.get_last_element(), nullptr);
    EXPECT_EQ(list.get_next_element(), nullptr);
    fill(list, {"again"}, &destroyed);
    expect_consistent(list);
}

TEST(LListDeleteList, DestructorDestroysNestedLists)
{
    int destroyed = 0;
    {
        CLList outer;
        CLList* inner = new CLList("inner");
        fill(*inner, {"x", "y"}, &destroyed);
        outer.add_element(inner);
        fill(outer, {"z"}, &destroyed);
    }
    EXPECT_EQ(destroyed, 3);
}

TEST(LListInsert, AtIndexEndsAtNextPosition)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"a", "b", "c"}, &destroyed);
    EXPECT_EQ(list.insert_element(new CCountingElement("new", &destroyed), 0), 1);
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"a", "new", "b", "c"}));
    EXPECT_EQ(list.insert_element(new CCountingElement("end", &destroyed), 3), 1);
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"a", "new", "b", "c", "end"}));
    EXPECT_EQ(list.get_last_element()->get_name(), std::string("end"));
    expect_consistent(list);
}

TEST(LListInsert, PastTheEndKeepsOwnershipWithCaller)
{
    int destroyed = 0;
    CLList list;
    CCountingElement* orphan = new CCountingElement("orphan", &destroyed);
    EXPECT_EQ(list.insert_element(orphan, 0), 0);
    fill(list, {"a"}, &destroyed);
    EXPECT_EQ(list.insert_element(orphan, 1), 0);
    EXPECT_EQ(list.insert_element(orphan, 4000000000u), 0);
    EXPECT_EQ(list.get_nr_elements(), 1);
    EXPECT_EQ(orphan->get_parent(), nullptr);
    delete orphan;
    EXPECT_EQ(destroyed, 1);
}

TEST(LListInsert, AfterAndBeforeUpdateEnds)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"m"}, &destroyed);
    CListElement* m = list.get_element(0);
    EXPECT_EQ(list.insert_element_after(m, new CCountingElement("z", &destroyed)), 1);
    EXPECT_EQ(list.insert_element_before(m, new CCountingElement("a", &destroyed)), 1);
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"a", "m", "z"}));
    EXPECT_STREQ(list.get_first_element()->get_name(), "a");
    EXPECT_STREQ(list.get_last_element()->get_name(), "z");
    EXPECT_EQ(list.get_nr_elements(), 3);
    expect_consistent(list);
    EXPECT_EQ(list.insert_element_before(list.get_element(2), new CCountingElement("y", &destroyed)), 1);
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"a", "m", "y", "z"}));
    expect_consistent(list);
}

TEST(LListInsert, RefusedInsertionsLeaveEverythingAlone)
{
    int destroyed = 0;
    CLList list, other;
    fill(list, {"a"}, &destroyed);
    fill(other, {"x"}, &destroyed);
    CListElement* a = list.get_element(0);
    CListElement* x = other.get_element(0);
    CCountingElement* mine = new CCountingElement("mine", &destroyed);
    EXPECT_EQ(list.insert_element_after(nullptr, mine), 0);
    EXPECT_EQ(list.insert_element_before(nullptr, mine), 0);
    EXPECT_EQ(list.insert_element_after(x, mine), 0);
    EXPECT_EQ(list.insert_element_after(a, nullptr), 0);
    EXPECT_EQ(list.insert_element_after(a, a), 0);
    EXPECT_EQ(list.insert_element_before(a, x), 0);
    EXPECT_EQ(list.get_nr_elements(), 1);
    EXPECT_EQ(other.get_nr_elements(), 1);
    expect_consistent(list);
    expect_consistent(other);
    delete mine;
}

TEST(LListSwap, MovesFirstAfterSecond)
{
    int destroyed = 0;
    CLList list;
    fill(list, {"a", "b", "c", "d"}, &destroyed);
    list.get_first_element();
    list.swap(list.get_element(0), list.get_element(2));
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"b", "c", "a", "d"}));
    EXPECT_EQ(list.get_nr_elements(), 4);
    EXPECT_EQ(list.get_next_element(), nullptr);
    expect_consistent(list);
    list.swap(list.get_element(1), list.get_last_element());
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"b", "a", "d", "c"}));
    EXPECT_STREQ(list.get_last_element()->get_name(), "c");
    expect_consistent(list);
}

TEST(LListSwap, InvalidArgumentsDoNothing)
{
    int destroyed = 0;
    CLList list, other;
    fill(list, {"a", "b"}, &destroyed);
    fill(other, {"x"}, &destroyed);
    list.swap(list.get_element(0), list.get_element(0));
    list.swap(nullptr, list.get_element(0));
    list.swap(list.get_element(0), nullptr);
    list.swap(list.get_element(0), other.get_element(0));
    list.swap(other.get_element(0), list.get_element(0));
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(names_of(other), (std::vector<std::string>{"x"}));
    expect_consistent(list);
    expect_consistent(other);
}

TEST(LListTokenize, EmptyPiecesInsideButNotTrailing)
{
    CLList list;
    char text[] = "a,,b,";
    list.tokenize(text, ',');
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_STREQ(text, "a");
    EXPECT_EQ(text[1], '\0');
    EXPECT_EQ(text[2], '\0');
    EXPECT_EQ(text[4], '\0');
}

TEST(LListTokenize, LeadingSeparatorGivesEmptyName)
{
    CLList list;
    char text[] = ",a";
    list.tokenize(text, ',');
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"", "a"}));
}

TEST(LListTokenize, EdgeTexts)
{
    CLList list;
    list.tokenize(nullptr, ',');
    EXPECT_EQ(list.get_nr_elements(), 0);
    char empty[] = "";
    list.tokenize(empty, ',');
    EXPECT_EQ(list.get_nr_elements(), 0);
    char only[] = ",";
    list.tokenize(only, ',');
    EXPECT_EQ(names_of(list), (std::vector<std::string>{""}));
    list.delete_list();
    char none[] = "whole";
    list.tokenize(none, ',');
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"whole"}));
}

TEST(LListTokenize, NulSeparatorKeepsWholeText)
{
    CLList list;
    char text[] = "a,b";
    list.tokenize(text, '\0');
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"a,b"}));
}

TEST(LListTokenize, AppendsPlainElementsWithCopies)
{
    CLList list;
    list.add_element(new CListElement("before"));
    char text[] = "x:y";
    list.tokenize(text, ':');
    text[0] = 'Q';
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"before", "x", "y"}));
    EXPECT_EQ(list.get_element(1)->get_btype(), CListElement::BTYPE_ELEMENT);
}

TEST(LListText, ToStringOfElements)
{
    CLList list;
    list.add_element(new CListElement("a"));
    list.add_element(new CListElement());
    list.add_element(new CListElement("b"));
    EXPECT_STREQ(list.to_string(), "(list (i :n (a) :t (string) :c (void))\n "
                                   "(i :n (b) :t (string) :c (void))\n )\n ");
    // Building again starts afresh.
    EXPECT_STREQ(list.to_string(), "(list (i :n (a) :t (string) :c (void))\n "
                                   "(i :n (b) :t (string) :c (void))\n )\n ");
}

TEST(LListText, EmptyAndNested)
{
    CLList list;
    EXPECT_STREQ(list.to_string(), "(list )\n ");
    CLList* inner = new CLList("inner");
    inner->add_element(new CListElement("x"));
    list.add_element(inner);
    EXPECT_STREQ(list.to_string(), "(list (list (i :n (x) :t (string) :c (void))\n )\n )\n ");
}

TEST(LListText, FromStringUnsupported)
{
    CLList list;
    char text[] = "(list (i :n (a)))";
    EXPECT_EQ(list.from_string(text), 0);
    EXPECT_EQ(list.get_nr_elements(), 0);
    EXPECT_STREQ(text, "(list (i :n (a)))");
}

TEST(LListDump, AppendsListingToFile)
{
    testsupport::CTempDir dir;
    testsupport::CScopedChdir inside(dir.Path());
    CLList list;
    int content = 1;
    list.add_element(new CListElement("first"))->set_content(&content);
    list.add_element(new CListElement());
    list.dump_list();
    const std::string dashes(53, '-');
    std::string expected = dashes + "\n" + "token name: first\n" + "content: is not NULL\n" +
                           "token name: (null)\n" + "content: is NULL\n" + dashes + "\n";
    EXPECT_EQ(read_file(dir.File("listdump.txt")), expected);
    CLList empty;
    empty.dump_list();
    EXPECT_EQ(read_file(dir.File("listdump.txt")), expected + dashes + "\n" + dashes + "\n");
}
