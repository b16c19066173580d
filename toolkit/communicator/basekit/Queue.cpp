#include <basekit/Queue.h>

CQueue::CQueue()
{
    set_btype(BTYPE_QUEUE);
}

CQueue::CQueue(const char* name) : CLList(name)
{
    set_btype(BTYPE_QUEUE);
}

CQueue::~CQueue() = default;

int CQueue::enqueue(CListElement* element)
{
    // Check first so that a refused element never costs the queue an entry.
    if (!can_take(element))
        return 0;
    while (get_nr_elements() > 0 && get_nr_elements() + 1 > capacity)
        delete_element(get_element(0));
    // The caller has handed the element over and cannot be told otherwise,
    // so a queue with no room at all drops it like any other oldest entry.
    if (capacity <= 0) {
        delete element;
        return 0;
    }
    add_element(element);
    return 0;
}

CListElement* CQueue::dequeue()
{
    CListElement* element = get_element(0);
    if (element)
        remove_element(element);
    return element;
}

void CQueue::set_size(int size)
{
    capacity = size;
}

int CQueue::get_size()
{
    return capacity;
}
