#include <platform/SingleInstance.h>

#include <platform/EventLoop.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string RuntimeDirectory(const std::string& fallback)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime ? std::string(runtime) : fallback;
}

std::string ErrnoText(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

bool MakeDirectories(const std::string& path)
{
    std::string partial;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || (path[i] == '/' && i > 0)) {
            partial = path.substr(0, i);
            if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool SocketAddress(const std::string& path, sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(int milliseconds)
{
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

// Moves exactly `size` bytes on a non-blocking socket before the deadline;
// false on time-out, error or a closed peer. One deadline for the whole
// exchange, so a peer that drips its bytes holds the loop no longer than
// one that sends nothing.
bool Transfer(int fd, unsigned char* bytes, std::size_t size, bool writing, Clock::time_point deadline)
{
    std::size_t done = 0;
    while (done < size) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd waiting{fd, static_cast<short>(writing ? POLLOUT : POLLIN), 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t moved = writing ? ::send(fd, bytes + done, size - done, MSG_NOSIGNAL)
                                      : ::recv(fd, bytes + done, size - done, 0);
        if (moved < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (moved <= 0)
            return false;
        done += static_cast<std::size_t>(moved);
    }
    return true;
}

// Words go most significant byte first.
bool SendWord(int fd, std::uint32_t value, Clock::time_point deadline)
{
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
    return Transfer(fd, bytes, sizeof bytes, true, deadline);
}

bool ReceiveWord(int fd, std::uint32_t& value, Clock::time_point deadline)
{
    unsigned char bytes[4];
    if (!Transfer(fd, bytes, sizeof bytes, false, deadline))
        return false;
    value = 0;
    for (unsigned char byte : bytes)
        value = (value << 8) | byte;
    return true;
}

// Whether the peer of a local socket runs as this process's user.
bool IsSameUser(int fd)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
           credentials.uid == ::geteuid();
}

// Reads the length and text of the request `message` and sets the answer:
// the handler's verdict, or 0 for a text longer than any request may be,
// which is not read at all. False when the request does not arrive whole:
// nothing is answered then.
bool ReadRequest(int peer, std::uint32_t message, Clock::time_point deadline,
                 const CSingleInstance::RequestHandler& handler, std::uint32_t& answer)
{
    std::uint32_t length = 0;
    if (!ReceiveWord(peer, length, deadline))
        return false;
    answer = 0;
    if (length > CSingleInstance::kMaxRequestText)
        return true;
    std::string text(length, '\0');
    if (!Transfer(peer, reinterpret_cast<unsigned char*>(text.data()), text.size(), false, deadline))
        return false;
    if (handler && handler(message, text))
        answer = message;
    return true;
}

} // namespace

CSingleInstance::CSingleInstance(std::string name, const std::string& fallbackDirectory)
    : m_name(std::move(name)), m_directory(RuntimeDirectory(fallbackDirectory))
{
}

CSingleInstance::~CSingleInstance()
{
    StopServing();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

std::string CSingleInstance::GetLockPath() const
{
    return m_directory + "/" + m_name + ".lock";
}

// Socket paths are limited to about a hundred bytes, which the lock's long
// name would use up: the socket is named by a hash of it instead.
std::string CSingleInstance::GetSocketPath() const
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : m_name)
        hash = (hash ^ c) * 1099511628211ull;
    char name[32];
    std::snprintf(name, sizeof name, "instance-%016llx.sock", static_cast<unsigned long long>(hash));
    return m_directory + "/" + name;
}

bool CSingleInstance::PrepareDirectory()
{
    if (m_directory.empty() || m_name.empty() || m_name.find('/') != std::string::npos) {
        m_error = "no usable directory or name for the instance lock";
        return false;
    }
    if (!MakeDirectories(m_directory)) {
        m_error = ErrnoText("cannot make " + m_directory);
        return false;
    }
    return true;
}

CSingleInstance::Result CSingleInstance::Acquire()
{
    if (IsHeld())
        return Result::Acquired;
    if (!PrepareDirectory())
        return Result::Failed;
    const std::string path = GetLockPath();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_error = ErrnoText("cannot open " + path);
        return Result::Failed;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const bool busy = errno == EWOULDBLOCK;
        m_error = busy ? "another instance holds " + path : ErrnoText("cannot lock " + path);
        ::close(fd);
        return busy ? Result::AlreadyRunning : Result::Failed;
    }
    m_lockFd = fd;
    return Result::Acquired;
}

bool CSingleInstance::ServeProbes(CEventLoop& loop)
{
    if (!IsHeld()) {
        m_error = "the instance lock is not held";
        return false;
    }
    if (m_listenFd >= 0)
        return m_loop == &loop;
    sockaddr_un address{};
    const std::string path = GetSocketPath();
    if (!SocketAddress(path, address)) {
        m_error = "socket path too long: " + path;
        return false;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_error = ErrnoText("cannot make the probe socket");
        return false;
    }
    // Holding the lock means any socket file left there is a dead instance's.
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) {
        m_error = ErrnoText("cannot listen on " + path);
        ::close(fd);
        return false;
    }
    m_listenFd = fd;
    m_loop = &loop;
    loop.AddWatch(fd, CEventLoop::kReadable, [this](int, unsigned) { AnswerPeer(); });
    return true;
}

// A peer sends its whole request at once; one that does not within a short
// time is dropped, so a stuck peer holds the loop for at most that long.
void CSingleInstance::AnswerPeer()
{
    constexpr int PeerTimeoutMs = 100;
    const int peer = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (peer < 0)
        return;
    const Clock::time_point deadline = DeadlineAfter(PeerTimeoutMs);
    std::uint32_t message = 0;
    if (IsSameUser(peer) && ReceiveWord(peer, message, deadline)) {
        std::uint32_t answer = kProbeMessage;
        if (message == kProbeMessage || ReadRequest(peer, message, deadline, m_handler, answer))
            SendWord(peer, answer, deadline);
    }
    ::close(peer);
}

void CSingleInstance::StopServing()
{
    if (m_listenFd < 0)
        return;
    if (m_loop)
        m_loop->RemoveWatch(m_listenFd);
    ::close(m_listenFd);
    ::unlink(GetSocketPath().c_str());
    m_listenFd = -1;
    m_loop = nullptr;
}

std::uint32_t CSingleInstance::Probe(int timeoutMs) const
{
    return Send(kProbeMessage, nullptr, timeoutMs);
}

std::uint32_t CSingleInstance::Request(std::uint32_t message, const std::string& text, int timeoutMs) const
{
    if (message == kProbeMessage || text.size() > kMaxRequestText)
        return 0;
    return Send(message, &text, timeoutMs);
}

std::uint32_t CSingleInstance::Send(std::uint32_t message, const std::string* text, int timeoutMs) const
{
    sockaddr_un address{};
    if (!SocketAddress(GetSocketPath(), address))
        return 0;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    const Clock::time_point deadline = DeadlineAfter(timeoutMs);
    bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (!connected && errno == EAGAIN) {
        pollfd waiting{fd, POLLOUT, 0};
        connected = ::poll(&waiting, 1, timeoutMs) == 1 && !(waiting.revents & (POLLERR | POLLHUP));
    }
    bool sent = connected && SendWord(fd, message, deadline);
    if (sent && text) {
        std::string bytes = *text;
        sent = SendWord(fd, static_cast<std::uint32_t>(bytes.size()), deadline) &&
               Transfer(fd, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), true, deadline);
    }
    std::uint32_t answer = 0;
    if (!sent || !ReceiveWord(fd, answer, deadline))
        answer = 0;
    ::close(fd);
    return answer;
}
