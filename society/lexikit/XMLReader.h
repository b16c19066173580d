#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

class CParsedText;

// Checks that a text is one XML document in the plain sense that matters to
// the agents: a prolog of declarations, processing instructions, comments and
// at most one document type, then one root element whose start and end tags
// nest and match, then only comments, processing instructions and blanks.
// Attribute values must be quoted, character and entity references must be
// well formed; entities are not expanded and no schema is checked.
//
// Nesting is followed with an explicit stack of open element names, so a
// hostile depth costs memory in proportion to the text, never call stack.
class CXMLReader {
public:
    // True when the text starts, after whitespace, with '<'.
    static bool looks_like(const char* text, std::size_t len);

    // Fills `out` with the root element name and its attributes and returns
    // true for a well-formed text.
    static bool read(const char* text, std::size_t len, CParsedText& out);

private:
    struct Span {
        std::size_t begin;
        std::size_t end;
    };
    struct Attribute {
        Span name;
        Span value;
    };
    struct Tag {
        Span name;
        bool self_closing = false;
    };

    class Scan {
    public:
        Scan(const char* text, std::size_t len);

        bool at_end() const;
        bool starts_with(std::string_view prefix) const;
        char peek() const;
        bool skip_spaces();
        bool skip_past(std::string_view terminator);
        bool read_name(Span& name);
        bool read_quoted(Span& value);
        bool skip_doctype();
        bool skip_text();
        bool skip_reference();
        bool same_name(const Span& a, const Span& b) const;

        std::string_view text;
        std::size_t pos = 0;
    };

    static bool skip_misc(Scan& scan, bool allow_doctype);
    static bool read_start_tag(Scan& scan, Tag& tag, std::vector<Attribute>* attributes);
    static bool read_attribute(Scan& scan, std::vector<Attribute>* attributes);
    static bool read_end_tag(Scan& scan, std::vector<Span>& open);
    static bool read_content(Scan& scan, std::vector<Span>& open);
    static void store(const char* text, const Tag& root, const std::vector<Attribute>& attributes,
                      CParsedText& out);
};
