#include <eventview/WebBrowserUtil.h>

#include <eventview/HelpPages.h>
#include <eventview/InstalledFiles.h>

#include <platform/EventLoop.h>
#include <platform/MessageBoxSink.h>
#include <platform/Registry.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

// "The specified file was not found."
constexpr int NotFoundCode = 2;
// "The operating system is out of memory or resources."
constexpr int NoResourcesCode = 0;
// "The operating system denied access to the specified file."
constexpr int DeniedCode = 5;
// A registry reader's buffer of 260 bytes.
constexpr std::size_t RegKeyBufferSize = 260;
// How often started browsers that have not ended yet are looked at.
constexpr unsigned ReapPeriodMs = 500;

bool HasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The local path of a file:// address, without its query or fragment and
// with %XX decoded; empty for any other address or a path that is not
// absolute.
std::string FilePath(const std::string& address)
{
    const std::string scheme = "file://";
    if (!StartsWithNoCase(address, scheme))
        return {};
    std::string rest = address.substr(scheme.size());
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (StartsWithNoCase(rest, "localhost/"))
        rest.erase(0, 9);
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 &&
            HexValue(rest[i + 2]) >= 0) {
            path += static_cast<char>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2]));
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return !path.empty() && path[0] == '/' && path.find('\0') == std::string::npos ? path : std::string();
}

// True when `path`, with links and ".." resolved, lies inside `folder`.
bool Inside(const std::filesystem::path& path, const std::string& folder)
{
    if (folder.empty())
        return false;
    std::error_code ignored;
    const std::string root = std::filesystem::weakly_canonical(folder, ignored).string() + "/";
    const std::string resolved = std::filesystem::weakly_canonical(path, ignored).string();
    return resolved.compare(0, root.size(), root) == 0;
}

// Started browsers are reaped from the loop, without waiting, so that none is
// left a zombie and none holds the agent up.
class CChildReaper {
public:
    static CChildReaper& Instance()
    {
        static CChildReaper reaper;
        return reaper;
    }

    void Add(pid_t child)
    {
        m_children.push_back(child);
        Reap();
        CEventLoop* loop = CEventLoop::Current();
        if (!loop || m_children.empty() || (m_timer != CEventLoop::kNoTimer && !m_loopGone.expired()))
            return;
        m_loopGone = loop->Lifetime();
        m_timer = loop->AddTimer(ReapPeriodMs, true, [this, loop](CEventLoop::TimerId) {
            Reap();
            if (m_children.empty()) {
                loop->KillTimer(m_timer);
                m_timer = CEventLoop::kNoTimer;
            }
        });
    }

    std::size_t Pending()
    {
        Reap();
        return m_children.size();
    }

private:
    void Reap()
    {
        m_children.erase(std::remove_if(m_children.begin(), m_children.end(),
                                        [](pid_t child) {
                                            int status = 0;
                                            const pid_t done = waitpid(child, &status, WNOHANG);
                                            return done == child || (done < 0 && errno == ECHILD);
                                        }),
                         m_children.end());
    }

    std::vector<pid_t> m_children;
    CEventLoop::TimerId m_timer = CEventLoop::kNoTimer;
    std::weak_ptr<const void> m_loopGone;
};

} // namespace

CWebBrowserUtil::CWebBrowserUtil() = default;

CWebBrowserUtil::CWebBrowserUtil(const std::string& registryDirectory)
    : m_registryDirectory(registryDirectory)
{
}

CWebBrowserUtil::~CWebBrowserUtil() = default;

int CWebBrowserUtil::GotoURL(const char* address, int /*showCommand*/)
{
    if (!address || !*address)
        return NotFoundCode;
    if (!IsOpenable(address))
        return DeniedCode;
    if (!HasDisplay())
        return NoBrowserCode;
    const int first = Spawn({"xdg-open", address});
    if (first > OpenedThreshold)
        return first;
    m_openerMissing = first == NotFoundCode;
    const CRegistry classes = m_registryDirectory.empty()
                                  ? CRegistry(CRegistry::ClassesRoot)
                                  : CRegistry(CRegistry::ClassesRoot, m_registryDirectory);
    std::string type;
    if (GetRegKey(classes, ".htm", type) != 0)
        return first;
    std::string command;
    if (GetRegKey(classes, type + "\\shell\\open\\command", command) != 0)
        return first;
    std::vector<std::string> arguments = SplitCommandLine(ProgramPartOf(command));
    if (arguments.empty())
        return first;
    // The address is one argument whatever blanks it holds, so that a page
    // cannot hand the browser options of its own.
    arguments.emplace_back(address);
    return Spawn(arguments);
}

bool CWebBrowserUtil::IsOpenable(const std::string& address)
{
    if (StartsWithNoCase(address, "http://") || StartsWithNoCase(address, "https://"))
        return true;
    const std::string path = FilePath(address);
    if (path.empty())
        return false;
    const std::string helpPath = FilePath(HelpPages::Host() + "/");
    return Inside(path, installedfiles::Folder("help")) ||
           Inside(path, installedfiles::Folder("schedules")) || Inside(path, helpPath);
}

std::size_t CWebBrowserUtil::RunningBrowsers()
{
    return CChildReaper::Instance().Pending();
}

int CWebBrowserUtil::GetRegKey(const CRegistry& classes, const std::string& subKey, std::string& out)
{
    return classes.ReadValue(subKey, "", out, RegKeyBufferSize);
}

std::string CWebBrowserUtil::ProgramPartOf(const std::string& commandLine)
{
    std::string::size_type cut = commandLine.find("\"%1\"");
    if (cut == std::string::npos)
        cut = commandLine.find("%1");
    return cut == std::string::npos ? commandLine : commandLine.substr(0, cut);
}

std::string CWebBrowserUtil::CommandLineFor(const std::string& commandLine, const std::string& address)
{
    std::string result = ProgramPartOf(commandLine);
    // The blank before the cut stays, so that cutting and appending give
    // exactly one blank between the program and the address.
    if (result.empty() || result.back() != ' ')
        result += ' ';
    return result + address;
}

std::vector<std::string> CWebBrowserUtil::SplitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inWord = false;
    bool quoted = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                arguments.push_back(current);
            current.clear();
            inWord = false;
        } else {
            current += c;
            inWord = true;
        }
    }
    if (inWord)
        arguments.push_back(current);
    return arguments;
}

// A browser may run for as long as the user reads; the agent goes on at once
// and the child is reaped from the loop.
int CWebBrowserUtil::Spawn(const std::vector<std::string>& arguments)
{
    std::vector<std::vector<char>> storage;
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        storage.emplace_back(argument.begin(), argument.end());
        storage.back().push_back('\0');
    }
    for (std::vector<char>& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
    if (spawned != 0)
        return spawned == ENOENT ? NotFoundCode : NoResourcesCode;
    CChildReaper::Instance().Add(child);
    return OpenedThreshold + 1;
}

bool CWebBrowserUtil::OpenOrReport(const std::string& address)
{
    const int result = GotoURL(address.c_str(), SW_SHOW);
    if (result > OpenedThreshold)
        return true;
    CMessageBoxSink::Alert();
    ReportError(result);
    return false;
}

void CWebBrowserUtil::ReportError(int code)
{
    std::string text = "Unable to open hyperlink:\n\n" + ErrorText(code);
    if (m_openerMissing)
        text += "\n\n" + std::string(OpenerMissingText);
    CMessageBoxSink::Show(text, MB_OK | MB_ICONEXCLAMATION);
}

std::string CWebBrowserUtil::ErrorText(int code)
{
    switch (code) {
    case 0:
        return "The operating system is out\nof memory or resources.";
    case 2:
        return "The specified file was not found.";
    case 3:
        return "The specified path was not found.";
    case 5:
        return "The operating system denied\naccess to the specified file.";
    case 8:
        return "There was not enough memory to complete the operation.";
    case 11:
        return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26:
        return "A sharing violation occurred. ";
    case 27:
        return "The filename association is\nincomplete or invalid.";
    case 28:
        return "The DDE transaction could not\nbe completed because the request timed out.";
    case 29:
        return "The DDE transaction failed.";
    case 30:
        return "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
               "processed.";
    case 31:
        return "There is no application associated\nwith the given filename extension.";
    case 32:
        return "The specified dynamic-link library was not found.";
    default:
        return "Unknown Error (" + std::to_string(code) + ") occurred.";
    }
}
