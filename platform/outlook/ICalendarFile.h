#pragma once

#include <outlook/AppointmentData.h>
#include <outlook/StoredItem.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

struct icalcomponent_impl;

namespace outlook {
// One calendar text held as libical parsed it, with its events seen as
// appointment items. Writing changes only the events and properties the
// object model knows of; every other component, property and parameter is
// serialised as it was read, so other programs' data survives a save.
//
// New and changed events are written in UTC, recurring ones in the user's
// named zone (with its VTIMEZONE) so that they keep the user's wall clock
// across changes of daylight saving time; all-day events as dates.
//
// Item ids are the events' UIDs. An event without one gets a UID made from
// its content, so it keeps its id across reads and is written with it on
// the next save; a UID met again (an overridden occurrence, a duplicate)
// gets "#2", "#3" ... after it.
class CICalendarFile {
public:
    // Larger texts are refused unread.
    static constexpr std::size_t MaxTextSize = 64u * 1024u * 1024u;
    // The deepest nesting of components read; calendars nest three or four
    // deep (calendar, event, alarm; time zone, rule).
    static constexpr std::size_t MaxNesting = 32;

    // An empty calendar (VERSION and PRODID only).
    CICalendarFile();
    ~CICalendarFile();

    CICalendarFile(const CICalendarFile&) = delete;
    CICalendarFile& operator=(const CICalendarFile&) = delete;

    // Replaces the calendar with the one in `text`. False with the reason,
    // and the calendar left as it was, for text that is not one whole
    // VCALENDAR, holds a NUL byte, is too large, has any line libical could
    // not read (it would drop that line on the next save), or would not read
    // back once written. Control characters other than tabs and line ends
    // are dropped, as libical drops them on writing.
    bool Parse(const std::string& text, std::string& error);
    // Parse without the read-back check, which costs a serialisation and a
    // second parse: for a caller that writes only through SerializeChecked,
    // so that a calendar that would not read back is still read but never
    // written.
    bool ParseUnchecked(const std::string& text, std::string& error);

    // The VEVENTs as appointment items, in file order; other components are
    // not items.
    const std::vector<CStoredItem>& GetItems() const { return m_items; }
    // One line for each event whose recurrence could not be expressed and
    // was read as a single appointment, naming the event and the reason.
    const std::vector<std::string>& GetNotes() const { return m_notes; }

    // The 0-based position of the item with the id; -1 for none.
    long IndexOf(const EntryId& id) const;

    // Appends a new VEVENT with a fresh UID and gives `item` that id.
    bool AddEvent(CStoredItem& item, std::string& error);

    // A new event ready to be appended without touching any other: the
    // event's text, where it goes in the calendar's text (before its
    // END:VCALENDAR line), and the item as that text reads back.
    struct SAppend {
        std::size_t at = 0;
        std::string eventText;
        CStoredItem item;
        std::string note;
    };
    // Prepares appending `item` as a new VEVENT with a fresh UID; the
    // calendar is not changed. The event's text is checked on its own, as a
    // calendar holding only it must read back with it. nullopt with the
    // reason when the event cannot be written, and with an empty reason
    // when the calendar cannot take it this way (it holds unwritten changes
    // or has no end line), so that AddEvent is the way.
    std::optional<SAppend> PrepareAppend(const CStoredItem& item, std::string& error) const;
    // The calendar's text with the prepared event put in.
    std::string TextWith(const SAppend& append) const;
    // The calendar takes the prepared event (once its text is written, or
    // to be written with others later).
    void CommitAppend(SAppend append);
    // The calendar's text when it holds no change beyond it (every change
    // since it was read or written was an append); null otherwise, when
    // only SerializeChecked gives the text.
    const std::string* TextWithoutChanges() const { return m_treeChanged ? nullptr : &m_text; }
    // The calendar's text now: the text held, else its serialisation.
    std::string Text() const { return m_treeChanged ? Serialize() : m_text; }
    // Rewrites the properties of the event with the item's id that differ
    // from what the item says; false for an unknown id or data that is not
    // an appointment.
    bool UpdateEvent(const CStoredItem& item, std::string& error);
    // Takes the event with the id out of the calendar, with everything it
    // holds; false for an unknown id.
    bool RemoveEvent(const EntryId& id, std::string& error);

    // The whole calendar as iCalendar text (CRLF, folded lines); empty when
    // the text read could not be parsed again.
    std::string Serialize() const;
    // Serialize, when the text reads back as a calendar with every event;
    // false with the reason otherwise, and `text` is then left as it was.
    bool SerializeChecked(std::string& text, std::string& error) const;
    // Tells the calendar that `text`, its serialisation, is now what it
    // stands for, so that it need not hold the parsed tree until the next
    // change.
    void Written(const std::string& text);

private:
    struct CFreeComponent {
        void operator()(icalcomponent_impl* component) const;
    };
    using CComponentPtr = std::unique_ptr<icalcomponent_impl, CFreeComponent>;

    // The text parsed, or null with the reason.
    static CComponentPtr ParseCalendar(const std::string& text, std::string& error);
    static CComponentPtr ParseWhole(const std::string& text, std::string& error);
    // Empty when `text`, the serialisation of `root`, reads back with all of
    // its events; the reason otherwise.
    static std::string ReadBackError(const std::string& text, icalcomponent_impl* root);
    // The calendar's events in order with their item ids; events without a
    // UID are given the one made from their content.
    static std::vector<icalcomponent_impl*> NameEvents(icalcomponent_impl* calendar,
                                                       std::vector<std::string>& ids);
    void Adopt(CComponentPtr root, const std::string& text);
    void Rebuild();
    // The parsed tree is held only while it differs from m_text: a large
    // calendar's tree takes many times the memory of its text and is needed
    // for changes and writing only, so it is parsed again for those.
    void Release();
    bool HoldTree(std::string& error) const;
    // Adds the event read from `event`, the calendar's last, to the items.
    void AppendItem(icalcomponent_impl* event, const std::string& id);
    std::optional<std::string> NewEventUid(const EntryId& requested, std::string& error) const;
    std::size_t EndLine() const;

    // Null while released; the tree is a cache of m_text then.
    mutable CComponentPtr m_calendar;
    // Borrowed from m_calendar, parallel to m_items while the tree is held.
    mutable std::vector<icalcomponent_impl*> m_events;
    std::string m_text;
    // The tree holds changes that m_text does not.
    bool m_treeChanged = true;
    std::vector<CStoredItem> m_items;
    // The position of each item by its id, so that a calendar of many
    // events is not searched from the start for every added one.
    std::unordered_map<std::string, std::size_t> m_positions;
    std::vector<std::string> m_notes;
};
} // namespace outlook
