#pragma once

#include <wirekit/DatagramChannel.h>

#include <platform/EventLoop.h>

#include <functional>
#include <string>

// A UDP socket in a multicast group: bound to the group's port, a member of
// the group on the interface of `interfaceAddress` (any interface when
// empty), sending to the group with a time-to-live and without hearing its
// own datagrams. When a datagram waits, `onDatagram` runs on the loop, and
// not again before Receive has been called.
class CMulticastSocket : public CDatagramChannel {
public:
    // The descriptor the container is told of; the socket is one per agent.
    static constexpr int Descriptor = 1;
    static constexpr int DefaultGroupPort = 6648;

    CMulticastSocket();
    ~CMulticastSocket() override;

    CMulticastSocket(const CMulticastSocket&) = delete;
    CMulticastSocket& operator=(const CMulticastSocket&) = delete;

    // False (with GetErrorText) when the socket cannot be made or joined.
    bool Create(const std::string& group, int port, int timeToLive, bool loopBack,
                const std::string& interfaceAddress, CEventLoop* loop, std::function<void()> onDatagram);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    const std::string& GetErrorText() const { return m_error; }

    bool SendToGroup(const std::string& text) override;
    bool SendTo(const std::string& host, int port, const std::string& text) override;
    std::optional<SDatagram> Receive() override;

private:
    bool Fail(const std::string& what);

    int m_fd = -1;
    std::string m_group;
    int m_port = 0;
    std::string m_interface;
    CEventLoop* m_loop = nullptr;
    std::string m_error;
};
