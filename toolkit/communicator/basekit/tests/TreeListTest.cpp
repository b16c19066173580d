#include <basekit/TreeList.h>

#include <gtest/gtest.h>

TEST(TreeList, IsAListOfItsOwnType)
{
    CTreeList tree;
    EXPECT_EQ(tree.get_btype(), CListElement::BTYPE_TREELIST);
    EXPECT_EQ(tree.get_btype(), 6);
    CTreeList* branch = new CTreeList("branch");
    branch->add_element(new CListElement("leaf"));
    tree.add_element(branch);
    EXPECT_EQ(tree.find_element("branch"), branch);
    EXPECT_EQ(branch->get_parent(), &tree);
}
