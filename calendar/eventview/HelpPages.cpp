#include <eventview/HelpPages.h>

#include <eventview/WebBrowserUtil.h>

#include <platform/Registry.h>

#include <cstdio>
#include <filesystem>

namespace {

constexpr const char* AgentKey = "Software\\ORVANTE\\CalendarAgent";
constexpr const char* HelpHostValue = "HelpHost";

} // namespace

namespace HelpPages {

std::string InstalledFolder()
{
    std::error_code ignored;
    const std::filesystem::path program =
        std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path();
    if (std::filesystem::is_directory(program / "help", ignored))
        return (program / "help").string();
    return (program.parent_path() / "share" / "orvante" / "help").string();
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
    CWebBrowserUtil browser;
    const int result = browser.GotoURL((Host() + path).c_str(), SW_SHOW);
    if (result > CWebBrowserUtil::OpenedThreshold)
        return true;
    // The exclamation sound, where a terminal can give one.
    std::fputc('\a', stderr);
    browser.ReportError(result);
    return false;
}

} // namespace HelpPages
