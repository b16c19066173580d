#include <vespera/core/CalendarBridge.h>

#include <vespera/core/AgentContext.h>
#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/ReminderSink.h>

#include <outlook/Application.h>
#include <outlook/AppointmentItem.h>
#include <outlook/ContactItem.h>
#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>
#include <outlook/MailItem.h>
#include <outlook/MemoryBackend.h>
#include <outlook/NameSpace.h>
#include <outlook/RecurrencePattern.h>

#include <agentkit/AgentContainer.h>
#include <basekit/Debug.h>
#include <platform/BalloonSink.h>
#include <platform/DateTimeSpan.h>
#include <platform/MessageBoxSink.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

// A number the calendar program gives, held to the range of an int.
int Narrow(long value)
{
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

// A date at 00:00 and a time of day on 30 December 1899 as one instant; the
// time is added as the span it stands for, so dates before 1899 come out
// right too.
CDateTime DatePlusTime(const CDateTime& date, const CDateTime& time)
{
    if (date.GetStatus() != CDateTime::valid || time.GetStatus() != CDateTime::valid)
        return date;
    return date + CDateTimeSpan(time.GetValue());
}

// The full name split at its last blank, once trimmed of blanks: the part
// before is the first name, the rest the last name.
std::pair<std::string, std::string> SplitFullName(const std::string& fullName)
{
    const std::size_t first = fullName.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {std::string(), std::string()};
    const std::string name = fullName.substr(first, fullName.find_last_not_of(" \t") - first + 1);
    const std::size_t space = name.rfind(' ');
    if (space == std::string::npos)
        return {std::string(), name};
    return {name.substr(0, space), name.substr(space + 1)};
}

} // namespace

CCalendarBridge::CCalendarBridge(std::shared_ptr<outlook::CBackend> backend, CAgentContext& agent,
                                 CAgentContainer& container)
    : m_backend(backend ? std::move(backend) : std::make_shared<outlook::CMemoryBackend>()), m_agent(agent),
      m_container(container)
{
    m_backend->SetChangeListener([this] { SyncWithOutsideChanges(); });
}

CCalendarBridge::~CCalendarBridge()
{
    m_backend->SetChangeListener(nullptr);
    if (m_namespace)
        m_namespace->Logoff();
    m_namespace = nullptr;
    if (m_reminderSink)
        m_reminderSink->Disconnect();
    m_application.reset();
    m_reminderSink.reset();
}

bool CCalendarBridge::CreateApplication()
{
    m_namespace = nullptr;
    // A sink hangs on the application it was advised to.
    m_reminderSink.reset();
    m_application.reset();
    m_application = outlook::CApplication::Create(m_backend);
    if (const std::string note = m_application ? m_backend->GetStatusNote() : std::string(); !note.empty()) {
        AppLog("CVSP::CreateApplication: %s", note.c_str());
        std::fprintf(stderr, "vespera: %s\n", note.c_str());
        CBalloonSink::Show("Calendar Server Unreachable", note);
    }
    return m_application != nullptr;
}

void CCalendarBridge::TakeNamespace()
{
    m_namespace = m_application ? m_application->GetNamespace("MAPI") : nullptr;
}

bool CCalendarBridge::Logon()
{
    return m_namespace && m_namespace->Logon();
}

// --- reading -----------------------------------------------------------------

void CCalendarBridge::LoadAppointments()
{
    AppLog("CVSP::LoadAppointments: Loading Appointments");
    if (!m_namespace) {
        AppLog("CVSP::LoadApointments: Namespace Pointer is NULL. No Appointments Loaded");
        CMessageBoxSink::Show("Namespace pointer is null. No Appointments Loaded",
                              MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    AppLog("CVSP::LoadApointments: Get olFolderCalendar");
    outlook::CMAPIFolder* folder = m_namespace->GetDefaultFolder(outlook::olFolderCalendar);
    outlook::CItems* items = folder ? folder->GetItems() : nullptr;
    if (!items) {
        AppLog("CVSP::LoadApointments: Calendar folder not accessible. No Appointments Loaded");
        CMessageBoxSink::Show("Could not load appointments because the calendar folder is not accessible!",
                              MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const int count = Narrow(items->GetCount());
    m_calendarItemCount = count;
    AppLog("Total Items in olFolderCalendar = %d", count);
    for (int position = 1; position <= count; ++position)
        LoadAppointment(*items, position);
    for (const std::string& note : m_backend->GetReadNotes(outlook::olFolderCalendar))
        AppLog("CVSP::LoadApointments: %s", note.c_str());
    AppLog("Total Appointments loaded = %d", count);
}

// Items that are no appointments are skipped; the count stays as the folder
// gives it, so that the agent's own items are still numbered after them.
bool CCalendarBridge::LoadCalendarItem(int position)
{
    outlook::CMAPIFolder* folder =
        m_namespace ? m_namespace->GetDefaultFolder(outlook::olFolderCalendar) : nullptr;
    outlook::CItems* items = folder ? folder->GetItems() : nullptr;
    return items && LoadAppointment(*items, position);
}

bool CCalendarBridge::LoadAppointment(outlook::CItems& items, int position)
{
    std::unique_ptr<outlook::CItem> item = items.Item(position);
    outlook::CAppointmentItem* appointment = item ? item->AsAppointment() : nullptr;
    if (!appointment) {
        AppLog("CVSP::LoadApointments: Item %d is no appointment; skipped", position);
        return false;
    }
    const CDateTime start = appointment->GetStart();
    const CDateTime end = appointment->GetEnd();
    const int busyStatus = Narrow(appointment->GetBusyStatus());
    const outlook::CRecurrencePattern* pattern =
        appointment->GetIsRecurring() ? appointment->GetRecurrencePattern() : nullptr;
    const int reminderSet = appointment->GetReminderSet() ? 1 : 0;
    if (!pattern) {
        AppLog("Adding Appointment %d", position);
        const CAppointment* added = Appointments().AddAppointment(
            position, appointment->GetSubject(), appointment->GetBody(), appointment->GetLocation(),
            appointment->GetRequiredAttendees(), appointment->GetOptionalAttendees(), start, end,
            appointment->GetDuration(), reminderSet, appointment->GetReminderMinutesBeforeStart(), busyStatus,
            CDateTime::Null(), "outlook", false);
        Appointments().SetAllDay(added, appointment->GetAllDayEvent());
        return true;
    }
    AppLog("Adding Recurring Appointment %d", position);
    Appointments().AddRecurringAppointment(
        position, appointment->GetSubject(), appointment->GetBody(), appointment->GetLocation(),
        appointment->GetRequiredAttendees(), appointment->GetOptionalAttendees(), start, end,
        appointment->GetDuration(), reminderSet, appointment->GetReminderMinutesBeforeStart(), busyStatus,
        CDateTime::Null(), "outlook", Narrow(pattern->GetRecurrenceType()), Narrow(pattern->GetInterval()),
        pattern->GetInstance(), pattern->GetNoEndDate() ? 0 : 1,
        DatePlusTime(pattern->GetPatternStartDate(), pattern->GetStartTime()),
        DatePlusTime(pattern->GetPatternEndDate(), pattern->GetEndTime()), pattern->GetDayOfMonth(),
        Narrow(pattern->GetDayOfWeekMask()), false);
    return true;
}

// "Synchronise" reads what a server holds now, not what its last poll saw.
void CCalendarBridge::Resynchronise()
{
    m_backend->FetchChanges();
    if (m_backend->Refresh() == outlook::CBackend::RefreshResult::Failed)
        AppLog("CVSP::Resynchronise: %s", m_backend->GetLastErrorText().c_str());
    Appointments().Clear();
    LoadAppointments();
    Appointments().Refresh();
}

// The holds live only in the agent and must outlast a re-read, or a time
// already offered could be given away twice.
void CCalendarBridge::ReloadAppointments()
{
    Appointments().RemoveIf([](const CAppointment& appointment) {
        return appointment.GetOutlookIndex() != CAppointmentStore::HoldIndex;
    });
    LoadAppointments();
}

void CCalendarBridge::SyncWithOutsideChanges()
{
    switch (m_backend->Refresh()) {
    case outlook::CBackend::RefreshResult::Unchanged:
        return;
    case outlook::CBackend::RefreshResult::Failed:
        AppLog("CVSP::Resynchronise: %s", m_backend->GetLastErrorText().c_str());
        std::fprintf(stderr, "vespera: %s\n", m_backend->GetLastErrorText().c_str());
        return;
    case outlook::CBackend::RefreshResult::Reread:
        break;
    }
    AppLog("CVSP::Resynchronise: the calendar or the contacts were changed by another program; reading them "
           "again");
    ReloadAppointments();
    Contacts().Clear();
    LoadContacts();
    // The rows and bold days the window showed went with the old items.
    Appointments().Refresh();
}

void CCalendarBridge::LoadContacts()
{
    AppLog("CVSP::LoadContacts: Loading Contacts");
    if (!m_namespace) {
        AppLog("Namespace pointer is NULL. No Contacts Loaded");
        CMessageBoxSink::Show("NameSpace pointer is NULL. No Contacts Loaded", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    AppLog("CVSP::LoadContacts:Get olFolderContacts");
    outlook::CMAPIFolder* folder = m_namespace->GetDefaultFolder(outlook::olFolderContacts);
    if (!folder) {
        CMessageBoxSink::Show("Could not load contacts because the MAPI Folder is not accessible!",
                              MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    outlook::CItems* items = folder->GetItems();
    if (!items) {
        CMessageBoxSink::Show("Could not load contacts because items pointer is not accessible",
                              MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const int count = Narrow(items->GetCount());
    AppLog("CVSP::LoadContacts: Total Items in olFolderContacts = %d", count);
    for (int position = 1; position <= count; ++position)
        LoadContact(*items, position);
    AppLog("Total Appointments loaded = %d", count);
    AppLog("CVSP::LoadContacts: Total Contacts Loaded = %d", count);
}

// Items that are no contacts (distribution lists) are skipped.
bool CCalendarBridge::LoadContact(outlook::CItems& items, int position)
{
    AppLog("CVSP::LoadContacts: Loading contact %d", position);
    std::unique_ptr<outlook::CItem> item = items.Item(position);
    outlook::CContactItem* contact = item ? item->AsContact() : nullptr;
    if (!contact) {
        AppLog("CVSP::LoadContacts: Item %d is no contact; skipped", position);
        return false;
    }
    AppLog("CVSP::LoadContacts: Got olContactItem");
    auto record = std::make_unique<CContactRecord>(contact->GetFirstName(), contact->GetLastName(),
                                                   contact->GetEmail1Address());
    if (!contact->GetEmail1Address().empty()) {
        record->SetCalendarAgentName(CContactRecord::AgentNameFor(contact->GetEmail1Address()));
        AppLog("CVSP::LoadContacts: Setting CalendarAgentName");
    }
    record->SetBusinessTelephone(contact->GetBusinessTelephoneNumber());
    record->SetHomeTelephone(contact->GetHomeTelephoneNumber());
    record->SetMobileTelephone(contact->GetMobileTelephoneNumber());
    AppLog("CVSP::LoadContacts: Adding Contact to Contact Store");
    Contacts().Add(std::move(record));
    return true;
}

bool CCalendarBridge::CreateOutlookContact(const std::string& agentName, const std::string& fullName,
                                           const std::string& emailAddress, const std::string& webPage)
{
    m_agent.LogLine("Creating item via ApptPtr");
    std::unique_ptr<outlook::CItem> item =
        m_application ? m_application->CreateItem(outlook::olContactItem) : nullptr;
    outlook::CContactItem* contact = item ? item->AsContact() : nullptr;
    if (!contact) {
        m_agent.Logf("Unable to create a contact for %s in the calendar program", agentName.c_str());
        return false;
    }
    const auto [firstName, lastName] = SplitFullName(fullName);
    auto record = std::make_unique<CContactRecord>(firstName, lastName, emailAddress);
    record->SetWebPage(webPage);
    contact->SetFirstName(firstName);
    contact->SetLastName(lastName);
    contact->SetEmail1Address(emailAddress);
    contact->SetWebPage(webPage);
    m_agent.LogLine("Now saving contact");
    if (!contact->Save()) {
        m_agent.LogLine("The calendar program refused the contact");
        return false;
    }
    Contacts().Add(std::move(record));
    return true;
}

// --- reminders ------------------------------------------------------------------

void CCalendarBridge::RegisterReminderSink()
{
    AppLog("CVSP:RegisterReminderSink: Registering Reminder Sink");
    if (!m_application)
        return;
    // A second registration replaces the sink, so that no reminder is
    // forwarded twice.
    m_reminderSink = std::make_unique<CReminderSink>(*m_application, m_agent.GetNotifier());
    m_reminderSink->SetEmailTarget(Settings().GetEmailAlertString(), Settings().GetEmailAlert());
    m_reminderSink->SetAgentTarget(Settings().GetAgentAlertString(), Settings().GetAgentAlert());
    m_reminderSink->SetCommunicator(m_container.get_communicator());
    AppLog("CVSP:RegisterReminderSink: Sinking Events");
    m_reminderSink->Connect();
}

void CCalendarBridge::ApplyNotificationSettings()
{
    if (Settings().GetReminderAlert() && !m_reminderSink)
        RegisterReminderSink();
    else if (!Settings().GetReminderAlert())
        m_reminderSink.reset();
    if (!m_reminderSink)
        return;
    m_reminderSink->SetEmailTarget(Settings().GetEmailAlertString(), Settings().GetEmailAlert());
    m_reminderSink->SetAgentTarget(Settings().GetAgentAlertString(), Settings().GetAgentAlert());
}

CReminderSink* CCalendarBridge::GetReminderSink()
{
    return m_reminderSink.get();
}

outlook::CApplication* CCalendarBridge::GetOutlookApplication()
{
    return m_application.get();
}

outlook::CNameSpace* CCalendarBridge::GetNameSpace()
{
    return m_namespace;
}

bool CCalendarBridge::CreateOutlookAppointment(const CDateTime& start, long duration,
                                               const std::string& subject, const std::string& body,
                                               const std::string& location, long reminderMinutes,
                                               bool setReminder, const std::string& requiredAttendees,
                                               const std::string& optionalAttendees, bool addToStore,
                                               const std::string& organiserAgent)
{
    m_lastWriteError.clear();
    // Lengths come from other agents' messages; one that is not from a
    // minute to a year would leave an item nobody can use.
    if (duration <= 0 || duration > CAgentContext::MaxRequestedMinutes) {
        m_agent.Logf("Refusing to write an appointment of %s minutes", std::to_string(duration).c_str());
        return WriteFailed("a length of " + std::to_string(duration) +
                           " minutes is not from a minute to a year");
    }
    m_agent.LogLine("Creating item via ApptPtr");
    std::unique_ptr<outlook::CItem> item =
        m_application ? m_application->CreateItem(outlook::olAppointmentItem) : nullptr;
    outlook::CAppointmentItem* appointment = item ? item->AsAppointment() : nullptr;
    if (!appointment) {
        m_agent.LogLine("Unable to create an appointment in the calendar program");
        return WriteFailed("the calendar program is not available");
    }
    m_agent.LogLine("Setting the start date");
    m_agent.LogLine(start.Format().c_str());
    bool accepted = appointment->SetStart(start);
    m_agent.LogLine("Setting other appt info");
    accepted = appointment->SetDuration(duration) && accepted;
    appointment->SetSubject(subject);
    appointment->SetBody(body);
    appointment->SetLocation(location);
    m_agent.LogLine("Location set. Now setting reminder");
    m_agent.Logf("%s reminder mins = %ld", setReminder ? "Setting" : "No selected", reminderMinutes);
    m_agent.LogLine("Setting boolean value for the reminder");
    appointment->SetReminderSet(setReminder);
    long minutes = 0;
    if (setReminder) {
        m_agent.LogLine("bSetReminder = true. So Setting the reminder");
        accepted = appointment->SetReminderMinutesBeforeStart(reminderMinutes) && accepted;
        minutes = reminderMinutes;
    }
    m_agent.LogLine("Reminder set");
    if (!requiredAttendees.empty()) {
        appointment->SetRequiredAttendees(requiredAttendees);
        appointment->SetRequiredAddresses(EmailsOfAgents(requiredAttendees));
        appointment->SetOrganizer(organiserAgent.empty() ? Settings().GetEmail()
                                                         : EmailOfAgent(organiserAgent));
    }
    if (!optionalAttendees.empty())
        appointment->SetOptionalAttendees(optionalAttendees);
    m_agent.LogLine("Attendees set. Now saving appt");
    if (!accepted || !appointment->Save()) {
        m_agent.LogLine("The calendar program refused the appointment");
        const std::string& reason = m_backend->GetLastErrorText();
        return WriteFailed(reason.empty() ? "the calendar program refused the appointment" : reason);
    }
    if (addToStore) {
        m_agent.LogLine("Now adding this appointment to the local store");
        CDateTime end = start + CDateTimeSpan(0, 0, static_cast<int>(duration), 0);
        ++m_calendarItemCount;
        Appointments().AddAppointment(m_calendarItemCount, subject, body, location, requiredAttendees,
                                      optionalAttendees, start, end, duration, setReminder ? 1 : 0, minutes,
                                      outlook::olBusy, CDateTime::Null(), "outlook", true);
    }
    return true;
}

std::string CCalendarBridge::EmailOfAgent(const std::string& agentName) const
{
    if (agentName.empty())
        return std::string();
    if (agentName == m_agent.GetRegisteredName() || agentName == Settings().GetAgentName())
        return Settings().GetEmail();
    const CContactRecord* contact = Contacts().FindByAgentName(agentName);
    return contact ? contact->GetEmailAddress() : std::string();
}

// "; " between the known addresses of the agents named, in their order.
std::string CCalendarBridge::EmailsOfAgents(const std::string& agentNames) const
{
    std::string addresses;
    std::size_t from = 0;
    while (from <= agentNames.size()) {
        const std::size_t comma = std::min(agentNames.find(',', from), agentNames.size());
        const std::string address = EmailOfAgent(agentNames.substr(from, comma - from));
        if (!address.empty())
            addresses += (addresses.empty() ? "" : "; ") + address;
        from = comma + 1;
    }
    return addresses;
}

bool CCalendarBridge::WriteFailed(const std::string& reason)
{
    m_lastWriteError = reason;
    return false;
}

bool CCalendarBridge::SendMail(const std::string& to, const std::string& subject, const std::string& body)
{
    std::unique_ptr<outlook::CItem> item =
        m_application ? m_application->CreateItem(outlook::olMailItem) : nullptr;
    outlook::CMailItem* mail = item ? item->AsMail() : nullptr;
    if (!mail) {
        m_agent.Logf("Unable to create a mail item to %s", to.c_str());
        return false;
    }
    mail->SetTo(to);
    mail->SetSubject(subject);
    mail->SetBody(body);
    if (!mail->Send()) {
        m_agent.Logf("Unable to send the mail to %s", to.c_str());
        return false;
    }
    return true;
}

CAgentSettings& CCalendarBridge::Settings() const
{
    return m_agent.GetSettings();
}

CAppointmentStore& CCalendarBridge::Appointments() const
{
    return m_agent.GetAppointmentStore();
}

CContactStore& CCalendarBridge::Contacts() const
{
    return m_agent.GetContactStore();
}

void CCalendarBridge::AppLog(const char* fmt, ...) const
{
    va_list args;
    va_start(args, fmt);
    m_agent.GetApplicationLog().vdebug(fmt, args);
    va_end(args);
}
