#pragma once

#include <basekit/DNA.h>

#include <optional>
#include <string>

class CLList;

// A node of a CLList: a name, links to its neighbours and its list, and an
// untyped content pointer. A plain element does not own its content.
//
// Elements are linked into lists and so cannot be copied. Destroying an
// element that is still linked into a list unlinks it from that list first,
// so the list never holds a dangling pointer.
class CListElement : public CDNA {
public:
    // Element type codes returned by get_btype().
    static constexpr int BTYPE_ELEMENT = 0;
    static constexpr int BTYPE_LIST = 2;
    static constexpr int BTYPE_QUEUE = 3;
    static constexpr int BTYPE_STACK = 4;
    static constexpr int BTYPE_TREELIST = 6;
    static constexpr int BTYPE_HASHTABLE = 7;
    static constexpr int BTYPE_TOKEN = 8;
    static constexpr int BTYPE_PARAMETER = 9;

    CListElement();
    explicit CListElement(const char* name);
    ~CListElement() override;

    CListElement(const CListElement&) = delete;
    CListElement& operator=(const CListElement&) = delete;

    CLList* get_parent();
    void set_parent(CLList* list);
    CListElement* get_next();
    virtual void set_next(CListElement* element);
    CListElement* get_last();
    void set_last(CListElement* element);
    void* get_content();
    virtual void set_content(void* content);
    int get_btype();

    // Reading an element from text is not supported here: returns 0 and
    // changes nothing.
    virtual int from_string(char* text);
    // "(i :n (<name>) :t (string) :c (void))\n " or null when unnamed. The
    // text is owned by the element and valid until the next call.
    virtual char* to_string();

protected:
    void set_btype(int type);

private:
    int btype = BTYPE_ELEMENT;
    std::optional<std::string> text;
    CLList* parent = nullptr;
    CListElement* last = nullptr;
    CListElement* next = nullptr;
    void* content = nullptr;
};
