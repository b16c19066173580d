#pragma once

#include <string>

// What the calendar agent accepts in each value of its settings key: the
// names it reads, and for each whether it is a switch, a number in a range,
// a time of day or free text. vespera-reg checks a value before it stores
// it, so that a typing mistake is told at once instead of being read as a
// default when the agent next starts.
class CSettingRules {
public:
    // The key the rules apply to; values under other keys are not checked.
    static const char* const SettingsKey;

    // True when `key` names the agent's settings key (case is ignored, as
    // the registry ignores it).
    static bool AppliesTo(const std::string& key);

    // Empty when `value` is fine for the value `name`; otherwise why not,
    // in one line.
    static std::string Check(const std::string& name, const std::string& value);
};
