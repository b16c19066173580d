#pragma once

#include <basekit/ListElement.h>

#include <cstddef>
#include <vector>

// A whole text file in memory, handed out line by line.
class CFileBuffer : public CListElement {
public:
    CFileBuffer();
    ~CFileBuffer() override;

    // Reads the whole file into an owned NUL-terminated buffer, replacing
    // any earlier one, puts the read cursor at its start and returns it.
    // Null (and no buffer) when the file cannot be opened or read.
    char* load_a_file(const char* path);

    // The loaded text, or null.
    char* get_buffer();
    // Bytes loaded (NUL bytes inside the file included).
    size_t get_length();

    // The next line, IN the buffer: scans to the next '\n' or '\r',
    // overwrites it with NUL and moves past it, so "\r\n" yields an empty
    // line between two lines. A last line without a line end is returned
    // as well. Null after the last line. Lines are found by the loaded
    // length, so a NUL byte inside the file ends only the text of its own
    // line, not the file.
    char* read_line();

private:
    std::vector<char> data;
    size_t length = 0;
    size_t cursor = 0;
    bool loaded = false;
};
