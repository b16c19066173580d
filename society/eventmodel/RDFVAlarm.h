#pragma once

#include <graphstore/RDFObj.h>

// An event's alarm: a trigger that is a negative duration before the start,
// given as a literal or as a resource's duration.
class CRDFVAlarm : public CRDFObj {
public:
    bool set(CRDFNode* node, CRDFMFCGraphStore* store) override;

    bool hasAlarm() const { return m_present; }
    // Minutes before the start.
    long getAlarmDuration() const { return m_minutes; }

private:
    bool m_present = false;
    long m_minutes = 0;
};
