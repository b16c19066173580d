#pragma once

#include <basekit/Stack.h>

#include <optional>
#include <string>

// A stack of names, such as an agent's lineage, written as "(a:b:c)".
class CNameSpace : public CStack {
public:
    static constexpr char DEFAULT_SEPARATOR = ':';

    CNameSpace();
    explicit CNameSpace(const char* name);
    ~CNameSpace() override;

    void set_separator(char separator);
    char get_separator();

    // Appends a new element with a copy of `name`; null is ignored.
    void add_name(const char* name);
    // Pops the last name and returns a copy (caller frees with free()); the
    // element is destroyed. Null when empty.
    char* remove_name();

    // "(" + the names joined by the separator + ")", or null when empty.
    // Owned by this object, valid until the next call.
    char* to_string() override;
    // Strips the outer parentheses IN PLACE and appends the names separated
    // by the separator. 1 on success, 0 for null text.
    int from_string(char* text) override;

private:
    std::optional<std::string> text;
    char separator = DEFAULT_SEPARATOR;
};
