#pragma once

#include <eventmodel/RDFDateTime.h>
#include <eventmodel/RDFDuration.h>
#include <eventmodel/RDFLocation.h>
#include <eventmodel/RDFPerson.h>
#include <eventmodel/RDFVAlarm.h>

#include <platform/DateTimeSpan.h>

#include <string>
#include <vector>

// Whether an event or a calendar is to be imported: 1 not selected, 2
// selected (checked in the browser); 0 and 3 also occur.
enum EVENT_UPDATE_STATUS {
    EVENT_STATUS_NONE = 0,
    EVENT_NOT_SELECTED = 1,
    EVENT_SELECTED = 2,
    EVENT_STATUS_OTHER = 3
};

// One event of a schedule. It is filled only when its start parses; the end
// and the duration follow from each other when one is missing, in real time
// when the times name instants.
class CRDFVevent : public CRDFObj {
public:
    bool set(CRDFNode* node, CRDFMFCGraphStore* store) override;

    CRDFDateTime getStartDate() const { return m_start; }
    CRDFDateTime getEndDate() const { return m_end; }
    // A start written as a date (and an end, when there is one, too): the
    // event takes whole days.
    bool IsAllDay() const;
    std::string getStartString() const { return m_start.getString(); }
    std::string getEndString() const { return m_end.getString(); }
    // The summary, else the description.
    const std::string& getDescription() const { return m_description; }
    std::string getLocationString() const { return m_location.getString(); }
    const CRDFLocation* getLocationPtr() const { return &m_location; }
    const std::vector<CRDFPerson>& getAttendeeListPtr() const { return m_attendees; }
    const CDateTimeSpan* getDurationPtr() const { return &m_duration; }
    bool hasAlarm() const { return m_alarm.hasAlarm(); }
    long getAlarmDuration() const { return m_alarm.getAlarmDuration(); }
    EVENT_UPDATE_STATUS getUpdateStatus() const { return m_status; }
    void setUpdateStatus(EVENT_UPDATE_STATUS status) { m_status = status; }
    bool hasSeeAlso() const { return !m_seeAlso.empty(); }
    const std::string& getSeeAlso() const { return m_seeAlso; }
    // The recurrence rule ("FREQ=..."), as a feed writes it or made from
    // the parts of an rrule resource; empty for an event that does not recur.
    const std::string& GetRecurrenceRule() const { return m_rule; }
    // The starts of occurrences the series leaves out (exdate) and of those
    // it adds to its rule (rdate), in the user's local time.
    const std::vector<CDateTime>& GetExcludedStarts() const { return m_excluded; }
    const std::vector<CDateTime>& GetAddedStarts() const { return m_added; }
    // Marked transparent: the event keeps no time busy.
    bool IsFree() const { return m_free; }
    // Marked cancelled: the event is not to be in the user's calendar.
    bool IsCancelled() const { return m_cancelled; }
    const CRDFPerson& GetOrganiser() const { return m_organiser; }
    // The event's URI, or empty for a blank node: what tells one imported
    // event from another.
    const std::string& GetUri() const { return m_uri; }

private:
    void ReadTimes(CRDFNode* node, CRDFMFCGraphStore* store);
    void ReadText(CRDFNode* node);
    void ReadPeopleAndPlace(CRDFNode* node, CRDFMFCGraphStore* store);
    void ReadRecurrence(CRDFNode* node, CRDFMFCGraphStore* store);
    static std::vector<CDateTime> StartsOf(CRDFNode* node, const char* localName, CRDFMFCGraphStore* store);

    CRDFDateTime m_start;
    CRDFDateTime m_end;
    CDateTimeSpan m_duration;
    std::string m_description;
    CRDFLocation m_location;
    std::vector<CRDFPerson> m_attendees;
    CRDFPerson m_organiser;
    CRDFVAlarm m_alarm;
    std::string m_seeAlso;
    std::string m_rule;
    std::vector<CDateTime> m_excluded;
    std::vector<CDateTime> m_added;
    std::string m_uri;
    bool m_free = false;
    bool m_cancelled = false;
    EVENT_UPDATE_STATUS m_status = EVENT_SELECTED;
};
