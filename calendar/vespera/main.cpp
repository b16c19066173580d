// vespera: the calendar agent. Only the headless host exists so far: it runs
// the agent on a poll loop, registered from the stored registry values,
// until SIGINT or SIGTERM.

#include <vespera/core/InstallDirectory.h>
#include <vespera/core/Vespera.h>

#include <agentkit/DlgContainer.h>
#include <basekit/Debug.h>
#include <platform/MessageBoxSink.h>
#include <platform/PollEventLoop.h>
#include <platform/ProgressSink.h>
#include <platform/Registry.h>
#include <wirekit/Communicator.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr const char* HeadlessOption = "--headless";

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
class CHeadlessSinks
{
public:
    explicit CHeadlessSinks(CVespera& agent)
        : m_boxes([&agent](const std::string& line) { agent.GetApplicationLog().dprintf("%s", line.c_str()); }),
          m_progress([&agent](const std::string& line) { agent.GetApplicationLog().dprintf("%s", line.c_str()); })
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

int RunHeadless(std::vector<char*>& arguments)
{
    const std::string installDirectory = PrepareInstallDirectory();
    const std::filesystem::path data = CInstallDirectory::UserDataDirectory();
    std::error_code ignored;
    std::filesystem::create_directories(data, ignored);

    CPollEventLoop loop;
    auto owned = std::make_unique<CVespera>();
    CVespera* agent = owned.get();
    agent->SetInstallDirectory(installDirectory);
    agent->set_lookup_config(CAgentContainer::LOOKUP_NAME_SERVER);
    agent->set_belief_dump_file((data / CAgentContainer::BELIEF_DUMP_FILE).c_str());
    agent->get_communicator()->set_listen_address("127.0.0.1");
    CDlgContainer dialog(std::move(owned));
    CHeadlessSinks sinks(*agent);
    loop.HandleSignals({SIGINT, SIGTERM}, [&dialog](int) { dialog.EndDialog(0); });

    if (!dialog.CreateContainer(static_cast<int>(arguments.size()) - 1, arguments.data(), 1)) {
        CMessageBoxSink::Show("Unable to start agent!", MB_OK | MB_ICONSTOP);
        return 1;
    }
    agent->InitAgent();
    if (!agent->GetRegisteredName().empty())
        Say(stdout, "registered " + agent->GetRegisteredName() + " at " + agent->GetANSHost() + ":" +
                        agent->GetANSPortText());
    Say(stdout, "ready " + std::to_string(agent->get_port()));
    dialog.DoModal();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    bool headless = false;
    std::vector<char*> arguments = ContainerArguments(argc, argv, headless);
    if (!headless) {
        Say(stderr, "vespera: the windowed program is not built yet; run it with --headless");
        return 2;
    }
    return RunHeadless(arguments);
}
