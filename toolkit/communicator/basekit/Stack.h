#pragma once

#include <basekit/LList.h>

// A bounded last-in first-out list. A stack of capacity N holds at most
// N - 1 elements.
class CStack : public CLList {
public:
    static constexpr int DEFAULT_SIZE = 100;

    CStack();
    explicit CStack(const char* name);
    ~CStack() override;

    // Appends at the tail and returns 1; returns 0 and does not take the
    // element when count + 1 >= capacity or the element cannot be linked.
    int push(CListElement* element);
    // Unlinks the tail element and returns it (caller owns it), or null.
    CListElement* pop();

    void set_size(int size);
    int get_size();

private:
    int capacity = DEFAULT_SIZE;
};
