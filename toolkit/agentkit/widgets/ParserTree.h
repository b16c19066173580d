#pragma once

#include <QTreeWidget>

#include <string>
#include <vector>

class CParser;
struct CPendingValue;

// A KQML message shown as a tree: under the top item "CParser", the
// performative and every keyword in order, each with its value below it, a
// nested expression opened into a subtree and a plain value as a leaf.
// Nothing is expanded; the caller opens the branches it wants. Levels past
// MaxShownDepth are not opened: a marker item stands for them, so any text
// from a peer is shown in bounded time and stack.
class CParserTree : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int MaxShownDepth = 200;
    static constexpr const char* DeeperMarker = "... (deeper levels not shown)";

    explicit CParserTree(QWidget* parent = nullptr);
    ~CParserTree() override;

    // Replaces the tree by the tree of `text`; a null text, or one that does
    // not parse, leaves the tree as it was.
    void ShowTree(const char* text);

private:
    // Adds the parts of the value `text` below `item`: its tokens when it
    // parses (their values joining `pending`), else the text as a leaf.
    void OpenValue(QTreeWidgetItem* item, const std::string& text, int depth,
                   std::vector<CPendingValue>& pending);
    // Appends the tokens of a parsed message below `item`; their values wait
    // in `pending`, one level deeper.
    void AddTokens(QTreeWidgetItem* item, CParser& parser, int depth, std::vector<CPendingValue>& pending);
};

// The same tree, for the windows that name it so.
class CGINTree : public CParserTree {
    Q_OBJECT
public:
    using CParserTree::CParserTree;
};
