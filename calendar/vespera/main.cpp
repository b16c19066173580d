// vespera: the calendar agent. Only the headless host exists so far: it runs
// the agent on a poll loop over the user's calendar and contact files,
// registered from the stored registry values, until SIGINT, SIGTERM or
// SIGHUP. One instance runs per user; a crash leaves a report naming the two
// logs.

#include <vespera/core/InstallDirectory.h>
#include <vespera/core/Preferences.h>
#include <vespera/core/StartupPause.h>
#include <vespera/core/NameServerRegistration.h>
#include <vespera/core/Vespera.h>

#include <agentkit/DlgContainer.h>
#include <basekit/Debug.h>
#include <outlook/FileBackend.h>
#include <outlook/MailSenders.h>
#include <platform/CrashHandler.h>
#include <platform/HostAddress.h>
#include <platform/MessageBoxSink.h>
#include <platform/PollEventLoop.h>
#include <platform/ProgressSink.h>
#include <platform/Registry.h>
#include <platform/SingleInstance.h>
#include <wirekit/Communicator.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* HeadlessOption = "--headless";
constexpr const char* InstanceName = "ORVANTESEMANTICWEBCALENDARAGENT-DE3A7EF1-93A2-42ef-A93A-ABE6113A7727";
constexpr int ProbeTimeoutMs = 200;

// The two log paths as the crash handler reads them: fixed buffers, filled
// once the logs exist, because at crash time nothing may be allocated.
char g_applicationLogPath[CCrashHandler::kSlotSize];
char g_agentLogPath[CCrashHandler::kSlotSize];

void NameLogFilesForCrashReport(CCrashHandler::CReport& report)
{
    char directory[256];
    if (!getcwd(directory, sizeof directory))
        return;
    CCrashHandler::AppendToSlot(report.files[0], g_applicationLogPath);
    CCrashHandler::AppendToSlot(report.descriptions[0], "Application Log File");
    CCrashHandler::AppendToSlot(report.files[1], g_agentLogPath);
    CCrashHandler::AppendToSlot(report.descriptions[1], "Agent Log File");
}

void RememberLogPathsForCrashReport(const CVespera& agent)
{
    g_applicationLogPath[0] = '\0';
    g_agentLogPath[0] = '\0';
    CCrashHandler::AppendToSlot(g_applicationLogPath, agent.GetApplicationLogPath().c_str());
    CCrashHandler::AppendToSlot(g_agentLogPath, agent.GetAgentLogPath().c_str());
}

// The arguments without --headless; the container reads the rest.
std::vector<char*> ContainerArguments(int argc, char** argv, bool& headless)
{
    std::vector<char*> arguments;
    headless = false;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], HeadlessOption) == 0)
            headless = true;
        else
            arguments.push_back(argv[i]);
    }
    arguments.push_back(nullptr);
    return arguments;
}

void Say(FILE* stream, const std::string& line)
{
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
}

// The stored install directory, else the user's own, exported as ORVANTE so
// that the agent's and the toolkit's logs land in one place.
std::string PrepareInstallDirectory()
{
    const std::string directory = CInstallDirectory::Choose(CRegistry());
    CInstallDirectory::Export(directory);
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    return directory;
}

// Message boxes and start-up progress of a process without windows: written
// to standard error and to the agent's application log. The defaults come
// back when this goes, before the agent does.
class CHeadlessSinks {
public:
    explicit CHeadlessSinks(CVespera& agent)
        : m_boxes(
              [&agent](const std::string& line) { agent.GetApplicationLog().dprintf("%s", line.c_str()); }),
          m_progress(
              [&agent](const std::string& line) { agent.GetApplicationLog().dprintf("%s", line.c_str()); })
    {
        m_previousBoxes = CMessageBoxSink::SetCurrent(&m_boxes);
        m_previousProgress = CProgressSink::SetCurrent(&m_progress);
    }

    ~CHeadlessSinks()
    {
        CMessageBoxSink::SetCurrent(m_previousBoxes);
        CProgressSink::SetCurrent(m_previousProgress);
    }

    CHeadlessSinks(const CHeadlessSinks&) = delete;
    CHeadlessSinks& operator=(const CHeadlessSinks&) = delete;

private:
    CMessageBoxSink::CHeadless m_boxes;
    CProgressSink::CHeadless m_progress;
    CMessageBoxSink* m_previousBoxes = nullptr;
    CProgressSink* m_previousProgress = nullptr;
};

// False when another instance runs: it has been told to the user. A lock
// that cannot be made at all does not keep the user from the agent.
bool ClaimSingleInstance(CSingleInstance& instance)
{
    switch (instance.Acquire()) {
    case CSingleInstance::Result::Acquired:
        return true;
    case CSingleInstance::Result::AlreadyRunning:
        if (instance.Probe(ProbeTimeoutMs) != CSingleInstance::kProbeMessage)
            Say(stderr, "vespera: the running instance did not answer its probe");
        CMessageBoxSink::Show("An Instace of the Calendar Agent is Already Running",
                              MB_OK | MB_ICONINFORMATION);
        return false;
    case CSingleInstance::Result::Failed:
        Say(stderr, "vespera: running without the single-instance lock: " + instance.GetErrorText());
        return true;
    }
    return true;
}

// The calendar and contact files in the user's data directory, with mail
// going the way the stored settings say. The sender must outlive the
// back-end, which borrows it.
std::shared_ptr<outlook::CFileBackend> MakeCalendarBackend(const std::filesystem::path& data,
                                                           CEventLoop& loop, outlook::CMailSender* sender)
{
    auto backend = std::make_shared<outlook::CFileBackend>(data.string(), &loop);
    backend->SetMailSender(sender);
    return backend;
}

void OnBrokenPipe(int) {}

// A headless agent outlives the terminal or log reader it was started with:
// once that is gone, its writes there fail instead of ending the process. A
// handler rather than SIG_IGN, so that the programs it starts get the
// default back.
void SurviveBrokenPipes()
{
    struct sigaction action {};
    action.sa_handler = OnBrokenPipe;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

// ORVANTE_ALIVE_PERIOD: the timer ticks (seconds) between two renewals of
// the agent's registration, for tests and for name servers with a short
// time-to-live. A value that is not a number from 1 to 86400 is refused.
void ApplyAlivePeriod(CVespera& agent)
{
    const char* text = std::getenv("ORVANTE_ALIVE_PERIOD");
    if (!text || !*text)
        return;
    char* end = nullptr;
    errno = 0;
    const long period = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || period < 1 || period > 86400) {
        Say(stderr,
            std::string("vespera: ORVANTE_ALIVE_PERIOD must be a number of seconds from 1 to 86400, not \"") +
                text + "\"; keeping the default");
        return;
    }
    agent.get_communicator()->set_alive_period(static_cast<int>(period));
}

// ORVANTE_SHUTDOWN_PAUSE_MS caps the pause before the agent goes (in which
// other agents finish with its last messages) and ORVANTE_TICK_MS sets the
// period of its timer: tests and benchmarks need neither at full length.
void ApplyTestTimings(CVespera& agent, CDlgContainer& dialog)
{
    if (const std::optional<unsigned> pause =
            CStartupPause::ParseLimit(std::getenv("ORVANTE_SHUTDOWN_PAUSE_MS")))
        agent.set_shutdown_pause(std::min(*pause, agent.get_shutdown_pause()));
    if (const std::optional<unsigned> tick = CStartupPause::ParseLimit(std::getenv("ORVANTE_TICK_MS")))
        dialog.set_timer_interval(*tick);
}

// Whether the name server took the agent's name, with the address it took
// it for; a name it refused or never heard is said plainly.
void SayRegistration(CVespera& agent)
{
    const std::string name = agent.GetRegisteredName();
    if (agent.GetRegistration().IsRegistered()) {
        Say(stdout,
            "registered " + name + " at " + GetHostAddress() + ":" + std::to_string(agent.get_port()));
        return;
    }
    if (name.empty()) {
        Say(stdout, "not registered: AgentName, ANSHost and ANSPort are not all stored");
        return;
    }
    Say(stdout, "not registered: the name server at " + agent.GetRegistration().GetANSHost() + ":" +
                    agent.GetRegistration().GetANSPortText() + " did not take " + name +
                    "; the agent tries again while it runs");
}

int RunHeadless(std::vector<char*>& arguments)
{
    SurviveBrokenPipes();
    const std::filesystem::path data = CInstallDirectory::UserDataDirectory();
    std::error_code ignored;
    std::filesystem::create_directories(data, ignored);
    CCrashHandler::Install((data / "crash-reports").c_str(), NameLogFilesForCrashReport);
    // The instance serves probes on the loop, so the loop must outlive it.
    CPollEventLoop loop;
    CSingleInstance instance(InstanceName, data.string());
    if (!ClaimSingleInstance(instance))
        return 1;
    const std::string installDirectory = PrepareInstallDirectory();

    std::unique_ptr<outlook::CMailSender> mailSender =
        outlook::CMailSenders::FromRegistry(CRegistry(), data.string());
    auto owned = std::make_unique<CVespera>(MakeCalendarBackend(data, loop, mailSender.get()));
    CVespera* agent = owned.get();
    agent->SetInstallDirectory(installDirectory);
    agent->set_lookup_config(CAgentContainer::LOOKUP_NAME_SERVER);
    agent->set_belief_dump_file((data / CAgentContainer::BELIEF_DUMP_FILE).c_str());
    // Listen where the name server will send other agents: the announced
    // address (ORVANTE_HOST_ADDRESS, else the host name's first IPv4
    // address), so that a registration always names a socket that answers.
    agent->get_communicator()->set_listen_address(GetHostAddress().c_str());
    ApplyAlivePeriod(*agent);
    CDlgContainer dialog(std::move(owned));
    ApplyTestTimings(*agent, dialog);
    CHeadlessSinks sinks(*agent);
    // A hang-up (the terminal it was started from closed) ends it in order
    // too, so that it leaves the name server and removes its PID file.
    loop.HandleSignals({SIGINT, SIGTERM, SIGHUP}, [&dialog](int) { dialog.EndDialog(0); });

    if (!dialog.CreateContainer(static_cast<int>(arguments.size()) - 1, arguments.data(), 1)) {
        CMessageBoxSink::Show("Unable to start agent!", MB_OK | MB_ICONSTOP);
        return 1;
    }
    RememberLogPathsForCrashReport(*agent);
    if (instance.IsHeld() && !instance.ServeProbes(loop))
        Say(stderr, "vespera: a second start cannot probe this instance: " + instance.GetErrorText());
    agent->InitAgent();
    // Where a window would initialise: the bounds of the settings come in
    // front of the stored constraints.
    agent->GetPreferences().RebuildPreferences();
    SayRegistration(*agent);
    Say(stdout, "ready " + std::to_string(agent->get_port()));
    dialog.DoModal();
    return 0;
}

const char* const Usage =
    "usage: vespera --headless [-name NAME] [-port N] [-ans HOST] [-ansport N] [-noans] [-unique]\n"
    "\n"
    "Runs the calendar agent of the current user without a window, on the calendar and contacts\n"
    "in $XDG_DATA_HOME/orvante, registered with the name server that the stored settings name\n"
    "(AgentName, ANSHost, ANSPort; see vespera-reg). It serves until SIGINT, SIGTERM or SIGHUP.\n"
    "\n"
    "  --headless   run without a window (the only host built so far)\n"
    "  -port N      listen on port N instead of one the system chooses\n"
    "  --help       print this text and exit\n";

bool AsksForHelp(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (AsksForHelp(argc, argv)) {
        std::fputs(Usage, stdout);
        return 0;
    }
    bool headless = false;
    std::vector<char*> arguments = ContainerArguments(argc, argv, headless);
    if (!headless) {
        Say(stderr, "vespera: the windowed program is not built yet; run it with --headless");
        return 2;
    }
    return RunHeadless(arguments);
}
