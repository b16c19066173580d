#include <FuzzEntries.h>

#include <outlook/DavMultistatus.h>

#include <string>

namespace {

bool Trimmed(const std::string& text)
{
    return text.empty() ||
           (text.front() != '\n' && text.back() != '\n' && text.front() != ' ' && text.back() != ' ');
}

} // namespace

bool CFuzzEntries::multistatus(const std::uint8_t* data, std::size_t size)
{
    outlook::CDavMultistatus answer;
    std::string error;
    if (!answer.Parse(std::string(reinterpret_cast<const char*>(data), size), error))
        return !error.empty() && answer.Responses().empty();
    if (!Trimmed(answer.SyncToken()))
        return false;
    for (const outlook::CDavMultistatus::SResponse& response : answer.Responses()) {
        if (!Trimmed(response.href))
            return false;
        for (const auto& [name, property] : response.properties) {
            if (name.empty())
                return false;
            for (const std::string& href : property.hrefs) {
                if (!Trimmed(href))
                    return false;
            }
        }
    }
    return true;
}
