#pragma once

#include <platform/DateTime.h>

#include <cstddef>
#include <string>
#include <vector>

namespace outlook {
// The occurrences of a series within a window, for a series the recurrence
// pattern cannot hold (a rule it cannot say, excluded or added dates). The
// rule is expanded in the user's wall-clock time from the local start, as
// the pattern would repeat it.
//
// A rule from outside may run without end or far more often than anyone
// meets (FREQ=SECONDLY, COUNT=100000000): the expansion stops after
// MaxSteps of the rule's iteration and at `limit` occurrences, and says so.
class CRuleExpansion {
public:
    static constexpr std::size_t MaxSteps = 200000;

    struct SResult {
        std::vector<CDateTime> starts;
        // Why the list may lack occurrences of the window; empty when it
        // holds them all.
        std::string cut;
    };

    // The starts within [from, to) of the series that begins at `start`
    // and recurs by `rule` (may be empty: the start alone), with the
    // `added` starts and without the `excluded` ones, in time order and at
    // most `limit` of them. False with the reason for a rule that does not
    // parse.
    static bool Expand(const std::string& rule, const CDateTime& start,
                       const std::vector<CDateTime>& excluded, const std::vector<CDateTime>& added,
                       const CDateTime& from, const CDateTime& to, std::size_t limit, SResult& result,
                       std::string& reason);
};
} // namespace outlook
