#include <wirekit/Discovery.h>

#include <wirekit/MulticastSocket.h>

#include <basekit/LList.h>
#include <basekit/URL.h>
#include <factkit/BeliefDB.h>
#include <factkit/StringBelief.h>
#include <notekit/ServiceInfo.h>
#include <platform/Wnd.h>

#include <cstring>
#include <ctime>

namespace {

constexpr const char* ServiceTypes[] = {"orvante:Agent",       "orvante:matchmaker",
                                        "orvante:Broker",      "orvante:AgentNameServer",
                                        "orvante:DemoDisplay", "orvante:Recruiter"};

std::string Text(const char* text)
{
    return text ? text : "";
}

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// "<host:port>" or "host:port".
bool SplitEndpoint(std::string text, std::string& host, int& port)
{
    if (!text.empty() && text.front() == '<')
        text.erase(0, 1);
    if (!text.empty() && text.back() == '>')
        text.pop_back();
    const std::string::size_type colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    host = text.substr(0, colon);
    char* end = nullptr;
    const long number = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (!end || *end != '\0' || number <= 0 || number > 65535)
        return false;
    port = static_cast<int>(number);
    return true;
}

} // namespace

CDiscovery::CDiscovery(CBeliefDB* beliefdb, CWnd* handler) : CLookupModule(beliefdb, handler)
{
    set_name("Discovery");
    set_lookup_type(LOOKUP_DISCOVERY);
    set_service_type(1);
}

CDiscovery::~CDiscovery()
{
    m_channel.reset();
}

void CDiscovery::Log(const std::string& line)
{
    debug(line.c_str());
}

void CDiscovery::set_param(const char* address, int port)
{
    if (address && *address)
        m_address = address;
    m_ownPort = port;
}

void CDiscovery::set_group(const std::string& group, int port)
{
    m_group = group;
    m_port = port;
}

void CDiscovery::set_channel_factory(ChannelFactory factory)
{
    m_factory = std::move(factory);
}

// The agent's "name" belief; without one, names made of the time.
std::string CDiscovery::AgentName()
{
    CBeliefDB* beliefs = get_beliefdb();
    CStringBelief* name = beliefs ? beliefs->find_string_belief("name") : nullptr;
    return name && name->get_value() ? name->get_value() : std::string();
}

const char* CDiscovery::get_service_type_string(int type)
{
    return type >= 1 && type <= 6 ? ServiceTypes[type - 1] : ServiceTypes[0];
}

int CDiscovery::nt2str(const char* text)
{
    const std::string type = Trimmed(Text(text));
    for (int i = 0; i < 6; ++i) {
        if (type == ServiceTypes[i])
            return i + 1;
    }
    Log("<CDiscovery> Result: (default) [AGENT]");
    return 7;
}

int CDiscovery::process_enable()
{
    if (m_channel) {
        Log("<CDiscovery> multicast socket already active, aborting create");
        return 0;
    }
    const std::string name = AgentName();
    const long now = static_cast<long>(std::time(nullptr));
    m_identifier = name.empty() ? "Win32M" + std::to_string(now) + ":idscheme3" : name;
    m_usn = name.empty() ? "uuid:Win32M" + std::to_string(now) : name;
    m_channel = m_factory ? m_factory() : OpenSocket();
    if (!m_channel)
        return 0;
    alive();
    listall_agents();
    return 1;
}

void CDiscovery::set_event_loop(CEventLoop* loop)
{
    m_loop = loop;
}

std::unique_ptr<CDatagramChannel> CDiscovery::OpenSocket()
{
    auto socket = std::make_unique<CMulticastSocket>();
    CWnd* handler = get_handler();
    CEventLoop* loop = handler ? handler->GetEventLoop() : m_loop;
    const bool made = socket->Create(m_group, m_port, TimeToLive, false, m_address, loop, [this, handler] {
        if (handler)
            handler->PostMessage(WM_SOCKET_NOTIFY, 9, CMulticastSocket::Descriptor);
        else
            process_discovery(CMulticastSocket::Descriptor);
    });
    if (!made) {
        m_lastError = "unable to create the multicast socket: " + socket->GetErrorText();
        Log("<CDiscovery> " + m_lastError);
        return nullptr;
    }
    return socket;
}

int CDiscovery::process_disable()
{
    if (!m_channel)
        return 0;
    Log("<CDiscovery> Sending byebye message");
    if (CLList* names = get_names()) {
        for (CListElement* element = names->get_first_element(); element; element = names->get_next_element())
            Announce(Text(element->get_name()), false);
    }
    Announce(m_usn, false);
    m_channel.reset();
    return 1;
}

int CDiscovery::alive()
{
    Log("<CDiscovery> Sending alive packet...");
    const std::string name = AgentName();
    CLList* names = get_names();
    if (names && !name.empty() && !names->find_element(name.c_str()))
        names->add_element(new CListElement(name.c_str()));
    if (names) {
        for (CListElement* element = names->get_first_element(); element; element = names->get_next_element())
            Announce(Text(element->get_name()), true);
    }
    return 1;
}

int CDiscovery::register_agent(const char* name)
{
    CLList* names = get_names();
    if (!name || !*name || !names)
        return 0;
    if (!names->find_element(name))
        names->add_element(new CListElement(name));
    Announce(name, true);
    return 1;
}

int CDiscovery::unregister_agent(const char* name)
{
    CLList* names = get_names();
    if (!name || !names)
        return 0;
    names->delete_element_by_name(name);
    Announce(name, false);
    return 1;
}

int CDiscovery::lookup_agent(const char* name)
{
    Search(Text(name));
    return 1;
}

int CDiscovery::listall_agents()
{
    Search(" ");
    return 1;
}

void CDiscovery::Announce(const std::string& name, bool alive)
{
    if (!m_channel || name.empty())
        return;
    const char* type = get_service_type_string(get_service_type());
    m_channel->SendToGroup(
        alive ? CSSDPParser::Announce(m_group, m_port, type, name, m_address, m_ownPort, OwnKey())
              : CSSDPParser::Withdraw(m_group, m_port, type, name, m_address, m_ownPort));
}

void CDiscovery::Search(const std::string& name)
{
    if (m_channel)
        m_channel->SendToGroup(CSSDPParser::Search(m_identifier, m_address, m_port, name));
}

int CDiscovery::process_discovery(int)
{
    if (!m_channel) {
        Log("<CDiscovery> unable to create message, no multicast socket available");
        return Error;
    }
    const std::optional<CDatagramChannel::SDatagram> datagram = m_channel->Receive();
    if (!datagram) {
        Log("<CDiscovery> Multicast socket does not have any data pending");
        return Error;
    }
    if (m_parser.parse_message(datagram->text.c_str())) {
        if (m_parser.find_M_SEARCH())
            return HandleSearch();
        if (m_parser.find_HTTP())
            return HandleAnswer();
        if (m_parser.find_NOTIFY())
            return HandleAnnouncement();
    }
    Log("<CDiscovery> Error processing discovery");
    return Error;
}

int CDiscovery::HandleSearch()
{
    const std::string searcher = Text(m_parser.find_S());
    if (searcher == m_identifier) {
        Log("<CDiscovery> This message is an echo");
        return Echo;
    }
    std::string host;
    int port = 0;
    if (!SplitEndpoint(Text(m_parser.find_Host()), host, port))
        return SearchHandled;
    const std::string searched = Trimmed(Text(m_parser.find_ST()));
    const std::string::size_type prefix = searched.find("orvante:");
    CLList* names = get_names();
    for (CListElement* element = names ? names->get_first_element() : nullptr; element;
         element = names->get_next_element()) {
        const std::string name = Text(element->get_name());
        if (prefix == std::string::npos || searched.substr(prefix + 8) == name) {
            Answer(searcher, host, port, name);
            if (prefix != std::string::npos)
                break;
        }
    }
    return SearchHandled;
}

void CDiscovery::Answer(const std::string& searcher, const std::string& host, int port,
                        const std::string& name)
{
    m_channel->SendTo(host, port,
                      CSSDPParser::Answer(searcher, name, get_service_type_string(get_service_type()),
                                          m_address, m_ownPort, OwnKey()));
}

std::string CDiscovery::OwnKey() const
{
    return m_keySource ? m_keySource() : std::string();
}

// Unlike a search, an answer is not answered: two agents would otherwise
// answer each other's answers for ever.
int CDiscovery::HandleAnswer()
{
    const std::string usn = Trimmed(Text(m_parser.find_USN()));
    if (usn == m_usn)
        return Echo;
    AddService(usn, Text(m_parser.find_NT()), Text(m_parser.find_AL()), Text(m_parser.find_Agent_Key()));
    return AnswerHandled;
}

int CDiscovery::HandleAnnouncement()
{
    const std::string usn = Trimmed(Text(m_parser.find_USN()));
    if (usn == m_usn) {
        Log("<CDiscovery> Messge is an echo");
        return Echo;
    }
    const std::string nts = Text(m_parser.find_NTS());
    if (nts.find("ssdp:alive") != std::string::npos) {
        if (m_parser.find_AL()) {
            AddService(usn, Text(m_parser.find_NT()), Text(m_parser.find_AL()),
                       Text(m_parser.find_Agent_Key()));
        } else {
            Log("<CDiscovery> Can't find AL field in message, we're assuming a non orvante service ...");
            AddService(usn, "unknown", Text(m_parser.find_Location()), std::string());
        }
    } else if (nts.find("ssdp:byebye") != std::string::npos) {
        CLList* table = get_lookup_table();
        const std::string name = ServiceName(usn);
        CListElement* found = table ? table->find_element(name.c_str()) : nullptr;
        if (auto* record = dynamic_cast<CServiceInfo*>(found)) {
            record->set_gone(1);
            get_beliefdb()->set_modified(1);
        }
    }
    return AnnouncementHandled;
}

std::string CDiscovery::ServiceName(const std::string& usn)
{
    std::string name = usn;
    for (const char* prefix : {"uuid:", "orvante:"}) {
        const std::string::size_type at = name.find(prefix);
        if (at != std::string::npos)
            name = name.substr(at + std::strlen(prefix));
    }
    return Trimmed(name);
}

// An agent's announcement counts only with a key that it can then prove.
// Other services (a name server) prove nothing over TLS, so they may not
// take over an agent's record; a message for a name is still sent only
// where the name is proven (the communicator sees to that).
bool CDiscovery::MayAdd(const std::string& name, int type, const std::string& key)
{
    if (type != 1 && type != 7) {
        CLList* table = get_lookup_table();
        auto* known = dynamic_cast<CServiceInfo*>(table ? table->find_element(name.c_str()) : nullptr);
        return !m_keyCheck || !known || known->get_type() == type;
    }
    if (!m_keyCheck || m_keyCheck(name, key))
        return true;
    Log("<CDiscovery> Ignoring [" + name + "]: " +
        (key.empty() ? "it announces no key to prove its name with"
                     : "its key is not the one known for the name"));
    return false;
}

void CDiscovery::AddService(const std::string& usn, const std::string& type, const std::string& al,
                            const std::string& key)
{
    const std::string name = ServiceName(usn);
    if (name.empty() || name == AgentName())
        return;
    const int kind = nt2str(type.c_str());
    if (!MayAdd(name, kind, Trimmed(key)))
        return;
    std::string host;
    int port = 0;
    std::string endpoint = Trimmed(al);
    // A Location line is a URL ("http://host:port/...").
    if (endpoint.find("://") != std::string::npos) {
        endpoint = endpoint.substr(endpoint.find("://") + 3);
        endpoint = endpoint.substr(0, endpoint.find('/'));
    }
    if (!SplitEndpoint(endpoint, host, port))
        return;
    CServiceInfo* record = create_entry(name.c_str());
    if (!record)
        return;
    record->set_type(kind);
    record->set_expiration(Expiration);
    record->set_localisation(1);
    record->set_key(Trimmed(key));
    record->set_location(new CURL(("tcp://" + host + ":" + std::to_string(port)).c_str()));
    Log("<CDiscovery> Added service [" + name + "] at [" + host + "][" + std::to_string(port) + "]");
}
