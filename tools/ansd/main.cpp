#include <ansd/AgentRegistry.h>
#include <ansd/Announcement.h>
#include <ansd/NameServer.h>
#include <ansd/RequestHandler.h>
#include <ansd/ServerOptions.h>
#include <ansd/StateFile.h>
#include <platform/AtomicFile.h>
#include <platform/HostAddress.h>
#include <platform/PollEventLoop.h>

#include <csignal>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace {

// Registrations are saved and expired entries dropped this often.
constexpr unsigned kHousekeepingMs = 1000;
// Descriptors beyond the clients: stdio, the listener, the spare, the state file.
constexpr rlim_t kOwnDescriptors = 16;

std::int64_t WallClock()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

void LogLine(const std::string& line)
{
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::cerr << stamp << " ansd: " << line << std::endl;
}

// A server allowed many clients needs as many descriptors; raise the soft
// limit as far as the hard one allows, and say so when that is not enough.
void RaiseDescriptorLimit(std::size_t maxClients)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted = static_cast<rlim_t>(maxClients) + kOwnDescriptors;
    if (limit.rlim_cur >= wanted)
        return;
    limit.rlim_cur = (limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= wanted) ? wanted : limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < wanted)
        LogLine("only " + std::to_string(limit.rlim_cur) + " descriptors allowed; fewer than " +
                std::to_string(maxClients) + " clients will be served at once");
}

void SaveState(CStateFile* state, const CAgentRegistry& registry, bool always)
{
    if (!state)
        return;
    std::string error;
    const bool saved = always ? state->Save(registry, error) : state->SaveIfChanged(registry, error);
    if (!saved)
        LogLine("error: " + error);
}

void Housekeeping(CStateFile* state, CAgentRegistry& registry)
{
    const std::size_t expired = registry.Expire();
    if (expired > 0)
        LogLine("expired " + std::to_string(expired) + " registration(s)");
    SaveState(state, registry, false);
}

int Serve(const CServerOptions& options)
{
    CAgentRegistry registry(options.ttlSeconds, options.maxNames, WallClock);
    std::unique_ptr<CStateFile> state;
    std::string error;
    if (!options.statePath.empty()) {
        state = std::make_unique<CStateFile>(options.statePath);
        if (!state->Load(registry, error)) {
            LogLine("error: " + error);
            return 1;
        }
    }
    RaiseDescriptorLimit(options.maxClients);

    CPollEventLoop loop;
    CRequestHandler handler(registry, LogLine);
    CNameServer server(loop, handler, options.maxClients, options.idleSeconds);
    if (!server.Listen(options.bind, options.port, error)) {
        LogLine("error: " + error);
        return 1;
    }
    // The port file first: whoever waits for the line may read the file next.
    if (!options.portFile.empty() &&
        !CAtomicFile(options.portFile).Replace(std::to_string(server.Port()) + "\n", error)) {
        LogLine("error: " + error);
        return 1;
    }
    std::unique_ptr<CNameServerAnnouncement> announcement;
    if (!options.announceName.empty()) {
        announcement = std::make_unique<CNameServerAnnouncement>(loop, options.announceName);
        const std::string address = options.bind == "0.0.0.0" ? GetHostAddress() : options.bind;
        if (!announcement->Start(address, server.Port(), error)) {
            LogLine("error: " + error);
            return 1;
        }
        LogLine("announcing " + options.announceName + " at " + address + ":" +
                std::to_string(server.Port()));
    }
    std::cout << "ansd listening on " << options.bind << ':' << server.Port() << std::endl;
    LogLine("serving " + std::to_string(registry.Size()) + " registration(s)");

    loop.HandleSignals({SIGINT, SIGTERM}, [&loop](int) { loop.QuitAll(0); });
    CStateFile* saver = state.get();
    loop.AddTimer(kHousekeepingMs, true,
                  [saver, &registry](CEventLoop::TimerId) { Housekeeping(saver, registry); });
    loop.Run();

    SaveState(saver, registry, true);
    LogLine("stopped");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CServerOptions options;
    std::string error;
    switch (options.Parse(argc, argv, error)) {
    case CServerOptions::Outcome::Help:
        std::cout << CServerOptions::Usage();
        return 0;
    case CServerOptions::Outcome::Error:
        std::cerr << "ansd: " << error << "\nTry 'ansd --help'.\n";
        return 2;
    case CServerOptions::Outcome::Run:
        break;
    }
    std::signal(SIGPIPE, SIG_IGN);
    return Serve(options);
}
