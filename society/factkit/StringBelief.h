#pragma once

#include <basekit/ListElement.h>

#include <optional>
#include <string>

// A belief holding a text, named after the belief.
class CStringBelief : public CListElement {
public:
    explicit CStringBelief(const char* name, const char* value = nullptr);
    ~CStringBelief() override;

    // Stores a copy; null leaves the belief without a value.
    void set_value(const char* value);
    // The text (owned by the belief), or null when it has none.
    char* get_value();

private:
    std::optional<std::string> value;
};
