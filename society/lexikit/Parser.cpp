#include <lexikit/Parser.h>

#include <basekit/LList.h>
#include <lexikit/HTTPReader.h>
#include <lexikit/KQMLReader.h>
#include <lexikit/KQMLText.h>
#include <lexikit/XMLReader.h>

#include <cstring>
#include <memory>
#include <new>
#include <strings.h>
#include <utility>

namespace {

constexpr char END_OF_MESSAGE = '\x04';

// Storage beyond this is given back instead of being kept for reuse.
constexpr std::size_t KEPT_STORAGE = 256 * 1024;

bool holds_end_of_message(const char* text)
{
    return text != nullptr && std::strchr(text, END_OF_MESSAGE) != nullptr;
}

void append_field(std::string& out, const char* keyword, const char* value)
{
    if (value == nullptr)
        return;
    out += ' ';
    out += keyword;
    out += ' ';
    out += CKQMLText::quote(value);
}

} // namespace

CParser::CParser() : CParser(ALL_KINDS) {}

CParser::CParser(unsigned kinds) : accepted_kinds(kinds) {}

CParser::~CParser() = default;

bool CParser::read_into(const char* text, CParsedText& out) const
{
    if (text == nullptr)
        return false;
    const std::size_t len = std::strlen(text);
    if (CKQMLReader::looks_like(text, len))
        return (accepted_kinds & (1u << CParsedText::KIND_KQML)) != 0 && CKQMLReader::read(text, len, out);
    if (CXMLReader::looks_like(text, len))
        return (accepted_kinds & (1u << CParsedText::KIND_XML)) != 0 && CXMLReader::read(text, len, out);
    return (accepted_kinds & (1u << CParsedText::KIND_HTTP)) != 0 && CHTTPReader::read(text, len, out);
}

int CParser::parsable(const char* text)
{
    try {
        CParsedText scratch;
        return read_into(text, scratch) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int CParser::parse_message(const char* text)
{
    // Running out of memory on a huge text is a failed parse, not an
    // exception escaping into the caller.
    try {
        return adopt(text) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        forget();
        return 0;
    }
}

bool CParser::adopt(const char* text)
{
    // The text may be one of our own results, so the old message must stay
    // alive until the new one is read.
    if (!read_into(text, spare)) {
        forget();
        return false;
    }
    std::swap(parsed, spare);
    release_large_spare();
    token_cursor = 0;
    contents_cursor = 0;
    set_parser_type(parsed.kind());
    rebuild_tokens();
    return true;
}

// One huge message must not pin its storage for the parser's lifetime.
void CParser::release_large_spare()
{
    if (spare.capacity() > KEPT_STORAGE)
        spare = CParsedText();
}

void CParser::forget()
{
    parsed.clear();
    token_cursor = 0;
    contents_cursor = 0;
    set_parser_type(CParsedText::KIND_UNKNOWN);
    set_tokens(nullptr);
}

void CParser::rebuild_tokens()
{
    auto list = std::make_unique<CLList>("tokens");
    for (std::size_t i = 0; i < parsed.field_count(); ++i) {
        auto element = std::make_unique<CListElement>(parsed.field_token(i));
        element->set_content(parsed.field_value(i));
        list->add_element(element.release());
    }
    set_tokens(list.release());
}

bool CParser::is_kind(int kind) const
{
    return parsed.kind() == kind;
}

char* CParser::find_token(const char* key)
{
    if (key == nullptr)
        return nullptr;
    if (is_kind(CParsedText::KIND_KQML))
        return find_keyword(key);
    return find_field(key);
}

// A KQML keyword given without its colon; the performative is never one.
char* CParser::find_keyword(const char* key)
{
    if (!is_kind(CParsedText::KIND_KQML))
        return nullptr;
    for (std::size_t i = 1; i < parsed.field_count(); ++i) {
        const char* token = parsed.field_token(i);
        if (token[0] == ':' && std::strcmp(token + 1, key) == 0)
            return parsed.field_value(i);
    }
    return nullptr;
}

// An HTTP header (any case) or an attribute of the XML root element.
char* CParser::find_field(const char* key)
{
    if (is_kind(CParsedText::KIND_HTTP)) {
        for (std::size_t i = 0; i < parsed.field_count(); ++i) {
            if (strcasecmp(parsed.field_token(i), key) == 0)
                return parsed.field_value(i);
        }
    } else if (is_kind(CParsedText::KIND_XML)) {
        for (std::size_t i = 1; i < parsed.field_count(); ++i) {
            if (std::strcmp(parsed.field_token(i), key) == 0)
                return parsed.field_value(i);
        }
    }
    return nullptr;
}

char* CParser::find_performative()
{
    return is_kind(CParsedText::KIND_KQML) ? parsed.field_token(0) : nullptr;
}

char* CParser::find_sender()
{
    return find_keyword("sender");
}

char* CParser::find_ontology()
{
    return find_keyword("ontology");
}

char* CParser::find_language()
{
    return find_keyword("language");
}

char* CParser::find_receiver()
{
    return find_keyword("receiver");
}

char* CParser::find_reply_with()
{
    return find_keyword("reply-with");
}

char* CParser::find_in_reply_to()
{
    return find_keyword("in-reply-to");
}

char* CParser::find_contents()
{
    return find_keyword("content");
}

char* CParser::find_content()
{
    return find_keyword("content");
}

char* CParser::find_forward()
{
    return find_keyword("forward");
}

char* CParser::listall_getfirst_token()
{
    token_cursor = 0;
    return parsed.field_token(token_cursor);
}

char* CParser::listall_getnext_token()
{
    if (token_cursor < parsed.field_count())
        ++token_cursor;
    return parsed.field_token(token_cursor);
}

char* CParser::listall_getfirst_contents()
{
    contents_cursor = 0;
    return parsed.field_value(contents_cursor);
}

char* CParser::listall_getnext_contents()
{
    if (contents_cursor < parsed.field_count())
        ++contents_cursor;
    return parsed.field_value(contents_cursor);
}

char* CParser::compose_message(const char* performative, const char* receiver, const char* sender,
                               const char* ontology, const char* language, const char* reply_with,
                               const char* in_reply_to, const char* forward, int)
{
    try {
        return compose_head(performative, receiver, sender, ontology, language, reply_with, in_reply_to,
                            forward);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

char* CParser::compose_head(const char* performative, const char* receiver, const char* sender,
                            const char* ontology, const char* language, const char* reply_with,
                            const char* in_reply_to, const char* forward)
{
    const char* values[] = {receiver, sender, ontology, language, reply_with, in_reply_to, forward};
    if (!CKQMLText::is_plain_atom(performative) || holds_end_of_message(performative))
        return nullptr;
    for (const char* value : values) {
        if (holds_end_of_message(value))
            return nullptr;
    }
    std::string head = "(";
    head += performative;
    append_field(head, ":receiver", receiver);
    append_field(head, ":sender", sender);
    append_field(head, ":ontology", ontology);
    append_field(head, ":language", language);
    append_field(head, ":reply-with", reply_with);
    append_field(head, ":in-reply-to", in_reply_to);
    append_field(head, ":forward", forward);
    head += " :content (";
    composed = std::move(head);
    return composed.data();
}

char* CParser::http_part(std::size_t CParsedText::HttpParts::*part)
{
    return is_kind(CParsedText::KIND_HTTP) ? parsed.text_at(parsed.http().*part) : nullptr;
}

char* CParser::get_http_method()
{
    return http_part(&CParsedText::HttpParts::method);
}

char* CParser::get_http_target()
{
    return http_part(&CParsedText::HttpParts::target);
}

char* CParser::get_http_version()
{
    return http_part(&CParsedText::HttpParts::version);
}

char* CParser::get_http_status()
{
    return http_part(&CParsedText::HttpParts::status);
}

int CParser::get_http_status_code()
{
    return is_kind(CParsedText::KIND_HTTP) ? parsed.http().status_code : 0;
}

char* CParser::get_http_reason()
{
    return http_part(&CParsedText::HttpParts::reason);
}

char* CParser::get_http_body()
{
    return http_part(&CParsedText::HttpParts::body);
}

int CParser::get_header_count()
{
    return is_kind(CParsedText::KIND_HTTP) ? static_cast<int>(parsed.field_count()) : 0;
}

char* CParser::get_header_name(int index)
{
    if (!is_kind(CParsedText::KIND_HTTP) || index < 0)
        return nullptr;
    return parsed.field_token(static_cast<std::size_t>(index));
}

char* CParser::get_header_value(int index)
{
    if (!is_kind(CParsedText::KIND_HTTP) || index < 0)
        return nullptr;
    return parsed.field_value(static_cast<std::size_t>(index));
}

char* CParser::get_xml_root()
{
    return is_kind(CParsedText::KIND_XML) ? parsed.field_token(0) : nullptr;
}
