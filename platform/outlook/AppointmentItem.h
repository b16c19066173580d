#pragma once

#include <outlook/AppointmentData.h>
#include <outlook/Item.h>
#include <outlook/RecurrencePattern.h>

#include <memory>
#include <optional>
#include <string>

namespace outlook {
// An appointment item of the calendar folder. The end always follows from
// the start and the duration: setting the start keeps the duration.
class CAppointmentItem : public CItem {
public:
    CAppointmentItem(std::weak_ptr<CBackend> backend, EntryId id, const CAppointmentData& data);
    ~CAppointmentItem() override;

    OlItemType GetItemType() const override { return olAppointmentItem; }
    CAppointmentItem* AsAppointment() override { return this; }
    std::optional<PropertyValue> GetProperty(const std::string& name) const override;

    const CDateTime& GetStart() const { return m_data.start; }
    // False (and nothing changes) for a start that is not a valid date-time.
    bool SetStart(const CDateTime& start);
    // The start plus the duration; not valid while the start is not.
    CDateTime GetEnd() const;
    long GetDuration() const { return m_data.duration; }
    // Minutes; false (and nothing changes) for a negative length.
    bool SetDuration(long minutes);
    long GetBusyStatus() const { return m_data.busyStatus; }
    void SetBusyStatus(long status) { m_data.busyStatus = status; }
    bool GetIsRecurring() const { return m_data.isRecurring; }
    // The zone the calendar file names for the start; empty for none.
    const std::string& GetStartZone() const { return m_data.startZone; }
    bool GetAllDayEvent() const { return m_data.allDay; }
    void SetAllDayEvent(bool allDay) { m_data.allDay = allDay; }
    // The pattern, owned by the item; null for an item that does not recur.
    const CRecurrencePattern* GetRecurrencePattern() const { return m_pattern.get(); }
    // Makes the item recur by the pattern, or stop recurring with nullopt.
    void SetRecurrencePattern(const std::optional<CAppointmentData::Pattern>& pattern);

    bool GetReminderSet() const { return m_data.reminderSet; }
    void SetReminderSet(bool reminderSet) { m_data.reminderSet = reminderSet; }
    long GetReminderMinutesBeforeStart() const { return m_data.reminderMinutesBeforeStart; }
    // False (and nothing changes) for a negative count.
    bool SetReminderMinutesBeforeStart(long minutes);

    const std::string& GetSubject() const { return m_data.subject; }
    void SetSubject(const std::string& subject) { m_data.subject = subject; }
    const std::string& GetBody() const { return m_data.body; }
    void SetBody(const std::string& body) { m_data.body = body; }
    const std::string& GetLocation() const { return m_data.location; }
    void SetLocation(const std::string& location) { m_data.location = location; }
    const std::string& GetRequiredAttendees() const { return m_data.requiredAttendees; }
    void SetRequiredAttendees(const std::string& attendees) { m_data.requiredAttendees = attendees; }
    const std::string& GetOrganizer() const { return m_data.organizer; }
    void SetOrganizer(const std::string& address) { m_data.organizer = address; }
    const std::string& GetRequiredAddresses() const { return m_data.requiredAddresses; }
    void SetRequiredAddresses(const std::string& addresses) { m_data.requiredAddresses = addresses; }
    const std::string& GetOptionalAttendees() const { return m_data.optionalAttendees; }
    void SetOptionalAttendees(const std::string& attendees) { m_data.optionalAttendees = attendees; }

    // Writes the item into the calendar folder; a new item is appended to it.
    // False while the store is closed, when the back-end refuses, or while
    // the item has no valid start.
    bool Save();

private:
    CAppointmentData m_data;
    std::unique_ptr<CRecurrencePattern> m_pattern;
};
} // namespace outlook
