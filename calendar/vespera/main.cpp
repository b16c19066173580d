// vespera: the calendar agent. With a display it runs as a window with an
// icon in the notification area; without one, or with --headless, it runs
// the same agent on a poll loop. One instance runs per user: a later start
// hands it the schedule it was given, or brings its window forward. A crash
// leaves a report naming the two logs.

#include "Hosts.h"

#include <vespera/core/AgentKey.h>
#include <vespera/core/AgentSettings.h>
#include <vespera/core/LaunchOptions.h>

#include <eventview/HelpPages.h>
#include <eventview/InstalledFiles.h>
#include <platform/Registry.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

bool HasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

const char* const Usage =
    "usage: vespera [--headless | --autostart] [-name NAME] [-port N] [-ans HOST] [-ansport N] [-noans]\n"
    "               [-unique yes] [FILE.ics | URL]\n"
    "\n"
    "Runs the calendar agent of the current user on the calendar and contacts in\n"
    "$XDG_DATA_HOME/orvante, registered with the name server that the stored settings name\n"
    "(AgentName, ANSHost, ANSPort; see vespera-reg). With a display (DISPLAY or WAYLAND_DISPLAY)\n"
    "it opens its window and an icon in the notification area and runs until the window is\n"
    "closed; without one it serves until SIGINT, SIGTERM or SIGHUP. When the agent runs\n"
    "already, a second start brings its window to the front and says so (status 1).\n"
    "\n"
    "  FILE.ics, URL  open the schedule browser on a calendar file or an http, https or\n"
    "               webcal address: in the agent that runs (status 0 once it took it), else\n"
    "               in this one\n"
    "  --headless   run without a window even when a display is there\n"
    "  --autostart  started with the desktop session (the autostart entry says it): the\n"
    "               window goes to the notification area, and a second start ends quietly\n"
    "  -name NAME   the agent's name for this run\n"
    "  -port N      listen on port N instead of one the system chooses\n"
    "  -ans HOST    the name server's host for this run\n"
    "  -ansport N   the name server's port for this run\n"
    "  -noans       deprecated: says so and changes nothing\n"
    "  -unique yes  add a unique identifier to the agent's name (yes or y)\n"
    "  --fingerprint  print the fingerprint of the agent's key (made when there is none)\n"
    "               for other users to compare with the one their agents pinned, and exit\n"
    "  --help, -h   print this text and exit\n"
    "\n"
    "Status 2: a schedule that cannot be opened (this one runs headless, or the file is not\n"
    "there), said on standard error.\n";

bool AsksFor(int argc, char** argv, const char* option)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], option) == 0)
            return true;
    }
    return false;
}

bool AsksForHelp(int argc, char** argv)
{
    return AsksFor(argc, argv, "--help") || AsksFor(argc, argv, "-h");
}

int PrintFingerprint()
{
    CRegistry registry;
    CAgentSettings settings(registry);
    std::string error;
    const std::optional<CKeyPair> key = CAgentKey::Load(settings.GetAgentName(), error);
    if (!key) {
        std::fprintf(stderr, "vespera: no agent key: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n%s (%s)\n", key->Fingerprint().c_str(), CAgentKey::Path().c_str(),
                key->Holder().c_str());
    return 0;
}

// Where the installed help pages and example schedules were found, so that
// an installation can be checked.
void PrintInstalledFolders()
{
    std::printf("\nhelp pages: %s\nexample schedules: %s\n", HelpPages::InstalledFolder().c_str(),
                installedfiles::Folder("schedules").c_str());
}

} // namespace

int main(int argc, char** argv)
{
    if (AsksForHelp(argc, argv)) {
        std::fputs(Usage, stdout);
        PrintInstalledFolders();
        return 0;
    }
    if (AsksFor(argc, argv, "--fingerprint"))
        return PrintFingerprint();
    std::error_code noDirectory;
    CLaunchOptions options;
    if (!options.Parse(argc, argv, std::filesystem::current_path(noDirectory).string())) {
        std::fprintf(stderr, "vespera: %s\n", options.GetError().c_str());
        return 2;
    }
    if (options.IsHeadless() || !HasDisplay())
        return RunHeadless(options);
    return RunWindowed(options);
}
