#pragma once

#include <lexikit/Parser.h>

#include <optional>
#include <string>
#include <vector>

// The fields of one KQML expression, as every handler of the calendar agent
// reads them: parsed once when made, then read by keyword. A content reaches
// the handlers with or without its outer parentheses (the meeting request
// dialog builds its text bare); both read the same.
class CKqmlFields
{
public:
    explicit CKqmlFields(const std::string& text);

    CKqmlFields(const CKqmlFields&) = delete;
    CKqmlFields& operator=(const CKqmlFields&) = delete;

    // False when the text is not one expression; every field is then missing.
    bool IsParsed() const { return m_parsed; }

    bool Has(const char* key);
    // The value as written; nullopt when the keyword is missing.
    std::optional<std::string> Raw(const char* key);
    // The same into `value`, which a missing keyword leaves alone.
    bool Read(const char* key, std::string& value);
    // The value without its parentheses; empty when the keyword is missing.
    std::string Value(const char* key);

    // The expression's words in order: its performative first, then each
    // keyword with its colon. Empty when the text did not parse.
    std::vector<std::string> Tokens();

    static std::string WithoutParentheses(const std::string& value);
    static std::string WithoutQuotes(const std::string& value);

private:
    CParser m_parser;
    bool m_parsed = false;
};
