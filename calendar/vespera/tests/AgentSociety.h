#pragma once

// A small agent society of real processes for the calendar agent's process
// tests: a name server, headless agents that each have their own home, XDG
// directories and registry (written with vespera-reg), and agent-tell to
// talk to them. Every wait is bounded and waits on something the processes
// say (a line on standard output, a log line, a reply), never on a fixed
// pause.
//
// Needs VESPERA_BINARY, AGENT_TELL_BINARY and VESPERA_REG_BINARY defined by
// the build.

#include "ChildProcess.h"

#include <ansd/testing/AnsdProcess.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vesperaprocess
{

const char* const SettingsKey = "Software\\ORVANTE\\CalendarAgent";

// Generous, because several sanitised agents share a small, loaded machine.
constexpr std::chrono::seconds Deadline{90};
constexpr std::chrono::milliseconds PollInterval{50};

// How many times `needle` occurs in `text`, without overlaps.
inline std::size_t CountOf(const std::string& text, const std::string& needle)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

// The lines of `log` that show a message arriving from `sender` whose
// content holds `piece`, in the order of the log.
inline std::vector<std::string> IncomingLines(const std::string& log, const std::string& sender,
                                              const std::string& piece)
{
    std::vector<std::string> found;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
    {
        if (line.find("[<-]") != std::string::npos && line.find(":sender " + sender + " ") != std::string::npos &&
            line.find(piece) != std::string::npos)
            found.push_back(line);
    }
    return found;
}

// The word after `key` (which includes its colon and trailing blank) in
// `line`; empty when the key is not there.
inline std::string WordAfter(const std::string& line, const std::string& key)
{
    const std::size_t at = line.find(key);
    if (at == std::string::npos)
        return std::string();
    const std::size_t from = at + key.size();
    return line.substr(from, line.find(' ', from) - from);
}

// One headless agent with a home of its own; its log files land under
// <home>/Logfiles.
struct SAgentProcess
{
    std::string name;
    std::filesystem::path home;
    std::unique_ptr<agenttest::CChildProcess> process;

    // Everything the agent has logged so far, all its log files together.
    std::string Log() const
    {
        std::string text;
        std::error_code error;
        const std::filesystem::path logs = home / "Logfiles";
        if (!std::filesystem::exists(logs, error))
            return text;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(logs, error))
        {
            if (!entry.is_regular_file(error))
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::stringstream content;
            content << in.rdbuf();
            text += content.str();
        }
        return text;
    }

    std::string Errors() const { return process ? process->Errors() : std::string(); }
};

// What an agent is started with, beyond its name and the name server: more
// registry values, and time constraints as `vespera-reg constraint add`
// arguments.
struct SAgentSetup
{
    std::string name;
    std::string label;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::vector<std::string>> constraints;
};

// A line that an agent's log must hold at least `times` times.
struct SExpectedLine
{
    const SAgentProcess* agent;
    std::string text;
    std::size_t times;
};

// The name server and the agents of one test; everything goes, processes
// and files, when it is destroyed. Children inherit the environment, which
// is pointed at each agent's home just before it is started.
class CAgentSociety
{
public:
    CAgentSociety()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vespera-society-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_root = pattern;
        setenv("ORVANTE_HOST_ADDRESS", "127.0.0.1", 1);
        // The agents' start-up pauses only slow the tests down.
        setenv("ORVANTE_STARTUP_PAUSE_MS", "0", 1);
    }

    ~CAgentSociety()
    {
        m_agents.clear();
        m_ansd.reset();
        std::error_code ignored;
        if (!m_root.empty())
            std::filesystem::remove_all(m_root, ignored);
    }

    CAgentSociety(const CAgentSociety&) = delete;
    CAgentSociety& operator=(const CAgentSociety&) = delete;

    // Starts the name server; false (with Failure()) when it does not come up.
    bool StartNameServer()
    {
        if (m_root.empty())
            return Fail("no temporary directory");
        m_ansd = std::make_unique<CAnsdProcess>(m_root.string());
        if (!m_ansd->Start())
            return Fail("the name server did not start: " + m_ansd->Errors());
        return true;
    }

    unsigned NameServerPort() const { return m_ansd ? m_ansd->port : 0; }
    const std::filesystem::path& Root() const { return m_root; }

    // Starts one agent registered as setup.name and waits until it says it
    // is registered and ready. The organiser-style long report is on for
    // every agent, so that a finished negotiation leaves its balloon line
    // in the log. Null (with Failure()) when it does not come up.
    SAgentProcess* StartAgent(const SAgentSetup& setup)
    {
        SAgentProcess agent{setup.name, m_root / setup.label, std::make_unique<agenttest::CChildProcess>()};
        PointEnvironmentAt(agent.home);
        if (!StoreSettings(setup))
            return nullptr;
        if (!agent.process->Start(VESPERA_BINARY, {"--headless"}, (agent.home / "vespera.err").string()))
        {
            Fail("cannot start " + setup.name);
            return nullptr;
        }
        const std::string registered =
            "registered " + setup.name + " at 127.0.0.1:" + std::to_string(NameServerPort());
        if (!WaitForStdoutLine(agent, registered) || !WaitForStdoutPrefix(agent, "ready "))
            return nullptr;
        m_agents.push_back(std::make_unique<SAgentProcess>(std::move(agent)));
        return m_agents.back().get();
    }

    // Sends `content` to `receiver` and returns the content of the one
    // reply, or a marker text starting with "<" when there was none.
    std::string Tell(const std::string& receiver, const std::string& content, int waitSeconds = 30)
    {
        agenttest::CChildProcess tell;
        const std::vector<std::string> args{"-ans", "127.0.0.1", "-ansport", std::to_string(NameServerPort()),
                                             "--wait", std::to_string(waitSeconds), receiver, content};
        if (!tell.Start(AGENT_TELL_BINARY, args, (m_root / "tell.err").string()))
            return "<agent-tell not started>";
        const int status = tell.Wait((waitSeconds + 20) * 1000);
        if (status != 0 || tell.lines.size() != 1)
            return "<no single reply> " + tell.Errors();
        m_lastReply = tell.lines[0];
        return ReplyContent(m_lastReply);
    }

    // Sends `content` without waiting for any answer; true when it went out.
    bool TellOnly(const std::string& receiver, const std::string& content)
    {
        agenttest::CChildProcess tell;
        const std::vector<std::string> args{"-ans", "127.0.0.1", "-ansport", std::to_string(NameServerPort()),
                                             "--wait", "0", receiver, content};
        if (!tell.Start(AGENT_TELL_BINARY, args, (m_root / "tell.err").string()))
            return Fail("agent-tell not started");
        if (tell.Wait() != 0)
            return Fail("agent-tell could not send: " + tell.Errors());
        return true;
    }

    // True once every expected line is in its agent's log.
    static bool WaitForLines(const std::vector<SExpectedLine>& wanted)
    {
        const auto deadline = std::chrono::steady_clock::now() + Deadline;
        for (;;)
        {
            bool all = true;
            for (const SExpectedLine& line : wanted)
                all = all && CountOf(line.agent->Log(), line.text) >= line.times;
            if (all)
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(PollInterval);
        }
    }

    // Every agent's log, labelled, for failure messages.
    std::string AllLogs() const
    {
        std::string text;
        for (const auto& agent : m_agents)
            text += "\n==== " + agent->name + " ====\n" + agent->Log() + "\n---- stderr ----\n" + agent->Errors();
        return text;
    }

    // Asks every agent to end and true when all ended with status 0. All
    // are told first, because each lingers a while before it ends.
    bool StopAgents()
    {
        for (const auto& agent : m_agents)
            agent->process->Signal(SIGTERM);
        bool clean = true;
        for (const auto& agent : m_agents)
        {
            if (agent->process->Wait() != 0)
                clean = Fail(agent->name + " did not end cleanly: " + agent->Errors());
        }
        return clean;
    }

    const std::string& Failure() const { return m_failure; }
    // The whole message of the last reply Tell read.
    const std::string& LastReply() const { return m_lastReply; }

    // The content of a reply line as agent-tell prints it.
    static std::string ReplyContent(const std::string& reply)
    {
        const std::string open = ":content ( ";
        const std::size_t from = reply.find(open);
        const std::size_t to = reply.rfind(" ))");
        if (from == std::string::npos || to == std::string::npos || to < from + open.size())
            return "<unreadable> " + reply;
        return reply.substr(from + open.size(), to - from - open.size());
    }

private:
    static void PointEnvironmentAt(const std::filesystem::path& home)
    {
        for (const char* dir : {"config", "data", "run", "registry"})
            std::filesystem::create_directories(home / dir);
        setenv("HOME", home.c_str(), 1);
        setenv("ORVANTE", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
        setenv("ORVANTE_REGISTRY_DIR", (home / "registry").c_str(), 1);
    }

    bool StoreSettings(const SAgentSetup& setup)
    {
        std::vector<std::pair<std::string, std::string>> values{
            {"AgentName", setup.name},
            {"ANSHost", "127.0.0.1"},
            {"ANSPort", std::to_string(NameServerPort())},
            {"MeetingSchedulingType", "2"},
            {"MeetingScheduleLongAlert", "true"}};
        values.insert(values.end(), setup.values.begin(), setup.values.end());
        for (const auto& [name, value] : values)
        {
            if (!RunRegistryTool({"set", SettingsKey, name, value}))
                return false;
        }
        for (std::vector<std::string> arguments : setup.constraints)
        {
            arguments.insert(arguments.begin(), {"constraint", "add"});
            if (!RunRegistryTool(arguments))
                return false;
        }
        return true;
    }

    bool RunRegistryTool(const std::vector<std::string>& arguments)
    {
        agenttest::CChildProcess tool;
        if (!tool.Start(VESPERA_REG_BINARY, arguments, (m_root / "vespera-reg.err").string()))
            return Fail("vespera-reg not started");
        if (tool.Wait() != 0)
            return Fail("vespera-reg failed: " + tool.Errors());
        return true;
    }

    bool WaitForStdoutLine(SAgentProcess& agent, const std::string& wanted)
    {
        std::string line;
        if (!agent.process->ReadLine(line))
            return Fail(agent.name + " said nothing: " + agent.Errors());
        if (line != wanted)
            return Fail(agent.name + " said \"" + line + "\", not \"" + wanted + "\"");
        return true;
    }

    bool WaitForStdoutPrefix(SAgentProcess& agent, const std::string& prefix)
    {
        std::string line;
        if (!agent.process->ReadLine(line))
            return Fail(agent.name + " said nothing: " + agent.Errors());
        if (line.rfind(prefix, 0) != 0)
            return Fail(agent.name + " said \"" + line + "\", not \"" + prefix + "...\"");
        return true;
    }

    bool Fail(const std::string& why)
    {
        m_failure = why;
        return false;
    }

    std::filesystem::path m_root;
    std::unique_ptr<CAnsdProcess> m_ansd;
    std::vector<std::unique_ptr<SAgentProcess>> m_agents;
    std::string m_failure;
    std::string m_lastReply;
};

} // namespace vesperaprocess
