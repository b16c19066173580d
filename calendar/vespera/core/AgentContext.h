#pragma once

#include <platform/DateTime.h>

#include <optional>
#include <string>

class CAgentSettings;
class CDebug;
class CAppointmentStore;
class CContactStore;
class CNegotiationStore;
class CNotifier;
class CPreferences;

// What the parts of the calendar agent (the two negotiation sides, the
// appointment requests) need of the agent around them: its settings and
// stores, a way to send to other agents, the calendar to write meetings
// into, the user's notices and the agent's log. The agent is the one
// implementation; the parts never see more of it than this.
class CAgentContext {
public:
    // The longest appointment the agent writes for a message: a year.
    static constexpr long MaxRequestedMinutes = 366L * 24 * 60;

    // "%H%M%S" of the local time, the millisecond field and a random number:
    // the identifiers of negotiations, contracts and bids.
    static std::string MakeNegotiationId();

    virtual ~CAgentContext();

    virtual CAgentSettings& GetSettings() = 0;
    virtual CAppointmentStore& GetAppointmentStore() = 0;
    virtual CContactStore& GetContactStore() = 0;
    virtual CPreferences& GetPreferences() = 0;
    virtual CNegotiationStore& GetNegotiationStore() = 0;
    virtual CNotifier& GetNotifier() = 0;

    // Sends content to receiver, traced; nullopt when it went out, else the
    // reason it did not.
    virtual std::optional<std::string> SendAgentMessage(const std::string& performative,
                                                        const std::string& receiver,
                                                        const std::string& content) = 0;
    // The untraced notice to the user's alert agent.
    virtual std::optional<std::string> SendAlertNotice(const std::string& receiver,
                                                       const std::string& content) = 0;
    // One e-mail in the user's name; false when it cannot go.
    virtual bool SendMail(const std::string& to, const std::string& subject, const std::string& body) = 0;

    // Writes a new appointment into the user's calendar (and, with
    // addToStore, into the appointment store); false when it could not be
    // saved, with the reason in GetLastWriteError. organiserAgent names the
    // agent that organised a meeting, empty for this agent's user.
    virtual bool CreateOutlookAppointment(const CDateTime& start, long duration, const std::string& subject,
                                          const std::string& body, const std::string& location,
                                          long reminderMinutes, bool setReminder,
                                          const std::string& requiredAttendees,
                                          const std::string& optionalAttendees, bool addToStore,
                                          const std::string& organiserAgent) = 0;
    virtual const std::string& GetLastWriteError() const = 0;

    // One line of the agent's log, written as it is.
    virtual void LogLine(const std::string& line) = 0;
    // One line of the agent's log, formatted as printf does.
    void Logf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // The log of the agent's start-up steps, loads and notices.
    virtual CDebug& GetApplicationLog() = 0;
    // The name the agent registers with the name server; empty until set.
    virtual const std::string& GetRegisteredName() const = 0;
};
