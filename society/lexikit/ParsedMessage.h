#pragma once

#include <lexikit/Parser.h>

#include <memory>
#include <string>

// One received message, read once where it is framed and then handed, as it
// is, to everything that looks at it on its way in: the container, the event
// modules and the agent. The text never changes after the parse, so each
// reader sees the same fields the first one did, and none pays for a parse
// of its own.
//
// The content of a KQML message is itself an expression; it is read the
// first time someone asks for it and kept with the message.
//
// Field texts are owned by the message and live as long as it does.
class CParsedMessage {
public:
    using Ptr = std::shared_ptr<const CParsedMessage>;

    static Ptr parse(std::string text);

    CParsedMessage(const CParsedMessage&) = delete;
    CParsedMessage& operator=(const CParsedMessage&) = delete;

    const std::string& text() const { return message_text; }
    // False when the text is not a complete KQML, XML or HTTP message; every
    // field is then null and kind() is CParserBase::PARSER_TYPE_UNKNOWN.
    bool is_parsed() const { return parsed; }
    int kind() const;

    // The value after ":key" at the top level, as written; null when absent.
    const char* field(const char* key) const;
    const char* performative() const;
    const char* sender() const;
    const char* receiver() const;
    const char* ontology() const;
    const char* reply_with() const;
    const char* content() const;

    // The content as a message of its own; null when there is no content.
    // Parsed on the first call, shared by every later one.
    Ptr content_message() const;

    // The reader itself, for walks over every field and the HTTP parts.
    CParser& parser() const { return reader; }

private:
    explicit CParsedMessage(std::string text);

    std::string message_text;
    // The accessors of the reader are not const, though they change nothing
    // a caller can see but the position of a walk.
    mutable CParser reader;
    bool parsed = false;
    mutable Ptr content_parse;
    mutable bool content_read = false;
};
