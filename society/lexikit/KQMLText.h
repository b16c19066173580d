#pragma once

#include <cstddef>
#include <string>

// The lexical rules of message text, shared by the reader and the composer so
// that what one writes the other reads back.
//
// Items of an s-expression are separated by whitespace (blank, tab, CR, LF,
// vertical tab, form feed). An atom runs up to whitespace or a parenthesis; a
// double quote opens a string only where an item starts, so free text such as
// 12" pizza stays one atom. Inside a string a backslash takes the next byte
// literally, so "\"" and "\\" are how a quote and a backslash are written.
class CKQMLText {
public:
    // Inline and branch-light: the scanners call these once per byte.
    static bool is_space(char c)
    {
        const unsigned char u = static_cast<unsigned char>(c);
        return u == ' ' || static_cast<unsigned char>(u - '\t') <= '\r' - '\t';
    }
    // True for the bytes that end an atom: whitespace and both parentheses.
    static bool is_delimiter(char c) { return is_space(c) || (static_cast<unsigned char>(c) | 1u) == ')'; }

    // A plain atom is written as it is: exactly what the reader takes as one
    // atom, so non-empty, no whitespace, no parenthesis, and neither a leading
    // colon (which would make it a keyword) nor a leading double quote (which
    // would open a string). Everything else must be written as a quoted
    // string.
    static bool is_plain_atom(const char* text);

    // The value as it must appear in a message: plain atoms unchanged,
    // anything else in double quotes with '"' and '\' escaped.
    static std::string quote(const char* text);

    // The inverse of quote(): a quoted string loses its quotes and its escapes
    // are resolved; any other text is returned unchanged. Null gives "".
    static std::string unquote(const char* text);

    // Index just past the string that starts with the quote at text[pos], or
    // `len` + 1 when the string is not terminated before `len`.
    static std::size_t skip_string(const char* text, std::size_t len, std::size_t pos);

    // Index just past the balanced list that starts with '(' at text[pos], or
    // `len` + 1 when it is not closed before `len`. Nesting is tracked with a
    // counter, never by recursion, so any depth is safe.
    static std::size_t skip_list(const char* text, std::size_t len, std::size_t pos);

    // Index just past the atom starting at text[pos].
    static std::size_t skip_atom(const char* text, std::size_t len, std::size_t pos);

    // Index of the first byte at or after `pos` that is not whitespace, or
    // `len` when there is none.
    static std::size_t skip_spaces(const char* text, std::size_t len, std::size_t pos);
};
