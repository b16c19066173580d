#include <lexikit/KQMLText.h>

#include <cstring>

bool CKQMLText::is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool CKQMLText::is_delimiter(char c)
{
    return is_space(c) || c == '(' || c == ')';
}

bool CKQMLText::is_plain_atom(const char* text)
{
    if (text == nullptr || *text == '\0' || *text == ':' || *text == '"')
        return false;
    for (const char* p = text; *p != '\0'; ++p) {
        if (is_delimiter(*p))
            return false;
    }
    return true;
}

std::string CKQMLText::quote(const char* text)
{
    if (text == nullptr)
        return "\"\"";
    if (is_plain_atom(text))
        return text;
    std::string out;
    out.reserve(std::strlen(text) + 2);
    out += '"';
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '"' || *p == '\\')
            out += '\\';
        out += *p;
    }
    out += '"';
    return out;
}

std::string CKQMLText::unquote(const char* text)
{
    if (text == nullptr)
        return std::string();
    const std::size_t len = std::strlen(text);
    if (len < 2 || text[0] != '"' || skip_string(text, len, 0) != len)
        return text;
    std::string out;
    out.reserve(len - 2);
    for (std::size_t i = 1; i + 1 < len; ++i) {
        if (text[i] == '\\')
            ++i;
        out += text[i];
    }
    return out;
}

std::size_t CKQMLText::skip_string(const char* text, std::size_t len, std::size_t pos)
{
    for (std::size_t i = pos + 1; i < len; ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i + 1;
    }
    return len + 1;
}

std::size_t CKQMLText::skip_list(const char* text, std::size_t len, std::size_t pos)
{
    std::size_t depth = 0;
    bool item_start = true;
    std::size_t i = pos;
    while (i < len) {
        const char c = text[i];
        if (c == '"' && item_start) {
            i = skip_string(text, len, i);
            if (i > len)
                return len + 1;
            continue;
        }
        ++i;
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0)
                return i;
        }
        item_start = is_delimiter(c);
    }
    return len + 1;
}

std::size_t CKQMLText::skip_atom(const char* text, std::size_t len, std::size_t pos)
{
    std::size_t i = pos;
    while (i < len && !is_delimiter(text[i]))
        ++i;
    return i;
}
