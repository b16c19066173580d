#include <vespera/webservice/ScheduleService.h>

#include <platform/CurlTransfer.h>
#include <platform/Registry.h>

#include <curl/curl.h>

#include <memory>

namespace {

constexpr const char* AgentKey = "Software\\ORVANTE\\CalendarAgent";
constexpr long MaxRedirects = 3;
// A trial answer is a few hundred bytes; anything far larger is not one.
constexpr std::size_t MaxResponseBytes = 1 << 20;

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

void FreeHeaders(curl_slist* headers)
{
    curl_slist_free_all(headers);
}

} // namespace

CScheduleService::CScheduleService() : CScheduleService(StoredAddress()) {}

CScheduleService::CScheduleService(const std::string& address, long timeoutSeconds)
    : m_address(address), m_timeoutSeconds(timeoutSeconds), m_headers(nullptr, FreeHeaders)
{
}

CScheduleService::~CScheduleService()
{
    // The transfer goes before the headers and body it points at.
    m_call.reset();
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

bool CScheduleService::HelloWorld(std::string& result, std::string& error)
{
    if (!Prepare("HelloWorld", error))
        return false;
    m_call->Perform();
    const std::unique_ptr<CCurlTransfer> call = std::move(m_call);
    return Answer(*call, "HelloWorld", result, error);
}

void CScheduleService::StartHelloWorld(CEventLoop& loop, Answered answered)
{
    std::string error;
    if (!Prepare("HelloWorld", error)) {
        answered(false, std::string(), error);
        return;
    }
    const bool started = m_call->Start(loop, [this, answered](CCurlTransfer& call) {
        std::string result;
        std::string why;
        const bool succeeded = Answer(call, "HelloWorld", result, why);
        // Kept until `answered` returns, which may destroy this object.
        const std::unique_ptr<CCurlTransfer> ended = std::move(m_call);
        const Answered tell = answered;
        tell(succeeded, result, why);
    });
    if (!started) {
        m_call.reset();
        answered(false, std::string(), "the HTTP client could not be started");
    }
}

bool CScheduleService::Prepare(const std::string& operation, std::string& error)
{
    m_call.reset();
    if (m_address.empty()) {
        error = std::string("no service address is set (registry value ") + AddressValue + ")";
        return false;
    }
    if (!IsWebAddress(m_address)) {
        error = "the service address is not an http or https address: " + m_address;
        return false;
    }
    CCurlTransfer::SSettings settings;
    settings.url = m_address;
    settings.connectTimeoutMs = m_timeoutSeconds * 1000;
    settings.totalTimeoutMs = m_timeoutSeconds * 1000;
    settings.maxRedirects = MaxRedirects;
    settings.maxBodyBytes = MaxResponseBytes;
    auto call = std::make_unique<CCurlTransfer>(settings);
    if (!call->IsReady()) {
        error = "the HTTP client could not be started";
        return false;
    }
    m_body = Envelope(operation);
    const std::string action = std::string("SOAPAction: \"") + Namespace + operation + "\"";
    m_headers.reset(curl_slist_append(nullptr, "Content-Type: text/xml; charset=utf-8"));
    m_headers.reset(curl_slist_append(m_headers.release(), action.c_str()));
    CURL* handle = call->Handle();
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, m_headers.get());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, m_body.c_str());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(m_body.size()));
    m_call = std::move(call);
    return true;
}

bool CScheduleService::Answer(CCurlTransfer& call, const std::string& operation, std::string& result,
                              std::string& error)
{
    if (call.BodyTooLarge()) {
        error = "the answer is too large to be one";
        return false;
    }
    if (call.Result() != CURLE_OK) {
        error = call.ErrorText();
        return false;
    }
    const long status = call.ResponseCode();
    if (status != 200) {
        error = "the service answered with HTTP status " + std::to_string(status);
        return false;
    }
    if (ResultOf(call.Body(), operation, result))
        return true;
    error = "the answer holds no " + operation + "Result";
    return false;
}
