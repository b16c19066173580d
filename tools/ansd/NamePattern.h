#pragma once

#include <string_view>

// Shell-style glob matching of agent names: '*' any run of characters, '?'
// one character, "[abc]", "[a-z]" and "[!abc]" (or "[^abc]") sets, '\'
// quotes the next character. A '[' without its ']' is an ordinary
// character. The match covers the whole name.
//
// Unlike fnmatch() the time is bounded by pattern length times name length
// whatever the pattern, so a client cannot stall the server with a
// pathological pattern.
class CNamePattern {
public:
    static bool Matches(std::string_view pattern, std::string_view name);

private:
    // Whether the pattern element at `pos` matches `c`; `next` is set to the
    // position after the element. Never called for '*'.
    static bool MatchOne(std::string_view pattern, std::size_t pos, char c, std::size_t& next);
    // A bracket set at `pos` (a '['): false with `next` untouched when the
    // set is not closed.
    static bool MatchSet(std::string_view pattern, std::size_t pos, char c, bool& matched, std::size_t& next);
};
