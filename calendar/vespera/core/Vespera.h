#pragma once

#include <vespera/core/AgentContext.h>
#include <vespera/core/KqmlFields.h>
#include <vespera/core/SettingsPages.h>
#include <vespera/core/TimeConstraint.h>

#include <agentkit/AgentContainer.h>

#include <platform/DateTime.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class CAgentSettings;
class CAppointmentStore;
class CAppointmentRequests;
class CAttendeeSide;
class CCalendarBridge;
class CContactStore;
class CDebug;
class CNameServerRegistration;
class CNegotiation;
class CNegotiationStore;
class CNotifier;
class COrganiserSide;
class CPreferences;
class CScheduleImport;
class CScheduleSubscriptions;
class CTimeSlot;
class CTrafficTrace;

namespace outlook {
class CBackend;
} // namespace outlook

// The calendar agent: an agent container that reads every message another
// agent sends it, answers appointment requests, takes part in meeting
// negotiations on both sides and writes what was agreed into the calendar
// program.
//
// It is the composition root: it owns its settings, stores, preferences and
// notifier and the parts that do the work (the negotiation sides, the
// appointment requests, the calendar bridge, the registration) from
// construction on, so that every accessor returns a live object for the
// agent's whole life. The parts see the agent only as a CAgentContext. The
// calendar program is started by StartOutlook (process_create calls it);
// until then the calendar writes report failure.
//
// Its steps go to the application log, a file of its own under
// <install directory>/Logfiles; other lines go to the container's log.
//
// Everything runs on the thread of the hosting window, one message at a time.
class CVespera : public CAgentContainer, public CAgentContext {
public:
    static constexpr const char* ContainerName = "vespera";
    // The timer ticks between two purges of expired holds.
    static constexpr int PurgeInterval = 30;

    static const char* const OutlookMissingMessage;
    static const char* const LogonFailedMessage;

    // Asks the user for the lookup details when the stored registration is
    // not usable: the details as confirmed, nullopt when cancelled.
    using StartupSheet =
        std::function<std::optional<CLookupDetailsPageInput>(const CLookupDetailsPageInput&)>;

    // Opens an address in the user's web browser: a result above 32 means
    // it was opened, anything else is the error code to report.
    using UrlOpener = std::function<int(const std::string& address)>;

    // The calendar program's store; null means an empty in-memory one.
    explicit CVespera(std::shared_ptr<outlook::CBackend> backend = nullptr);
    ~CVespera() override;

    CVespera(const CVespera&) = delete;
    CVespera& operator=(const CVespera&) = delete;

    // --- container hooks ----------------------------------------------------

    // Start-up: the application log, the calendar program and its logon,
    // the reminder sink, appointments, contacts and preferences, with the
    // progress shown and the pauses between the steps. Without the calendar
    // program the process ends with code 0.
    void process_create() override;
    // Every PurgeInterval ticks, the expired holds go; every tick, the
    // subscriptions that are due are fetched.
    void process_timer() override;
    // The dispatcher of incoming messages; the result carries no meaning.
    int process_message(char* message) override;
    int process_parsed_message(const CParsedMessage& message) override;
    using CAgentContainer::process_message;

    // --- owned parts ----------------------------------------------------------

    CAgentSettings& GetSettings() override;
    CAppointmentStore& GetAppointmentStore() override;
    CContactStore& GetContactStore() override;
    CPreferences& GetPreferences() override;
    CNegotiationStore& GetNegotiationStore() override;
    CNotifier& GetNotifier() override;
    CAttendeeSide& GetAttendeeSide();
    COrganiserSide& GetOrganiserSide();

    // --- start-up and logs ----------------------------------------------------

    // The directory whose Logfiles the application log goes to; the user's
    // data directory until set.
    void SetInstallDirectory(const std::string& directory);
    const std::string& GetInstallDirectory() const { return m_installDirectory; }
    // Opens <directory>/Logfiles/VespLog-<local time>.txt (every "/" and ":"
    // of the time text made "-"), making Logfiles when it is missing.
    void CreateLogFile(const std::string& directory);
    CDebug& GetApplicationLog() override;
    // Empty until CreateLogFile.
    const std::string& GetApplicationLogPath() const { return m_applicationLogPath; }
    const std::string& GetAgentLogPath() const { return m_agentLogPath; }

    // Registration once the window is up: from the stored values, else
    // through the start-up sheet.
    void InitAgent();
    // The keys seen for other agents' names, beside the calendar.
    static constexpr const char* KnownAgentsFile = "known-agents";
    // Gives the communicator the user's agent key, made at the first start;
    // without one the agent registers and talks as before, and says why.
    void UseAgentKey();
    // Null restores the headless sheet, which writes what it would ask
    // through the message-box sink and counts as cancelled.
    void SetStartupSheet(StartupSheet sheet);

    // --- the calendar program -------------------------------------------------

    // Creates the application, takes its "MAPI" namespace and logs on, as
    // start-up's steps. False (logged) when the application cannot be made;
    // a failed logon is logged and shown and still counts as started, since
    // the program runs without it.
    bool StartOutlook();
    // The calendar program, as the agent reads and writes it.
    CCalendarBridge& GetCalendar();
    // The context's calendar writer and mail, which the bridge does.
    bool CreateOutlookAppointment(const CDateTime& start, long duration, const std::string& subject,
                                  const std::string& body, const std::string& location, long reminderMinutes,
                                  bool setReminder, const std::string& requiredAttendees,
                                  const std::string& optionalAttendees, bool addToStore,
                                  const std::string& organiserAgent = std::string()) override;
    const std::string& GetLastWriteError() const override;
    bool SendMail(const std::string& to, const std::string& subject, const std::string& body) override;
    void LogLine(const std::string& line) override;

    // --- messages ----------------------------------------------------------------

    // Sends content to receiver, traced; nullopt when it went out, else the
    // communicator's error text.
    std::optional<std::string> SendAgentMessage(const std::string& performative, const std::string& receiver,
                                                const std::string& content) override;
    // The untraced notice to the user's alert agent, with the ontology and
    // language in the places the alert agents expect.
    std::optional<std::string> SendAlertNotice(const std::string& receiver,
                                               const std::string& content) override;

    // The answers to other agents' single-appointment requests.
    CAppointmentRequests& GetAppointmentRequests();
    // Web schedules imported or shown at other agents' request, and the
    // writing of imported appointments.
    CScheduleImport& GetScheduleImport();
    // The web schedules the user subscribed to, read at start and fetched
    // again from the timer when due.
    CScheduleSubscriptions& GetScheduleSubscriptions();

    // --- registration with the name server ----------------------------------

    CNameServerRegistration& GetRegistration();
    // The name the agent registers under; empty until registered.
    const std::string& GetRegisteredName() const override;

    // --- hooks --------------------------------------------------------------

    // The watcher of the agent's traffic, borrowed; null for none.
    void SetTrafficTrace(CTrafficTrace* trace) { m_trafficTrace = trace; }

    // Replaces the browser opener (null restores the default, which runs
    // xdg-open without a shell).
    void SetUrlOpener(UrlOpener opener);
    int GetTimerTick() const { return m_timerTick; }

private:
    // `proven`: whether the sender proved its name; one that did not is a
    // stranger whatever name it sends.
    void DispatchCommand(const std::string& command, const CKqmlFields& content, const std::string& sender,
                         bool proven);
    void DispatchType(const std::string& type, const CKqmlFields& content, const std::string& sender,
                      bool proven);
    // Whether the sender of the message being handled proved its name over
    // TLS (or unproven names are trusted, or the message did not come over
    // the network).
    bool SenderProven(const std::string& sender);
    void DispatchObjective(const std::string& objective, const CKqmlFields& content,
                           const std::string& sender);
    void DispatchDataUrl(const std::string& dataurl);
    void OpenDataUrl(const std::string& address);

    bool SenderMayActFor(const std::string& command, const std::string& sender, bool proven);

    void AppLog(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void Step(const char* line, const char* progress, unsigned pauseMs);
    void Progress(const char* text, unsigned pauseMs);
    void ReportBrokenSettings();
    void UseTimeZoneSetting();
    [[noreturn]] void EndWithoutOutlook();
    std::optional<CLookupDetailsPageInput> AskHeadless(const CLookupDetailsPageInput& page);

    std::optional<std::string> Send(const std::string& performative, const std::string& receiver,
                                    const char* ontology, const char* language, const char* inReplyTo,
                                    const std::string& content);

    std::unique_ptr<CAgentSettings> m_settings;
    std::unique_ptr<CAppointmentStore> m_appointments;
    std::unique_ptr<CContactStore> m_contacts;
    std::unique_ptr<CPreferences> m_preferences;
    std::unique_ptr<CNegotiationStore> m_negotiations;
    std::unique_ptr<CAppointmentRequests> m_requests;
    std::unique_ptr<CAttendeeSide> m_attendeeSide;
    std::unique_ptr<COrganiserSide> m_organiserSide;
    std::unique_ptr<CDebug> m_applicationLog;
    std::unique_ptr<CNotifier> m_notifier;
    std::unique_ptr<CCalendarBridge> m_calendar;
    std::unique_ptr<CNameServerRegistration> m_registration;
    std::unique_ptr<CScheduleImport> m_scheduleImport;
    std::unique_ptr<CScheduleSubscriptions> m_subscriptions;

    std::string m_installDirectory;
    std::string m_applicationLogPath;
    std::string m_agentLogPath;

    int m_timerTick = 1;
    UrlOpener m_urlOpener;
    StartupSheet m_startupSheet;
    CTrafficTrace* m_trafficTrace = nullptr;
};
