#include <agentkit/widgets/ParserTree.h>

#include <lexikit/Parser.h>

#include <QHeaderView>

#include <cstring>

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
    AddTokens(top, parser);
}

void CParserTree::AddTokens(QTreeWidgetItem* item, CParser& parser)
{
    const char* token = parser.listall_getfirst_token();
    const char* value = parser.listall_getfirst_contents();
    while (token) {
        QTreeWidgetItem* child = Append(item, token);
        if (value && std::strcmp(value, PerformativeValue) != 0 && !ParseRecursive(child, value))
            Append(child, value);
        token = parser.listall_getnext_token();
        value = parser.listall_getnext_contents();
    }
}

int CParserTree::ParseRecursive(QTreeWidgetItem* item, const char* text)
{
    CParser parser;
    if (!parser.parse_message(text))
        return 0;
    AddTokens(item, parser);
    return 1;
}
