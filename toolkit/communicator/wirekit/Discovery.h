#pragma once

#include <wirekit/DatagramChannel.h>
#include <wirekit/SSDPParser.h>

#include <factkit/LookupModule.h>
#include <platform/EventLoop.h>

#include <functional>
#include <memory>
#include <string>

// Finds agents on the local network without a name server, by multicast in
// the manner of SSDP: agents announce themselves (NOTIFY), search (M-SEARCH)
// and answer searches directly. What it learns goes into the location table
// with an expiry of 900 ticks, which the communicator counts down. Lines go
// to the module's own log (the communicator hands it the lookup log).
//
// An agent's announcement is only a claim: it carries the key the agent
// must then prove over TLS, and the module takes it only when the key
// check (the communicator's, against the keys pinned for names) lets it.
class CDiscovery : public CLookupModule {
public:
    enum Result { Echo = 0, SearchHandled = 1, AnswerHandled = 2, AnnouncementHandled = 3, Error = 4 };
    static constexpr const char* DefaultGroup = "239.255.255.250";
    static constexpr int DefaultPort = 1900;
    static constexpr int Expiration = 900;
    static constexpr int TimeToLive = 3;

    using ChannelFactory = std::function<std::unique_ptr<CDatagramChannel>()>;
    using KeySource = std::function<std::string()>;
    // Whether an agent's announcement of `name` with `key` (empty: none)
    // may go into the location table.
    using KeyCheck = std::function<bool(const std::string& name, const std::string& key)>;

    CDiscovery(CBeliefDB* beliefdb, CWnd* handler);
    ~CDiscovery() override;

    // The address and port this agent is reached at.
    void set_param(const char* address, int port);
    void set_group(const std::string& group, int port);
    // How the channel is made (tests hand in their own); by default a
    // multicast socket on the handler's event loop.
    void set_channel_factory(ChannelFactory factory);
    // For a module without a handler window (a server that only announces
    // itself): the loop its socket waits on; datagrams are then handled as
    // they come instead of being posted to the window.
    void set_event_loop(CEventLoop* loop);
    // The key this agent's announcements and answers carry (none unset),
    // asked each time, as the key may come after the module.
    void set_key_source(KeySource source) { m_keySource = std::move(source); }
    // Unset, every announcement is taken (a name server's own module).
    void set_key_check(KeyCheck check) { m_keyCheck = std::move(check); }

    int process_enable() override;
    int process_disable() override;
    int alive() override;
    int register_agent(const char* name) override;
    int unregister_agent(const char* name) override;
    int lookup_agent(const char* name) override;
    int listall_agents() override;
    // One waiting datagram: echo 0, search 1, answer 2, announcement 3,
    // error 4.
    int process_discovery(int descriptor) override;

    static const char* get_service_type_string(int type);
    // The service type of a type text; 7 for a text none of the six is.
    int nt2str(const char* text);

    // Why the last process_enable failed.
    const std::string& get_last_error() const { return m_lastError; }
    const std::string& GetIdentifier() const { return m_identifier; }
    const std::string& GetUniqueServiceName() const { return m_usn; }

private:
    void Log(const std::string& line);
    std::unique_ptr<CDatagramChannel> OpenSocket();
    std::string AgentName();
    void Announce(const std::string& name, bool alive);
    void Search(const std::string& name);
    int HandleSearch();
    int HandleAnswer();
    int HandleAnnouncement();
    void Answer(const std::string& searcher, const std::string& host, int port, const std::string& name);
    void AddService(const std::string& usn, const std::string& type, const std::string& al,
                    const std::string& key);
    bool MayAdd(const std::string& name, int type, const std::string& key);
    std::string OwnKey() const;
    static std::string ServiceName(const std::string& usn);

    std::unique_ptr<CDatagramChannel> m_channel;
    ChannelFactory m_factory;
    KeySource m_keySource;
    KeyCheck m_keyCheck;
    CEventLoop* m_loop = nullptr;
    CSSDPParser m_parser;
    std::string m_group = DefaultGroup;
    int m_port = DefaultPort;
    std::string m_identifier;
    std::string m_usn;
    std::string m_lastError;
    std::string m_address = "127.0.0.1";
    int m_ownPort = 0;
};
