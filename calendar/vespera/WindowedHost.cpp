// The agent with its window: the main window carries the agent's sockets and
// timer on Qt's event loop, and shows its boxes, progress and balloons. It
// runs until the window is closed (or SIGINT, SIGTERM, SIGHUP).

#include "AgentHost.h"
#include "Hosts.h"

#include <vespera/ui/QtEventLoop.h>
#include <vespera/ui/QtSinks.h>
#include <vespera/ui/VesperaDlg.h>

#include <vespera/core/Vespera.h>

#include <basekit/Debug.h>
#include <outlook/MailSender.h>
#include <platform/MessageBoxSink.h>
#include <platform/ProgressSink.h>
#include <platform/SingleInstance.h>

#include <QApplication>

#include <csignal>

using namespace agenthost;

namespace {

// Boxes go to standard error and the application log as well as on screen,
// so that what the user was shown can be read afterwards.
class CWindowSinks {
public:
    CWindowSinks()
        : m_boxes([this](const std::string& line) {
              Say(stderr, line);
              if (m_agent)
                  m_agent->GetApplicationLog().dprintf("%s", line.c_str());
          }),
          m_installed(m_boxes, m_progress)
    {
        CUserTimeFormat::SetCurrent(&m_times);
    }
    ~CWindowSinks() { CUserTimeFormat::SetCurrent(nullptr); }

    void LogTo(CVespera* agent) { m_agent = agent; }

private:
    CVespera* m_agent = nullptr;
    CQtMessageBoxSink m_boxes;
    CStartupProgressWindow m_progress;
    CQtUserTimeFormat m_times;
    CInstalledSinks m_installed;
};

} // namespace

int RunWindowed(std::vector<char*>& arguments)
{
    static int argc = 1;
    QApplication application(argc, arguments.data());
    QApplication::setApplicationName("vespera");
    // The window hides into the notification area: that is no reason to end.
    QApplication::setQuitOnLastWindowClosed(false);
    const std::filesystem::path data = PrepareDataDirectory();
    CQtEventLoop loop;
    CEventLoop::SetCurrent(&loop);
    CWindowSinks sinks;
    CSingleInstance instance(InstanceName, data.string());
    if (!ClaimSingleInstance(instance))
        return 1;

    std::unique_ptr<outlook::CMailSender> mailSender;
    std::unique_ptr<CVespera> owned = MakeAgent(data, loop, mailSender);
    CVespera* agent = owned.get();
    auto window = std::make_unique<CVesperaDlg>(std::move(owned));
    ApplyTestTimings(*agent, *window);
    sinks.LogTo(agent);
    loop.HandleSignals({SIGINT, SIGTERM, SIGHUP}, [&window](int) { window->EndDialog(0); });

    window->SetTrayAppearedHandler([] { Say(stdout, "tray icon shown"); });
    if (!CreateAgentContainer(*window, *agent, arguments, instance, loop))
        return 1;
    // Told once the window has initialised (and registered the agent).
    loop.Post([agent, &window] {
        SayRegistration(*agent);
        Say(stdout, window->IsTrayCreated()
                        ? "tray icon shown"
                        : "no notification area yet: the window stands alone until a panel shows its icon");
        SayReady(*agent);
    });
    window->DoModal();
    sinks.LogTo(nullptr);
    window.reset();
    return 0;
}
