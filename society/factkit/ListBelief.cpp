#include <factkit/ListBelief.h>

CListBelief::CListBelief(const char* name, CLList* initial) : CListElement(name), value(initial) {}

CListBelief::~CListBelief() = default;

void CListBelief::set_value(CLList* list)
{
    if (list != value.get())
        value.reset(list);
}

CLList* CListBelief::get_value()
{
    return value.get();
}
