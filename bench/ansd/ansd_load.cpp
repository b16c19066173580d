// Load generator for the name server: N connections at a time, each doing
// what the agents' client does (connect, send "lookup NAME\n", read up to
// the byte 0x04, close), on one thread with epoll, the same shape as the
// reference benchmark it is compared with. Only ever connects to 127.0.0.1.
//
//   ansd_load --port P --clients N --requests R --name NAME [--seconds S]
//   ansd_load --free-port      prints a port that is free on 127.0.0.1
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Settings {
    unsigned port = 0;
    unsigned clients = 8;
    unsigned long requests = 50000;
    double seconds = 10;
    std::string name = "bench-agent";
};

struct Slot {
    int fd = -1;
    bool sent = false;
    std::string reply;
};

struct Counters {
    unsigned long started = 0;
    unsigned long done = 0;
    unsigned long failed = 0;
};

sockaddr_in Loopback(unsigned port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("ansd_load: no free port");
        return 1;
    }
    std::printf("%u\n", ntohs(address.sin_port));
    ::close(fd);
    return 0;
}

bool Start(int epoll, Slot& slot, const sockaddr_in& address, Counters& counters)
{
    slot.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (slot.fd < 0)
        return false;
    const int on = 1;
    ::setsockopt(slot.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    slot.sent = false;
    slot.reply.clear();
    if (::connect(slot.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        ::close(slot.fd);
        slot.fd = -1;
        return false;
    }
    epoll_event event{};
    event.events = EPOLLOUT;
    event.data.ptr = &slot;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, slot.fd, &event);
    ++counters.started;
    return true;
}

void Finish(Slot& slot, bool ok, Counters& counters)
{
    ::close(slot.fd);
    slot.fd = -1;
    ++counters.done;
    if (!ok)
        ++counters.failed;
}

// Returns true when the slot's request is over (answered or failed).
bool Advance(int epoll, Slot& slot, const std::string& request, Counters& counters)
{
    if (!slot.sent) {
        if (::send(slot.fd, request.data(), request.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(request.size())) {
            Finish(slot, false, counters);
            return true;
        }
        slot.sent = true;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.ptr = &slot;
        ::epoll_ctl(epoll, EPOLL_CTL_MOD, slot.fd, &event);
        return false;
    }
    char chunk[4096];
    const ssize_t n = ::recv(slot.fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EAGAIN)
        return false;
    if (n <= 0) {
        Finish(slot, false, counters);
        return true;
    }
    slot.reply.append(chunk, static_cast<std::size_t>(n));
    if (slot.reply.back() != '\x04')
        return false;
    Finish(slot, slot.reply.compare(0, 6, "tcp://") == 0, counters);
    return true;
}

int Run(const Settings& settings)
{
    const sockaddr_in address = Loopback(settings.port);
    const std::string request = "lookup " + settings.name + "\n";
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<Slot> slots(settings.clients);
    Counters counters;
    const Clock::time_point begin = Clock::now();
    const Clock::time_point deadline =
        begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(settings.seconds));
    for (Slot& slot : slots) {
        if (counters.started < settings.requests && !Start(epoll, slot, address, counters))
            ++counters.failed;
    }
    std::vector<epoll_event> events(slots.size());
    while (counters.done < counters.started && Clock::now() < deadline) {
        const int ready = ::epoll_wait(epoll, events.data(), static_cast<int>(events.size()), 100);
        for (int i = 0; i < ready; ++i) {
            Slot& slot = *static_cast<Slot*>(events[i].data.ptr);
            if (!Advance(epoll, slot, request, counters))
                continue;
            if (counters.started < settings.requests && !Start(epoll, slot, address, counters))
                ++counters.failed;
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    for (Slot& slot : slots) {
        if (slot.fd >= 0)
            ::close(slot.fd);
    }
    ::close(epoll);
    const unsigned long answered = counters.done - counters.failed;
    std::printf("requests %lu failed %lu seconds %.3f rate %.0f\n", answered, counters.failed, elapsed,
                answered / elapsed);
    return counters.failed == 0 && counters.done == settings.requests ? 0 : 1;
}

bool ParseArguments(int argc, char** argv, Settings& settings)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = argv[i + 1];
        if (option == "--port")
            settings.port = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        else if (option == "--clients")
            settings.clients = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        else if (option == "--requests")
            settings.requests = std::strtoul(value, nullptr, 10);
        else if (option == "--seconds")
            settings.seconds = std::strtod(value, nullptr);
        else if (option == "--name")
            settings.name = value;
        else
            return false;
    }
    return argc % 2 == 1 && settings.port > 0 && settings.port <= 65535 && settings.clients > 0 &&
           settings.requests > 0 && settings.seconds > 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "--free-port")
        return FreePort();
    Settings settings;
    if (!ParseArguments(argc, argv, settings)) {
        std::fprintf(stderr, "usage: ansd_load --port P --clients N --requests R --name NAME "
                             "[--seconds S] | --free-port\n");
        return 2;
    }
    return Run(settings);
}
