#pragma once

#include <factkit/BeliefDB.h>
#include <platform/EventLoop.h>

#include <memory>
#include <string>

class CDiscovery;

// The name server making itself known on the local network: it announces
// itself as an "orvante:AgentNameServer" service while it runs, answers
// agents' searches, announces again before agents' records of it expire,
// and says goodbye when it stops.
class CNameServerAnnouncement {
public:
    // Announces again this often, well within the 900 s agents keep a record.
    static constexpr unsigned RepeatMs = 300 * 1000;

    CNameServerAnnouncement(CEventLoop& loop, const std::string& name);
    ~CNameServerAnnouncement();

    // Starts announcing `address`:`port`; false when the multicast socket
    // cannot be made (the reason is in the returned text).
    bool Start(const std::string& address, unsigned port, std::string& error);

private:
    CEventLoop& m_loop;
    CBeliefDB m_beliefs;
    std::unique_ptr<CDiscovery> m_discovery;
    CEventLoop::TimerId m_repeat = CEventLoop::kNoTimer;
};
