#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Everything one parse found, with every text kept NUL-terminated in one
// arena so that the pointers handed to callers stay put until the next parse.
//
// Fields are (token, value) pairs in source order: for KQML the performative
// (value "__PERFORMATIVE__") and then each keyword with its colon; for HTTP
// each header line; for XML the root element (value "__PERFORMATIVE__") and
// then its attributes.
class CParsedText {
public:
    static constexpr int KIND_UNKNOWN = 0;
    static constexpr int KIND_KQML = 1;
    static constexpr int KIND_XML = 2;
    static constexpr int KIND_HTTP = 3;

    static constexpr std::size_t NONE = static_cast<std::size_t>(-1);
    static constexpr const char* PERFORMATIVE_VALUE = "__PERFORMATIVE__";

    // The parts of an HTTP start line and the body, as arena offsets.
    struct HttpParts {
        std::size_t method = NONE;
        std::size_t target = NONE;
        std::size_t version = NONE;
        std::size_t status = NONE;
        std::size_t reason = NONE;
        std::size_t body = NONE;
        int status_code = 0;
    };

    // Forgets the content but keeps the storage for the next parse.
    void clear();
    // Makes room for `bytes` of arena text and `field_count` fields.
    void reserve(std::size_t bytes, std::size_t field_count);
    // Bytes of storage held, used or not.
    std::size_t capacity() const;

    int kind() const;
    void set_kind(int kind);

    // Copies `len` bytes plus a NUL into the arena and returns the offset.
    std::size_t store(const char* text, std::size_t len);
    std::size_t store(const std::string& text);

    void add_field(std::size_t token, std::size_t value);
    std::size_t field_count() const;
    char* field_token(std::size_t index);
    char* field_value(std::size_t index);

    // The arena text at `offset`, or null for NONE.
    char* text_at(std::size_t offset);

    HttpParts& http();
    const HttpParts& http() const;

private:
    struct Field {
        std::size_t token;
        std::size_t value;
    };

    int text_kind = KIND_UNKNOWN;
    std::vector<char> arena;
    std::vector<Field> fields;
    HttpParts http_parts;
};
