#include <FuzzEntries.h>

#include <basekit/LList.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <namekit/ANSClient.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A stand-in name server on 127.0.0.1 that answers every request of one
// input with the input's bytes, then closes the connection. It runs beside
// the client only for the length of one input.
class CReplyingServer {
public:
    CReplyingServer()
    {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::listen(listener, 8) == 0 &&
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~CReplyingServer() { ::close(listener); }

    void serve(const std::string& reply)
    {
        stop = false;
        worker = std::thread([this, reply] {
            while (!stop) {
                pollfd waiting{listener, POLLIN, 0};
                if (::poll(&waiting, 1, 20) <= 0)
                    continue;
                const int connection = ::accept(listener, nullptr, nullptr);
                if (connection < 0)
                    continue;
                char request[1100];
                static_cast<void>(::recv(connection, request, sizeof request, 0));
                static_cast<void>(::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL));
                ::close(connection);
            }
        });
    }

    void finish()
    {
        stop = true;
        worker.join();
    }

    unsigned port = 0;

private:
    int listener = -1;
    std::atomic<bool> stop{false};
    std::thread worker;
};

} // namespace

bool CFuzzEntries::ans_reply(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return true;
    static CReplyingServer server;
    CBeliefDB beliefs;
    beliefs.add_element(new CStringBelief("name", "fuzz-agent"));
    beliefs.add_element(new CStringBelief("hostname", "127.0.0.1"));
    beliefs.add_element(new CIntBelief("port", 7000));
    beliefs.add_element(new CStringBelief("ans", "127.0.0.1"));
    beliefs.add_element(new CIntBelief("ansport", static_cast<int>(server.port)));
    beliefs.add_element(new CListBelief("lookup", new CLList("lookup")));
    CANSClient client(&beliefs, nullptr);
    client.set_timeout(500);
    server.serve(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    // The first byte picks the request whose reply the rest is.
    switch (data[0] % 3) {
    case 0:
        client.lookup_agent("some_x.org-CalendarAgent");
        break;
    case 1:
        client.ans_list_all();
        break;
    default:
        client.register_agent("fuzz-agent");
        break;
    }
    server.finish();
    // Whatever the reply, the location table holds named records only.
    CListBelief* table = beliefs.find_list_belief("lookup");
    for (CListElement* e = table->get_value()->get_element(0); e; e = e->get_next()) {
        if (!e->get_name())
            return false;
    }
    return true;
}
