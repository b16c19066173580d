#include <vespera/core/KqmlFields.h>

#include <basekit/Utils.h>

#include <vector>

namespace {

CParsedMessage::Ptr ReadExpression(const std::string& text)
{
    const std::string::size_type first = text.find_first_not_of(" \t\r\n");
    const bool wrapped = first != std::string::npos && text[first] == '(';
    return CParsedMessage::parse(wrapped ? text : "(" + text + ")");
}

} // namespace

CKqmlFields::CKqmlFields(const std::string& text) : m_expression(ReadExpression(text)) {}

CKqmlFields::CKqmlFields(const char* text) : CKqmlFields(std::string(text ? text : "")) {}

CKqmlFields::CKqmlFields(CParsedMessage::Ptr expression)
    : m_expression(expression ? std::move(expression) : ReadExpression(std::string()))
{
}

bool CKqmlFields::IsParsed() const
{
    return m_expression->is_parsed();
}

const std::string& CKqmlFields::Text() const
{
    return m_expression->text();
}

bool CKqmlFields::Has(const char* key) const
{
    return m_expression->field(key) != nullptr;
}

std::optional<std::string> CKqmlFields::Raw(const char* key) const
{
    const char* value = m_expression->field(key);
    if (!value)
        return std::nullopt;
    return std::string(value);
}

bool CKqmlFields::Read(const char* key, std::string& value) const
{
    std::optional<std::string> found = Raw(key);
    if (!found)
        return false;
    value = std::move(*found);
    return true;
}

std::string CKqmlFields::Value(const char* key) const
{
    const std::optional<std::string> found = Raw(key);
    return found ? WithoutParentheses(*found) : std::string();
}

std::vector<std::string> CKqmlFields::Tokens() const
{
    std::vector<std::string> tokens;
    if (!IsParsed())
        return tokens;
    CParser& reader = m_expression->parser();
    for (const char* token = reader.listall_getfirst_token(); token; token = reader.listall_getnext_token())
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
