#pragma once

#include <platform/DateTime.h>

#include <functional>
#include <optional>
#include <string>

class CAgentSettings;
class CContactStore;

// Builds the texts the agent tells its user and sends them by the channels
// the settings switch on: a message to the user's alert agent, an e-mail,
// or both; what the user must know (a meeting agreed, a request answered,
// a reminder) is shown on the desktop as well, whatever the settings. It
// keeps no state of its own; the settings and contacts are read at every
// notice, so changes apply at once.
class CNotifier {
public:
    // How a notice leaves the agent; the agent gives its traced senders.
    struct SChannels {
        // The whole content of a "tell" to the alert agent.
        std::function<void(const std::string& receiver, const std::string& content)> agent;
        std::function<void(const std::string& to, const std::string& subject, const std::string& text)> mail;
        // A line for the agent's debug log.
        std::function<void(const std::string& line)> log;
        // A notice on the user's desktop about what happens on `day`.
        std::function<void(const std::string& title, const std::string& text, const CDateTime& day)> desktop;
    };

    // One notification: the subject of its e-mail and its text.
    struct SNotice {
        std::string subject;
        std::string text;
    };

    // Where reminders go; the reminder sink keeps its own copy.
    struct SReminderTargets {
        std::string emailTarget;
        bool emailOn = false;
        std::string agentTarget;
        bool agentOn = false;
    };

    static const char* const ConfirmationSubject;

    // Borrowed; both must outlive the notifier.
    CNotifier(const CAgentSettings& settings, const CContactStore& contacts, SChannels channels);

    // "subject@start>location[person]".
    static std::string ShortText(const std::string& subject, const std::string& startText,
                                 const std::string& location, const std::string& person);

    // The notice for a meeting another user's agent scheduled; nullopt when
    // neither meeting alert is on. The short form wins when both are.
    std::optional<SNotice> MeetingScheduledNotice(const std::string& otherAgent, const std::string& subject,
                                                  const std::string& body, const std::string& location,
                                                  const std::string& startText, int duration,
                                                  const std::string& attendees) const;
    // The notice for a meeting requested by the electronic secretary,
    // scheduled or declined; nullopt as above.
    std::optional<SNotice> ESecretaryNotice(bool scheduled, const std::string& subject,
                                            const std::string& body, const std::string& location,
                                            const std::string& startText, int duration,
                                            const std::string& requester) const;

    void NotifyMeetingScheduled(const std::string& otherAgent, const std::string& subject,
                                const std::string& body, const std::string& location,
                                const std::string& startText, int duration,
                                const std::string& attendees) const;
    void NotifyESecretaryMeeting(bool scheduled, const std::string& subject, const std::string& body,
                                 const std::string& location, const std::string& startText, int duration,
                                 const std::string& requester) const;
    // Sends the pair to the alert agent when AgentAlert is on and by e-mail
    // when EmailAlert is on.
    void Send(const SNotice& notice) const;

    // The "appointment_due" content for the alert agent.
    static std::string ReminderContent(const std::string& subject, const std::string& location,
                                       const CDateTime& start);
    // "subject@start>location", the reminder's e-mail text.
    static std::string ReminderMailText(const std::string& subject, const std::string& location,
                                        const CDateTime& start);
    // Forwards a due reminder to the targets that are on, whatever the
    // meeting alerts say. A start that is no valid time is logged and
    // forwarded nowhere.
    void NotifyReminder(const SReminderTargets& targets, const std::string& subject,
                        const std::string& location, const CDateTime& start) const;

    // The confirmation e-mail's text for a requested appointment.
    static std::string ConfirmationText(const std::string& targetRealName, const CDateTime& start,
                                        const std::string& subject, const std::string& body,
                                        const std::string& durationText, const std::string& targetEmail);
    // Mails the confirmation, whatever the alert settings.
    void SendConfirmation(const std::string& address, const std::string& text) const;

    // True for one plain address: an "@" with text on both sides, and no
    // blank, control character, comma, semicolon or angle bracket, so that
    // a text from another agent can never name several recipients or reach
    // into the message's headers.
    static bool IsSingleAddress(const std::string& address);

private:
    static std::string MeetingDetails(const std::string& subject, const std::string& body,
                                      const std::string& startText, int duration,
                                      const std::string& location);
    std::string OrganiserOpening(const std::string& otherAgent) const;
    std::string AttendeeLines(const std::string& attendees) const;
    std::string PersonFor(const std::string& agentName) const;
    bool AnyMeetingAlert() const;
    // "subject", then "start, location".
    static std::string DesktopText(const std::string& subject, const std::string& startText,
                                   const std::string& location);
    void ShowOnDesktop(const std::string& title, const std::string& text, const std::string& startText) const;
    void Log(const std::string& line) const;

    const CAgentSettings& m_settings;
    const CContactStore& m_contacts;
    SChannels m_channels;
};
