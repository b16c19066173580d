#pragma once

#include <eventmodel/RDFVevent.h>

#include <string>
#include <vector>

using VCALENDAR_UPDATE_STATUS = EVENT_UPDATE_STATUS;

// One calendar of a schedule: its Dublin Core description (the title may
// also be an x-wr-calname) and the events it links (by a calendar property
// named component, vevent or VEVENT-PROP). Cancelled events are kept apart:
// they are never shown or imported, only taken out of the user's calendar.
// It is filled only when at least one of its events is.
class CRDFVCalendar : public CRDFObj {
public:
    bool set(CRDFNode* node, CRDFMFCGraphStore* store) override;

    std::vector<CRDFVevent>& getEventListPtr() { return m_events; }
    const std::vector<CRDFVevent>& getEventListPtr() const { return m_events; }
    const std::vector<CRDFVevent>& GetCancelledEvents() const { return m_cancelled; }
    VCALENDAR_UPDATE_STATUS getUpdateStatus() const { return m_status; }
    void setUpdateStatus(VCALENDAR_UPDATE_STATUS status) { m_status = status; }
    const std::string& getURL() const { return m_url; }
    void setURL(const std::string& url) { m_url = url; }
    bool hasSource() const { return !m_source.empty(); }
    const std::string& getSource() const { return m_source; }
    // The title, description, creator, date, source and address, a line
    // each where there is one, joined by `separator`; with `withEvents`
    // a line per event follows.
    std::string getSummary(bool withEvents, const char* separator) const;
    // The title, else the calendar's URI.
    std::string getTitleDescription() const;

private:
    std::vector<CRDFVevent> m_events;
    std::vector<CRDFVevent> m_cancelled;
    VCALENDAR_UPDATE_STATUS m_status = EVENT_SELECTED;
    std::string m_url;
    std::string m_uri;
    std::string m_title;
    std::string m_description;
    std::string m_creator;
    std::string m_date;
    std::string m_source;
};
