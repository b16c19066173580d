#pragma once

#include <cstdarg>
#include <optional>
#include <string>
#include <vector>

// The wire text of one outgoing KQML message: the head the message parser
// writes, each non-empty content piece after a blank, " ))" and the
// end-of-message byte.
class CMessageComposer {
public:
    struct Head {
        const char* performative;
        const char* receiver;
        const char* sender;
        const char* ontology;
        const char* language;
        const char* reply_with;
        const char* in_reply_to;
        const char* forward;
    };

    // The text, or nullopt with `error` set: a piece that holds the end byte
    // would cut the message on the wire, and a head the parser cannot write
    // (a performative that is no plain word) is no message.
    static std::optional<std::string> compose(const Head& head, const std::vector<const char*>& pieces,
                                              std::string& error);
    // The pieces of a variadic send, up to the null that ends them.
    static std::vector<const char*> collect_pieces(va_list pieces);
    // What the modules see of a sent message: the text without the end byte.
    static std::string without_end(const std::string& text);
};
