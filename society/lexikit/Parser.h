#pragma once

#include <basekit/ParserBase.h>
#include <lexikit/ParsedText.h>

#include <cstddef>
#include <string>

// The message parser of the agents. It tells three kinds of text apart by
// their first bytes after whitespace: '(' is a KQML message (type 1), '<' an
// XML document (type 2), and a first line that is an HTTP request or status
// line an HTTP message (type 3). Anything else, and any malformed text, gives
// 0 from parse_message and null from every accessor.
//
// Every text returned is owned by the parser and stays valid until the next
// parse_message or the parser's destruction; compose_message's result stays
// valid until the next compose_message or destruction. Parsing a text that
// the parser itself returned (a content value, say) is safe.
//
// The KQML accessors (find_performative ... find_forward) answer only for
// KQML text. find_token and the listall walks work for every kind: KQML
// keywords match exactly with the colon added to the key; HTTP header names
// match case-insensitively; XML keys name attributes of the root element.
class CParser : public CParserBase {
public:
    CParser();
    ~CParser() override;

    // 1 when parse_message would accept the text; the parser is unchanged.
    int parsable(const char* text) override;
    // 1 for a complete message, 0 otherwise (the previous message is then
    // forgotten as well).
    int parse_message(const char* text) override;

    // The value after ":key" at the top level of a KQML message, exactly as
    // written: an atom, a quoted string with its quotes, a list with its
    // parentheses. The first occurrence wins. Null when absent.
    char* find_token(const char* key) override;

    char* find_performative() override;
    char* find_sender() override;
    char* find_ontology() override;
    char* find_language() override;
    char* find_receiver() override;
    char* find_reply_with() override;
    char* find_in_reply_to() override;
    // Both give the ":content" value with its parentheses.
    char* find_contents() override;
    char* find_content() override;
    char* find_forward() override;

    // The performative, then every keyword with its colon, in source order;
    // the contents walk gives "__PERFORMATIVE__" and then each value.
    char* listall_getfirst_token() override;
    char* listall_getnext_token() override;
    char* listall_getfirst_contents() override;
    char* listall_getnext_contents() override;

    // "(PERFORMATIVE :receiver R :sender S :ontology O :language L
    // :reply-with W :in-reply-to I :forward F :content (" with null
    // parameters left out and each value quoted as CKQMLText::quote decides.
    // Completing it with " " + piece ... + " ))" gives a message that parses
    // back with every field as written here. Null when the performative is
    // not a plain atom or any text holds the end-of-message byte 0x04, which
    // would cut the message on the wire. `flags` carries no meaning here.
    char* compose_message(const char* performative, const char* receiver, const char* sender,
                          const char* ontology, const char* language, const char* reply_with,
                          const char* in_reply_to, const char* forward, int flags) override;

    // HTTP messages: the parts of the start line (method and target for a
    // request; status, its numeric code and the reason for a response; the
    // version for both), the body, and the header lines by position.
    char* get_http_method();
    char* get_http_target();
    char* get_http_version();
    char* get_http_status();
    int get_http_status_code();
    char* get_http_reason();
    char* get_http_body();
    int get_header_count();
    char* get_header_name(int index);
    char* get_header_value(int index);

    // XML documents: the name of the root element.
    char* get_xml_root();

protected:
    // For the single-kind parsers: `kinds` is a mask of (1 << type) bits.
    explicit CParser(unsigned kinds);

private:
    static constexpr unsigned ALL_KINDS =
        (1u << CParsedText::KIND_KQML) | (1u << CParsedText::KIND_XML) | (1u << CParsedText::KIND_HTTP);

    bool read_into(const char* text, CParsedText& out) const;
    bool adopt(const char* text);
    void forget();
    void release_large_spare();
    char* compose_head(const char* performative, const char* receiver, const char* sender,
                       const char* ontology, const char* language, const char* reply_with,
                       const char* in_reply_to, const char* forward);
    char* find_keyword(const char* key);
    char* find_field(const char* key);
    char* http_part(std::size_t CParsedText::HttpParts::*part);
    bool is_kind(int kind) const;
    void rebuild_tokens();

    unsigned accepted_kinds;
    CParsedText parsed;
    // The text before the current one, kept only for its storage: the next
    // parse reads into it, so a steady stream of messages allocates nothing.
    CParsedText spare;
    std::size_t token_cursor = 0;
    std::size_t contents_cursor = 0;
    std::string composed;
};
