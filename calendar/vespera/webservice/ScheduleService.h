#pragma once

#include <string>

// The client of the schedule-building web service: SOAP 1.1 over HTTP. Its
// address is the registry value "ScheduleServiceURL" of the agent's key
// (http or https). Calls block for at most the time-out and never follow
// more than a few redirects.
class CScheduleService {
public:
    static constexpr const char* AddressValue = "ScheduleServiceURL";
    static constexpr const char* Namespace = "http://orvante.org/ScheduleService/";
    static constexpr long DefaultTimeoutSeconds = 10;

    // The address stored in the registry (empty when none is).
    CScheduleService();
    explicit CScheduleService(const std::string& address, long timeoutSeconds = DefaultTimeoutSeconds);

    const std::string& GetAddress() const { return m_address; }

    // The service's trial operation. True when it answered with a
    // HelloWorldResult; `result` holds its text, else `error` says why not.
    bool HelloWorld(std::string& result, std::string& error) const;

    // The request body of an operation without arguments.
    static std::string Envelope(const std::string& operation);
    // The text of <operation>Result in a response; false when there is none.
    static bool ResultOf(const std::string& response, const std::string& operation, std::string& result);

private:
    bool Call(const std::string& operation, std::string& response, std::string& error) const;

    std::string m_address;
    long m_timeoutSeconds;
};
