#include <eventmodel/RDFVAlarm.h>

#include <eventmodel/NodeReader.h>
#include <eventmodel/RDFDuration.h>

bool CRDFVAlarm::set(CRDFNode* node, CRDFMFCGraphStore*)
{
    long minutes = 0;
    if (!CRDFDuration::Parse(nodereader::Text(nodereader::CalendarValue(node, "trigger")), minutes) ||
        minutes > 0)
        return false;
    m_present = true;
    m_minutes = -minutes;
    return true;
}
