#include <factkit/StringBelief.h>

#include <utility>

CStringBelief::CStringBelief(const char* name, const char* initial) : CListElement(name)
{
    set_value(initial);
}

CStringBelief::~CStringBelief() = default;

void CStringBelief::set_value(const char* text)
{
    if (!text) {
        value.reset();
        return;
    }
    // Copy before assigning: `text` may be the current value.
    std::string copy = text;
    value = std::move(copy);
}

char* CStringBelief::get_value()
{
    return value ? value->data() : nullptr;
}
