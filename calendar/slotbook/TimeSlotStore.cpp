#include <slotbook/TimeSlotStore.h>

#include <algorithm>

CTimeSlotStore::CTimeSlotStore() : m_count(0) {}

CTimeSlotStore::~CTimeSlotStore() = default;

bool CTimeSlotStore::Holds(const CTimeSlot* slot) const
{
    return std::any_of(m_slots.begin(), m_slots.end(),
                       [slot](const std::unique_ptr<CTimeSlot>& held) { return held.get() == slot; });
}

void CTimeSlotStore::Append(CTimeSlot* slot, const std::string& attribute)
{
    if (Holds(slot))
        m_slots.push_back(std::make_unique<CTimeSlot>(*slot));
    else
        m_slots.emplace_back(slot);
    m_attributes.push_back(attribute);
    m_count = static_cast<int>(m_slots.size());
}

void CTimeSlotStore::Add(CTimeSlot* slot, const std::string& attribute)
{
    if (slot == nullptr)
        return;
    Append(slot, attribute);
}

void CTimeSlotStore::Add(CTimeSlot* slot, const std::string& attribute, const std::string& id)
{
    if (slot == nullptr)
        return;
    Append(slot, attribute);
    m_ids.push_back(id);
}

void CTimeSlotStore::Clear()
{
    for (std::unique_ptr<CTimeSlot>& slot : m_slots)
        static_cast<void>(slot.release());
    m_slots.clear();
    m_attributes.clear();
    m_ids.clear();
    m_count = 0;
}

bool CTimeSlotStore::InRange(int index) const
{
    return index >= 0 && index < m_count;
}

CTimeSlot* CTimeSlotStore::GetTimeSlot(int index) const
{
    return InRange(index) ? m_slots[static_cast<std::size_t>(index)].get() : nullptr;
}

std::string CTimeSlotStore::GetAttribute(int index) const
{
    return InRange(index) ? m_attributes[static_cast<std::size_t>(index)] : std::string();
}

std::string CTimeSlotStore::GetID(int index) const
{
    if (!InRange(index) || static_cast<std::size_t>(index) >= m_ids.size())
        return std::string();
    return m_ids[static_cast<std::size_t>(index)];
}

int CTimeSlotStore::GetIndex(const CTimeSlot* slot, const std::string& attribute) const
{
    return GetIndex(slot, attribute, 0);
}

int CTimeSlotStore::GetIndex(const CTimeSlot* slot, const std::string& attribute, int from) const
{
    if (slot == nullptr)
        return -1;
    for (int i = std::max(from, 0); i < m_count; ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        if (m_attributes[at] == attribute && *m_slots[at] == *slot)
            return i;
    }
    return -1;
}

int CTimeSlotStore::Exists(const CTimeSlot* slot, const std::string& attribute) const
{
    return GetIndex(slot, attribute) >= 0 ? 1 : 0;
}

std::string CTimeSlotStore::GetID(const CTimeSlot* slot, const std::string& attribute) const
{
    const int index = GetIndex(slot, attribute);
    return index >= 0 ? GetID(index) : std::string();
}

CTimeSlot* CTimeSlotStore::GetLastSlot(const std::string& attribute) const
{
    CTimeSlot* last = nullptr;
    for (int i = 0; i < m_count; ++i) {
        if (m_attributes[static_cast<std::size_t>(i)] == attribute)
            last = m_slots[static_cast<std::size_t>(i)].get();
    }
    return last;
}

std::vector<std::string>* CTimeSlotStore::GetAttributesUnique() const
{
    auto* unique = new std::vector<std::string>();
    for (const std::string& attribute : m_attributes) {
        if (std::find(unique->begin(), unique->end(), attribute) == unique->end())
            unique->push_back(attribute);
    }
    return unique;
}

std::string CTimeSlotStore::ToString() const
{
    std::string text;
    for (int i = 0; i < m_count; ++i)
        text += GetTimeSlot(i)->ToString() + "\n" + GetAttribute(i) + "\n" + GetID(i) + "\n";
    return text;
}

std::string CTimeSlotStore::ToKQML() const
{
    std::string text = "(tell";
    for (int i = 0; i < m_count; ++i)
        text += " :t" + std::to_string(i + 1) + " (" + GetTimeSlot(i)->GetStartTime().Format() + ")";
    return text + ")";
}
