#pragma once

#include <basekit/ListElement.h>

// A list element that counts its own destruction, to prove who destroyed
// what and when.
class CCountingElement : public CListElement {
public:
    CCountingElement(const char* name, int* counter) : CListElement(name), counter(counter) {}
    ~CCountingElement() override { ++*counter; }

private:
    int* counter;
};
