// vespera: the calendar agent. Only the headless host exists so far: it runs
// the agent on a poll loop, registered from the stored registry values,
// until SIGINT or SIGTERM.

#include <vespera/core/Vespera.h>

#include <agentkit/DlgContainer.h>
#include <platform/PollEventLoop.h>
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

// The agent's files go with the user's other data, so that agents of several
// users (each with their own HOME or XDG_DATA_HOME) never share them.
std::filesystem::path DataDirectory()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data)
        return std::filesystem::path(data) / "orvante";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".local" / "share" / "orvante";
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

int RunHeadless(std::vector<char*>& arguments)
{
    std::error_code ignored;
    const std::filesystem::path data = DataDirectory();
    std::filesystem::create_directories(data, ignored);

    CPollEventLoop loop;
    auto owned = std::make_unique<CVespera>();
    CVespera* agent = owned.get();
    agent->set_lookup_config(CAgentContainer::LOOKUP_NAME_SERVER);
    agent->set_belief_dump_file((data / CAgentContainer::BELIEF_DUMP_FILE).c_str());
    agent->get_communicator()->set_listen_address("127.0.0.1");
    CDlgContainer dialog(std::move(owned));
    loop.HandleSignals({SIGINT, SIGTERM}, [&dialog](int) { dialog.EndDialog(0); });

    if (!dialog.CreateContainer(static_cast<int>(arguments.size()) - 1, arguments.data(), 1)) {
        Say(stderr, "Unable to start agent!");
        return 1;
    }
    if (agent->LoadRegInfo())
        Say(stdout, "registered " + agent->GetRegisteredName() + " at " + agent->GetANSHost() + ":" +
                        agent->GetANSPortText());
    else
        Say(stderr, "The Agent is not registered with the ANS.");
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
