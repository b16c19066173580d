#include <graphstore/DocumentBounds.h>

#include <algorithm>
#include <cctype>
#include <map>

namespace {

constexpr const char* Replacement = "\xEF\xBF\xBD";
// Entities defined through others, deeper than this, are refused as a
// loop would be.
constexpr int MaxEntityChain = 16;

bool StartsAt(const std::string& text, std::size_t pos, const char* piece)
{
    return text.compare(pos, std::char_traits<char>::length(piece), piece) == 0;
}

std::size_t SkipSpaces(const std::string& text, std::size_t pos)
{
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    return pos;
}

std::size_t SkipName(const std::string& text, std::size_t pos)
{
    while (pos < text.size() && !std::isspace(static_cast<unsigned char>(text[pos])) && text[pos] != ';' &&
           text[pos] != '>' && text[pos] != '"' && text[pos] != '\'')
        ++pos;
    return pos;
}

// The general entities an internal subset declares, and how large each is
// once its own references are expanded.
class CEntityTable {
public:
    explicit CEntityTable(std::size_t limit) : m_limit(limit) {}

    // False with `error` for a declaration the reader should never see.
    bool Read(const std::string& subset, std::string& error)
    {
        for (std::size_t at = subset.find("<!ENTITY"); at != std::string::npos;
             at = subset.find("<!ENTITY", at + 1)) {
            std::size_t pos = SkipSpaces(subset, at + 8);
            if (pos < subset.size() && subset[pos] == '%') {
                error = "it declares parameter entities";
                return false;
            }
            const std::size_t nameEnd = SkipName(subset, pos);
            const std::string name = subset.substr(pos, nameEnd - pos);
            pos = SkipSpaces(subset, nameEnd);
            std::string value;
            if (pos < subset.size() && (subset[pos] == '"' || subset[pos] == '\'')) {
                const std::size_t end = subset.find(subset[pos], pos + 1);
                if (end == std::string::npos) {
                    error = "an entity's value is not closed";
                    return false;
                }
                value = subset.substr(pos + 1, end - pos - 1);
            }
            m_values.emplace(name, std::move(value));
        }
        return true;
    }

    // The size `text` grows to when every reference in it is expanded;
    // more than the limit (or a loop) gives the limit plus one.
    std::size_t ExpandedSize(const std::string& text, int chain = 0)
    {
        std::size_t size = text.size();
        for (std::size_t amp = text.find('&'); amp != std::string::npos && size <= m_limit;
             amp = text.find('&', amp + 1)) {
            const std::size_t end = SkipName(text, amp + 1);
            if (end >= text.size() || text[end] != ';')
                continue;
            const std::size_t grown = SizeOf(text.substr(amp + 1, end - amp - 1), chain);
            size = std::min(m_limit + 1, size + grown);
        }
        return size;
    }

private:
    std::size_t SizeOf(const std::string& name, int chain)
    {
        const auto value = m_values.find(name);
        if (value == m_values.end())
            return 0;
        const auto known = m_sizes.find(name);
        if (known != m_sizes.end())
            return known->second;
        if (chain >= MaxEntityChain)
            return m_limit + 1;
        m_sizes[name] = m_limit + 1; // a reference back to itself is a loop
        const std::size_t size = ExpandedSize(value->second, chain + 1);
        m_sizes[name] = size;
        return size;
    }

    std::size_t m_limit;
    std::map<std::string, std::string> m_values;
    std::map<std::string, std::size_t> m_sizes;
};

// Where the markup after `pos` (a '<') ends, skipping quoted attribute
// values; npos when it does not.
std::size_t TagEnd(const std::string& text, std::size_t pos)
{
    char quote = 0;
    for (std::size_t i = pos + 1; i < text.size(); ++i) {
        if (quote) {
            if (text[i] == quote)
                quote = 0;
        } else if (text[i] == '"' || text[i] == '\'') {
            quote = text[i];
        } else if (text[i] == '>') {
            return i;
        }
    }
    return std::string::npos;
}

// The index past a construct that opens at `pos` and ends with `close`.
std::size_t PastClose(const std::string& text, std::size_t pos, const char* close)
{
    const std::size_t end = text.find(close, pos);
    return end == std::string::npos ? text.size() : end + std::char_traits<char>::length(close);
}

// Where the document type declaration starts, looked for only where one
// may stand (before the first element, outside comments and processing
// instructions); npos when there is none.
std::size_t DoctypeAt(const std::string& text)
{
    for (std::size_t pos = text.find('<'); pos != std::string::npos; pos = text.find('<', pos)) {
        if (StartsAt(text, pos, "<!--"))
            pos = PastClose(text, pos + 4, "-->");
        else if (StartsAt(text, pos, "<?"))
            pos = PastClose(text, pos + 2, "?>");
        else
            return StartsAt(text, pos, "<!DOCTYPE") ? pos : std::string::npos;
    }
    return std::string::npos;
}

// The ']' that closes an internal subset opening before `pos`, past quoted
// values, comments and processing instructions that may hold one; the text's end when none does.
std::size_t SubsetEnd(const std::string& text, std::size_t pos)
{
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == ']')
            return pos;
        if (StartsAt(text, pos, "<!--")) {
            pos = PastClose(text, pos + 4, "-->");
        } else if (StartsAt(text, pos, "<?")) {
            pos = PastClose(text, pos + 2, "?>");
        } else if (c == '"' || c == '\'') {
            const std::size_t end = text.find(c, pos + 1);
            pos = end == std::string::npos ? text.size() : end + 1;
        } else {
            ++pos;
        }
    }
    return text.size();
}

bool ElementDepthFits(const std::string& text, std::size_t from)
{
    int depth = 0;
    for (std::size_t pos = text.find('<', from); pos != std::string::npos; pos = text.find('<', pos)) {
        if (StartsAt(text, pos, "<!--")) {
            pos = PastClose(text, pos + 4, "-->");
        } else if (StartsAt(text, pos, "<![CDATA[")) {
            pos = PastClose(text, pos + 9, "]]>");
        } else if (StartsAt(text, pos, "<?")) {
            pos = PastClose(text, pos + 2, "?>");
        } else {
            const std::size_t end = TagEnd(text, pos);
            if (end == std::string::npos)
                return true; // the parser reports the torn tag
            if (text[pos + 1] == '/')
                --depth;
            else if (text[pos + 1] != '!' && text[end - 1] != '/' && ++depth > CDocumentBounds::MaxDepth)
                return false;
            pos = end + 1;
        }
    }
    return true;
}

// The sequence length of a UTF-8 character starting at `pos`, 0 when the
// bytes there are not one.
std::size_t Utf8Length(const std::string& text, std::size_t pos)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (pos + length > text.size() || byte(pos + 1) < low || byte(pos + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF)
            return 0;
    }
    return length;
}

} // namespace

bool CDocumentBounds::CheckXml(const std::string& text, std::string& error)
{
    std::size_t bodyStart = 0;
    const std::size_t doctype = DoctypeAt(text);
    if (doctype != std::string::npos) {
        const std::size_t open = text.find_first_of("[>", doctype);
        if (open != std::string::npos && text[open] == '[') {
            const std::size_t subsetEnd = SubsetEnd(text, open + 1);
            const std::size_t limit = std::min(ExpansionCeiling, ExpansionFactor * text.size());
            CEntityTable entities(limit);
            std::string why;
            if (!entities.Read(text.substr(open + 1, subsetEnd - open - 1), why)) {
                error = "Refused: " + why + ".";
                return false;
            }
            bodyStart = std::min(text.size(), subsetEnd + 1);
            if (entities.ExpandedSize(text.substr(bodyStart)) > limit) {
                error = "Refused: its entities expand it beyond " + std::to_string(ExpansionFactor) +
                        " times its size.";
                return false;
            }
        }
    }
    if (!ElementDepthFits(text, bodyStart)) {
        error = "Refused: its elements nest deeper than " + std::to_string(MaxDepth) + " levels.";
        return false;
    }
    return true;
}

bool CDocumentBounds::CheckTurtle(const std::string& text, std::string& error)
{
    int depth = 0;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '#') {
            pos = text.find('\n', pos);
        } else if (c == '<') {
            pos = text.find('>', pos);
        } else if (c == '"' || c == '\'') {
            const std::string longQuote(3, c);
            const bool isLong = StartsAt(text, pos, longQuote.c_str());
            const std::size_t from = pos + (isLong ? 3 : 1);
            for (pos = from; pos < text.size(); ++pos) {
                if (text[pos] == '\\')
                    ++pos;
                else if (isLong ? StartsAt(text, pos, longQuote.c_str()) : text[pos] == c)
                    break;
            }
            if (isLong && pos < text.size())
                pos += 2;
        } else if (c == '[' || c == '(') {
            if (++depth > MaxDepth) {
                error = "Refused: it nests deeper than " + std::to_string(MaxDepth) + " levels.";
                return false;
            }
        } else if (c == ']' || c == ')') {
            --depth;
        }
        if (pos == std::string::npos)
            break;
    }
    return true;
}

bool CDocumentBounds::CheckICalendar(const std::string& text, std::string& error)
{
    int depth = 0;
    for (std::size_t line = 0; line < text.size();) {
        const auto startsLine = [&text, line](const char* word) {
            const std::size_t length = std::char_traits<char>::length(word);
            if (line + length > text.size())
                return false;
            for (std::size_t i = 0; i < length; ++i) {
                if (std::toupper(static_cast<unsigned char>(text[line + i])) != word[i])
                    return false;
            }
            return true;
        };
        if (startsLine("BEGIN:") && ++depth > MaxDepth) {
            error = "Refused: its components nest deeper than " + std::to_string(MaxDepth) + " levels.";
            return false;
        }
        if (startsLine("END:"))
            --depth;
        const std::size_t next = text.find('\n', line);
        line = next == std::string::npos ? text.size() : next + 1;
    }
    return true;
}

std::string CDocumentBounds::ValidUtf8(const std::string& text)
{
    std::string valid;
    valid.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = Utf8Length(text, pos);
        if (length == 0) {
            valid += Replacement;
            ++pos;
        } else {
            valid.append(text, pos, length);
            pos += length;
        }
    }
    return valid;
}
