#pragma once

#include <QTreeWidget>

class CParser;

// A KQML message shown as a tree: under the top item "CParser", the
// performative and every keyword in order, each with its value below it, a
// nested expression opened into a subtree and a plain value as a leaf.
// Nothing is expanded; the caller opens the branches it wants.
class CParserTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit CParserTree(QWidget* parent = nullptr);
    ~CParserTree() override;

    // Replaces the tree by the tree of `text`; a null text, or one that does
    // not parse, leaves the tree as it was.
    void ShowTree(const char* text);

private:
    // Adds the parts of the expression `text` below `item`; 1 when it parsed.
    int ParseRecursive(QTreeWidgetItem* item, const char* text);
    // Appends the tokens of a parsed message, and their values, below `item`.
    void AddTokens(QTreeWidgetItem* item, CParser& parser);
};

// The same tree, for the windows that name it so.
class CGINTree : public CParserTree {
    Q_OBJECT
public:
    using CParserTree::CParserTree;
};
