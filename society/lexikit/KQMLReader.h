#pragma once

#include <cstddef>
#include <vector>

class CParsedText;

// Reads one KQML message: an opening parenthesis, a performative word, then
// pairs of a keyword (an atom with a leading colon) and a value (an atom, a
// quoted string or a list), and the closing parenthesis. Only whitespace may
// surround it. A value is kept exactly as written (quotes and parentheses
// included) so that callers can parse list values again; the inside of a
// list value only has to be balanced, it is not held to the message form.
class CKQMLReader {
public:
    // True when the text starts, after whitespace, with '('.
    static bool looks_like(const char* text, std::size_t len);

    // Fills `out` and returns true for a complete message; returns false and
    // leaves `out` untouched otherwise.
    static bool read(const char* text, std::size_t len, CParsedText& out);

private:
    enum class ItemKind { Atom, Keyword, String, List };
    struct Item {
        ItemKind kind;
        std::size_t begin;
        std::size_t end;
    };

    static bool split_items(const char* text, std::size_t len, std::vector<Item>& items);
    static std::size_t scan_item(const char* text, std::size_t len, std::size_t pos, Item& item);
    static bool has_message_form(const std::vector<Item>& items);
    static void store_fields(const char* text, const std::vector<Item>& items, CParsedText& out);
};
