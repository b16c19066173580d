#pragma once

#include <platform/DateTime.h>

#include <memory>
#include <string>

class CAgentContainer;
class CAgentContext;
class CAgentSettings;
class CAppointmentStore;
class CContactStore;
class CReminderSink;

namespace outlook {
class CApplication;
class CBackend;
class CItems;
class CNameSpace;
} // namespace outlook

// The agent's side of the user's calendar program: it starts the program and
// logs on, reads the calendar and the contacts into the agent's stores,
// notices when another program changed them, writes the appointments,
// contacts and mail the agent makes, and forwards reminders.
//
// Until CreateApplication succeeded the application and namespace are null
// and every write reports failure.
class CCalendarBridge {
public:
    // The calendar program's store; null means an empty in-memory one.
    // `container` is the agent whose communicator the reminder sink sends
    // through.
    CCalendarBridge(std::shared_ptr<outlook::CBackend> backend, CAgentContext& agent,
                    CAgentContainer& container);
    // Leaves the program in order: the reminder sink before the
    // application, the namespace logged off first.
    ~CCalendarBridge();

    CCalendarBridge(const CCalendarBridge&) = delete;
    CCalendarBridge& operator=(const CCalendarBridge&) = delete;

    // --- starting the program, as start-up's steps ----------------------------

    // Creates the application anew; false when the program is not there.
    bool CreateApplication();
    // Takes the application's "MAPI" namespace.
    void TakeNamespace();
    // Logs on to the namespace; false when there is none or it refuses.
    bool Logon();
    outlook::CBackend& GetBackend() { return *m_backend; }
    // Null before CreateApplication succeeded.
    outlook::CApplication* GetOutlookApplication();
    outlook::CNameSpace* GetNameSpace();

    // --- reading ---------------------------------------------------------------

    // Appends every appointment of the calendar folder to the store.
    void LoadAppointments();
    // Appends every contact of the contacts folder to the store.
    void LoadContacts();
    // Empties the store, holds included, and loads the appointments again;
    // contacts stay.
    void Resynchronise();
    // Drops every appointment but the holds and loads the calendar again:
    // for re-reads the user did not ask for, which must not free a time
    // already offered to another agent.
    void ReloadAppointments();
    // When another program changed the calendar or the contacts, reads both
    // again, keeping the holds; a change that cannot be read is logged and
    // said on standard error, and the stores stay as they were.
    void SyncWithOutsideChanges();
    // The items of the calendar folder the agent knows of; appointments the
    // agent creates are numbered from it.
    int GetCalendarItemCount() const { return m_calendarItemCount; }
    // Reads the calendar folder's item at the 1-based position into the
    // store, recurrence included, as loading does; false when there is none.
    bool LoadCalendarItem(int position);
    void SetCalendarItemCount(int count) { m_calendarItemCount = count; }

    // --- writing ---------------------------------------------------------------

    // Writes a new appointment into the calendar folder and, with
    // addToStore, into the appointment store as well. False (logged) when
    // the calendar program is not there or refuses the item, and for a
    // duration that is not from 1 minute to a year.
    //
    // A meeting (required attendees given, as agent names joined by ",")
    // also carries the e-mail addresses of its organiser (organiserAgent,
    // empty for this agent's user) and of those attendees whose addresses
    // are known, so that desktop calendar programs show who takes part.
    bool CreateOutlookAppointment(const CDateTime& start, long duration, const std::string& subject,
                                  const std::string& body, const std::string& location, long reminderMinutes,
                                  bool setReminder, const std::string& requiredAttendees,
                                  const std::string& optionalAttendees, bool addToStore,
                                  const std::string& organiserAgent = std::string());
    // Why the last CreateOutlookAppointment failed, for the user.
    const std::string& GetLastWriteError() const { return m_lastWriteError; }
    // Writes a contact for a person of a schedule into the contacts folder
    // and the store; false when the program refuses it.
    bool CreateOutlookContact(const std::string& agentName, const std::string& fullName,
                              const std::string& emailAddress, const std::string& webPage);
    // Sends one e-mail through the calendar program; false when it cannot.
    bool SendMail(const std::string& to, const std::string& subject, const std::string& body);
    // The e-mail address of an agent: the user's own for this agent, a
    // contact's for a contact's agent; empty when unknown.
    std::string EmailOfAgent(const std::string& agentName) const;

    // --- reminders -------------------------------------------------------------

    // Makes the reminder sink and connects it to the application.
    void RegisterReminderSink();
    // Makes or drops the sink as ReminderAlert says and gives it the current
    // targets.
    void ApplyNotificationSettings();
    // Null unless registered.
    CReminderSink* GetReminderSink();

private:
    bool LoadAppointment(outlook::CItems& items, int position);
    bool LoadContact(outlook::CItems& items, int position);
    std::string EmailsOfAgents(const std::string& agentNames) const;
    // Keeps the reason of a failed calendar write; always false.
    bool WriteFailed(const std::string& reason);

    CAgentSettings& Settings() const;
    CAppointmentStore& Appointments() const;
    CContactStore& Contacts() const;
    void AppLog(const char* fmt, ...) const __attribute__((format(printf, 2, 3)));

    std::shared_ptr<outlook::CBackend> m_backend;
    CAgentContext& m_agent;
    CAgentContainer& m_container;
    std::unique_ptr<outlook::CApplication> m_application;
    std::unique_ptr<CReminderSink> m_reminderSink;
    // Owned by the application.
    outlook::CNameSpace* m_namespace = nullptr;
    int m_calendarItemCount = 0;
    std::string m_lastWriteError;
};
