#pragma once

#include <functional>
#include <memory>
#include <string>

class CCurlTransfer;
class CEventLoop;
struct curl_slist;

// The client of the schedule-building web service: SOAP 1.1 over HTTP. Its
// address is the registry value "ScheduleServiceURL" of the agent's key
// (http or https). A call takes at most the time-out and never follows more
// than a few redirects; it blocks (HelloWorld) or runs on the event loop
// (StartHelloWorld), which goes on serving everything else meanwhile.
class CScheduleService {
public:
    static constexpr const char* AddressValue = "ScheduleServiceURL";
    static constexpr const char* Namespace = "http://orvante.org/ScheduleService/";
    static constexpr long DefaultTimeoutSeconds = 10;

    // The address stored in the registry (empty when none is).
    CScheduleService();
    explicit CScheduleService(const std::string& address, long timeoutSeconds = DefaultTimeoutSeconds);
    // Stops a call still running, without telling its `answered`.
    ~CScheduleService();

    CScheduleService(const CScheduleService&) = delete;
    CScheduleService& operator=(const CScheduleService&) = delete;

    const std::string& GetAddress() const { return m_address; }

    // The service's trial operation. True when it answered with a
    // HelloWorldResult; `result` holds its text, else `error` says why not.
    bool HelloWorld(std::string& result, std::string& error);
    // How a call that ran on the loop ended: as HelloWorld's result, its
    // text, else why not.
    using Answered = std::function<void(bool succeeded, const std::string& result, const std::string& error)>;
    // The same trial on `loop`: `answered` runs there when the service has
    // answered or failed (at once, before this returns, when there is no
    // address to call), and may destroy this object. One call at a time: a
    // new one stops the one before.
    void StartHelloWorld(CEventLoop& loop, Answered answered);
    bool IsCalling() const { return m_call != nullptr; }

    // The request body of an operation without arguments.
    static std::string Envelope(const std::string& operation);
    // The text of <operation>Result in a response; false when there is none.
    static bool ResultOf(const std::string& response, const std::string& operation, std::string& result);

private:
    // Sets up the call of `operation`; false (with `error`) when there is
    // nothing to call.
    bool Prepare(const std::string& operation, std::string& error);
    static bool Answer(CCurlTransfer& call, const std::string& operation, std::string& result,
                       std::string& error);

    std::string m_address;
    long m_timeoutSeconds;
    std::string m_body;
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> m_headers;
    std::unique_ptr<CCurlTransfer> m_call;
};
