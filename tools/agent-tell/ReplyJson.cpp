#include "ReplyJson.h"

#include <basekit/Utils.h>
#include <lexikit/Parser.h>

namespace {

// The value without the parentheses a KQML list or text is wrapped in.
std::string Unwrapped(std::string value)
{
    const std::size_t first = value.find_first_not_of(" \t\r\n");
    const std::size_t last = value.find_last_not_of(" \t\r\n");
    value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    if (value.size() >= 2 && value.front() == '(' && value.back() == ')')
        value = value.substr(1, value.size() - 2);
    const std::size_t start = value.find_first_not_of(' ');
    const std::size_t end = value.find_last_not_of(' ');
    return start == std::string::npos ? std::string() : value.substr(start, end - start + 1);
}

} // namespace

// "performative" and each keyword of `message`, as JSON members.
std::string CReplyJson::Fields(const std::string& message, bool& parsed)
{
    CParser parser;
    parsed = parser.parse_message(message.c_str()) == 1;
    if (!parsed)
        return std::string();
    std::string out;
    const char* token = parser.listall_getfirst_token();
    const char* value = parser.listall_getfirst_contents();
    for (bool first = true; token && value;
         token = parser.listall_getnext_token(), value = parser.listall_getnext_contents(), first = false) {
        const std::string name = first ? "performative" : std::string(token[0] == ':' ? token + 1 : token);
        out += (first ? "" : ",") + CUtils::json_string(name) + ":" +
               CUtils::json_string(first ? token : Unwrapped(value));
    }
    return out;
}

std::string CReplyJson::Format(const std::string& text)
{
    bool parsed = false;
    const std::string fields = Fields(text, parsed);
    if (!parsed)
        return "{\"error\":\"not a KQML message\",\"text\":" + CUtils::json_string(text) + "}";
    CParser parser;
    parser.parse_message(text.c_str());
    const char* content = parser.find_content();
    bool inner = false;
    const std::string innerFields = content ? Fields("(" + Unwrapped(content) + ")", inner) : std::string();
    return "{" + fields + (inner ? ",\"fields\":{" + innerFields + "}" : std::string()) + "}";
}
