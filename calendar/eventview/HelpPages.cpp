#include <eventview/HelpPages.h>

#include <eventview/InstalledFiles.h>
#include <eventview/WebBrowserUtil.h>

#include <platform/Registry.h>

namespace {

constexpr const char* AgentKey = "Software\\ORVANTE\\CalendarAgent";
constexpr const char* HelpHostValue = "HelpHost";

} // namespace

namespace HelpPages {

std::string InstalledFolder()
{
    return installedfiles::Folder("help");
}

std::string Host()
{
    std::string host;
    if (CRegistry().ReadValueUnbounded(AgentKey, HelpHostValue, host) == CRegistry::Ok && !host.empty()) {
        while (!host.empty() && host.back() == '/')
            host.pop_back();
        return host;
    }
    return "file://" + InstalledFolder();
}

bool Open(const std::string& path)
{
    return CWebBrowserUtil().OpenOrReport(Host() + path);
}

} // namespace HelpPages
