#include <outlook/RuleExpansion.h>

#include <outlook/ICalTime.h>
#include <outlook/RecurrenceRule.h>

#include <platform/DateTimeSpan.h>

#include <libical/ical.h>

#include <algorithm>
#include <memory>

namespace outlook {
namespace {

// Excluded and added dates come through another clock's text and the
// date value's fractions of a day: within half a second they are the
// occurrence they name.
constexpr double Tolerance = 0.5 / 86400.0;

bool SameStart(const CDateTime& a, const CDateTime& b)
{
    const double apart = (a - b).GetTotalDays();
    return apart < Tolerance && apart > -Tolerance;
}

// `excluded` is sorted: a feed may exclude a hundred thousand dates, and
// each start is looked up among them.
bool Excluded(const CDateTime& start, const std::vector<CDateTime>& excluded)
{
    const auto near = std::lower_bound(excluded.begin(), excluded.end(), start - CDateTimeSpan(Tolerance));
    return near != excluded.end() && SameStart(*near, start);
}

using IteratorPtr = std::unique_ptr<icalrecur_iterator, decltype(&icalrecur_iterator_free)>;

struct SWindow {
    CDateTime from;
    CDateTime to;
    std::size_t limit;
    const std::vector<CDateTime>& excluded;
};

// The rule's starts within the window that are not excluded, one more than
// the limit at most; false with the reason when the rule does not parse.
// `cut` tells when the iteration gave up before the window's end.
bool RuleStarts(const std::string& rule, const CDateTime& start, const SWindow& window,
                std::vector<CDateTime>& starts, std::string& cut, std::string& reason)
{
    icalrecurrencetype parsed;
    if (!CRecurrenceRule::ParseText(rule, parsed, reason))
        return false;
    IteratorPtr iterator(icalrecur_iterator_new(parsed, CICalTime::FromLocal(start)),
                         icalrecur_iterator_free);
    if (!iterator) {
        icalerror_clear_errno();
        reason = "\"" + rule + "\" cannot be expanded";
        return false;
    }
    for (std::size_t step = 0; starts.size() <= window.limit; ++step) {
        if (step == CRuleExpansion::MaxSteps) {
            cut = "its rule gives more than " + std::to_string(CRuleExpansion::MaxSteps) +
                  " occurrences before the end of the period";
            break;
        }
        const icaltimetype next = icalrecur_iterator_next(iterator.get());
        if (icaltime_is_null_time(next))
            break;
        const CDateTime local = CICalTime::ToLocal(next);
        if (local.GetStatus() != CDateTime::valid || !(local < window.to))
            break;
        if (!(local < window.from) && !Excluded(local, window.excluded))
            starts.push_back(local);
    }
    icalerror_clear_errno();
    return true;
}

} // namespace

bool CRuleExpansion::Expand(const std::string& rule, const CDateTime& start,
                            const std::vector<CDateTime>& excluded, const std::vector<CDateTime>& added,
                            const CDateTime& from, const CDateTime& to, std::size_t limit, SResult& result,
                            std::string& reason)
{
    std::vector<CDateTime> sortedExclusions = excluded;
    std::sort(sortedExclusions.begin(), sortedExclusions.end());
    const SWindow window{from, to, limit, sortedExclusions};
    std::vector<CDateTime> all;
    result = SResult();
    if (rule.empty())
        all.push_back(start);
    else if (!RuleStarts(rule, start, window, all, result.cut, reason))
        return false;
    all.insert(all.end(), added.begin(), added.end());
    std::sort(all.begin(), all.end());
    for (const CDateTime& one : all) {
        if (one < from || !(one < to) || Excluded(one, sortedExclusions) ||
            (!result.starts.empty() && SameStart(result.starts.back(), one)))
            continue;
        if (result.starts.size() == limit) {
            result.cut = "it has more than " + std::to_string(limit) + " occurrences in the period";
            break;
        }
        result.starts.push_back(one);
    }
    return true;
}

} // namespace outlook
