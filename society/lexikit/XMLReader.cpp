#include <lexikit/XMLReader.h>

#include <lexikit/ParsedText.h>

#include <cctype>
#include <cstring>

namespace {

bool is_name_start(unsigned char c)
{
    return std::isalpha(c) != 0 || c == '_' || c == ':' || c >= 0x80;
}

bool is_name_char(unsigned char c)
{
    return is_name_start(c) || std::isdigit(c) != 0 || c == '-' || c == '.';
}

bool is_xml_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

CXMLReader::Scan::Scan(const char* text_in, std::size_t len) : text(text_in, len) {}

bool CXMLReader::Scan::at_end() const
{
    return pos >= text.size();
}

bool CXMLReader::Scan::starts_with(std::string_view prefix) const
{
    return text.substr(pos, prefix.size()) == prefix;
}

char CXMLReader::Scan::peek() const
{
    return at_end() ? '\0' : text[pos];
}

// Returns whether any whitespace was skipped.
bool CXMLReader::Scan::skip_spaces()
{
    const std::size_t start = pos;
    while (!at_end() && is_xml_space(text[pos]))
        ++pos;
    return pos != start;
}

bool CXMLReader::Scan::skip_past(std::string_view terminator)
{
    const std::size_t found = text.find(terminator, pos);
    if (found == std::string_view::npos)
        return false;
    pos = found + terminator.size();
    return true;
}

bool CXMLReader::Scan::read_name(Span& name)
{
    if (at_end() || !is_name_start(static_cast<unsigned char>(text[pos])))
        return false;
    name.begin = pos;
    while (!at_end() && is_name_char(static_cast<unsigned char>(text[pos])))
        ++pos;
    name.end = pos;
    return true;
}

// A value in single or double quotes, without '<'; the span excludes quotes.
bool CXMLReader::Scan::read_quoted(Span& value)
{
    const char quote = peek();
    if (quote != '"' && quote != '\'')
        return false;
    const std::size_t close = text.find(quote, pos + 1);
    if (close == std::string_view::npos)
        return false;
    if (text.substr(pos + 1, close - pos - 1).find('<') != std::string_view::npos)
        return false;
    value = Span{pos + 1, close};
    pos = close + 1;
    return true;
}

// "<!DOCTYPE ...>", with an internal subset in brackets and quoted literals
// that may hold '>'.
bool CXMLReader::Scan::skip_doctype()
{
    bool in_subset = false;
    char quote = '\0';
    for (pos += 9; !at_end(); ++pos) {
        const char c = text[pos];
        if (quote != '\0') {
            if (c == quote)
                quote = '\0';
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            in_subset = true;
        } else if (c == ']') {
            in_subset = false;
        } else if (c == '>' && !in_subset) {
            ++pos;
            return true;
        }
    }
    return false;
}

// Character data up to the next '<', checking its references.
bool CXMLReader::Scan::skip_text()
{
    while (!at_end() && text[pos] != '<') {
        if (text[pos] == '&') {
            if (!skip_reference())
                return false;
        } else {
            ++pos;
        }
    }
    return true;
}

// "&name;", "&#123;" or "&#x1F;".
bool CXMLReader::Scan::skip_reference()
{
    ++pos;
    if (peek() == '#') {
        ++pos;
        const bool hex = peek() == 'x';
        if (hex)
            ++pos;
        const std::size_t digits = pos;
        while (!at_end() && (hex ? std::isxdigit(static_cast<unsigned char>(text[pos]))
                                 : std::isdigit(static_cast<unsigned char>(text[pos]))))
            ++pos;
        if (pos == digits)
            return false;
    } else {
        Span name{};
        if (!read_name(name))
            return false;
    }
    if (peek() != ';')
        return false;
    ++pos;
    return true;
}

bool CXMLReader::Scan::same_name(const Span& a, const Span& b) const
{
    return text.substr(a.begin, a.end - a.begin) == text.substr(b.begin, b.end - b.begin);
}

bool CXMLReader::looks_like(const char* text, std::size_t len)
{
    Scan scan(text, len);
    scan.skip_spaces();
    return scan.peek() == '<';
}

bool CXMLReader::read(const char* text, std::size_t len, CParsedText& out)
{
    Scan scan(text, len);
    if (!skip_misc(scan, true) || scan.peek() != '<')
        return false;
    Tag root;
    std::vector<Attribute> attributes;
    if (!read_start_tag(scan, root, &attributes))
        return false;
    std::vector<Span> open;
    if (!root.self_closing)
        open.push_back(root.name);
    while (!open.empty()) {
        if (!read_content(scan, open))
            return false;
    }
    if (!skip_misc(scan, false) || !scan.at_end())
        return false;
    out.clear();
    out.set_kind(CParsedText::KIND_XML);
    store(text, root, attributes, out);
    return true;
}

// Whitespace, comments and processing instructions (and, in the prolog, one
// document type) up to the next element or the end.
bool CXMLReader::skip_misc(Scan& scan, bool allow_doctype)
{
    for (;;) {
        scan.skip_spaces();
        if (scan.starts_with("<!--")) {
            if (!scan.skip_past("-->"))
                return false;
        } else if (scan.starts_with("<?")) {
            if (!scan.skip_past("?>"))
                return false;
        } else if (allow_doctype && scan.starts_with("<!DOCTYPE")) {
            if (!scan.skip_doctype())
                return false;
            allow_doctype = false;
        } else {
            return true;
        }
    }
}

// One step inside an open element: text, a comment, a section, a processing
// instruction, an end tag or a child's start tag.
bool CXMLReader::read_content(Scan& scan, std::vector<Span>& open)
{
    if (scan.at_end())
        return false;
    if (scan.peek() != '<')
        return scan.skip_text();
    if (scan.starts_with("<!--"))
        return scan.skip_past("-->");
    if (scan.starts_with("<![CDATA["))
        return scan.skip_past("]]>");
    if (scan.starts_with("<?"))
        return scan.skip_past("?>");
    if (scan.starts_with("</"))
        return read_end_tag(scan, open);
    if (scan.starts_with("<!"))
        return false;
    Tag tag;
    if (!read_start_tag(scan, tag, nullptr))
        return false;
    if (!tag.self_closing)
        open.push_back(tag.name);
    return true;
}

bool CXMLReader::read_start_tag(Scan& scan, Tag& tag, std::vector<Attribute>* attributes)
{
    ++scan.pos;
    if (!scan.read_name(tag.name))
        return false;
    for (;;) {
        const bool spaced = scan.skip_spaces();
        if (scan.peek() == '>') {
            ++scan.pos;
            return true;
        }
        if (scan.starts_with("/>")) {
            scan.pos += 2;
            tag.self_closing = true;
            return true;
        }
        if (!spaced || !read_attribute(scan, attributes))
            return false;
    }
}

bool CXMLReader::read_attribute(Scan& scan, std::vector<Attribute>* attributes)
{
    Attribute attribute{};
    if (!scan.read_name(attribute.name))
        return false;
    scan.skip_spaces();
    if (scan.peek() != '=')
        return false;
    ++scan.pos;
    scan.skip_spaces();
    if (!scan.read_quoted(attribute.value))
        return false;
    if (attributes != nullptr)
        attributes->push_back(attribute);
    return true;
}

bool CXMLReader::read_end_tag(Scan& scan, std::vector<Span>& open)
{
    scan.pos += 2;
    Span name{};
    if (!scan.read_name(name))
        return false;
    scan.skip_spaces();
    if (scan.peek() != '>' || !scan.same_name(name, open.back()))
        return false;
    ++scan.pos;
    open.pop_back();
    return true;
}

void CXMLReader::store(const char* text, const Tag& root, const std::vector<Attribute>& attributes,
                       CParsedText& out)
{
    const char* marker = CParsedText::PERFORMATIVE_VALUE;
    const std::size_t root_at = out.store(text + root.name.begin, root.name.end - root.name.begin);
    out.add_field(root_at, out.store(marker, std::strlen(marker)));
    for (const Attribute& attribute : attributes) {
        const std::size_t name_at =
            out.store(text + attribute.name.begin, attribute.name.end - attribute.name.begin);
        const std::size_t value_at =
            out.store(text + attribute.value.begin, attribute.value.end - attribute.value.begin);
        out.add_field(name_at, value_at);
    }
}
