#include <ansd/Announcement.h>

#include <factkit/StringBelief.h>
#include <wirekit/Discovery.h>

namespace {

constexpr int kNameServerService = 4;

} // namespace

CNameServerAnnouncement::CNameServerAnnouncement(CEventLoop& loop, const std::string& name) : m_loop(loop)
{
    m_beliefs.add_element(new CStringBelief("name", name.c_str()));
    m_discovery = std::make_unique<CDiscovery>(&m_beliefs, nullptr);
    m_discovery->set_service_type(kNameServerService);
    m_discovery->set_event_loop(&loop);
}

CNameServerAnnouncement::~CNameServerAnnouncement()
{
    if (m_repeat != CEventLoop::kNoTimer)
        m_loop.KillTimer(m_repeat);
    m_discovery->enable(0);
}

bool CNameServerAnnouncement::Start(const std::string& address, unsigned port, std::string& error)
{
    m_discovery->set_param(address.c_str(), static_cast<int>(port));
    if (m_discovery->enable(1) != 1) {
        error = m_discovery->get_last_error();
        return false;
    }
    m_repeat = m_loop.AddTimer(RepeatMs, true, [this](CEventLoop::TimerId) { m_discovery->alive(); });
    return true;
}
