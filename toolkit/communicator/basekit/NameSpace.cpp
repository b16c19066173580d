#include <basekit/NameSpace.h>

#include <basekit/Utils.h>

#include <cstdlib>
#include <cstring>

CNameSpace::CNameSpace() = default;

CNameSpace::CNameSpace(const char* name) : CStack(name) {}

CNameSpace::~CNameSpace() = default;

void CNameSpace::set_separator(char new_separator)
{
    separator = new_separator;
}

char CNameSpace::get_separator()
{
    return separator;
}

void CNameSpace::add_name(const char* name)
{
    if (name)
        add_element(new CListElement(name));
}

char* CNameSpace::remove_name()
{
    CListElement* element = pop();
    if (!element)
        return nullptr;
    const char* name = element->get_name();
    char* copy = strdup(name ? name : "");
    delete element;
    return copy;
}

char* CNameSpace::to_string()
{
    text.reset();
    if (get_nr_elements() == 0)
        return nullptr;
    std::string joined("(");
    CListElement* first = get_element(0);
    for (CListElement* e = first; e; e = e->get_next()) {
        if (e != first)
            joined += separator;
        const char* name = e->get_name();
        joined += name ? name : "";
    }
    joined += ')';
    text = std::move(joined);
    return text->data();
}

int CNameSpace::from_string(char* source)
{
    if (!source)
        return 0;
    CUtils::tokenize(CUtils::remove_parenthesis(source), separator, this);
    return 1;
}
