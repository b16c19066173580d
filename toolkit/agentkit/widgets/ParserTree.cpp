#include <agentkit/widgets/ParserTree.h>

#include <lexikit/Parser.h>

#include <QHeaderView>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// What the parser pairs with the performative in the values' walk.
constexpr const char* PerformativeValue = "__PERFORMATIVE__";

QTreeWidgetItem* Append(QTreeWidgetItem* parent, const char* text)
{
    auto* item = new QTreeWidgetItem(QStringList(QString::fromLatin1(text)));
    parent->addChild(item);
    return item;
}

} // namespace

// A value still to be opened below the item of its keyword.
struct CPendingValue {
    QTreeWidgetItem* item;
    std::string text;
    int depth;
};

CParserTree::CParserTree(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
}

CParserTree::~CParserTree() = default;

void CParserTree::ShowTree(const char* text)
{
    if (!text)
        return;
    CParser parser;
    if (!parser.parse_message(text))
        return;
    clear();
    auto* top = new QTreeWidgetItem(QStringList("CParser"));
    addTopLevelItem(top);
    std::vector<CPendingValue> pending;
    AddTokens(top, parser, 1, pending);
    // Each level is parsed once from its own text, level after level with an
    // explicit list instead of the call stack, so a deep text costs neither
    // stack nor more than MaxShownDepth parses of its length.
    while (!pending.empty()) {
        CPendingValue value = std::move(pending.back());
        pending.pop_back();
        OpenValue(value.item, value.text, value.depth, pending);
    }
}

void CParserTree::OpenValue(QTreeWidgetItem* item, const std::string& text, int depth,
                            std::vector<CPendingValue>& pending)
{
    if (depth > MaxShownDepth) {
        Append(item, DeeperMarker);
        return;
    }
    CParser parser;
    if (parser.parse_message(text.c_str()))
        AddTokens(item, parser, depth, pending);
    else
        Append(item, text.c_str());
}

void CParserTree::AddTokens(QTreeWidgetItem* item, CParser& parser, int depth,
                            std::vector<CPendingValue>& pending)
{
    const char* token = parser.listall_getfirst_token();
    const char* value = parser.listall_getfirst_contents();
    while (token) {
        QTreeWidgetItem* child = Append(item, token);
        if (value && std::strcmp(value, PerformativeValue) != 0)
            pending.push_back({child, value, depth + 1});
        token = parser.listall_getnext_token();
        value = parser.listall_getnext_contents();
    }
}
