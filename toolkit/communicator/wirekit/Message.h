#pragma once

#include <basekit/ListElement.h>

#include <memory>
#include <optional>
#include <string>

class CKQMLParser;
class CParser;
class CXMLParser;

// One outgoing message: the parsers that compose it and the text it carries.
// A message holds one parser per kind of text it can be written in; the
// current one (KQML unless changed) is the one compose_message uses.
class CMessage : public CListElement {
public:
    // Parser kinds, the same codes the parsers report.
    static constexpr int KIND_KQML = 1;
    static constexpr int KIND_XML = 2;

    CMessage();
    explicit CMessage(const char* name);
    ~CMessage() override;

    // The head of the message as the current parser writes it: an open
    // expression that ends inside an open content list. Null parameters are
    // left out. The text is owned by the parser and valid until the next
    // compose_message or the message's destruction; null when the parser
    // cannot compose these values.
    char* compose_message(const char* performative, const char* receiver, const char* sender,
                          const char* ontology, const char* language, const char* reply_with,
                          const char* in_reply_to, const char* forward, int flags);

    // The current parser (owned by the message, never null).
    CParser* get_parser();
    CKQMLParser* get_kqml_parser();
    CXMLParser* get_xml_parser();
    // Makes the parser of that kind current: 1, or 0 (nothing changed) for
    // any other kind.
    int set_parser(int kind);
    int get_parser_kind();

    // The message's own copy of a text; null clears it.
    void set_text(const char* text);
    // The text (owned by the message), or null when none is set.
    char* get_text();

private:
    std::unique_ptr<CKQMLParser> kqml;
    std::unique_ptr<CXMLParser> xml;
    int kind = KIND_KQML;
    std::optional<std::string> text;
};
