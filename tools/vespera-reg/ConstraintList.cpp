#include "ConstraintList.h"

#include <platform/RegFile.h>
#include <slotbook/TimeSlot.h>

#include <algorithm>
#include <cstdlib>

const char* const CConstraintList::SettingsKey = "Software\\ORVANTE\\CalendarAgent";

namespace {

const char* const TotalName = "TotalTimeConsts";

bool Storable(const std::string& text)
{
    return CRegFile::IsLineSafe(text) && text.size() < CRegistry::ValueBufferSize;
}

bool ParseTime(const std::string& text, const char* what, CDateTime& time, std::string& error)
{
    if (time.ParseDateTime(text))
        return true;
    error = std::string("cannot read the ") + what + " time \"" + text + "\"";
    return false;
}

} // namespace

CConstraintList::CConstraintList(CRegistry& registry) : m_registry(registry) {}

std::string CConstraintList::ConstraintKey(int index)
{
    return std::string(SettingsKey) + "\\TConsts\\TimeConstraint" + std::to_string(index);
}

bool CConstraintList::ToValues(const Constraint& constraint, std::vector<CRegistry::NamedValue>& values,
                               std::string& error)
{
    CDateTime start;
    CDateTime end;
    if (!ParseTime(constraint.start, "start", start, error) || !ParseTime(constraint.end, "end", end, error))
        return false;
    CTimeSlot slot(start, end);
    slot.SetDays(constraint.days);
    slot.SetSlotType(constraint.relative ? 0 : 1);
    if (!(slot.GetStartTime() < slot.GetEndTime())) {
        error = "the end must come after the start";
        return false;
    }
    values = {{"StartTime", slot.GetStartTime().Format()},
              {"EndTime", slot.GetEndTime().Format()},
              {"SlotType", slot.GetSlotTypeString()},
              {"Days", slot.GetDaysStr()},
              {"ContactType", constraint.hasContact ? "__CT_VALID__" : "__CT_NULL__"}};
    if (constraint.hasContact) {
        values.insert(values.end(), {{"ContactFName", constraint.firstName},
                                     {"ContactLName", constraint.lastName},
                                     {"ContactEmail", constraint.email},
                                     {"ContactCalAgentName", constraint.agentName}});
    }
    for (const auto& value : values) {
        if (!Storable(value.second)) {
            error = "the " + value.first + " text is too long or holds a line break";
            return false;
        }
    }
    return true;
}

// As the agent counts: atoi of the text, nothing when missing; a negative
// count holds no constraints.
int CConstraintList::TotalOf(const CRegFile& file)
{
    const CRegFile::Value* total = file.FindValue(SettingsKey, TotalName);
    int count = total == nullptr ? 0 : std::atoi(total->text.c_str());
    return count < 0 ? 0 : count;
}

// Past the highest numbered subkey there is nothing to move or show, however
// large the stored count is.
int CConstraintList::HighestIndex(const CRegFile& file)
{
    const std::string prefix = "TimeConstraint";
    int highest = -1;
    for (const std::string& name : file.SubkeysOf(std::string(SettingsKey) + "\\TConsts")) {
        if (!CRegFile::SameName(name.substr(0, prefix.size()), prefix) || name.size() == prefix.size() ||
            name.size() > prefix.size() + 9)
            continue;
        std::string digits = name.substr(prefix.size());
        if (digits.find_first_not_of("0123456789") == std::string::npos)
            highest = std::max(highest, std::atoi(digits.c_str()));
    }
    return highest;
}

void CConstraintList::WriteConstraint(CRegFile& file, int index,
                                      const std::vector<CRegistry::NamedValue>& values)
{
    std::string key = ConstraintKey(index);
    file.DeleteKey(key);
    if (values.empty())
        return;
    for (const auto& [name, text] : values)
        file.SetValue(key, name, text);
}

bool CConstraintList::Add(const Constraint& constraint, int& index)
{
    std::vector<CRegistry::NamedValue> values;
    if (!ToValues(constraint, values, m_error))
        return false;
    CRegistry::Result result = m_registry.Update([&](CRegFile& file) {
        index = TotalOf(file);
        WriteConstraint(file, index, values);
        file.SetValue(SettingsKey, TotalName, std::to_string(index + 1));
        return CRegistry::Ok;
    });
    if (result != CRegistry::Ok)
        m_error = m_registry.ErrorText();
    return result == CRegistry::Ok;
}

bool CConstraintList::Remove(int index)
{
    CRegistry::Result result = m_registry.Update([&](CRegFile& file) {
        int total = TotalOf(file);
        if (index < 0 || index >= total)
            return CRegistry::NotFound;
        int highest = HighestIndex(file);
        for (int i = index; i + 1 < total && i <= highest; ++i) {
            std::vector<CRegistry::NamedValue> next;
            for (const CRegFile::Value& value : file.ValuesOf(ConstraintKey(i + 1)))
                next.emplace_back(value.name, value.text);
            WriteConstraint(file, i, next);
        }
        file.DeleteKey(ConstraintKey(total - 1));
        file.SetValue(SettingsKey, TotalName, std::to_string(total - 1));
        return CRegistry::Ok;
    });
    if (result == CRegistry::NotFound)
        m_error = "there is no constraint " + std::to_string(index);
    else if (result != CRegistry::Ok)
        m_error = m_registry.ErrorText();
    return result == CRegistry::Ok;
}

bool CConstraintList::List(int& total, std::vector<Entry>& entries)
{
    total = 0;
    entries.clear();
    CRegFile file(CRegistry::HiveName(m_registry.GetHive()));
    if (m_registry.Snapshot(file) != CRegistry::Ok) {
        m_error = m_registry.ErrorText();
        return false;
    }
    total = TotalOf(file);
    int shown = std::min(total, HighestIndex(file) + 1);
    for (int i = 0; i < shown; ++i) {
        Entry entry;
        entry.index = i;
        for (const CRegFile::Value& value : file.ValuesOf(ConstraintKey(i)))
            entry.values.emplace_back(value.name, value.text);
        entries.push_back(entry);
    }
    return true;
}
