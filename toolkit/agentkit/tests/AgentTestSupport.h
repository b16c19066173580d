#pragma once

// Shared by the container tests: a private toolkit home, a recording agent,
// a loop driver that runs until a condition holds, log files read back
// without their line prefixes, and a blocking TCP peer on 127.0.0.1.

#include <agentkit/AgentContainer.h>
#include <agentkit/DlgContainer.h>

#include <basekit/CommandLine.h>
#include <platform/EventLoop.h>
#include <platform/testing/LoopWait.h>
#include <platform/testing/Peer.h>
#include <wirekit/Communicator.h>
#include <wirekit/InterfaceModule.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace agenttest {

constexpr const char* kLoopback = "127.0.0.1";
using loopwait::kDeadline;

// A fresh $ORVANTE for one test; the agents' address is 127.0.0.1.
class CTempHome {
public:
    CTempHome()
    {
        char pattern[] = "/tmp/agentkit-test-XXXXXX";
        const char* dir = mkdtemp(pattern);
        path = dir ? dir : "/tmp";
        setenv("ORVANTE", path.c_str(), 1);
        setenv("ORVANTE_HOST_ADDRESS", kLoopback, 1);
    }
    ~CTempHome()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    CTempHome(const CTempHome&) = delete;
    CTempHome& operator=(const CTempHome&) = delete;

    std::string file(const std::string& name) const { return path + "/" + name; }

    std::string path;
};

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every line of a debug log without its "[counter] [time] " prefix.
inline std::vector<std::string> LogLines(const std::string& path)
{
    std::vector<std::string> out;
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        const size_t counter_end = line.find("] ");
        const size_t time_end =
            counter_end == std::string::npos ? counter_end : line.find("] ", counter_end + 2);
        out.push_back(time_end == std::string::npos ? line : line.substr(time_end + 2));
    }
    return out;
}

// The position of the first line equal to `text` at or after `from`, or -1.
inline int FindLine(const std::vector<std::string>& lines, const std::string& text, int from = 0)
{
    for (size_t i = static_cast<size_t>(std::max(from, 0)); i < lines.size(); ++i)
        if (lines[i] == text)
            return static_cast<int>(i);
    return -1;
}

inline int CountLines(const std::vector<std::string>& lines, const std::string& text)
{
    return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

// Keeps every text the interface module shows: the container's log lines.
class CLineSink : public CInterfaceModule::CTextSink {
public:
    void show_text(const char* text) override { lines.emplace_back(text); }
    int count(const std::string& text) const { return CountLines(lines, text); }
    std::vector<std::string> lines;
};

// A container that records what reaches its hooks.
// Its beliefs are not dumped unless a test asks, so that no test writes into
// the current directory.
class CRecordingAgent : public CAgentContainer {
public:
    CRecordingAgent() { set_belief_dump_file(nullptr); }
    explicit CRecordingAgent(const char* name) : CAgentContainer(name) { set_belief_dump_file(nullptr); }

    int process_message(char* text) override
    {
        messages.emplace_back(text);
        connections.push_back(get_current_connection());
        if (on_message)
            on_message(text);
        return 1;
    }
    void process_create() override { ++creates; }
    void process_init() override
    {
        ++inits;
        if (on_init)
            on_init();
    }
    void process_timer() override
    {
        ++timers;
        if (on_timer)
            on_timer();
    }
    void process_internal() override { ++internals; }
    void process_shutdown() override { ++shutdowns; }
    void handle_parse_args(CCommandLine* commandline) override
    {
        const char* extra = commandline->find_token("extra");
        own_option = extra ? extra : "";
    }

    std::vector<std::string> messages;
    std::vector<CClientSocket*> connections;
    std::function<void(const char*)> on_message;
    std::function<void()> on_init;
    std::function<void()> on_timer;
    int creates = 0;
    int inits = 0;
    int timers = 0;
    int internals = 0;
    int shutdowns = 0;
    std::string own_option;
};

// A recording agent in its own dialog window, set up the way the tests run
// agents: no shutdown pause, its belief dump and debug log in the test's home,
// listening on 127.0.0.1 only.
class CHostedAgent {
public:
    CHostedAgent(CTempHome& home, const std::string& name, int lookup_mask = 0)
        : log_path(home.file(name + "-debug.txt"))
    {
        auto owned = std::make_unique<CRecordingAgent>(name.c_str());
        recording = owned.get();
        recording->set_shutdown_pause(0);
        recording->set_belief_dump_file(home.file(name + "-BeliefDB.txt").c_str());
        recording->set_lookup_config(lookup_mask);
        recording->get_communicator()->set_listen_address(kLoopback);
        recording->set_file(log_path.c_str());
        window = std::make_unique<CDlgContainer>(std::move(owned));
    }

    // CreateContainer with the program name and `args`; the interface
    // module's display is recorded from then on.
    int create(const std::vector<std::string>& args = {}, unsigned flags = 0)
    {
        arguments = {"agent"};
        arguments.insert(arguments.end(), args.begin(), args.end());
        pointers.clear();
        for (std::string& argument : arguments)
            pointers.push_back(argument.data());
        pointers.push_back(nullptr);
        const int result =
            window->CreateContainer(static_cast<int>(arguments.size()), pointers.data(), flags);
        if (recording->get_interface_module())
            recording->get_interface_module()->set_status(&sink);
        return result;
    }

    // Arguments that point the agent at a name server on 127.0.0.1.
    static std::vector<std::string> ans_args(unsigned port)
    {
        return {"-ans", kLoopback, "-ansport", std::to_string(port)};
    }

    CRecordingAgent& agent() { return *recording; }
    CDlgContainer& dlg() { return *window; }
    unsigned port() { return static_cast<unsigned>(recording->get_port()); }
    std::vector<std::string> log() const { return LogLines(log_path); }
    // Destroys the window and with it the agent.
    void destroy()
    {
        recording = nullptr;
        window.reset();
    }

    std::string log_path;
    CLineSink sink;

private:
    CRecordingAgent* recording = nullptr;
    std::unique_ptr<CDlgContainer> window;
    std::vector<std::string> arguments;
    std::vector<char*> pointers;
};

using loopwait::DeliverPosted;
using loopwait::RunUntil;

using testsupport::CPeer;

// A closed port: bound once by the system and released, so nothing listens.
inline unsigned ClosedPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, kLoopback, &address.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

// One KQML message as another agent writes it, ended by 0x04.
inline std::string Kqml(const std::string& sender, const std::string& receiver, const std::string& content,
                        const std::string& extra = "")
{
    return "(tell :sender " + sender + " :receiver " + receiver + extra + " :content " + content + ")\x04";
}

} // namespace agenttest
