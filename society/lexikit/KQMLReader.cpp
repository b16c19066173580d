#include <lexikit/KQMLReader.h>

#include <lexikit/KQMLText.h>
#include <lexikit/ParsedText.h>

#include <cstring>

namespace {

// A performative and a handful of keyword/value pairs fit without growing.
constexpr std::size_t EXPECTED_ITEMS = 24;

} // namespace

bool CKQMLReader::looks_like(const char* text, std::size_t len)
{
    const std::size_t pos = CKQMLText::skip_spaces(text, len, 0);
    return pos < len && text[pos] == '(';
}

bool CKQMLReader::read(const char* text, std::size_t len, CParsedText& out)
{
    std::vector<Item> items;
    items.reserve(EXPECTED_ITEMS);
    if (!split_items(text, len, items) || !has_message_form(items))
        return false;
    out.clear();
    out.set_kind(CParsedText::KIND_KQML);
    // Every item is copied once with a NUL, plus the performative marker.
    out.reserve(len + items.size() + std::strlen(CParsedText::PERFORMATIVE_VALUE) + 1, items.size() / 2 + 1);
    store_fields(text, items, out);
    return true;
}

// The top-level items between the outer parentheses; false when the outer
// list is not closed, an item is malformed, or anything but whitespace
// follows the closing parenthesis.
bool CKQMLReader::split_items(const char* text, std::size_t len, std::vector<Item>& items)
{
    std::size_t pos = CKQMLText::skip_spaces(text, len, 0);
    if (pos >= len || text[pos] != '(')
        return false;
    ++pos;
    for (;;) {
        pos = CKQMLText::skip_spaces(text, len, pos);
        if (pos >= len)
            return false;
        if (text[pos] == ')')
            break;
        Item item{ItemKind::Atom, pos, pos};
        pos = scan_item(text, len, pos, item);
        if (pos > len)
            return false;
        items.push_back(item);
    }
    return CKQMLText::skip_spaces(text, len, pos + 1) == len;
}

// Returns the index past the item at `pos` (len + 1 when it is unterminated)
// and describes it in `item`.
std::size_t CKQMLReader::scan_item(const char* text, std::size_t len, std::size_t pos, Item& item)
{
    std::size_t end;
    if (text[pos] == '"') {
        item.kind = ItemKind::String;
        end = CKQMLText::skip_string(text, len, pos);
    } else if (text[pos] == '(') {
        item.kind = ItemKind::List;
        end = CKQMLText::skip_list(text, len, pos);
    } else {
        item.kind = text[pos] == ':' ? ItemKind::Keyword : ItemKind::Atom;
        end = CKQMLText::skip_atom(text, len, pos);
    }
    item.begin = pos;
    item.end = end;
    return end;
}

// A performative word, then keyword/value pairs: a keyword without a value,
// a keyword standing where a value belongs, or a stray item breaks the form.
bool CKQMLReader::has_message_form(const std::vector<Item>& items)
{
    if (items.empty() || items[0].kind != ItemKind::Atom)
        return false;
    if ((items.size() - 1) % 2 != 0)
        return false;
    for (std::size_t i = 1; i < items.size(); i += 2) {
        if (items[i].kind != ItemKind::Keyword || items[i + 1].kind == ItemKind::Keyword)
            return false;
    }
    return true;
}

void CKQMLReader::store_fields(const char* text, const std::vector<Item>& items, CParsedText& out)
{
    const Item& performative = items[0];
    const std::size_t token = out.store(text + performative.begin, performative.end - performative.begin);
    const char* marker = CParsedText::PERFORMATIVE_VALUE;
    out.add_field(token, out.store(marker, std::strlen(marker)));
    for (std::size_t i = 1; i < items.size(); i += 2) {
        const Item& key = items[i];
        const Item& value = items[i + 1];
        const std::size_t key_at = out.store(text + key.begin, key.end - key.begin);
        const std::size_t value_at = out.store(text + value.begin, value.end - value.begin);
        out.add_field(key_at, value_at);
    }
}
