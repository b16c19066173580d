#pragma once

// A small agent society of real processes for the calendar agent's process
// tests: a name server, headless agents that each have their own home, XDG
// directories and registry (written with vespera-reg), and agent-tell to
// talk to them. Every wait is bounded and waits on something the processes
// say (a line on standard output, a log line, a reply), never on a fixed
// pause.
//
// An agent may be given the text of its calendar.ics and contacts.vcf,
// written into its data directory before it starts, so that it runs on
// files as its user's desktop programs left them.
//
// Needs VESPERA_BINARY, AGENT_TELL_BINARY and VESPERA_REG_BINARY defined by
// the build.

#include <platform/testing/ChildProcess.h>
#include <platform/testing/Peer.h>

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

#include <poll.h>

namespace vesperaprocess {

const char* const SettingsKey = "Software\\ORVANTE\\CalendarAgent";

// Generous, because several sanitised agents share a small, loaded machine.
constexpr std::chrono::seconds Deadline{90};
constexpr std::chrono::milliseconds PollInterval{50};

// How many times `needle` occurs in `text`, without overlaps.
inline std::size_t CountOf(const std::string& text, const std::string& needle)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size()))
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
    for (std::string line; std::getline(lines, line);) {
        if (line.find("[<-]") != std::string::npos &&
            line.find(":sender " + sender + " ") != std::string::npos &&
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

// Reads from `peer` until `ends` end-of-message bytes (0x04) have come,
// the peer closes or the deadline passes; true when they all came.
inline bool ReadUntilEnds(const testsupport::CPeer& peer, std::string& text, std::size_t ends)
{
    const auto deadline = std::chrono::steady_clock::now() + Deadline;
    while (CountOf(text, "\x04") < ends && std::chrono::steady_clock::now() < deadline) {
        pollfd waiting{peer.fd, POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0)
            continue;
        char buffer[65536];
        const ssize_t n = peer.read_once(buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return CountOf(text, "\x04") >= ends;
}

// One headless agent with a home of its own; its log files land under
// <home>/Logfiles.
struct SAgentProcess {
    std::string name;
    std::filesystem::path home;
    std::unique_ptr<testsupport::CChildProcess> process;
    // Where it listens, from its "ready" line.
    unsigned port = 0;

    // Everything the agent has logged so far, all its log files together.
    std::string Log() const
    {
        std::string text;
        std::error_code error;
        const std::filesystem::path logs = home / "Logfiles";
        if (!std::filesystem::exists(logs, error))
            return text;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(logs, error)) {
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

    // $XDG_DATA_HOME/orvante: the calendar, contacts, outbox and crash reports.
    std::filesystem::path DataDirectory() const { return home / "data" / "orvante"; }
    std::filesystem::path CalendarPath() const { return DataDirectory() / "calendar.ics"; }
    std::filesystem::path OutboxPath() const { return DataDirectory() / "outbox.mbox"; }
};

// What an agent is started with, beyond its name and the name server: more
// registry values, and time constraints as `vespera-reg constraint add`
// arguments.
struct SAgentSetup {
    std::string name;
    std::string label;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::vector<std::string>> constraints;
};

// The texts of an agent's calendar.ics and contacts.vcf as it finds them at
// start; an empty text writes no file.
struct SAgentFiles {
    std::string calendar;
    std::string contacts;
};

// A line that an agent's log must hold at least `times` times.
struct SExpectedLine {
    const SAgentProcess* agent;
    std::string text;
    std::size_t times;
};

// The name server and the agents of one test; everything goes, processes
// and files, when it is destroyed. Children inherit the environment, which
// is pointed at each agent's home just before it is started.
class CAgentSociety {
public:
    CAgentSociety()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vespera-society-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_root = pattern;
        setenv("ORVANTE_HOST_ADDRESS", "127.0.0.1", 1);
        // The agents' start-up and shutdown pauses only slow the tests down.
        setenv("ORVANTE_STARTUP_PAUSE_MS", "0", 1);
        setenv("ORVANTE_SHUTDOWN_PAUSE_MS", "0", 1);
        // Agents name their zone in what they send; a fixed one keeps the
        // texts the same on every machine. Tests of zones set their own.
        setenv("TZ", "UTC", 0);
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

    // Stops the name server, and with it every registration, and starts a
    // new one on the same port; false (with Failure()) when it does not
    // come up.
    bool RestartNameServer()
    {
        const unsigned port = NameServerPort();
        m_ansd.reset();
        m_ansd = std::make_unique<CAnsdProcess>(m_root.string());
        if (!m_ansd->Start({"--port", std::to_string(port), "--bind", "127.0.0.1"}))
            return Fail("the name server did not start again: " + m_ansd->Errors());
        return true;
    }

    unsigned NameServerPort() const { return m_ansd ? m_ansd->port : 0; }
    const std::filesystem::path& Root() const { return m_root; }

    // Starts one agent registered as setup.name and waits until it says it
    // is registered and ready. The organiser-style long report is on for
    // every agent, so that a finished negotiation leaves its balloon line
    // in the log. Null (with Failure()) when it does not come up.
    SAgentProcess* StartAgent(const SAgentSetup& setup, const SAgentFiles& files = SAgentFiles())
    {
        SAgentProcess agent{setup.name, HomeOf(setup.label), nullptr, 0};
        if (!PrepareHome(setup, files) || !Launch(agent))
            return nullptr;
        m_agents.push_back(std::make_unique<SAgentProcess>(std::move(agent)));
        return m_agents.back().get();
    }

    // Where the agent of `label` lives.
    std::filesystem::path HomeOf(const std::string& label) const { return m_root / label; }

    // Makes the agent's home, points the environment at it and stores its
    // settings and files, without starting it; false (with Failure()) when
    // something cannot be written.
    bool PrepareHome(const SAgentSetup& setup, const SAgentFiles& files = SAgentFiles())
    {
        const std::filesystem::path home = HomeOf(setup.label);
        PointEnvironmentAt(home);
        return StoreSettings(setup) && StoreFiles(home / "data" / "orvante", files);
    }

    // Points the environment at an agent's home again, so that the next
    // process started is that user's.
    static void UseHomeOf(const SAgentProcess& agent) { PointEnvironmentAt(agent.home); }

    // Asks one agent to end; true when it ended with status 0. It stays in
    // the society, stopped, until RestartAgent.
    bool StopAgent(SAgentProcess& agent)
    {
        if (!agent.process)
            return Fail(agent.name + " is not running");
        agent.process->Signal(SIGTERM);
        const int status = agent.process->Wait();
        agent.process.reset();
        if (status != 0)
            return Fail(agent.name + " did not end cleanly (status " + std::to_string(status) + ")");
        return true;
    }

    // Starts a stopped agent again in the same home, with the settings and
    // files it left; false (with Failure()) when it does not come up.
    bool RestartAgent(SAgentProcess& agent)
    {
        if (agent.process)
            return Fail(agent.name + " is still running");
        PointEnvironmentAt(agent.home);
        return Launch(agent);
    }

    // Sends `content` to `receiver` and returns the content of the one
    // reply, or a marker text starting with "<" when there was none.
    std::string Tell(const std::string& receiver, const std::string& content, int waitSeconds = 30)
    {
        testsupport::CChildProcess tell;
        const std::vector<std::string> args{"-ans",     "127.0.0.1",
                                            "-ansport", std::to_string(NameServerPort()),
                                            "--wait",   std::to_string(waitSeconds),
                                            receiver,   content};
        if (!tell.Start(AGENT_TELL_BINARY, args, (m_root / "tell.err").string()))
            return "<agent-tell not started>";
        const int status = tell.Wait((waitSeconds + 20) * 1000);
        if (status != 0 || tell.lines.size() != 1)
            return "<no single reply> " + tell.Errors();
        m_lastReply = tell.lines[0];
        return ReplyContent(m_lastReply);
    }

    // Registers `name` at the name server for `url`, as an agent would;
    // true when the server took it.
    bool RegisterName(const std::string& name, const std::string& url)
    {
        testsupport::CPeer server;
        std::string reply;
        if (!server.connect_to(NameServerPort()) || !server.send_all("register " + name + " " + url + "\n") ||
            !ReadUntilEnds(server, reply, 1))
            return Fail("the name server did not answer a registration");
        return reply.rfind("success", 0) == 0 ? true : Fail("the name server refused " + name + ": " + reply);
    }

    // Sends `content` as agent `from` and returns the content of the one
    // reply, or a marker text starting with "<" when there was none.
    std::string TellAs(const std::string& from, const std::string& receiver, const std::string& content,
                       int waitSeconds = 30)
    {
        testsupport::CChildProcess tell;
        const std::vector<std::string> args{
            "-ans",   "127.0.0.1", "-ansport", std::to_string(NameServerPort()),
            "-name",  from,        "--wait",   std::to_string(waitSeconds),
            receiver, content};
        if (!tell.Start(AGENT_TELL_BINARY, args, (m_root / "tell.err").string()))
            return "<agent-tell not started>";
        const int status = tell.Wait((waitSeconds + 20) * 1000);
        if (status != 0 || tell.lines.size() != 1)
            return "<no single reply> " + tell.Errors();
        return ReplyContent(tell.lines[0]);
    }

    // Sends `content` without waiting for any answer; true when it went out.
    bool TellOnly(const std::string& receiver, const std::string& content)
    {
        testsupport::CChildProcess tell;
        const std::vector<std::string> args{
            "-ans",   "127.0.0.1", "-ansport", std::to_string(NameServerPort()),
            "--wait", "0",         receiver,   content};
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
        for (;;) {
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
            text +=
                "\n==== " + agent->name + " ====\n" + agent->Log() + "\n---- stderr ----\n" + agent->Errors();
        return text;
    }

    // Asks every agent to end and true when all ended with status 0. All
    // are told first, because each lingers a while before it ends.
    bool StopAgents()
    {
        for (const auto& agent : m_agents) {
            if (agent->process)
                agent->process->Signal(SIGTERM);
        }
        bool clean = true;
        for (const auto& agent : m_agents) {
            if (agent->process && agent->process->Wait() != 0)
                clean = Fail(agent->name + " did not end cleanly: " + agent->Errors());
            agent->process.reset();
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
        // A runtime directory is the user's alone (Qt insists on it).
        std::filesystem::permissions(home / "run", std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        setenv("HOME", home.c_str(), 1);
        setenv("ORVANTE", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
        setenv("ORVANTE_REGISTRY_DIR", (home / "registry").c_str(), 1);
    }

    // Starts the agent's program in its home (the environment points there)
    // and waits for its "registered" and "ready" lines.
    bool Launch(SAgentProcess& agent)
    {
        agent.process = std::make_unique<testsupport::CChildProcess>();
        if (!agent.process->Start(VESPERA_BINARY, {"--headless"}, (agent.home / "vespera.err").string())) {
            agent.process.reset();
            return Fail("cannot start " + agent.name);
        }
        std::string registered;
        std::string ready;
        if (!ReadStdoutLine(agent, registered) || !ReadStdoutLine(agent, ready))
            return false;
        if (ready.rfind("ready ", 0) != 0)
            return Fail(agent.name + " said \"" + ready + "\", not \"ready PORT\"");
        agent.port = static_cast<unsigned>(std::stoul(ready.substr(6)));
        // The name server took the name for the agent's own address.
        const std::string wanted = "registered " + agent.name + " at 127.0.0.1:" + ready.substr(6);
        if (registered != wanted)
            return Fail(agent.name + " said \"" + registered + "\", not \"" + wanted + "\"");
        return true;
    }

    bool StoreFiles(const std::filesystem::path& data, const SAgentFiles& files)
    {
        std::error_code error;
        std::filesystem::create_directories(data, error);
        if (error)
            return Fail("cannot make " + data.string() + ": " + error.message());
        return StoreFile(data / "calendar.ics", files.calendar) &&
               StoreFile(data / "contacts.vcf", files.contacts);
    }

    bool StoreFile(const std::filesystem::path& path, const std::string& text)
    {
        if (text.empty())
            return true;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out)
            return Fail("cannot write " + path.string());
        return true;
    }

    bool StoreSettings(const SAgentSetup& setup)
    {
        std::vector<std::pair<std::string, std::string>> values{
            {"AgentName", setup.name}, {"MeetingSchedulingType", "2"}, {"MeetingScheduleLongAlert", "true"}};
        // Without a name server the agent is left unregistered.
        if (m_ansd)
            values.insert(values.end(),
                          {{"ANSHost", "127.0.0.1"}, {"ANSPort", std::to_string(NameServerPort())}});
        values.insert(values.end(), setup.values.begin(), setup.values.end());
        for (const auto& [name, value] : values) {
            if (!RunRegistryTool({"set", SettingsKey, name, value}))
                return false;
        }
        for (std::vector<std::string> arguments : setup.constraints) {
            arguments.insert(arguments.begin(), {"constraint", "add"});
            if (!RunRegistryTool(arguments))
                return false;
        }
        return true;
    }

    bool RunRegistryTool(const std::vector<std::string>& arguments)
    {
        testsupport::CChildProcess tool;
        if (!tool.Start(VESPERA_REG_BINARY, arguments, (m_root / "vespera-reg.err").string()))
            return Fail("vespera-reg not started");
        if (tool.Wait() != 0)
            return Fail("vespera-reg failed: " + tool.Errors());
        return true;
    }

    bool ReadStdoutLine(SAgentProcess& agent, std::string& line)
    {
        if (!agent.process->ReadLine(line))
            return Fail(agent.name + " said nothing: " + agent.Errors());
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
