#pragma once

#include <graphstore/RDFObj.h>

#include <string>

// A duration of a schedule, read from an ISO 8601 text ("PT1H30M", "P1D",
// "-PT15M"), kept in whole minutes.
class CRDFDuration : public CRDFObj {
public:
    bool set(CRDFNode* node, CRDFMFCGraphStore* store) override;

    // False for a text that is not an ISO 8601 duration.
    static bool Parse(const std::string& text, long& minutes);

    long getDurationInMins() const { return m_minutes; }
    void SetMinutes(long minutes) { m_minutes = minutes; }
    bool IsSet() const { return m_set; }

private:
    long m_minutes = 0;
    bool m_set = false;
};
