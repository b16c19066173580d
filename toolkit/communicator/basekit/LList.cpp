#include <basekit/LList.h>

#include <cstdio>
#include <cstring>

namespace {

const char* const kDumpFile = "listdump.txt";

bool has_name(CListElement* element, const char* name)
{
    const char* own = element->get_name();
    return own && std::strcmp(own, name) == 0;
}

void write_dashes(FILE* out)
{
    for (int i = 0; i < 53; ++i)
        fputc('-', out);
    fputc('\n', out);
}

} // namespace

CLList::CLList()
{
    set_btype(BTYPE_LIST);
}

CLList::CLList(const char* name) : CStreamBuffer(name)
{
    set_btype(BTYPE_LIST);
}

CLList::~CLList()
{
    delete_list();
}

bool CLList::holds(CListElement* element)
{
    if (!element || element->get_parent() != this)
        return false;
    CListElement* before = element->get_last();
    CListElement* after = element->get_next();
    bool front_ok = before ? before->get_next() == element : head == element;
    bool back_ok = after ? after->get_last() == element : tail == element;
    return front_ok && back_ok;
}

bool CLList::can_take(CListElement* element)
{
    if (!element)
        return false;
    CLList* owner = element->get_parent();
    if (owner && owner->holds(element))
        return false;
    // Linking a list into itself or into one of its descendants would make
    // a cycle that destruction and to_string would never leave.
    for (CLList* up = this; up; up = up->get_parent()) {
        if (static_cast<CListElement*>(up) == element)
            return false;
    }
    return true;
}

void CLList::link_after(CListElement* where, CListElement* what)
{
    CListElement* after = where->get_next();
    what->set_last(where);
    what->set_next(after);
    where->set_next(what);
    if (after)
        after->set_last(what);
    else
        tail = what;
    what->set_parent(this);
    ++count;
}

void CLList::link_before(CListElement* where, CListElement* what)
{
    CListElement* before = where->get_last();
    what->set_next(where);
    what->set_last(before);
    where->set_last(what);
    if (before)
        before->set_next(what);
    else
        head = what;
    what->set_parent(this);
    ++count;
}

void CLList::unlink(CListElement* element)
{
    CListElement* before = element->get_last();
    CListElement* after = element->get_next();
    if (before)
        before->set_next(after);
    else
        head = after;
    if (after)
        after->set_last(before);
    else
        tail = before;
    if (cursor == element)
        cursor = nullptr;
    --count;
    element->set_next(nullptr);
    element->set_last(nullptr);
    element->set_parent(nullptr);
}

CListElement* CLList::add_element(CListElement* element)
{
    if (!can_take(element))
        return nullptr;
    if (tail) {
        link_after(tail, element);
        return element;
    }
    element->set_last(nullptr);
    element->set_next(nullptr);
    element->set_parent(this);
    head = tail = element;
    count = 1;
    return element;
}

CListElement* CLList::find_element(const char* name)
{
    if (!name)
        return nullptr;
    for (CListElement* e = head; e; e = e->get_next()) {
        if (has_name(e, name))
            return e;
    }
    return nullptr;
}

CListElement* CLList::find_last_named(const char* name)
{
    if (!name)
        return nullptr;
    for (CListElement* e = tail; e; e = e->get_last()) {
        if (has_name(e, name))
            return e;
    }
    return nullptr;
}

CListElement* CLList::get_element(int index)
{
    if (index < 0)
        return nullptr;
    CListElement* e = head;
    for (int i = 0; e && i < index; ++i)
        e = e->get_next();
    return e;
}

CListElement* CLList::get_first_element()
{
    cursor = head;
    return cursor;
}

CListElement* CLList::get_next_element()
{
    if (cursor)
        cursor = cursor->get_next();
    return cursor;
}

CListElement* CLList::get_previous_element()
{
    if (cursor)
        cursor = cursor->get_last();
    return cursor;
}

CListElement* CLList::get_last_element()
{
    return tail;
}

int CLList::get_nr_elements()
{
    return count;
}

int CLList::delete_element(CListElement* element)
{
    if (!holds(element))
        return 0;
    unlink(element);
    delete element;
    return 1;
}

// An element that belongs to another list (or to none) is left alone:
// unlinking it here would rewrite this list's head and tail from the other
// list's links and corrupt both.
int CLList::remove_element(CListElement* element)
{
    if (!holds(element))
        return 0;
    unlink(element);
    return 1;
}

int CLList::delete_element_by_name(const char* name)
{
    return delete_element(find_last_named(name));
}

CListElement* CLList::remove_element_by_name(const char* name)
{
    CListElement* element = find_last_named(name);
    return remove_element(element) ? element : nullptr;
}

void CLList::delete_list()
{
    while (head) {
        CListElement* element = head;
        unlink(element);
        delete element;
    }
    cursor = nullptr;
}

int CLList::insert_element(CListElement* what, unsigned n)
{
    CListElement* where = head;
    for (unsigned i = 0; where && i < n; ++i)
        where = where->get_next();
    if (!where)
        return 0;
    return insert_element_after(where, what);
}

int CLList::insert_element_after(CListElement* where, CListElement* what)
{
    if (!holds(where) || !can_take(what))
        return 0;
    link_after(where, what);
    return 1;
}

int CLList::insert_element_before(CListElement* where, CListElement* what)
{
    if (!holds(where) || !can_take(what))
        return 0;
    link_before(where, what);
    return 1;
}

void CLList::swap(CListElement* a, CListElement* b)
{
    if (a == b || !holds(a) || !holds(b))
        return;
    unlink(a);
    link_after(b, a);
    cursor = nullptr;
}

void CLList::tokenize(char* text, char sep)
{
    if (!text)
        return;
    char* piece = text;
    // A NUL separator can never be found inside the text, so the whole text
    // is one piece (searching for it as a string would match everywhere).
    if (sep != '\0') {
        for (char* hit = std::strchr(piece, sep); hit; hit = std::strchr(piece, sep)) {
            *hit = '\0';
            add_element(new CListElement(piece));
            piece = hit + 1;
        }
    }
    if (*piece)
        add_element(new CListElement(piece));
}

char* CLList::to_string()
{
    reset();
    add_to_buffer("(list ");
    for (CListElement* e = head; e; e = e->get_next())
        add_to_buffer(e->to_string());
    add_to_buffer(")\n ");
    return get_buffer();
}

int CLList::from_string(char*)
{
    return 0;
}

void CLList::dump_list()
{
    FILE* out = fopen(kDumpFile, "a");
    if (!out)
        return;
    write_dashes(out);
    for (CListElement* e = head; e; e = e->get_next()) {
        const char* name = e->get_name();
        fprintf(out, "token name: %s\n", name ? name : "(null)");
        fputs(e->get_content() ? "content: is not NULL\n" : "content: is NULL\n", out);
        fflush(out);
    }
    write_dashes(out);
    fclose(out);
}
