#include "AgentHost.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/InstallDirectory.h>
#include <vespera/core/LaunchOptions.h>
#include <vespera/core/NameServerRegistration.h>
#include <vespera/core/ScheduleSubscriptions.h>
#include <vespera/core/StartupPause.h>
#include <vespera/core/Vespera.h>

#include <agentkit/DlgContainer.h>
#include <outlook/CalendarStores.h>
#include <outlook/MailSenders.h>
#include <platform/CrashHandler.h>
#include <platform/HostAddress.h>
#include <platform/MessageBoxSink.h>
#include <platform/ProgressSink.h>
#include <platform/Registry.h>
#include <platform/SingleInstance.h>
#include <wirekit/Communicator.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <unistd.h>

namespace agenthost {

namespace {

constexpr int ProbeTimeoutMs = 200;
// A running agent answers a request as soon as its loop is free: a busy
// one gets longer than a probe.
constexpr int RequestTimeoutMs = 2000;

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

} // namespace

void RememberLogPathsForCrashReport(const CVespera& agent)
{
    g_applicationLogPath[0] = '\0';
    g_agentLogPath[0] = '\0';
    CCrashHandler::AppendToSlot(g_applicationLogPath, agent.GetApplicationLogPath().c_str());
    CCrashHandler::AppendToSlot(g_agentLogPath, agent.GetAgentLogPath().c_str());
}

namespace {

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

// The calendar store the settings ask for (the files in the user's data
// directory, or a CalDAV server), with mail going the way they say. The
// sender must outlive the back-end, which borrows it. A setting that cannot
// work is said on standard error.
std::shared_ptr<outlook::CBackend> MakeCalendarBackend(const std::filesystem::path& data, CEventLoop& loop,
                                                       outlook::CMailSender* sender)
{
    outlook::CCalendarStores::SStore store =
        outlook::CCalendarStores::FromRegistry(CRegistry(), data.string(), &loop);
    if (!store.note.empty())
        Say(stderr, "vespera: " + store.note);
    store.backend->SetMailSender(sender);
    return store.backend;
}

} // namespace

void Say(FILE* stream, const std::string& line)
{
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
}

namespace {

// What a start does when another instance runs: hand it the schedule, or
// bring its window forward and say that it runs. The exit code.
int DeferToRunningInstance(const CSingleInstance& instance, const CLaunchOptions& options)
{
    const std::string& schedule = options.GetSchedule();
    if (!schedule.empty()) {
        if (instance.Request(OpenScheduleRequest, schedule, RequestTimeoutMs) == OpenScheduleRequest) {
            Say(stdout, "handed " + schedule + " to the agent that runs");
            return 0;
        }
        Say(stderr, "vespera: the agent that runs did not open " + schedule +
                        " (it runs without a window, or does not answer)");
        CMessageBoxSink::Show("The Calendar Agent that runs could not open " + schedule,
                              MB_OK | MB_ICONEXCLAMATION);
        return 1;
    }
    if (options.IsAutostart()) {
        Say(stderr, "vespera: the agent runs already; nothing to start with the session");
        return 0;
    }
    if (instance.Request(RaiseRequest, std::string(), RequestTimeoutMs) != RaiseRequest &&
        instance.Probe(ProbeTimeoutMs) != CSingleInstance::kProbeMessage)
        Say(stderr, "vespera: the running instance did not answer its probe");
    CMessageBoxSink::Show("An Instace of the Calendar Agent is Already Running", MB_OK | MB_ICONINFORMATION);
    return 1;
}

} // namespace

bool ClaimSingleInstance(CSingleInstance& instance, const CLaunchOptions& options, int& exitCode)
{
    switch (instance.Acquire()) {
    case CSingleInstance::Result::Acquired:
        return true;
    case CSingleInstance::Result::AlreadyRunning:
        exitCode = DeferToRunningInstance(instance, options);
        return false;
    case CSingleInstance::Result::Failed:
        Say(stderr, "vespera: running without the single-instance lock: " + instance.GetErrorText());
        return true;
    }
    return true;
}

namespace {

void OnBrokenPipe(int) {}

} // namespace

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

namespace {

// A number of seconds from 1 to 86400 in the variable `name`; nullopt when
// it is not set, and (said on standard error) when it holds anything else.
std::optional<int> SecondsFromEnvironment(const char* name)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long seconds = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || seconds < 1 || seconds > 86400) {
        Say(stderr, std::string("vespera: ") + name + " must be a number of seconds from 1 to 86400, not \"" +
                        text + "\"; keeping the default");
        return std::nullopt;
    }
    return static_cast<int>(seconds);
}

// ORVANTE_ALIVE_PERIOD: the timer ticks (seconds) between two renewals of
// the agent's registration, for tests and for name servers with a short
// time-to-live.
void ApplyAlivePeriod(CVespera& agent)
{
    if (const std::optional<int> period = SecondsFromEnvironment("ORVANTE_ALIVE_PERIOD"))
        agent.get_communicator()->set_alive_period(*period);
}

} // namespace

// ORVANTE_SHUTDOWN_PAUSE_MS caps the pause before the agent goes (in which
// other agents finish with its last messages), ORVANTE_TICK_MS sets the
// period of its timer and ORVANTE_SCHEDULE_REFRESH_SECONDS the period of
// the subscriptions in seconds: tests and benchmarks need none of them at
// full length.
void ApplyTestTimings(CVespera& agent, CDlgContainer& dialog)
{
    if (const std::optional<int> refresh = SecondsFromEnvironment("ORVANTE_SCHEDULE_REFRESH_SECONDS"))
        agent.GetScheduleSubscriptions().SetRefreshSeconds(*refresh);
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

std::filesystem::path PrepareDataDirectory()
{
    const std::filesystem::path data = CInstallDirectory::UserDataDirectory();
    std::error_code ignored;
    std::filesystem::create_directories(data, ignored);
    CCrashHandler::Install((data / "crash-reports").c_str(), NameLogFilesForCrashReport);
    return data;
}

std::unique_ptr<CVespera> MakeAgent(const std::filesystem::path& data, CEventLoop& loop,
                                    std::unique_ptr<outlook::CMailSender>& mailSender)
{
    const std::string installDirectory = PrepareInstallDirectory();
    mailSender = outlook::CMailSenders::FromRegistry(CRegistry(), data.string());
    auto agent = std::make_unique<CVespera>(MakeCalendarBackend(data, loop, mailSender.get()));
    agent->SetInstallDirectory(installDirectory);
    agent->GetSettings().StoreFirstRunBounds();
    agent->set_belief_dump_file((data / CAgentContainer::BELIEF_DUMP_FILE).c_str());
    // Listen where the name server will send other agents: the announced
    // address (ORVANTE_HOST_ADDRESS, else the host name's first IPv4
    // address), so that a registration always names a socket that answers.
    agent->get_communicator()->set_listen_address(GetHostAddress().c_str());
    ApplyAlivePeriod(*agent);
    return agent;
}

bool CreateAgentContainer(CDlgContainer& dialog, CVespera& agent, std::vector<char*>& arguments,
                          CSingleInstance& instance, CEventLoop& loop)
{
    if (!dialog.CreateContainer(static_cast<int>(arguments.size()) - 1, arguments.data(), 1)) {
        CMessageBoxSink::Show("Unable to start agent!", MB_OK | MB_ICONSTOP);
        return false;
    }
    RememberLogPathsForCrashReport(agent);
    if (instance.IsHeld() && !instance.ServeProbes(loop))
        Say(stderr, "vespera: a second start cannot probe this instance: " + instance.GetErrorText());
    return true;
}

CInstalledSinks::CInstalledSinks(CMessageBoxSink& boxes, CProgressSink& progress)
    : m_previousBoxes(CMessageBoxSink::SetCurrent(&boxes)),
      m_previousProgress(CProgressSink::SetCurrent(&progress))
{
}

CInstalledSinks::~CInstalledSinks()
{
    CMessageBoxSink::SetCurrent(m_previousBoxes);
    CProgressSink::SetCurrent(m_previousProgress);
}

void SayReady(CVespera& agent)
{
    Say(stdout, "ready " + std::to_string(agent.get_port()));
}

} // namespace agenthost
