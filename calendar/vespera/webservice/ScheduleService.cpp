#include <vespera/webservice/ScheduleService.h>

#include <platform/Registry.h>

#include <curl/curl.h>

#include <memory>

namespace {

constexpr const char* AgentKey = "Software\\ORVANTE\\CalendarAgent";
constexpr long MaxRedirects = 3;
// A trial answer is a few hundred bytes; anything far larger is not one.
constexpr std::size_t MaxResponseBytes = 1 << 20;

std::size_t CollectBody(char* data, std::size_t size, std::size_t count, void* target)
{
    auto* body = static_cast<std::string*>(target);
    const std::size_t bytes = size * count;
    if (body->size() + bytes > MaxResponseBytes)
        return 0;
    body->append(data, bytes);
    return bytes;
}

bool IsWebAddress(const std::string& address)
{
    return address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0;
}

std::string StoredAddress()
{
    std::string address;
    CRegistry().ReadValueUnbounded(AgentKey, CScheduleService::AddressValue, address);
    return address;
}

} // namespace

CScheduleService::CScheduleService() : CScheduleService(StoredAddress()) {}

CScheduleService::CScheduleService(const std::string& address, long timeoutSeconds)
    : m_address(address), m_timeoutSeconds(timeoutSeconds)
{
}

std::string CScheduleService::Envelope(const std::string& operation)
{
    return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                       "<soap:Body><") +
           operation + " xmlns=\"" + Namespace + "\"/></soap:Body></soap:Envelope>";
}

bool CScheduleService::ResultOf(const std::string& response, const std::string& operation,
                                std::string& result)
{
    const std::string tag = operation + "Result";
    std::string::size_type open = response.find("<" + tag);
    if (open == std::string::npos) {
        // A prefixed element: <ns:HelloWorldResult>.
        open = response.find(":" + tag);
        if (open == std::string::npos)
            return false;
    }
    const std::string::size_type start = response.find('>', open);
    if (start == std::string::npos)
        return false;
    if (response[start - 1] == '/') {
        result.clear();
        return true;
    }
    const std::string::size_type end = response.find("</", start);
    if (end == std::string::npos)
        return false;
    result = response.substr(start + 1, end - start - 1);
    return true;
}

bool CScheduleService::HelloWorld(std::string& result, std::string& error) const
{
    std::string response;
    if (!Call("HelloWorld", response, error))
        return false;
    if (ResultOf(response, "HelloWorld", result))
        return true;
    error = "the answer holds no HelloWorldResult";
    return false;
}

bool CScheduleService::Call(const std::string& operation, std::string& response, std::string& error) const
{
    if (m_address.empty()) {
        error = std::string("no service address is set (registry value ") + AddressValue + ")";
        return false;
    }
    if (!IsWebAddress(m_address)) {
        error = "the service address is not an http or https address: " + m_address;
        return false;
    }
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        error = "the HTTP client could not be started";
        return false;
    }
    const std::string body = Envelope(operation);
    const std::string action = std::string("SOAPAction: \"") + Namespace + operation + "\"";
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr, curl_slist_free_all);
    headers.reset(curl_slist_append(headers.release(), "Content-Type: text/xml; charset=utf-8"));
    headers.reset(curl_slist_append(headers.release(), action.c_str()));
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, m_address.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, MaxRedirects);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, m_timeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response);
    const CURLcode code = curl_easy_perform(handle);
    if (code != CURLE_OK) {
        error = curl_easy_strerror(code);
        return false;
    }
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        error = "the service answered with HTTP status " + std::to_string(status);
        return false;
    }
    return true;
}
