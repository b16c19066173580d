#pragma once

// Helpers shared by the container's source files; not part of its interface.

#include <basekit/LList.h>
#include <lexikit/KQMLText.h>

#include <string>

namespace container_detail {

inline std::string unquoted(const char* text)
{
    return text ? CKQMLText::unquote(text) : std::string();
}

// The lists handed to the modules' hooks are walked by their links, not the
// list's own cursor, so a hook that walks the same list cannot derail this
// walk.
template <typename Module, typename Call>
void for_each_module(CLList* list, Call call)
{
    if (!list)
        return;
    for (CListElement* element = list->get_element(0); element;) {
        CListElement* next = element->get_next();
        if (Module* module = dynamic_cast<Module*>(element))
            call(module);
        element = next;
    }
}

} // namespace container_detail
