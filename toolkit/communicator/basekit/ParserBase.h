#pragma once

#include <basekit/ListElement.h>

class CLList;

// The interface through which all code reads and composes messages. Every
// operation here returns 0 or null; a concrete parser overrides them.
//
// Texts returned by a parser belong to it and stay valid until its next
// parse_message or its destruction.
//
// The parser owns `entities` and `tokens` and destroys them; a derived
// parser fills them (set_entities/set_tokens destroy the previous list).
class CParserBase : public CListElement {
public:
    static constexpr int PARSER_TYPE_UNKNOWN = 0;
    static constexpr int PARSER_TYPE_KQML = 1;
    static constexpr int PARSER_TYPE_XML = 2;
    static constexpr int PARSER_TYPE_HTTP = 3;

    CParserBase();
    explicit CParserBase(const char* name);
    ~CParserBase() override;

    virtual int parsable(const char* text);
    virtual int parse_message(const char* text);
    virtual char* find_token(const char* key);
    virtual char* find_performative();
    virtual char* find_sender();
    virtual char* find_ontology();
    virtual char* find_language();
    virtual char* find_receiver();
    virtual char* find_reply_with();
    virtual char* find_in_reply_to();
    virtual char* find_contents();
    virtual char* find_content();
    virtual char* find_forward();
    virtual char* listall_getfirst(unsigned kind);
    virtual char* listall_getnext(unsigned kind);
    virtual char* listall_getfirst_token();
    virtual char* listall_getnext_token();
    virtual char* listall_getfirst_contents();
    virtual char* listall_getnext_contents();
    virtual char* compose_message(const char* performative, const char* receiver, const char* sender,
                                  const char* ontology, const char* language, const char* reply_with,
                                  const char* in_reply_to, const char* forward, int flags);
    virtual char* create_message(const char* performative, const char* receiver, const char* sender,
                                 const char* ontology, const char* language, const char* reply_with,
                                 const char* in_reply_to, const char* forward, const char* content);
    virtual char* compose_token(const char* key, float value);
    virtual char* compose_token(const char* key, int value);
    virtual char* compose_token(const char* key, const char* value);

    void set_parser_type(int type);
    int get_parser_type();
    CLList* get_entities();
    CLList* get_tokens();

protected:
    // Take ownership of a new list, destroying the previous one.
    void set_entities(CLList* list);
    void set_tokens(CLList* list);

    CLList* entities = nullptr;
    CLList* tokens = nullptr;

private:
    int parser_type = PARSER_TYPE_UNKNOWN;
};
