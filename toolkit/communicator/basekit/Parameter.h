#pragma once

#include <basekit/ListElement.h>

#include <optional>
#include <string>

// A named option holding a copy of its text value, as the command line keeps
// them.
class CParameter : public CListElement {
public:
    CParameter();
    explicit CParameter(const char* name);
    ~CParameter() override;

    // Stores a copy of the NUL-terminated text at `content`; null is ignored
    // and keeps the current value. get_content() then returns the copy.
    void set_content(void* content) override;

    // ":<name> (<content>)", with an empty name or content written as
    // nothing. The text is owned by the parameter and valid until the next
    // call or destruction, as for every list element, so a list can print
    // its parameters without leaking.
    char* to_string() override;

    // Reads the form to_string() writes. 0 for null text, text without ':',
    // or no blank after the ':'. Otherwise the name runs from after the
    // first ':' up to the next blank (a NUL is written at that blank), and
    // the value is the rest with one enclosing pair of parentheses removed;
    // an empty value leaves the parameter without content. Returns 1.
    int from_string(char* text) override;

private:
    void store_content(const char* text);
    void clear_content();

    std::optional<std::string> value;
    std::string text;
};
