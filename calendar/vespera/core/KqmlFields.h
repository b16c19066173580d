#pragma once

#include <lexikit/ParsedMessage.h>

#include <optional>
#include <string>
#include <vector>

// The fields of one KQML expression, as every handler of the calendar agent
// reads them: parsed once, then read by keyword. A content reaches the
// handlers with or without its outer parentheses (the meeting request dialog
// builds its text bare); both read the same.
//
// Made from a text, which converts implicitly so that a handler taking
// fields can be handed the text of a content, or from a content that the
// message it came in already read.
class CKqmlFields {
public:
    CKqmlFields(const std::string& text);
    CKqmlFields(const char* text);
    explicit CKqmlFields(CParsedMessage::Ptr expression);

    // False when the text is not one expression; every field is then missing.
    bool IsParsed() const;
    // The expression's text as read.
    const std::string& Text() const;

    bool Has(const char* key) const;
    // The value as written; nullopt when the keyword is missing.
    std::optional<std::string> Raw(const char* key) const;
    // The same into `value`, which a missing keyword leaves alone.
    bool Read(const char* key, std::string& value) const;
    // The value without its parentheses; empty when the keyword is missing.
    std::string Value(const char* key) const;

    // The expression's words in order: its performative first, then each
    // keyword with its colon. Empty when the text did not parse.
    std::vector<std::string> Tokens() const;

    static std::string WithoutParentheses(const std::string& value);
    static std::string WithoutQuotes(const std::string& value);

private:
    CParsedMessage::Ptr m_expression;
};
