#include <basekit/ListElement.h>

#include <basekit/LList.h>

CListElement::CListElement() = default;

CListElement::CListElement(const char* name) : CDNA(name) {}

// An element destroyed while still linked would leave its list pointing at
// freed memory, so it takes itself out first.
CListElement::~CListElement()
{
    if (parent)
        parent->remove_element(this);
}

CLList* CListElement::get_parent()
{
    return parent;
}

void CListElement::set_parent(CLList* list)
{
    parent = list;
}

CListElement* CListElement::get_next()
{
    return next;
}

void CListElement::set_next(CListElement* element)
{
    next = element;
}

CListElement* CListElement::get_last()
{
    return last;
}

void CListElement::set_last(CListElement* element)
{
    last = element;
}

void* CListElement::get_content()
{
    return content;
}

void CListElement::set_content(void* new_content)
{
    content = new_content;
}

int CListElement::get_btype()
{
    return btype;
}

void CListElement::set_btype(int type)
{
    btype = type;
}

int CListElement::from_string(char*)
{
    return 0;
}

char* CListElement::to_string()
{
    const char* name = get_name();
    if (!name)
        return nullptr;
    text = std::string("(i :n (") + name + ") :t (string) :c (void))\n ";
    return text->data();
}
