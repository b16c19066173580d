// The agent without a window: on a poll loop over the user's calendar and
// contact files, registered from the stored registry values, until SIGINT,
// SIGTERM or SIGHUP.

#include "AgentHost.h"
#include "Hosts.h"

#include <vespera/core/LaunchOptions.h>
#include <vespera/core/Preferences.h>
#include <vespera/core/Vespera.h>

#include <agentkit/DlgContainer.h>
#include <basekit/Debug.h>
#include <outlook/MailSender.h>
#include <platform/MessageBoxSink.h>
#include <platform/PollEventLoop.h>
#include <platform/ProgressSink.h>
#include <platform/SingleInstance.h>

#include <csignal>

using namespace agenthost;

namespace {

// Message boxes and start-up progress of a process without windows: written
// to standard error and to the agent's application log. The defaults come
// back when this goes, before the agent does.
class CHeadlessSinks {
public:
    explicit CHeadlessSinks(CVespera& agent)
        : m_boxes(
              [&agent](const std::string& line) { agent.GetApplicationLog().dprintf("%s", line.c_str()); }),
          m_progress(
              [&agent](const std::string& line) { agent.GetApplicationLog().dprintf("%s", line.c_str()); }),
          m_installed(m_boxes, m_progress)
    {
    }

private:
    CMessageBoxSink::CHeadless m_boxes;
    CProgressSink::CHeadless m_progress;
    CInstalledSinks m_installed;
};

} // namespace

int RunHeadless(CLaunchOptions& options)
{
    SurviveBrokenPipes();
    const std::filesystem::path data = PrepareDataDirectory();
    // The instance serves probes on the loop, so the loop must outlive it.
    CPollEventLoop loop;
    CSingleInstance instance(InstanceName, data.string());
    int exitCode = 0;
    if (!ClaimSingleInstance(instance, options, exitCode))
        return exitCode;
    // Without a window there is no browser: a later start that asks for
    // one is refused (no request handler), and so is this one.
    if (!options.GetSchedule().empty()) {
        Say(stderr,
            "vespera: " + options.GetSchedule() +
                " can only be opened in the agent's window: start it with a display, without --headless");
        return 2;
    }
    std::unique_ptr<outlook::CMailSender> mailSender;
    std::unique_ptr<CVespera> owned = MakeAgent(data, loop, mailSender);
    CVespera* agent = owned.get();
    CDlgContainer dialog(std::move(owned));
    ApplyTestTimings(*agent, dialog);
    CHeadlessSinks sinks(*agent);
    // A hang-up (the terminal it was started from closed) ends it in order
    // too, so that it leaves the name server and removes its PID file.
    loop.HandleSignals({SIGINT, SIGTERM, SIGHUP}, [&dialog](int) { dialog.EndDialog(0); });

    if (!CreateAgentContainer(dialog, *agent, options.ContainerArguments(), instance, loop))
        return 1;
    agent->InitAgent();
    // Where a window would initialise: the bounds of the settings come in
    // front of the stored constraints.
    agent->GetPreferences().RebuildPreferences();
    SayRegistration(*agent);
    SayReady(*agent);
    dialog.DoModal();
    return 0;
}
