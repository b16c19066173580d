#pragma once

#include <slotbook/TimeSlot.h>

#include <memory>
#include <string>
#include <vector>

// An ordered collection of time slots, each filed under an attribute and,
// when added with one, an identifier. The store owns the slots added to it.
//
// Identifiers line up with slots only while every slot was added with one:
// the two-argument Add appends none, so later identifiers then sit at lower
// indexes than their slots.
class CTimeSlotStore {
public:
    CTimeSlotStore();
    CTimeSlotStore(const CTimeSlotStore&) = delete;
    CTimeSlotStore& operator=(const CTimeSlotStore&) = delete;
    virtual ~CTimeSlotStore();

    // Takes ownership of the slot. A null slot is ignored; a slot the store
    // already holds is filed again as a copy, so that no slot is owned twice.
    void Add(CTimeSlot* slot, const std::string& attribute);
    void Add(CTimeSlot* slot, const std::string& attribute, const std::string& id);
    // Forgets every entry without destroying the slots: the caller must
    // already hold them.
    void Clear();

    int GetCount() const { return m_count; }
    CTimeSlot* GetTimeSlot(int index) const;
    std::string GetAttribute(int index) const;
    std::string GetID(int index) const;
    const std::vector<std::string>* GetAttributes() const { return &m_attributes; }
    const std::vector<std::string>* GetIDs() const { return &m_ids; }

    // Lowest index from 'from' on whose attribute and slot value both match;
    // -1 when there is none.
    int GetIndex(const CTimeSlot* slot, const std::string& attribute) const;
    int GetIndex(const CTimeSlot* slot, const std::string& attribute, int from) const;
    int Exists(const CTimeSlot* slot, const std::string& attribute) const;
    std::string GetID(const CTimeSlot* slot, const std::string& attribute) const;
    // The slot added last under the attribute; null when none.
    CTimeSlot* GetLastSlot(const std::string& attribute) const;
    // Each distinct attribute once, in order of first appearance, in a new
    // vector that the caller owns and deletes.
    std::vector<std::string>* GetAttributesUnique() const;

    // One block per slot: its text form, attribute and identifier.
    std::string ToString() const;
    // "(tell :t1 (START1) :t2 (START2))" with each slot's start only.
    std::string ToKQML() const;

private:
    bool InRange(int index) const;
    bool Holds(const CTimeSlot* slot) const;
    void Append(CTimeSlot* slot, const std::string& attribute);

    std::vector<std::unique_ptr<CTimeSlot>> m_slots;
    std::vector<std::string> m_attributes;
    std::vector<std::string> m_ids;
    int m_count;
};
