#include <outlook/ICalendarFile.h>

#include <libical/ical.h>

namespace outlook {

bool CICalendarFile::RemoveEvent(const EntryId& id, std::string& error)
{
    const long index = IndexOf(id);
    if (index < 0) {
        error = "no event has the id " + id;
        return false;
    }
    if (!HoldTree(error))
        return false;
    icalcomponent* event = m_events[static_cast<std::size_t>(index)];
    icalcomponent_remove_component(icalcomponent_get_parent(event), event);
    icalcomponent_free(event);
    m_treeChanged = true;
    // The items after it move up, and a UID it shared is named anew.
    Rebuild();
    return true;
}

} // namespace outlook
