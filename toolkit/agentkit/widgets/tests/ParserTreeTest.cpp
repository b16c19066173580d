#include <agentkit/widgets/ParserTree.h>

#include <eventview/testing/QtTestApplication.h>

#include <gtest/gtest.h>

namespace {

// The tree as text: each item's text, its children in brackets.
std::string Shape(const QTreeWidgetItem* item)
{
    std::string text = item->text(0).toStdString();
    if (item->childCount() == 0)
        return text;
    text += "[";
    for (int i = 0; i < item->childCount(); ++i)
        text += (i ? " " : "") + Shape(item->child(i));
    return text + "]";
}

TEST(ParserTree, MessageBecomesATreeAndANonParsingTextLeavesIt)
{
    testsupport::QtTestApplication();
    CParserTree tree;
    tree.ShowTree("(tell :sender A :receiver B :content (tell :type bid))");
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    EXPECT_EQ(Shape(tree.topLevelItem(0)), "CParser[tell :sender[A] :receiver[B] :content[tell :type[bid]]]");
    EXPECT_FALSE(tree.topLevelItem(0)->isExpanded());
    tree.ShowTree("(tell :sender");
    tree.ShowTree(nullptr);
    EXPECT_EQ(Shape(tree.topLevelItem(0)), "CParser[tell :sender[A] :receiver[B] :content[tell :type[bid]]]");
    CGINTree twin;
    twin.ShowTree("(ask :content (x :y (z :w v)))");
    EXPECT_EQ(Shape(twin.topLevelItem(0)), "CParser[ask :content[x :y[z :w[v]]]]");
}

} // namespace
