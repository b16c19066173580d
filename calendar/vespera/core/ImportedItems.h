#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace outlook {
class CAppointmentItem;
class CItems;
} // namespace outlook

// What a subscription imported into the calendar: each item's UID with a
// fingerprint of what the import wrote into it. An item that no longer
// matches its fingerprint was edited by the user, and one that is gone was
// deleted by the user: either is released, left as the user made it and
// never written or removed by the subscription again.
class CImportedItems {
public:
    // The fingerprint kept for a released item.
    static constexpr const char* Released = "released";
    // UIDs with their fingerprints, or Released.
    using Fingerprints = std::map<std::string, std::string>;
    // The calendar folder's 1-based positions by item id.
    using Positions = std::map<std::string, long>;

    CImportedItems() = default;
    explicit CImportedItems(Fingerprints items) : m_items(std::move(items)) {}

    const Fingerprints& Items() const { return m_items; }
    bool IsReleased(const std::string& uid) const;
    // Written by the subscription and still followed by it.
    bool IsFollowed(const std::string& uid) const;

    // Releases every followed item that the user changed or deleted since
    // it was written; their UIDs.
    std::vector<std::string> ReleaseChanged(const Positions& positions, outlook::CItems& items);
    // The followed items whose event is not among `events` (the UIDs the
    // schedule's events are imported under).
    std::set<std::string> FollowedOutside(const std::set<std::string>& events) const;
    // Forgets the released items that the user deleted and whose events
    // are not among `events` any more: nothing is left to keep from them.
    void ForgetDeleted(const std::set<std::string>& events, const Positions& positions);
    void Record(const std::string& uid, const outlook::CAppointmentItem& item);
    void Forget(const std::string& uid);

    // What the user sees of an item, as one short text.
    static std::string Fingerprint(const outlook::CAppointmentItem& item);
    // The UID of the event an item was imported for: an occurrence's UID is
    // its event's with the occurrence's start after it.
    static std::string EventUid(const std::string& uid);
    // FNV-1a as 16 hex digits: the same text gives the same in every run
    // and build.
    static std::string Hash(const std::string& text);

private:
    Fingerprints m_items;
};
