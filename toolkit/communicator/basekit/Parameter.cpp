#include <basekit/Parameter.h>

#include <cstring>
#include <utility>

CParameter::CParameter()
{
    set_btype(BTYPE_PARAMETER);
}

CParameter::CParameter(const char* name) : CListElement(name)
{
    set_btype(BTYPE_PARAMETER);
}

CParameter::~CParameter() = default;

void CParameter::set_content(void* content)
{
    if (content) {
        store_content(static_cast<const char*>(content));
    }
}

void CParameter::store_content(const char* new_value)
{
    // Copy first: the argument may point into the value being replaced.
    std::string copy = new_value;
    value = std::move(copy);
    CListElement::set_content(value->data());
}

void CParameter::clear_content()
{
    value.reset();
    CListElement::set_content(nullptr);
}

char* CParameter::to_string()
{
    const char* name = get_name();
    text = ":";
    text += name ? name : "";
    text += " (";
    text += value ? *value : "";
    text += ")";
    return text.data();
}

namespace {

// The value with one enclosing pair of parentheses removed, if it has one.
std::string unwrap_value(const char* rest)
{
    size_t len = std::strlen(rest);
    if (len >= 2 && rest[0] == '(' && rest[len - 1] == ')') {
        return std::string(rest + 1, len - 2);
    }
    return std::string(rest, len);
}

} // namespace

int CParameter::from_string(char* source)
{
    if (!source)
        return 0;
    char* colon = std::strchr(source, ':');
    if (!colon)
        return 0;
    char* blank = std::strchr(colon + 1, ' ');
    if (!blank)
        return 0;
    *blank = '\0';
    set_name(colon + 1);
    std::string parsed = unwrap_value(blank + 1);
    if (parsed.empty()) {
        clear_content();
    } else {
        store_content(parsed.c_str());
    }
    return 1;
}
