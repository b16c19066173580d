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

// A text nested far deeper than anyone reads is shown to a fixed depth with
// a marker below the last level shown, without running out of stack.
TEST(ParserTree, DeepTextIsShownToABoundedDepthWithAMarker)
{
    testsupport::QtTestApplication();
    constexpr int Levels = 15000;
    std::string text;
    for (int i = 0; i < Levels; ++i)
        text += "(t :k ";
    text += "v" + std::string(Levels, ')');
    CParserTree tree;
    tree.ShowTree(text.c_str());
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    const QTreeWidgetItem* item = tree.topLevelItem(0);
    int depth = 0;
    while (item->childCount() > 0) {
        item = item->child(item->childCount() - 1);
        ++depth;
    }
    EXPECT_EQ(item->text(0).toStdString(), CParserTree::DeeperMarker);
    EXPECT_LE(depth, 2 * CParserTree::MaxShownDepth + 2);
    EXPECT_GE(depth, CParserTree::MaxShownDepth);
}

} // namespace
