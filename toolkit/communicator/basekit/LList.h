#pragma once

#include <basekit/StreamBuffer.h>

// A doubly linked list that OWNS its elements.
//
// delete_element, delete_element_by_name, delete_list and the destructor
// destroy elements; remove_element, remove_element_by_name (and the pop and
// dequeue of the derived containers) unlink them and hand ownership back to
// the caller. Names are matched exactly and case-sensitively; unnamed
// elements never match.
//
// An element can be in one list at a time: operations that would link an
// element that is already linked somewhere (or a list into itself or one of
// its own descendants) refuse and leave ownership with the caller.
// Operations given an element of another list do nothing.
//
// The list has one iteration cursor (get_first/next/previous_element).
// Unlinking the element under the cursor clears the cursor, so it never
// points at a destroyed element.
class CLList : public CStreamBuffer {
public:
    CLList();
    explicit CLList(const char* name);
    ~CLList() override;

    // Appends at the tail and returns the element; null (element not taken)
    // for a null element or one that cannot be linked here.
    CListElement* add_element(CListElement* element);

    // The first element from the head named exactly `name`, or null.
    CListElement* find_element(const char* name);
    // The i-th element counted from 0, or null.
    CListElement* get_element(int index);

    // Cursor iteration. get_first_element puts the cursor on the head; the
    // other two move it one step and return the new element, or null (and
    // the cursor becomes null) at either end or when the cursor is null.
    CListElement* get_first_element();
    CListElement* get_next_element();
    CListElement* get_previous_element();
    CListElement* get_last_element();
    int get_nr_elements();

    // Unlink and destroy / unlink only. 1 when the element was in this list,
    // 0 (nothing done) otherwise.
    int delete_element(CListElement* element);
    int remove_element(CListElement* element);
    // Act on the LAST element named exactly `name`. delete returns 1 when one
    // was destroyed; remove returns the unlinked element (caller owns it) or
    // null.
    int delete_element_by_name(const char* name);
    CListElement* remove_element_by_name(const char* name);
    // Destroys every element, head first, and empties the list.
    void delete_list();

    // Insert `what` after the element at index n, so that it ends at index
    // n + 1. 1 when inserted; 0 when there is no element at n (the caller
    // keeps ownership).
    virtual int insert_element(CListElement* what, unsigned n);
    // Link `what` next to `where`, which must be in this list. 1 when
    // inserted, 0 when not (the caller keeps ownership).
    virtual int insert_element_after(CListElement* where, CListElement* what);
    virtual int insert_element_before(CListElement* where, CListElement* what);

    // Moves `a` to directly after `b` (two distinct elements of this list)
    // and clears the cursor. Anything else does nothing.
    void swap(CListElement* a, CListElement* b);

    // Splits `text` IN PLACE at every `sep` (overwritten with NUL) and appends
    // one plain element per piece, named with a copy of it. Empty pieces
    // between separators or before a leading one become elements with an
    // empty name; a trailing separator adds nothing. Null text does nothing.
    void tokenize(char* text, char sep);

    // "(list " + each element's to_string() + ")\n ", kept in the list's
    // stream buffer and valid until the next call.
    char* to_string() override;
    // Not supported for lists: returns 0 and changes nothing.
    int from_string(char* text) override;

    // Appends a listing of the element names and whether each has content to
    // the file "listdump.txt" in the current directory.
    void dump_list();

protected:
    // True when `element` is currently linked into this list.
    bool holds(CListElement* element);
    // True when `element` may be linked here: not null, not linked in any
    // list, and neither this list nor one of the lists holding it.
    bool can_take(CListElement* element);

private:
    void link_after(CListElement* where, CListElement* what);
    void link_before(CListElement* where, CListElement* what);
    void unlink(CListElement* element);
    CListElement* find_last_named(const char* name);

    CListElement* head = nullptr;
    CListElement* tail = nullptr;
    CListElement* cursor = nullptr;
    int count = 0;
};
