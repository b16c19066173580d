#pragma once

#include <basekit/ListElement.h>

#include <optional>
#include <string>

// A growable text buffer.
class CStreamBuffer : public CListElement {
public:
    CStreamBuffer();
    explicit CStreamBuffer(const char* name);
    ~CStreamBuffer() override;

    // Appends a copy of `text`; null is ignored.
    void add_to_buffer(const char* text);
    // The accumulated text (owned by this object), null if nothing was added
    // since construction or the last reset().
    char* get_buffer();
    void reset();

private:
    std::optional<std::string> buffer;
};
