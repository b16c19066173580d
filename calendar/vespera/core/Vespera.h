#pragma once

#include <vespera/core/TimeConstraint.h>

#include <agentkit/AgentContainer.h>

#include <platform/DateTime.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class CAgentSettings;
class CAppointmentStore;
class CAttendeeSide;
class CContactStore;
class CNegotiation;
class CNegotiationStore;
class COrganiserSide;
class CPreferences;
class CTimeSlot;
class CTimeSlotStore;

namespace outlook
{
class CApplication;
class CBackend;
class CNameSpace;
} // namespace outlook

// The calendar agent: an agent container that reads every message another
// agent sends it, answers appointment requests, takes part in meeting
// negotiations on both sides and writes what was agreed into the calendar
// program.
//
// It owns its settings, stores and negotiation sides from construction on,
// so that every accessor returns a live object for the agent's whole life.
// The calendar program is started by StartOutlook (process_create calls it);
// until then the application and namespace are null and the calendar writes
// report failure.
//
// Everything runs on the thread of the hosting window, one message at a time.
class CVespera : public CAgentContainer
{
public:
    static constexpr const char* ContainerName = "vespera";
    // The timer ticks between two purges of expired holds.
    static constexpr int PurgeInterval = 30;

    // Opens an address in the user's web browser: a result above 32 means
    // it was opened, anything else is the error code to report.
    using UrlOpener = std::function<int(const std::string& address)>;

    // The calendar program's store; null means an empty in-memory one.
    explicit CVespera(std::shared_ptr<outlook::CBackend> backend = nullptr);
    ~CVespera() override;

    CVespera(const CVespera&) = delete;
    CVespera& operator=(const CVespera&) = delete;

    // --- container hooks ----------------------------------------------------

    // Starts the calendar program; the rest of the agent is already built.
    void process_create() override;
    // Every PurgeInterval ticks, the expired holds go.
    void process_timer() override;
    // The dispatcher of incoming messages; the result carries no meaning.
    int process_message(char* message) override;
    using CAgentContainer::process_message;

    // --- owned parts ----------------------------------------------------------

    CAgentSettings& GetSettings();
    CAppointmentStore& GetAppointmentStore();
    CContactStore& GetContactStore();
    CPreferences& GetPreferences();
    CNegotiationStore& GetNegotiationStore();
    CAttendeeSide& GetAttendeeSide();
    COrganiserSide& GetOrganiserSide();

    // --- the calendar program -------------------------------------------------

    // Creates the application, takes its "MAPI" namespace and logs on. False
    // (logged) when the application cannot be made; a failed logon is logged
    // and still counts as started, since the program runs without it.
    bool StartOutlook();
    // Null before StartOutlook succeeded.
    outlook::CApplication* GetOutlookApplication();
    outlook::CNameSpace* GetNameSpace();
    // The items of the calendar folder the agent knows of; appointments the
    // agent creates are numbered from it.
    int GetCalendarItemCount() const { return m_calendarItemCount; }
    void SetCalendarItemCount(int count) { m_calendarItemCount = count; }

    // Writes a new appointment into the calendar folder and, with
    // addToStore, into the appointment store as well. False (logged) when
    // the calendar program is not there or refuses the item.
    bool CreateOutlookAppointment(const CDateTime& start, long duration, const std::string& subject,
                                  const std::string& body, const std::string& location, long reminderMinutes,
                                  bool setReminder, const std::string& requiredAttendees,
                                  const std::string& optionalAttendees, bool addToStore);
    // Sends one e-mail through the calendar program; false when it cannot.
    bool SendMail(const std::string& to, const std::string& subject, const std::string& body);

    // --- messages ----------------------------------------------------------------

    // Sends content to receiver, traced; nullopt when it went out, else the
    // communicator's error text.
    virtual std::optional<std::string> SendAgentMessage(const std::string& performative,
                                                        const std::string& receiver,
                                                        const std::string& content);
    // The untraced notice to the user's alert agent, with the ontology and
    // language in the places the alert agents expect.
    virtual std::optional<std::string> SendAlertNotice(const std::string& receiver, const std::string& content);

    // "%H%M%S" of the local time, the millisecond field and a random number.
    static std::string MakeNegotiationId();

    // --- handlers the dispatcher chooses --------------------------------------

    void ProcessContract(const std::string& content, const std::string& sender);
    void ProcessAward(const std::string& content, const std::string& sender);
    void ProcessBid(const std::string& content, const std::string& sender);
    void ProcessConfirmation(const std::string& content, const std::string& sender);
    void StartNegotiation(const std::string& request);
    void ProcessAppointmentRequest(const std::string& content, const std::string& sender);
    // email: the requester's address for a confirmation, none for a plain
    // appointment command.
    void CreateRequestedAppointment(const std::string& content, const std::string& sender,
                                    const std::optional<std::string>& email);

    // --- the negotiation sides and the free-time searches, as they give them --

    int DeletePreviousBids(const std::string& negID);
    int DeleteBid(const std::string& negID, const std::string& bidID);
    int RemoveExpiredHolds();
    void ProcessNegotiation(CNegotiation& record);
    void FinishNegotiation(CNegotiation& record, const std::string& reason);
    std::string BuildContract(CNegotiation& record, const std::string& request);
    std::string RebuildContract(CNegotiation& record);
    int SendContracts(const std::string& contract, const std::string& attendees, CNegotiation& record, bool first);

    int LoadPreferences();
    CTimeConstraintSet ConstraintsFor(const std::string& requesterAgentName) const;
    bool IsFreePlain(const CDateTime& start, int minutes) const;
    bool IsFreeConstrained(const CDateTime& start, int minutes, const CTimeConstraintSet& constraints) const;
    bool IsSlotFree(const CTimeSlot& slot, const CTimeConstraintSet& constraints) const;
    CTimeSlot NextFreeSlot(const CDateTime& start, int minutes, const CTimeConstraintSet& constraints) const;
    CTimeSlot NextFreeSlotPlain(const CDateTime& start, int minutes) const;
    std::unique_ptr<CTimeSlotStore> FindAlternates(const CDateTime& start, int minutes, int count,
                                                   const CTimeConstraintSet& constraints) const;
    std::unique_ptr<CTimeSlotStore> FindFreeInWindow(const CDateTime& start, const CDateTime& end, int minutes,
                                                     int count, const CTimeConstraintSet& constraints) const;

    // --- notifications ------------------------------------------------------

    // The user's notices about meetings; this build logs what would go out.
    void NotifyMeetingScheduled(const std::string& otherAgent, const std::string& subject, const std::string& body,
                                const std::string& location, const std::string& startText, int duration,
                                const std::string& attendees);
    void NotifyESecretaryMeeting(bool scheduled, const std::string& subject, const std::string& body,
                                 const std::string& location, const std::string& startText, int duration,
                                 const std::string& requester);

    // --- registration with the name server ----------------------------------

    // Registers from the stored "AgentName", "ANSHost" and "ANSPort"; false
    // when one is missing or stands for "not set".
    bool LoadRegInfo();
    bool EnableANS(const std::string& name, const std::string& host, const std::string& port);
    void DisableANS();
    bool IsKnownToANS(const std::string& name);
    // The registration values in use.
    const std::string& GetRegisteredName() const { return m_agentName; }
    const std::string& GetANSHost() const { return m_ansHost; }
    const std::string& GetANSPortText() const { return m_ansPortText; }
    int GetANSPort() const { return m_ansPort; }

    // --- hooks --------------------------------------------------------------

    // Replaces the browser opener (null restores the default, which runs
    // xdg-open without a shell).
    void SetUrlOpener(UrlOpener opener);
    int GetTimerTick() const { return m_timerTick; }

private:
    void DispatchCommand(const std::string& command, const std::string& content, const std::string& sender);
    void DispatchType(const std::string& type, const std::string& content, const std::string& sender);
    void DispatchObjective(const std::string& objective, const std::string& content);
    void DispatchDataUrl(const std::string& dataurl);
    void BrowseSchedule(const std::string& content);
    void UploadSchedule(const std::string& content);
    void SendImportAlert(const std::string& url);
    void OpenDataUrl(const std::string& address);

    bool RequesterAllowed(const std::string& firstName, const std::string& lastName) const;
    void AnswerAppointmentRequest(const CDateTime& start, long minutes, const std::string& email,
                                  const std::string& sender);
    void SendConfirmationMail(const std::string& address, const std::string& content, const CDateTime& start);

    std::optional<std::string> Send(const std::string& performative, const std::string& receiver,
                                    const char* ontology, const char* language, const char* inReplyTo,
                                    const std::string& content);
    void LogNotification(const std::string& what, const std::string& subject, const std::string& text);

    std::shared_ptr<outlook::CBackend> m_backend;
    std::unique_ptr<CAgentSettings> m_settings;
    std::unique_ptr<CAppointmentStore> m_appointments;
    std::unique_ptr<CContactStore> m_contacts;
    std::unique_ptr<CPreferences> m_preferences;
    std::unique_ptr<CNegotiationStore> m_negotiations;
    std::unique_ptr<CAttendeeSide> m_attendeeSide;
    std::unique_ptr<COrganiserSide> m_organiserSide;
    std::unique_ptr<outlook::CApplication> m_application;
    // Owned by the application.
    outlook::CNameSpace* m_namespace = nullptr;
    int m_calendarItemCount = 0;

    std::string m_agentName;
    std::string m_ansHost;
    std::string m_ansPortText;
    int m_ansPort = 0;

    int m_timerTick = 1;
    UrlOpener m_urlOpener;
};
