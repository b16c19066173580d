#pragma once

#include <basekit/LList.h>
#include <basekit/ListElement.h>

#include <memory>

// A belief holding a list (the location table is one), named after the
// belief. The belief owns its list and, through it, the list's elements.
class CListBelief : public CListElement {
public:
    explicit CListBelief(const char* name, CLList* value = nullptr);
    ~CListBelief() override;

    // Takes ownership of `value` and destroys the previous list. Giving the
    // current list again keeps it; null leaves the belief without a list.
    // The list must not be linked into another list.
    void set_value(CLList* value);
    // The list (owned by the belief), or null.
    CLList* get_value();

private:
    std::unique_ptr<CLList> value;
};
