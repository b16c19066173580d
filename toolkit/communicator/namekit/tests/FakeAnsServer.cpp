#include "FakeAnsServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 10000;

bool wait_for(int fd, short events, int timeout_ms)
{
    pollfd item{};
    item.fd = fd;
    item.events = events;
    int ready = 0;
    do {
        ready = ::poll(&item, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

// Writes to the pipe or the connection; the child ignores SIGPIPE, so a
// client that went early only ends the write.
void write_all(int fd, const void* data, size_t length)
{
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t n = ::write(fd, bytes, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        bytes += n;
        length -= static_cast<size_t>(n);
    }
}

// The request line: everything up to and including the first '\n', or what
// came before the client closed or went quiet.
std::string read_request(int fd)
{
    std::string request;
    char chunk[512];
    while (request.find('\n') == std::string::npos && wait_for(fd, POLLIN, kWaitMs)) {
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        request.append(chunk, static_cast<size_t>(n));
    }
    return request;
}

std::string proc_address(const sockaddr_in& address)
{
    char text[32];
    std::snprintf(text, sizeof text, "%08X:%04X", static_cast<unsigned>(address.sin_addr.s_addr),
                  static_cast<unsigned>(ntohs(address.sin_port)));
    return text;
}

// Bytes the client has received on this connection but not read yet, from
// the kernel's table of TCP sockets; -1 when its socket is not listed.
long unread_by_client(const std::string& client, const std::string& server)
{
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;
        fields >> slot >> local >> remote >> state >> queues;
        if (local != client || remote != server)
            continue;
        size_t colon = queues.find(':');
        if (colon == std::string::npos)
            return -1;
        return std::strtol(queues.c_str() + colon + 1, nullptr, 16);
    }
    return -1;
}

// Waits until the client has read everything sent so far, so that the next
// piece reaches it in a read of its own.
void wait_until_read(int fd)
{
    sockaddr_in mine{}, peer{};
    socklen_t size = sizeof mine;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &size) != 0)
        return;
    size = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0)
        return;
    const std::string client = proc_address(peer);
    const std::string server = proc_address(mine);
    for (int tries = 0; tries < kWaitMs && unread_by_client(client, server) > 0; ++tries) {
        ::poll(nullptr, 0, 1);
    }
}

void wait_for_client_to_close(int fd)
{
    char chunk[512];
    while (wait_for(fd, POLLIN, kWaitMs)) {
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
    }
}

} // namespace

FakeAnsServer::Step FakeAnsServer::reply(const std::string& text)
{
    return Step{Action::Reply, {text + "\r\n\x04"}};
}

FakeAnsServer::Step FakeAnsServer::raw(std::vector<std::string> pieces)
{
    return Step{Action::Reply, std::move(pieces)};
}

FakeAnsServer::Step FakeAnsServer::silent()
{
    return Step{Action::Silent, {}};
}

FakeAnsServer::Step FakeAnsServer::close_after_request()
{
    return Step{Action::CloseAfterRequest, {}};
}

FakeAnsServer::FakeAnsServer(std::vector<Step> steps)
{
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (listener >= 0)
            ::close(listener);
        return;
    }
    listen_port = ntohs(address.sin_port);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        ::close(listener);
        listen_port = 0;
        return;
    }
    std::fflush(nullptr);
    child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        report_fd = report[1];
        serve(listener, steps);
        ::_exit(0);
    }
    ::close(listener);
    ::close(report[1]);
    report_fd = report[0];
    if (child < 0)
        listen_port = 0;
}

FakeAnsServer::~FakeAnsServer()
{
    stop();
}

unsigned FakeAnsServer::port() const
{
    return listen_port;
}

void FakeAnsServer::serve(int listener, const std::vector<Step>& steps)
{
    ::signal(SIGPIPE, SIG_IGN);
    for (const Step& step : steps) {
        if (!wait_for(listener, POLLIN, kWaitMs))
            return;
        int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            return;
        std::string request = read_request(fd);
        uint32_t length = static_cast<uint32_t>(request.size());
        write_all(report_fd, &length, sizeof length);
        write_all(report_fd, request.data(), request.size());
        if (step.action == Action::Silent)
            wait_for_client_to_close(fd);
        for (size_t i = 0; step.action == Action::Reply && i < step.pieces.size(); ++i) {
            if (i > 0)
                wait_until_read(fd);
            write_all(fd, step.pieces[i].data(), step.pieces[i].size());
        }
        ::close(fd);
    }
}

std::vector<std::string> FakeAnsServer::requests()
{
    std::vector<std::string> seen;
    if (report_fd < 0)
        return seen;
    std::string data;
    char chunk[4096];
    for (;;) {
        ssize_t n = ::read(report_fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data.append(chunk, static_cast<size_t>(n));
    }
    size_t at = 0;
    while (data.size() - at >= sizeof(uint32_t)) {
        uint32_t length = 0;
        data.copy(reinterpret_cast<char*>(&length), sizeof length, at);
        at += sizeof length;
        seen.push_back(data.substr(at, length));
        at += length;
    }
    ::close(report_fd);
    report_fd = -1;
    // The pipe ends when the child exits; reap it.
    int status = 0;
    if (child > 0)
        ::waitpid(child, &status, 0);
    child = -1;
    return seen;
}

void FakeAnsServer::stop()
{
    if (report_fd >= 0) {
        ::close(report_fd);
        report_fd = -1;
    }
    if (child > 0) {
        // Only reached when a test ended before the server was done.
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        child = -1;
    }
}
