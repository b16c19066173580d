#include <outlook/RuleExpansion.h>

#include <outlook/ICalTime.h>

#include <libical/ical.h>

#include <algorithm>
#include <memory>

namespace outlook {
namespace {

// Excluded and added dates come from another clock's text: within a
// minute they are the occurrence they name.
constexpr double MinuteInDays = 1.0 / 1440.0;

bool SameStart(const CDateTime& a, const CDateTime& b)
{
    const double apart = (a - b).GetTotalDays();
    return apart < MinuteInDays && apart > -MinuteInDays;
}

bool Excluded(const CDateTime& start, const std::vector<CDateTime>& excluded)
{
    return std::any_of(excluded.begin(), excluded.end(),
                       [&start](const CDateTime& one) { return SameStart(start, one); });
}

using IteratorPtr = std::unique_ptr<icalrecur_iterator, decltype(&icalrecur_iterator_free)>;

// The rule's starts before `to`; false with the reason when it does not
// parse. `cut` tells when the iteration gave up before reaching `to`.
bool RuleStarts(const std::string& rule, const CDateTime& start, const CDateTime& to,
                std::vector<CDateTime>& starts, std::string& cut, std::string& reason)
{
    icalerror_clear_errno();
    const icalrecurrencetype parsed = icalrecurrencetype_from_string(rule.c_str());
    if (parsed.freq == ICAL_NO_RECURRENCE || icalerrno != ICAL_NO_ERROR) {
        icalerror_clear_errno();
        reason = "\"" + rule + "\" is no recurrence rule";
        return false;
    }
    IteratorPtr iterator(icalrecur_iterator_new(parsed, CICalTime::FromLocal(start)), icalrecur_iterator_free);
    if (!iterator) {
        icalerror_clear_errno();
        reason = "\"" + rule + "\" cannot be expanded";
        return false;
    }
    for (std::size_t step = 0;; ++step) {
        if (step == CRuleExpansion::MaxSteps) {
            cut = "its rule gives more than " + std::to_string(CRuleExpansion::MaxSteps) +
                  " occurrences before the end of the period";
            break;
        }
        const icaltimetype next = icalrecur_iterator_next(iterator.get());
        if (icaltime_is_null_time(next))
            break;
        const CDateTime local = CICalTime::ToLocal(next);
        if (local.GetStatus() != CDateTime::valid || !(local < to))
            break;
        starts.push_back(local);
    }
    icalerror_clear_errno();
    return true;
}

} // namespace

bool CRuleExpansion::Expand(const std::string& rule, const CDateTime& start, const std::vector<CDateTime>& excluded,
                            const std::vector<CDateTime>& added, const CDateTime& from, const CDateTime& to,
                            std::size_t limit, SResult& result, std::string& reason)
{
    std::vector<CDateTime> all;
    result = SResult();
    if (rule.empty())
        all.push_back(start);
    else if (!RuleStarts(rule, start, to, all, result.cut, reason))
        return false;
    all.insert(all.end(), added.begin(), added.end());
    std::sort(all.begin(), all.end());
    for (const CDateTime& one : all) {
        if (one < from || !(one < to) || Excluded(one, excluded) ||
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
