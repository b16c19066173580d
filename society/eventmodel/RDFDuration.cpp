#include <eventmodel/RDFDuration.h>

#include <eventmodel/NodeReader.h>

#include <regex>

bool CRDFDuration::set(CRDFNode* node, CRDFMFCGraphStore*)
{
    m_set = Parse(nodereader::Text(node), m_minutes);
    return m_set;
}

bool CRDFDuration::Parse(const std::string& text, long& minutes)
{
    static const std::regex form(
        R"(\s*([+-])?P(?:(\d{1,6})W)?(?:(\d{1,6})D)?(?:T(?:(\d{1,6})H)?(?:(\d{1,6})M)?(?:(\d{1,8})(?:\.\d+)?S)?)?\s*)");
    std::smatch match;
    if (!std::regex_match(text, match, form) || text.find_first_of("WDHMS") == std::string::npos)
        return false;
    auto part = [&match](int index) { return match[index].matched ? std::stol(match[index]) : 0L; };
    long total = part(2) * 7 * 1440 + part(3) * 1440 + part(4) * 60 + part(5) + part(6) / 60;
    if (match[1] == "-")
        total = -total;
    minutes = total;
    return true;
}
