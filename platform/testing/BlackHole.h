#pragma once

// A listener on 127.0.0.1 whose queue is full: connects to it neither
// succeed nor fail until they time out, as to an address that swallows
// them.

#include <platform/AsyncSocket.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace testsupport {

class CBlackHole {
public:
    CBlackHole()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), size);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size);
        ::listen(m_fd, 0);
        m_port = ntohs(address.sin_port);
        // The queue takes a connection or two before it is full.
        for (int i = 0; i < 16; ++i) {
            m_fillers.push_back(std::make_unique<CAsyncSocket>());
            if (!m_fillers.back()->Connect("127.0.0.1", m_port, 200))
                break;
        }
    }
    ~CBlackHole() { ::close(m_fd); }
    CBlackHole(const CBlackHole&) = delete;
    CBlackHole& operator=(const CBlackHole&) = delete;

    unsigned Port() const { return m_port; }

private:
    int m_fd = -1;
    unsigned m_port = 0;
    std::vector<std::unique_ptr<CAsyncSocket>> m_fillers;
};

} // namespace testsupport
