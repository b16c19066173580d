#include <outlook/DavClient.h>

#include <outlook/AgentSetting.h>
#include <outlook/SecretPasswords.h>

#include <platform/AddressClass.h>
#include <platform/CurlTransfer.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <unistd.h>
#include <memory>

namespace outlook {

namespace {

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The headers of the last answer (a redirect is an answer here).
std::size_t CollectHeader(char* data, std::size_t size, std::size_t count, void* target)
{
    auto* reply = static_cast<CDavClient::SReply*>(target);
    const std::string line(data, size * count);
    const std::size_t colon = line.find(':');
    if (StartsWith(line, "HTTP/")) {
        reply->etag.clear();
        reply->location.clear();
    } else if (colon != std::string::npos) {
        const std::string name = Lowered(line.substr(0, colon));
        const std::string value = Trimmed(line.substr(colon + 1));
        if (name == "etag")
            reply->etag = value;
        else if (name == "location")
            reply->location = value;
    }
    return size * count;
}

// The user's ~/.netrc: HOME, else the account's home folder.
std::string NetrcPath()
{
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry ? entry->pw_dir : nullptr;
    }
    return home && *home ? std::string(home) + "/.netrc" : std::string();
}

// The password the user's .netrc gives `user` on `host` (or in its default
// entry); libcurl takes a .netrc password only for the login it names
// itself, not for the user the settings name.
std::string NetrcPassword(const std::string& host, const std::string& user)
{
    std::ifstream in(NetrcPath());
    std::string word, machine, login, password;
    bool inEntry = false;
    auto matches = [&] { return inEntry && login == user && !password.empty(); };
    while (in >> word) {
        if (word == "machine" || word == "default") {
            if (matches())
                return password;
            machine.clear();
            if (word == "machine")
                in >> machine;
            inEntry = word == "default" || machine == host;
            login.clear();
            password.clear();
        } else if (word == "login") {
            in >> login;
        } else if (word == "password") {
            in >> password;
        }
    }
    return matches() ? password : std::string();
}

struct SListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// The connections, TLS sessions and names a client's transfers share. The
// transfers run one at a time on the loop: no locking is needed.
std::shared_ptr<void> NewConnectionShare()
{
    if (!CCurlTransfer::StartLibrary())
        return nullptr;
    CURLSH* share = curl_share_init();
    if (!share)
        return nullptr;
    for (curl_lock_data data : {CURL_LOCK_DATA_CONNECT, CURL_LOCK_DATA_SSL_SESSION, CURL_LOCK_DATA_DNS})
        curl_share_setopt(share, CURLSHOPT_SHARE, data);
    return std::shared_ptr<void>(share, [](void* held) { curl_share_cleanup(static_cast<CURLSH*>(held)); });
}

} // namespace

CDavClient::CDavClient(SOptions options) : m_options(std::move(options)), m_connections(NewConnectionShare())
{
}

std::string CDavClient::HostOf(const std::string& url)
{
    const std::size_t start = url.find("://");
    if (start == std::string::npos)
        return std::string();
    const std::string rest = url.substr(start + 3);
    const std::string authority = rest.substr(0, rest.find_first_of("/?#"));
    const std::string host = authority.substr(authority.rfind('@') + 1);
    if (!host.empty() && host[0] == '[')
        return host.substr(1, host.find(']') - 1);
    return host.substr(0, host.find(':'));
}

std::string CDavClient::SReply::Said(const std::string& what) const
{
    if (status == 0)
        return what + ": the server could not be reached (" + error + ")";
    return what + ": the server answered " + std::to_string(status);
}

std::string CDavClient::Refusal(const std::string& url)
{
    if (StartsWith(Lowered(url), "https://"))
        return std::string();
    if (StartsWith(Lowered(url), "http://"))
        return std::string();
    return "only https:// addresses (or http:// on this machine) can be used: " + url;
}

std::string CDavClient::Resolve(const std::string& base, const std::string& href)
{
    if (StartsWith(Lowered(href), "http://") || StartsWith(Lowered(href), "https://"))
        return href;
    const std::size_t scheme = base.find("://");
    const std::size_t pathStart =
        scheme == std::string::npos ? std::string::npos : base.find('/', scheme + 3);
    const std::string origin = pathStart == std::string::npos ? base : base.substr(0, pathStart);
    if (!href.empty() && href[0] == '/')
        return origin + href;
    const std::string directory = base.substr(0, base.rfind('/') + 1);
    return directory + href;
}

CDavClient::SReply CDavClient::Request(const std::string& method, const std::string& url,
                                       const std::vector<std::string>& headers, const std::string& body) const
{
    return Exchange(method, url, headers, body, m_options.timeoutMs);
}

// A 401 that offers Digest and not Basic is tried again with Digest, which
// that server then gets at once.
CDavClient::SReply CDavClient::Exchange(const std::string& method, const std::string& url,
                                        const std::vector<std::string>& headers, const std::string& body,
                                        long timeoutMs) const
{
    const std::string host = HostOf(url);
    const bool digest = m_digestHosts.count(host) > 0;
    long offered = 0;
    SReply reply = ExchangeOnce(method, url, headers, body, timeoutMs, digest, offered);
    if (reply.status == 401 && !digest && !m_options.user.empty() && (offered & CURLAUTH_DIGEST) &&
        !(offered & CURLAUTH_BASIC)) {
        m_digestHosts.insert(host);
        reply = ExchangeOnce(method, url, headers, body, timeoutMs, true, offered);
    }
    return reply;
}

CDavClient::SReply CDavClient::ExchangeOnce(const std::string& method, const std::string& url,
                                            const std::vector<std::string>& headers, const std::string& body,
                                            long timeoutMs, bool digest, long& offered) const
{
    SReply reply;
    reply.error = Refusal(url);
    if (!reply.error.empty() || !CCurlTransfer::StartLibrary())
        return reply;
    CCurlTransfer::SSettings settings;
    settings.url = url;
    settings.totalTimeoutMs = timeoutMs;
    settings.connectTimeoutMs = std::min(m_options.timeoutMs, 10000L);
    settings.maxBodyBytes = m_options.maxBodyBytes;
    CCurlTransfer transfer(settings);
    if (!transfer.IsReady()) {
        reply.error = "no HTTP transfer could be set up";
        return reply;
    }
    // Plain http carries the password in the clear: only to this machine.
    if (StartsWith(Lowered(url), "http://"))
        transfer.SetAddressFilter([](const sockaddr* address) {
            return CAddressClass::Of(address) == CAddressClass::Loopback
                       ? std::string()
                       : "plain http:// is used only on this machine; use https://";
        });
    CURL* curl = transfer.Handle();
    if (m_connections)
        curl_easy_setopt(curl, CURLOPT_SHARE, static_cast<CURLSH*>(m_connections.get()));
    std::unique_ptr<curl_slist, SListFree> list;
    for (const std::string& header : headers)
        list.reset(curl_slist_append(list.release(), header.c_str()));
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get());
    if (!body.empty() || method == "PUT") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CollectHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply);
    const std::string password = m_options.user.empty() ? std::string() : PasswordFor(url);
    if (!m_options.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, m_options.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH,
                         static_cast<long>(digest ? CURLAUTH_DIGEST : CURLAUTH_BASIC));
        // Digest's second pass counts as a redirect; redirects themselves
        // stay unfollowed.
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 2L);
    }
    transfer.Perform();
    ++m_requests;
    m_bytes += transfer.BytesReceived();
    if (!transfer.Succeeded()) {
        reply.error = !transfer.Refusal().empty() ? transfer.Refusal()
                      : transfer.BodyTooLarge()   ? "the answer is larger than " +
                                                      std::to_string(m_options.maxBodyBytes >> 20) + " MiB"
                                                : transfer.ErrorText();
        return reply;
    }
    reply.status = transfer.ResponseCode();
    if (reply.status == 401)
        curl_easy_getinfo(curl, CURLINFO_HTTPAUTH_AVAIL, &offered);
    reply.body = std::move(transfer.Body());
    return reply;
}

// The user's .netrc first, as they may keep it by hand; else the keyring,
// asked once for each server, as it may prompt or take a while.
std::string CDavClient::PasswordFor(const std::string& url) const
{
    const std::string host = HostOf(url);
    std::string password = NetrcPassword(host, m_options.user);
    if (!password.empty())
        return password;
    const auto known = m_keyring.find(host);
    if (known != m_keyring.end())
        return known->second;
    std::string error;
    password = CSecretPasswords::Lookup(host, m_options.user,
                                        StartsWith(Lowered(url), "https://") ? "https" : "http", error);
    m_keyring[host] = password;
    return password;
}

CDavClient::SReply CDavClient::Propfind(const std::string& url, int depth, const std::string& body) const
{
    return Request("PROPFIND", url,
                   {"Depth: " + std::to_string(depth), "Content-Type: application/xml; charset=utf-8"}, body);
}

CDavClient::SReply CDavClient::Report(const std::string& url, int depth, const std::string& body) const
{
    return Request("REPORT", url,
                   {"Depth: " + std::to_string(depth), "Content-Type: application/xml; charset=utf-8"}, body);
}

CDavClient::SReply CDavClient::ReportCollection(const std::string& url, const std::string& body) const
{
    return Exchange("REPORT", url, {"Depth: 1", "Content-Type: application/xml; charset=utf-8"}, body,
                    std::max(m_options.timeoutMs, m_options.collectionTimeoutMs));
}

CDavClient::SReply CDavClient::Put(const std::string& url, const std::string& text,
                                   const std::string& contentType, const std::string& etag) const
{
    return Request("PUT", url,
                   {"Content-Type: " + contentType + "; charset=utf-8",
                    etag.empty() ? std::string("If-None-Match: *") : "If-Match: " + etag},
                   text);
}

} // namespace outlook
