#pragma once

#include <vespera/core/KqmlFields.h>

#include <platform/DateTime.h>

#include <optional>
#include <string>

class CAgentContext;
class CMessageZone;

// Other agents' requests about single appointments: "request_appt" asks
// whether a time is free and is answered accept, alt (with the next free
// time) or reject; "appointment" and "conf_appt" write an appointment into
// the user's calendar, the latter confirming it by e-mail to the requester.
// Whether the sender may ask at all is the dispatcher's question; the
// meeting-scheduling policy decides here whether a requester by name is
// answered.
class CAppointmentRequests {
public:
    explicit CAppointmentRequests(CAgentContext& agent);

    void ProcessAppointmentRequest(const CKqmlFields& content, const std::string& sender);
    // email: the requester's address for a confirmation, none for a plain
    // appointment command.
    void CreateRequestedAppointment(const CKqmlFields& content, const std::string& sender,
                                    const std::optional<std::string>& email);

private:
    bool RequesterAllowed(const std::string& firstName, const std::string& lastName) const;
    void AnswerAppointmentRequest(const CDateTime& start, long minutes, const std::string& email,
                                  const std::string& sender, const CMessageZone& zone);
    void SendConfirmationMail(const std::string& address, const CKqmlFields& content, const CDateTime& start);
    bool RequestedValuesUsable(const CDateTime& start, long duration);

    CAgentContext& m_agent;
};
