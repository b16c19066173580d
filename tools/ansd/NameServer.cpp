#include <ansd/NameServer.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kBacklog = 1024;
// The idle check runs this often at most; a connection is closed within
// this much after its time is up.
constexpr unsigned kMaxIdleCheckMs = 1000;

std::string ErrnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

std::string DottedAddress(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

} // namespace

CNameServer::CNameServer(CEventLoop& loop, CRequestHandler& handler, std::size_t maxClients,
                         unsigned idleSeconds)
    : loop(loop), handler(handler), maxClients(maxClients), idleLimit(std::chrono::seconds(idleSeconds))
{
}

CNameServer::~CNameServer()
{
    if (idleTimer != CEventLoop::kNoTimer)
        loop.KillTimer(idleTimer);
    for (const auto& item : clients)
        loop.RemoveWatch(item.first);
    clients.clear();
    if (listenFd >= 0) {
        loop.RemoveWatch(listenFd);
        ::close(listenFd);
    }
    if (spareFd >= 0)
        ::close(spareFd);
}

bool CNameServer::Listen(const std::string& address, unsigned requestedPort, std::string& error)
{
    if (listenFd >= 0) {
        error = "already listening";
        return false;
    }
    if (!OpenListener(address, requestedPort, error))
        return false;
    spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    loop.AddWatch(listenFd, CEventLoop::kReadable, [this](int, unsigned) { AcceptAll(); });
    const auto idleMs = std::chrono::duration_cast<std::chrono::milliseconds>(idleLimit).count();
    const unsigned period = static_cast<unsigned>(std::clamp<long long>(idleMs / 4, 1, kMaxIdleCheckMs));
    idleTimer = loop.AddTimer(period, true, [this](CEventLoop::TimerId) { CloseIdle(); });
    return true;
}

unsigned CNameServer::Port() const
{
    return port;
}

std::size_t CNameServer::ClientCount() const
{
    return clients.size();
}

bool CNameServer::OpenListener(const std::string& address, unsigned requestedPort, std::string& error)
{
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_port = htons(static_cast<uint16_t>(requestedPort));
    if (requestedPort > 65535 || inet_pton(AF_INET, address.c_str(), &bound.sin_addr) != 1) {
        error = "cannot listen on " + address + ":" + std::to_string(requestedPort) +
                ": not an IPv4 address and port";
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = ErrnoText("cannot create the listening socket");
        return false;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t length = sizeof bound;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0 ||
        ::listen(fd, kBacklog) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        error = ErrnoText(("cannot listen on " + address + ":" + std::to_string(requestedPort)).c_str());
        ::close(fd);
        return false;
    }
    listenFd = fd;
    port = ntohs(bound.sin_port);
    return true;
}

void CNameServer::AcceptAll()
{
    while (AcceptOne()) {
    }
}

bool CNameServer::AcceptOne()
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    const int fd =
        ::accept4(listenFd, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED)
            return true;
        if (errno == EMFILE || errno == ENFILE)
            RefuseWhenOutOfDescriptors();
        return false;
    }
    if (clients.size() >= maxClients) {
        ::close(fd);
        return true;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    AddClient(fd, DottedAddress(address));
    return true;
}

void CNameServer::RefuseWhenOutOfDescriptors()
{
    if (spareFd < 0)
        return;
    ::close(spareFd);
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

void CNameServer::AddClient(int fd, std::string peer)
{
    auto client = std::make_unique<CClientConnection>(fd, std::move(peer), handler);
    if (!loop.AddWatch(fd, CEventLoop::kReadable,
                       [this](int ready, unsigned events) { OnClientEvents(ready, events); }))
        return;
    clients.emplace(fd, std::move(client));
}

void CNameServer::OnClientEvents(int fd, unsigned events)
{
    const auto it = clients.find(fd);
    if (it == clients.end()) {
        loop.RemoveWatch(fd);
        return;
    }
    CClientConnection& client = *it->second;
    client.OnEvents((events & CEventLoop::kReadable) != 0, (events & CEventLoop::kWritable) != 0);
    Update(fd, client);
}

void CNameServer::Update(int fd, const CClientConnection& client)
{
    if (client.Finished()) {
        Drop(fd);
        return;
    }
    unsigned wanted = 0;
    if (client.WantsRead())
        wanted |= CEventLoop::kReadable;
    if (client.WantsWrite())
        wanted |= CEventLoop::kWritable;
    loop.ModifyWatch(fd, wanted);
}

void CNameServer::Drop(int fd)
{
    loop.RemoveWatch(fd);
    clients.erase(fd);
}

void CNameServer::CloseIdle()
{
    const Clock::time_point now = Clock::now();
    for (auto it = clients.begin(); it != clients.end();) {
        if (now - it->second->LastActivity() < idleLimit) {
            ++it;
            continue;
        }
        loop.RemoveWatch(it->first);
        it = clients.erase(it);
    }
}
