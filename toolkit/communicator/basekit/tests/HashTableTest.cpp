#include <basekit/HashTable.h>

#include <gtest/gtest.h>

TEST(HashTable, IsAListOfItsOwnType)
{
    CHashTable table("table");
    EXPECT_EQ(table.get_btype(), CListElement::BTYPE_HASHTABLE);
    EXPECT_STREQ(table.get_name(), "table");
    table.add_element(new CListElement("key"));
    EXPECT_NE(table.find_element("key"), nullptr);
    CHashTable unnamed;
    EXPECT_EQ(unnamed.get_name(), nullptr);
    EXPECT_EQ(unnamed.get_btype(), 7);
}
