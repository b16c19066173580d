#pragma once

#include <string>

// A reply as one line of JSON, for scripts: its performative, each of its
// keywords with its value (a ":content" whose text is itself a performative
// with keywords, as the calendar agent's answers are, also as "fields"), or
// {"error": ...} with the text as it came for one that is no KQML message.
//
//   {"performative":"tell","receiver":"Tell","sender":"Ann",...,
//    "content":"tell :status accept","fields":{"performative":"tell","status":"accept"}}
class CReplyJson {
public:
    static std::string Format(const std::string& text);

private:
    static std::string Fields(const std::string& message, bool& parsed);
};
