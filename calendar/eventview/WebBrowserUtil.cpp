#include <eventview/WebBrowserUtil.h>

#include <platform/MessageBoxSink.h>
#include <platform/Registry.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

// "The specified file was not found."
constexpr int NotFoundCode = 2;
// "The operating system is out of memory or resources."
constexpr int NoResourcesCode = 0;
// A registry reader's buffer of 260 bytes.
constexpr std::size_t RegKeyBufferSize = 260;

bool HasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

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
    if (!HasDisplay())
        return NoBrowserCode;
    const int first = Spawn({"xdg-open", address});
    if (first > OpenedThreshold)
        return first;
    const CRegistry classes = m_registryDirectory.empty()
                                  ? CRegistry(CRegistry::ClassesRoot)
                                  : CRegistry(CRegistry::ClassesRoot, m_registryDirectory);
    std::string type;
    if (GetRegKey(classes, ".htm", type) != 0)
        return first;
    std::string command;
    if (GetRegKey(classes, type + "\\shell\\open\\command", command) != 0)
        return first;
    const std::vector<std::string> arguments = SplitCommandLine(CommandLineFor(command, address));
    if (arguments.empty())
        return first;
    return Spawn(arguments);
}

int CWebBrowserUtil::GetRegKey(const CRegistry& classes, const std::string& subKey, std::string& out)
{
    return classes.ReadValue(subKey, "", out, RegKeyBufferSize);
}

std::string CWebBrowserUtil::CommandLineFor(const std::string& commandLine, const std::string& address)
{
    std::string::size_type cut = commandLine.find("\"%1\"");
    if (cut == std::string::npos)
        cut = commandLine.find("%1");
    std::string result = cut == std::string::npos ? commandLine : commandLine.substr(0, cut);
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

// xdg-open and browsers started for a page return once the page is handed
// over, so waiting for them does not hold the agent up for long.
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
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? OpenedThreshold + 1 : NoBrowserCode;
}

bool CWebBrowserUtil::OpenOrReport(const std::string& address)
{
    const int result = GotoURL(address.c_str(), SW_SHOW);
    if (result > OpenedThreshold)
        return true;
    // The exclamation sound, where a terminal can give one.
    std::fputc('\a', stderr);
    ReportError(result);
    return false;
}

void CWebBrowserUtil::ReportError(int code)
{
    CMessageBoxSink::Show("Unable to open hyperlink:\n\n" + ErrorText(code), MB_OK | MB_ICONEXCLAMATION);
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
