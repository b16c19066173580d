// Request/reply round trips per second between two agents over one
// connection, with the file log on and off and over TLS, beside a raw TCP
// ping-pong of the same message sizes on the same kind of event loop, in the
// same run. Then reconnects over TLS, with the session resumed and without;
// then the memory an agent holds after 1,000 and after 100,000 handled messages.
//
// Both agents (and both raw ends) live in this process on one poll loop, so
// every figure includes both sides' work. Everything listens on and talks to
// 127.0.0.1 only.
//
//   roundtrip_bench [ROUND_TRIPS]     (default 20000; the logged runs do a
//                                      quarter of that)

#include <agentkit/AgentContainer.h>
#include <agentkit/DlgContainer.h>

#include <basekit/URL.h>
#include <notekit/ServiceInfo.h>
#include <platform/KeyPair.h>
#include <platform/PollEventLoop.h>
#include <platform/TlsSession.h>
#include <wirekit/Communicator.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kLoopback = "127.0.0.1";
constexpr const char* kRequester = "PingAgent";
constexpr const char* kResponder = "PongAgent";

// --- the agents ---------------------------------------------------------------

// Answers every message to its sender with the same payload.
class CPongAgent : public CAgentContainer {
public:
    explicit CPongAgent(const std::string& payload) : CAgentContainer(kResponder), payload(payload) {}

    int process_message(char* text) override
    {
        request_size = std::strlen(text) + 1;
        get_communicator()->comm_sendmessage("tell", kRequester, "default-ontology", "default-language",
                                             nullptr, nullptr, nullptr, payload.c_str(), nullptr);
        return 1;
    }

    std::string payload;
    size_t request_size = 0;
};

// Sends the next request whenever a reply arrives, until the target count.
class CPingAgent : public CAgentContainer {
public:
    explicit CPingAgent(const std::string& payload) : CAgentContainer(kRequester), payload(payload) {}

    void send_request()
    {
        get_communicator()->comm_sendmessage("tell", kResponder, "default-ontology", "default-language",
                                             "ping", nullptr, nullptr, payload.c_str(), nullptr);
    }

    int process_message(char* text) override
    {
        reply_size = std::strlen(text) + 1;
        if (++replies < target)
            send_request();
        else
            get_handler()->GetEventLoop()->Quit();
        return 1;
    }

    std::string payload;
    long replies = 0;
    long target = 0;
    size_t reply_size = 0;
};

// Puts `name` at 127.0.0.1:port into the agent's location table, so that no
// name server is needed.
void Introduce(CAgentContainer& agent, const char* name, int port, const std::string& key)
{
    auto record = std::make_unique<CServiceInfo>(name);
    std::string url = "tcp://127.0.0.1:" + std::to_string(port);
    record->set_location(new CURL(url.c_str()));
    record->set_key(key);
    agent.obtain_network_db()->add_element(record.release());
}

void Prepare(CAgentContainer& agent)
{
    agent.set_shutdown_pause(0);
    agent.set_belief_dump_file(nullptr);
    agent.set_lookup_config(0);
    agent.get_communicator()->set_listen_address(kLoopback);
}

// The key of an agent of the TLS runs, in the run's home folder.
std::optional<CKeyPair> BenchKey(const char* agent)
{
    std::string error;
    return CKeyPair::LoadOrCreate(std::string(std::getenv("ORVANTE")) + "/" + agent + ".pem", agent, error);
}

// Two agents on the loop that know each other's address (and, for TLS, each
// other's key).
class CAgentPair {
public:
    CAgentPair(const std::string& payload, unsigned flags, bool tls = false)
    {
        auto ping_owned = std::make_unique<CPingAgent>(payload);
        auto pong_owned = std::make_unique<CPongAgent>(payload);
        ping = ping_owned.get();
        pong = pong_owned.get();
        Prepare(*ping);
        Prepare(*pong);
        ping_window = std::make_unique<CDlgContainer>(std::move(ping_owned));
        pong_window = std::make_unique<CDlgContainer>(std::move(pong_owned));
        char program[] = "roundtrip_bench";
        char* argv[] = {program, nullptr};
        ok = ping_window->CreateContainer(1, argv, flags) && pong_window->CreateContainer(1, argv, flags);
        if (!ok)
            return;
        std::optional<CKeyPair> pingKey = tls ? BenchKey(kRequester) : std::nullopt;
        std::optional<CKeyPair> pongKey = tls ? BenchKey(kResponder) : std::nullopt;
        if (tls && !(pingKey && pongKey)) {
            ok = false;
            return;
        }
        Introduce(*ping, kResponder, pong->get_port(), pongKey ? pongKey->PublicKeyText() : std::string());
        Introduce(*pong, kRequester, ping->get_port(), pingKey ? pingKey->PublicKeyText() : std::string());
        if (tls) {
            ping->get_communicator()->set_key_pair(std::move(*pingKey));
            pong->get_communicator()->set_key_pair(std::move(*pongKey));
        }
    }

    // Runs round trips until `count` more replies have come; false when the
    // chain broke (a send failed).
    bool Run(CEventLoop& loop, long count)
    {
        ping->target = ping->replies + count;
        ping->send_request();
        loop.Run();
        return ping->replies == ping->target;
    }

    bool ok = false;
    CPingAgent* ping = nullptr;
    CPongAgent* pong = nullptr;

private:
    std::unique_ptr<CDlgContainer> ping_window;
    std::unique_ptr<CDlgContainer> pong_window;
};

// --- the raw ping-pong ----------------------------------------------------------

int Listener(unsigned& port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, kLoopback, &address.sin_addr);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size))
        return -1;
    port = ntohs(address.sin_port);
    return fd;
}

// Connects the two ends, both non-blocking, with Nagle off like an agent's.
bool ConnectedPair(int& client, int& server)
{
    unsigned port = 0;
    const int listener = Listener(port);
    if (listener < 0)
        return false;
    client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, kLoopback, &address.sin_addr);
    const bool connected = ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    server = connected ? ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    ::close(listener);
    if (server < 0)
        return false;
    const int on = 1;
    for (int fd : {client, server}) {
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return true;
}

// One end of the ping-pong: reads until a whole message of `expect` bytes
// is in, then answers with `answer` bytes.
struct RawEnd {
    int fd = -1;
    size_t expect = 0;
    std::string answer;
    size_t have = 0;
    long messages = 0;
    long stop_after = -1;
    CEventLoop* loop = nullptr;

    void OnReadable()
    {
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            have += static_cast<size_t>(n);
            while (have >= expect) {
                have -= expect;
                Answered();
            }
        }
    }

    void Answered()
    {
        ++messages;
        if (stop_after >= 0 && messages >= stop_after) {
            loop->Quit();
            return;
        }
        Send();
    }

    void Send() const
    {
        size_t sent = 0;
        while (sent < answer.size()) {
            const ssize_t n = ::send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
            if (n > 0)
                sent += static_cast<size_t>(n);
        }
    }
};

// Round trips per second of `count` raw exchanges of the given sizes.
double RawRate(CEventLoop& loop, size_t request_size, size_t reply_size, long count)
{
    RawEnd client;
    RawEnd server;
    if (!ConnectedPair(client.fd, server.fd))
        return 0;
    client.expect = reply_size;
    client.answer.assign(request_size, 'x');
    client.stop_after = count;
    server.expect = request_size;
    server.answer.assign(reply_size, 'y');
    client.loop = server.loop = &loop;
    loop.AddWatch(client.fd, CEventLoop::kReadable, [&](int, unsigned) { client.OnReadable(); });
    loop.AddWatch(server.fd, CEventLoop::kReadable, [&](int, unsigned) { server.OnReadable(); });
    const auto start = Clock::now();
    client.Send();
    loop.Run();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    loop.RemoveWatch(client.fd);
    loop.RemoveWatch(server.fd);
    ::close(client.fd);
    ::close(server.fd);
    return client.messages / seconds;
}

// --- measuring -------------------------------------------------------------------

struct AgentFigures {
    double rate = 0;
    size_t request_size = 0;
    size_t reply_size = 0;
};

AgentFigures AgentRate(CEventLoop& loop, const std::string& payload, unsigned flags, long count,
                       bool tls = false)
{
    AgentFigures figures;
    CAgentPair pair(payload, flags, tls);
    if (!pair.ok || !pair.Run(loop, count / 10 + 1))
        return figures;
    const auto start = Clock::now();
    if (!pair.Run(loop, count))
        return figures;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    figures.rate = count / seconds;
    figures.request_size = pair.pong->request_size;
    figures.reply_size = pair.ping->reply_size;
    return figures;
}

// --- reconnects ------------------------------------------------------------------

// One connection's life in memory: the handshake, a request and its reply
// (which brings the server's ticket), as an agent that reconnects to a
// peer does. False when the session failed.
bool OneConnection(const CKeyPair& client_key, const CKeyPair& server_key, const std::string& peer,
                   bool& resumed)
{
    std::string error;
    std::unique_ptr<CTlsSession> client =
        CTlsSession::Start(CTlsSession::Role::Client, client_key, error, peer);
    std::unique_ptr<CTlsSession> server = CTlsSession::Start(CTlsSession::Role::Server, server_key, error);
    if (!client || !server)
        return false;
    std::string plain;
    auto pump = [&] {
        for (int turn = 0; turn < 8; ++turn) {
            const std::string to_server = client->TakeOutgoing();
            if (!to_server.empty())
                server->Receive(to_server.data(), to_server.size(), plain);
            const std::string to_client = server->TakeOutgoing();
            if (!to_client.empty())
                client->Receive(to_client.data(), to_client.size(), plain);
            if (to_server.empty() && to_client.empty())
                return;
        }
    };
    pump();
    if (!client->Send("ping") || (pump(), !server->Send("pong")))
        return false;
    pump();
    resumed = client->Resumed();
    return plain == "pingpong";
}

// Connections per second to one peer, resuming the last session (the
// agents' way) and with a new session each time (a new peer name).
int ReconnectRun(long count)
{
    std::optional<CKeyPair> ping = BenchKey(kRequester);
    std::optional<CKeyPair> pong = BenchKey(kResponder);
    if (!ping || !pong)
        return 1;
    long resumed_count = 0;
    double seconds[2] = {0, 0};
    for (int resuming = 0; resuming < 2; ++resuming) {
        const auto start = Clock::now();
        for (long i = 0; i < count; ++i) {
            bool resumed = false;
            const std::string peer = resuming ? pong->PublicKeyText() : "fresh-" + std::to_string(i);
            if (!OneConnection(*ping, *pong, peer, resumed))
                return 1;
            resumed_count += resumed ? 1 : 0;
        }
        seconds[resuming] = std::chrono::duration<double>(Clock::now() - start).count();
    }
    std::printf("\nreconnects over TLS (handshake, one request and reply, in memory)\n");
    std::printf("  new session each time: %8.0f /s\n", count / seconds[0]);
    std::printf("  resumed session:       %8.0f /s (%ld of %ld resumed)\n", count / seconds[1], resumed_count,
                count);
    std::printf("  new/resumed time ratio: %.2f; goal (every reconnect resumed): %s\n",
                seconds[0] / seconds[1], resumed_count >= count - 1 ? "met" : "missed");
    return 0;
}

size_t HeapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

long ResidentKiB()
{
    long pages = 0;
    long resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return -1;
    const bool read = std::fscanf(statm, "%ld %ld", &pages, &resident) == 2;
    std::fclose(statm);
    return read ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

int MemoryRun(CEventLoop& loop)
{
    CAgentPair pair("memory check", 0);
    if (!pair.ok || !pair.Run(loop, 1000))
        return 1;
    const size_t heap_early = HeapInUse();
    const long resident_early = ResidentKiB();
    if (!pair.Run(loop, 99000))
        return 1;
    const size_t heap_late = HeapInUse();
    const long resident_late = ResidentKiB();
    std::printf("\nmemory of the agent pair (a round trip is one message handled by each agent)\n");
    std::printf("  after   1,000 messages: heap %zu bytes, resident %ld KiB\n", heap_early, resident_early);
    std::printf("  after 100,000 messages: heap %zu bytes, resident %ld KiB\n", heap_late, resident_late);
    std::printf("  heap goal (no growth): %s\n", heap_late <= heap_early ? "met" : "missed");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
    if (count <= 0) {
        std::fprintf(stderr, "usage: roundtrip_bench [ROUND_TRIPS]\n");
        return 2;
    }
    char home_pattern[] = "/tmp/roundtrip-bench-XXXXXX";
    const char* home = mkdtemp(home_pattern);
    if (!home)
        return 1;
    setenv("ORVANTE", home, 1);
    setenv("ORVANTE_HOST_ADDRESS", kLoopback, 1);

    CPollEventLoop loop;
    std::printf("%-8s %7s %7s %12s %12s %7s %12s %7s %12s %9s\n", "payload", "request", "reply", "raw rt/s",
                "agent rt/s", "ratio", "logged rt/s", "ratio", "tls rt/s", "plain/tls");
    bool goal = true;
    for (size_t payload_size : {16u, 1024u, 8192u}) {
        const std::string payload(payload_size, 'p');
        const AgentFigures plain = AgentRate(loop, payload, 0, count);
        const AgentFigures logged = AgentRate(loop, payload, CAgentContainer::FLAG_FILE_LOG, count / 4);
        const AgentFigures tls = AgentRate(loop, payload, 0, count, true);
        if (plain.rate <= 0 || logged.rate <= 0 || tls.rate <= 0) {
            std::fprintf(stderr, "roundtrip_bench: the agents stopped answering\n");
            return 1;
        }
        const double raw = RawRate(loop, plain.request_size, plain.reply_size, count);
        std::printf("%-8zu %7zu %7zu %12.0f %12.0f %7.2f %12.0f %7.2f %12.0f %9.2f\n", payload_size,
                    plain.request_size, plain.reply_size, raw, plain.rate, raw / plain.rate, logged.rate,
                    raw / logged.rate, tls.rate, plain.rate / tls.rate);
        goal = goal && raw / plain.rate <= 3.0;
    }
    std::printf("ratio = raw round trips in the time of one agent round trip; goal with the "
                "log off: <= 3: %s\n",
                goal ? "met" : "missed");
    if (ReconnectRun(count / 10 + 1) != 0) {
        std::fprintf(stderr, "roundtrip_bench: a TLS session failed\n");
        return 1;
    }
    const int memory = MemoryRun(loop);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return memory;
}
