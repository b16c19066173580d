#include <basekit/Stack.h>

CStack::CStack()
{
    set_btype(BTYPE_STACK);
}

CStack::CStack(const char* name) : CLList(name)
{
    set_btype(BTYPE_STACK);
}

CStack::~CStack() = default;

int CStack::push(CListElement* element)
{
    if (!element)
        return 0;
    // Widened so that no capacity value can make the comparison overflow.
    if (static_cast<long long>(get_nr_elements()) + 1 >= capacity)
        return 0;
    return add_element(element) ? 1 : 0;
}

CListElement* CStack::pop()
{
    CListElement* element = get_last_element();
    if (element)
        remove_element(element);
    return element;
}

void CStack::set_size(int size)
{
    capacity = size;
}

int CStack::get_size()
{
    return capacity;
}
