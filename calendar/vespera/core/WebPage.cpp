#include <vespera/core/WebPage.h>

#include <cerrno>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// "The specified file was not found."
constexpr int NotFoundCode = 2;
// "The operating system is out of memory or resources."
constexpr int NoResourcesCode = 0;

bool HasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

namespace webpage {

bool IsWebAddress(const std::string& address)
{
    return address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0;
}

// xdg-open hands the page to the desktop's browser and returns at once, so
// waiting for it does not hold the agent up.
int OpenWithDesktop(const std::string& address)
{
    if (!HasDisplay())
        return NoBrowserCode;
    std::vector<char> program{'x', 'd', 'g', '-', 'o', 'p', 'e', 'n', '\0'};
    std::vector<char> argument(address.begin(), address.end());
    argument.push_back('\0');
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t child = 0;
    int spawned = posix_spawnp(&child, program.data(), nullptr, nullptr, argv, environ);
    if (spawned != 0)
        return spawned == ENOENT ? NotFoundCode : NoResourcesCode;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? OpenedThreshold + 1 : NoBrowserCode;
}

std::string BrowserErrorText(int code)
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

} // namespace webpage
