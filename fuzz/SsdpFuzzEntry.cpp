#include <FuzzEntries.h>

#include <wirekit/Discovery.h>

#include <basekit/LList.h>
#include <factkit/BeliefDB.h>
#include <factkit/StringBelief.h>

#include <memory>
#include <string>

namespace {

// Hands the module one datagram and keeps what it sends.
class CFuzzChannel : public CDatagramChannel {
public:
    std::string pending;
    bool has = false;
    std::size_t sent = 0;

    bool SendToGroup(const std::string&) override { return ++sent, true; }
    bool SendTo(const std::string&, int, const std::string&) override { return ++sent, true; }
    std::optional<SDatagram> Receive() override
    {
        if (!has)
            return std::nullopt;
        has = false;
        return SDatagram{pending, "10.0.0.9", 1900};
    }
};

} // namespace

bool CFuzzEntries::ssdp(const std::uint8_t* data, std::size_t size)
{
    CBeliefDB beliefs;
    beliefs.add_element(new CStringBelief("name", "fuzz-Agent"));
    CDiscovery discovery(&beliefs, nullptr);
    discovery.set_param("10.0.0.1", 4000);
    CFuzzChannel* channel = nullptr;
    discovery.set_channel_factory([&channel] {
        auto made = std::make_unique<CFuzzChannel>();
        channel = made.get();
        return made;
    });
    if (discovery.enable(1) != 1 || !channel)
        return false;
    const std::size_t before = channel->sent;
    channel->pending.assign(reinterpret_cast<const char*>(data), size);
    channel->has = true;
    const int result = discovery.process_discovery(1);
    // Only a search is answered, and with at most one datagram per own name.
    const std::size_t answers = channel->sent - before;
    if (result < CDiscovery::Echo || result > CDiscovery::Error)
        return false;
    if (result != CDiscovery::SearchHandled && answers != 0)
        return false;
    CLList* table = discovery.get_lookup_table();
    // The module never records the agent itself.
    return !table || !table->find_element("fuzz-Agent");
}
