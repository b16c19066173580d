#include <eventmodel/RDFLocation.h>

#include <eventmodel/NodeReader.h>

#include <graphstore/Vocabulary.h>

#include <cmath>
#include <cstdlib>

namespace {

// A coordinate within `limit` degrees; false for anything else.
bool ReadDegrees(const std::string& text, double limit, double& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (!end || *end != '\0' || !std::isfinite(number) || std::fabs(number) > limit)
        return false;
    value = number;
    return true;
}

} // namespace

bool CRDFLocation::set(CRDFNode* node, CRDFMFCGraphStore*)
{
    m_text = nodereader::Text(node);
    const std::string geo = vocabulary::Geo;
    m_hasLatitude = ReadDegrees(nodereader::Text(nodereader::Value(node, geo + "lat")), 90, m_latitude);
    m_hasLongitude = ReadDegrees(nodereader::Text(nodereader::Value(node, geo + "long")), 180, m_longitude);
    m_seeAlso = nodereader::TextOrUri(nodereader::Value(node, std::string(vocabulary::Rdfs) + "seeAlso"));
    return !m_text.empty() || m_hasLatitude || m_hasLongitude;
}
