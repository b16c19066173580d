#pragma once

#include <graphstore/RDFObj.h>

#include <string>

// Where an event is: a literal text, or a resource with a label, latitude,
// longitude and related page.
class CRDFLocation : public CRDFObj {
public:
    bool set(CRDFNode* node, CRDFMFCGraphStore* store) override;

    const std::string& getString() const { return m_text; }
    bool hasSeeAlso() const { return !m_seeAlso.empty(); }
    const std::string& getSeeAlso() const { return m_seeAlso; }
    bool haslatitude() const { return m_hasLatitude; }
    double getlatitude() const { return m_latitude; }
    bool haslongitude() const { return m_hasLongitude; }
    double getlongitude() const { return m_longitude; }

private:
    std::string m_text;
    std::string m_seeAlso;
    double m_latitude = 0;
    double m_longitude = 0;
    bool m_hasLatitude = false;
    bool m_hasLongitude = false;
};
