#pragma once

#include <basekit/LList.h>

// A bounded first-in first-out list that drops its oldest entries.
class CQueue : public CLList {
public:
    static constexpr int DEFAULT_SIZE = 100;

    CQueue();
    explicit CQueue(const char* name);
    ~CQueue() override;

    // Appends at the tail, first destroying the oldest entries while the
    // count would exceed the capacity. Always returns 0. The queue takes the
    // element unless it cannot be linked (see CLList); with a capacity of 0
    // or less the queue holds nothing and the element is destroyed at once.
    int enqueue(CListElement* element);
    // Unlinks the head element and returns it (caller owns it), or null.
    CListElement* dequeue();

    void set_size(int size);
    int get_size();

private:
    int capacity = DEFAULT_SIZE;
};
