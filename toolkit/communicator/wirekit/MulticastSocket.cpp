#include <wirekit/MulticastSocket.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A datagram of discovery is a few hundred bytes; anything longer is cut.
constexpr std::size_t MaxDatagram = 4096;

bool ToAddress(const std::string& host, int port, sockaddr_in& address)
{
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    return port > 0 && port < 65536 && inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1;
}

} // namespace

CMulticastSocket::CMulticastSocket() = default;

CMulticastSocket::~CMulticastSocket()
{
    Close();
}

bool CMulticastSocket::Fail(const std::string& what)
{
    m_error = what + ": " + std::strerror(errno);
    Close();
    return false;
}

bool CMulticastSocket::Create(const std::string& group, int port, int timeToLive, bool loopBack,
                              const std::string& interfaceAddress, CEventLoop* loop,
                              std::function<void()> onDatagram)
{
    Close();
    sockaddr_in groupAddress{};
    if (!ToAddress(group, port, groupAddress) || !IN_MULTICAST(ntohl(groupAddress.sin_addr.s_addr))) {
        m_error = "not a multicast group: " + group + ":" + std::to_string(port);
        return false;
    }
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return Fail("socket");
    const int on = 1;
    setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_port = htons(static_cast<uint16_t>(port));
    bound.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0)
        return Fail("bind");
    ip_mreq membership{};
    membership.imr_multiaddr = groupAddress.sin_addr;
    membership.imr_interface.s_addr = htonl(INADDR_ANY);
    if (!interfaceAddress.empty())
        inet_pton(AF_INET, interfaceAddress.c_str(), &membership.imr_interface);
    if (setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0)
        return Fail("join " + group);
    if (!interfaceAddress.empty())
        setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &membership.imr_interface,
                   sizeof membership.imr_interface);
    const unsigned char ttl = static_cast<unsigned char>(timeToLive);
    const unsigned char loopByte = loopBack ? 1 : 0;
    setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loopByte, sizeof loopByte);
    m_group = group;
    m_port = port;
    m_interface = interfaceAddress;
    m_loop = loop;
    if (m_loop && onDatagram)
        m_loop->AddWatch(m_fd, CEventLoop::kReadable, [this, onDatagram](int, unsigned) {
            // Quiet until the datagram is read, so that one datagram is
            // announced once however late its reader comes.
            m_loop->ModifyWatch(m_fd, 0);
            onDatagram();
        });
    return true;
}

void CMulticastSocket::Close()
{
    if (m_fd < 0)
        return;
    if (m_loop)
        m_loop->RemoveWatch(m_fd);
    ::close(m_fd);
    m_fd = -1;
}

bool CMulticastSocket::SendToGroup(const std::string& text)
{
    return SendTo(m_group, m_port, text);
}

bool CMulticastSocket::SendTo(const std::string& host, int port, const std::string& text)
{
    sockaddr_in address{};
    if (m_fd < 0 || !ToAddress(host, port, address))
        return false;
    return ::sendto(m_fd, text.data(), text.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
                    sizeof address) == static_cast<ssize_t>(text.size());
}

std::optional<CDatagramChannel::SDatagram> CMulticastSocket::Receive()
{
    if (m_fd < 0)
        return std::nullopt;
    char buffer[MaxDatagram];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t got =
        ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (m_loop)
        m_loop->ModifyWatch(m_fd, CEventLoop::kReadable);
    if (got < 0)
        return std::nullopt;
    char host[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &from.sin_addr, host, sizeof host);
    return SDatagram{std::string(buffer, static_cast<std::size_t>(got)), host, ntohs(from.sin_port)};
}
