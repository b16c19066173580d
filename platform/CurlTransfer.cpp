#include <platform/CurlTransfer.h>

#include <platform/CurlMulti.h>

#include <sys/socket.h>

#include <utility>

bool CCurlTransfer::StartLibrary()
{
    static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return started;
}

CCurlTransfer::CCurlTransfer(const SSettings& settings) : m_maxBodyBytes(settings.maxBodyBytes)
{
    if (!StartLibrary())
        return;
    m_curl = curl_easy_init();
    if (!m_curl)
        return;
    curl_easy_setopt(m_curl, CURLOPT_URL, settings.url.c_str());
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, settings.protocols);
    curl_easy_setopt(m_curl, CURLOPT_REDIR_PROTOCOLS_STR, settings.protocols);
    curl_easy_setopt(m_curl, CURLOPT_FOLLOWLOCATION, settings.maxRedirects > 0 ? 1L : 0L);
    curl_easy_setopt(m_curl, CURLOPT_MAXREDIRS, settings.maxRedirects);
    // Time-outs without alarms: signals belong to the event loop.
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, settings.connectTimeoutMs);
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, settings.totalTimeoutMs);
    curl_easy_setopt(m_curl, CURLOPT_USERAGENT, UserAgent);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &CCurlTransfer::CollectBody);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, this);
}

CCurlTransfer::~CCurlTransfer()
{
    // The multi handle lets go of the easy one before it is cleaned up.
    m_multi.reset();
    if (m_curl)
        curl_easy_cleanup(m_curl);
    curl_slist_free_all(m_requestHeaders);
}

void CCurlTransfer::AddRequestHeader(const std::string& line)
{
    if (!m_curl)
        return;
    if (curl_slist* added = curl_slist_append(m_requestHeaders, line.c_str()))
        m_requestHeaders = added;
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_requestHeaders);
}

void CCurlTransfer::SetAddressFilter(AddressFilter filter)
{
    m_addressFilter = std::move(filter);
    if (!m_curl)
        return;
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETFUNCTION,
                     m_addressFilter ? &CCurlTransfer::OpenCheckedSocket : nullptr);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETDATA, m_addressFilter ? this : nullptr);
}

std::size_t CCurlTransfer::CollectBody(char* data, std::size_t size, std::size_t count, void* self)
{
    auto* transfer = static_cast<CCurlTransfer*>(self);
    const std::size_t bytes = size * count;
    if (transfer->m_body.size() + bytes > transfer->m_maxBodyBytes) {
        transfer->m_bodyTooLarge = true;
        return 0;
    }
    transfer->m_body.append(data, bytes);
    return bytes;
}

// libcurl asks for every socket it is about to connect with, whatever the
// name resolved to and wherever a redirect led, so the filter sees the
// address actually connected to before a single byte goes there.
curl_socket_t CCurlTransfer::OpenCheckedSocket(void* self, curlsocktype, curl_sockaddr* address)
{
    auto* transfer = static_cast<CCurlTransfer*>(self);
    const std::string refusal = transfer->m_addressFilter(&address->addr);
    if (!refusal.empty()) {
        if (transfer->m_refusal.empty())
            transfer->m_refusal = refusal;
        return CURL_SOCKET_BAD;
    }
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

CURLcode CCurlTransfer::Perform()
{
    m_result = m_curl ? curl_easy_perform(m_curl) : CURLE_FAILED_INIT;
    return m_result;
}

bool CCurlTransfer::Start(CEventLoop& loop, Finished finished)
{
    if (!m_curl || !finished || m_multi)
        return false;
    m_multi = std::make_unique<CCurlMulti>(loop);
    return m_multi->Add(m_curl, [this, finished = std::move(finished)](CURLcode result) {
        m_result = result;
        // A copy on the stack: the callback may destroy this transfer.
        const Finished call = finished;
        call(*this);
    });
}

std::string CCurlTransfer::ErrorText() const
{
    if (m_result == CURLE_OK)
        return std::string();
    if (m_errorBuffer[0] != '\0')
        return m_errorBuffer;
    return curl_easy_strerror(m_result);
}

long CCurlTransfer::ResponseCode() const
{
    long status = 0;
    if (m_curl)
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

std::string CCurlTransfer::ContentType() const
{
    char* type = nullptr;
    if (m_curl)
        curl_easy_getinfo(m_curl, CURLINFO_CONTENT_TYPE, &type);
    return type ? type : "";
}

std::string CCurlTransfer::ResponseHeader(const char* name) const
{
    curl_header* header = nullptr;
    if (!m_curl || curl_easy_header(m_curl, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK || !header)
        return std::string();
    return header->value ? header->value : "";
}
