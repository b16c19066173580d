#pragma once

#include <basekit/ListElement.h>

// A belief holding an integer, named after the belief.
class CIntBelief : public CListElement {
public:
    explicit CIntBelief(const char* name, int value = 0);
    ~CIntBelief() override;

    void set_value(int value);
    int get_value();

private:
    int value;
};
