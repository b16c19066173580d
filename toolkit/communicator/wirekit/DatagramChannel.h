#pragma once

#include <optional>
#include <string>

// Where the discovery module sends and receives its datagrams: the
// multicast group, and single peers for answers.
class CDatagramChannel {
public:
    struct SDatagram {
        std::string text;
        std::string host;
        int port = 0;
    };

    virtual ~CDatagramChannel() = default;

    virtual bool SendToGroup(const std::string& text) = 0;
    virtual bool SendTo(const std::string& host, int port, const std::string& text) = 0;
    // The next datagram received; nullopt when none is waiting.
    virtual std::optional<SDatagram> Receive() = 0;
};
