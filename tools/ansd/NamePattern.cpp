#include <ansd/NamePattern.h>

bool CNamePattern::Matches(std::string_view pattern, std::string_view name)
{
    std::size_t p = 0;
    std::size_t n = 0;
    // Where to resume after the last '*': one backtrack point is enough for
    // globs, since a later '*' can absorb anything an earlier one could.
    std::size_t starPattern = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = ++p;
            starName = n;
            continue;
        }
        std::size_t next = 0;
        if (p < pattern.size() && MatchOne(pattern, p, name[n], next)) {
            p = next;
            ++n;
            continue;
        }
        if (starPattern == std::string_view::npos)
            return false;
        p = starPattern;
        n = ++starName;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool CNamePattern::MatchOne(std::string_view pattern, std::size_t pos, char c, std::size_t& next)
{
    const char element = pattern[pos];
    if (element == '?') {
        next = pos + 1;
        return true;
    }
    if (element == '[') {
        bool matched = false;
        if (MatchSet(pattern, pos, c, matched, next))
            return matched;
    }
    if (element == '\\' && pos + 1 < pattern.size()) {
        next = pos + 2;
        return pattern[pos + 1] == c;
    }
    next = pos + 1;
    return element == c;
}

bool CNamePattern::MatchSet(std::string_view pattern, std::size_t pos, char c, bool& matched,
                            std::size_t& next)
{
    std::size_t i = pos + 1;
    bool negated = false;
    if (i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^')) {
        negated = true;
        ++i;
    }
    bool found = false;
    bool first = true;
    // A ']' right after the opening (or the negation) is a member, not the end.
    while (i < pattern.size() && (first || pattern[i] != ']')) {
        first = false;
        char low = pattern[i];
        if (low == '\\' && i + 1 < pattern.size())
            low = pattern[++i];
        char high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            high = pattern[i + 2];
            if (high == '\\' && i + 3 < pattern.size()) {
                high = pattern[i + 3];
                ++i;
            }
            i += 2;
        }
        if (low <= c && c <= high)
            found = true;
        ++i;
    }
    if (i >= pattern.size())
        return false;
    matched = found != negated;
    next = i + 1;
    return true;
}
