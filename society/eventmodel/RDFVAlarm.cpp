#include <eventmodel/RDFVAlarm.h>

#include <eventmodel/NodeReader.h>
#include <eventmodel/RDFDuration.h>

bool CRDFVAlarm::set(CRDFNode* node, CRDFMFCGraphStore*)
{
    long minutes = 0;
    CRDFNode* trigger = nodereader::CalendarValue(node, "trigger");
    // A trigger may be the duration itself or a resource that holds it.
    std::string text = nodereader::Text(trigger);
    if (text.empty())
        text = nodereader::Text(nodereader::CalendarValue(trigger, "duration"));
    if (!CRDFDuration::Parse(text, minutes) || minutes > 0)
        return false;
    m_present = true;
    m_minutes = -minutes;
    return true;
}
