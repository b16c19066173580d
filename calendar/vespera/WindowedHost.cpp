// The agent with its window: the main window carries the agent's sockets and
// timer on Qt's event loop, and shows its boxes, progress and balloons. It
// runs until the window is closed (or SIGINT, SIGTERM, SIGHUP).

#include "AgentHost.h"
#include "Hosts.h"

#include <vespera/ui/QtEventLoop.h>
#include <vespera/ui/QtSinks.h>
#include <vespera/ui/VesperaDlg.h>

#include <vespera/core/LaunchOptions.h>
#include <vespera/core/ScheduleAddress.h>
#include <vespera/core/Vespera.h>

#include <basekit/Debug.h>
#include <outlook/MailSender.h>
#include <platform/MessageBoxSink.h>
#include <platform/ProgressSink.h>
#include <platform/SingleInstance.h>

#include <QApplication>
#include <QTimer>

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

// What a later start asks of this one. The text comes from outside: an
// address is taken only as a command line's would be. The work is posted,
// since a request is answered from the socket's callback.
bool AnswerLaterStart(CVesperaDlg& window, std::uint32_t request, const std::string& text)
{
    if (request == RaiseRequest && text.empty()) {
        QTimer::singleShot(0, &window, [&window] { window.BringToFront(); });
        return true;
    }
    if (request != OpenScheduleRequest)
        return false;
    std::string error;
    const std::optional<std::string> address = CScheduleAddress::FromArgument(text, std::string(), error);
    if (!address) {
        Say(stderr, "vespera: a later start asked for a schedule that is refused: " + error);
        return false;
    }
    window.Agent().LogLine("A later start asked to open " + *address);
    QTimer::singleShot(0, &window, [&window, schedule = *address] { window.OpenSchedule(schedule); });
    return true;
}

} // namespace

int RunWindowed(CLaunchOptions& options)
{
    static int argc = 1;
    QApplication application(argc, options.ContainerArguments().data());
    QApplication::setApplicationName("vespera");
    // The desktop matches the windows (and the icon) to the installed entry.
    QGuiApplication::setDesktopFileName("orvante-vespera");
    // The window hides into the notification area: that is no reason to end.
    QApplication::setQuitOnLastWindowClosed(false);
    const std::filesystem::path data = PrepareDataDirectory();
    CQtEventLoop loop;
    CEventLoop::SetCurrent(&loop);
    CWindowSinks sinks;
    CSingleInstance instance(InstanceName, data.string());
    int exitCode = 0;
    if (!ClaimSingleInstance(instance, options, exitCode))
        return exitCode;

    std::unique_ptr<outlook::CMailSender> mailSender;
    std::unique_ptr<CVespera> owned = MakeAgent(data, loop, mailSender);
    CVespera* agent = owned.get();
    auto window = std::make_unique<CVesperaDlg>(std::move(owned));
    window->SetStartedWithSession(options.IsAutostart());
    window->SetScheduleAtStart(options.GetSchedule());
    ApplyTestTimings(*agent, *window);
    sinks.LogTo(agent);
    loop.HandleSignals({SIGINT, SIGTERM, SIGHUP}, [&window](int) { window->EndDialog(0); });

    window->SetTrayAppearedHandler([] { Say(stdout, "tray icon shown"); });
    instance.SetRequestHandler([&window](std::uint32_t request, const std::string& text) {
        return AnswerLaterStart(*window, request, text);
    });
    if (!CreateAgentContainer(*window, *agent, options.ContainerArguments(), instance, loop))
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
    instance.SetRequestHandler(nullptr);
    window.reset();
    return 0;
}
