#include <vespera/core/KqmlFields.h>

#include <basekit/Utils.h>

#include <vector>

CKqmlFields::CKqmlFields(const std::string& text)
{
    const std::string::size_type first = text.find_first_not_of(" \t\r\n");
    const bool wrapped = first != std::string::npos && text[first] == '(';
    m_parsed = m_parser.parse_message(wrapped ? text.c_str() : ("(" + text + ")").c_str()) == 1;
}

bool CKqmlFields::Has(const char* key)
{
    return m_parsed && m_parser.find_token(key) != nullptr;
}

std::optional<std::string> CKqmlFields::Raw(const char* key)
{
    const char* value = m_parsed ? m_parser.find_token(key) : nullptr;
    if (!value)
        return std::nullopt;
    return std::string(value);
}

bool CKqmlFields::Read(const char* key, std::string& value)
{
    std::optional<std::string> found = Raw(key);
    if (!found)
        return false;
    value = std::move(*found);
    return true;
}

std::string CKqmlFields::Value(const char* key)
{
    const std::optional<std::string> found = Raw(key);
    return found ? WithoutParentheses(*found) : std::string();
}

std::vector<std::string> CKqmlFields::Tokens()
{
    std::vector<std::string> tokens;
    if (!m_parsed)
        return tokens;
    for (const char* token = m_parser.listall_getfirst_token(); token; token = m_parser.listall_getnext_token())
        tokens.emplace_back(token);
    return tokens;
}

// The utilities trim in place, so they work on a copy.
std::string CKqmlFields::WithoutParentheses(const std::string& value)
{
    std::vector<char> buffer(value.begin(), value.end());
    buffer.push_back('\0');
    return CUtils::remove_parenthesis(buffer.data());
}

std::string CKqmlFields::WithoutQuotes(const std::string& value)
{
    std::vector<char> buffer(value.begin(), value.end());
    buffer.push_back('\0');
    return CUtils::remove_quotes(buffer.data());
}
