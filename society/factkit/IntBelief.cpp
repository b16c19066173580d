#include <factkit/IntBelief.h>

CIntBelief::CIntBelief(const char* name, int initial) : CListElement(name), value(initial) {}

CIntBelief::~CIntBelief() = default;

void CIntBelief::set_value(int v)
{
    value = v;
}

int CIntBelief::get_value()
{
    return value;
}
