#include <vespera/core/Vespera.h>

#include <vespera/core/AgentKey.h>
#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/AppointmentRequests.h>
#include <vespera/core/AttendeeSide.h>
#include <vespera/core/CalendarBridge.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/InstallDirectory.h>
#include <vespera/core/NameServerRegistration.h>
#include <vespera/core/NegotiationStore.h>
#include <vespera/core/Notifier.h>
#include <vespera/core/OrganiserSide.h>
#include <vespera/core/Preferences.h>
#include <vespera/core/ReminderSink.h>
#include <vespera/core/ScheduleImport.h>
#include <vespera/core/ScheduleSubscriptions.h>
#include <vespera/core/StartupPause.h>
#include <vespera/core/TrafficTrace.h>

#include <outlook/Application.h>
#include <outlook/AppointmentItem.h>
#include <outlook/ContactItem.h>
#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>
#include <outlook/MailItem.h>
#include <outlook/MemoryBackend.h>
#include <outlook/NameSpace.h>
#include <outlook/RecurrencePattern.h>

#include <platform/BalloonSink.h>
#include <platform/TimeZone.h>

#include <basekit/Debug.h>
#include <basekit/LList.h>
#include <basekit/Utils.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <namekit/ANSClient.h>
#include <platform/DateTimeSpan.h>
#include <platform/MessageBoxSink.h>
#include <platform/ProgressSink.h>
#include <platform/Registry.h>
#include <wirekit/Communicator.h>
#include <wirekit/FileModule.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace {

const char* const SettingsKey = "Software\\ORVANTE\\CalendarAgent";

// "VespLog-<local time>.txt" with every "/" and ":" made "-".
std::string LogFileName(const CDateTime& now)
{
    std::string name = "VespLog-" + now.Format() + ".txt";
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c == '/' || c == ':'; }, '-');
    return name;
}

} // namespace

const char* const CVespera::OutlookMissingMessage =
    "Failed to create an instance of Outlook. Outlook is either not present or not configured properly.\n\n"
    "The Agent will now shutdown.";
const char* const CVespera::LogonFailedMessage =
    "Unable to logon to Outlook Profile. Please check Outlook Installation.";

CVespera::CVespera(std::shared_ptr<outlook::CBackend> backend)
    : CAgentContainer(ContainerName), m_settings(std::make_unique<CAgentSettings>()),
      m_appointments(std::make_unique<CAppointmentStore>()), m_contacts(std::make_unique<CContactStore>()),
      m_negotiations(std::make_unique<CNegotiationStore>()), m_applicationLog(std::make_unique<CDebug>()),
      m_installDirectory(CInstallDirectory::UserDataDirectory())
{
    // The calendar agent finds its peers through the name server only.
    set_lookup_config(LOOKUP_NAME_SERVER);
    CNotifier::SChannels channels;
    channels.agent = [this](const std::string& receiver, const std::string& content) {
        SendAlertNotice(receiver, content);
    };
    channels.mail = [this](const std::string& to, const std::string& subject, const std::string& text) {
        SendMail(to, subject, text);
    };
    channels.log = [this](const std::string& line) { debug(line.c_str()); };
    channels.desktop = [](const std::string& title, const std::string& text, const CDateTime& day) {
        CBalloonSink::Show(title, text, day);
    };
    m_notifier = std::make_unique<CNotifier>(*m_settings, *m_contacts, std::move(channels));
    m_preferences = std::make_unique<CPreferences>(
        *m_settings, *m_appointments, [this](const std::string& line) { AppLog("%s", line.c_str()); });
    m_calendar = std::make_unique<CCalendarBridge>(std::move(backend), *this, *this);
    m_registration = std::make_unique<CNameServerRegistration>(*this, *m_applicationLog);
    m_requests = std::make_unique<CAppointmentRequests>(*this);
    m_scheduleImport = std::make_unique<CScheduleImport>(*this, *m_calendar);
    m_subscriptions = std::make_unique<CScheduleSubscriptions>(*this, *m_scheduleImport);
    m_attendeeSide = std::make_unique<CAttendeeSide>(*this);
    m_organiserSide = std::make_unique<COrganiserSide>(*this);
    // Agents started together draw their identifiers from different seeds:
    // whole seconds xor the process id repeat for neighbouring processes
    // started a second apart.
    const auto ticks =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::srand(static_cast<unsigned>(ticks) ^ static_cast<unsigned>(ticks >> 32) ^
               (static_cast<unsigned>(getpid()) << 16) ^ static_cast<unsigned>(std::time(nullptr)));
}

// The namespace logs off before the application goes, and the reminder sink
// leaves the application before that, since it cannot once the application
// is gone. The sides go before the stores they work on.
CVespera::~CVespera()
{
    m_subscriptions.reset();
    m_calendar.reset();
    m_registration.reset();
    m_applicationLog.reset();
    m_organiserSide.reset();
    m_attendeeSide.reset();
    m_requests.reset();
    m_preferences.reset();
    m_appointments.reset();
    m_negotiations.reset();
    m_notifier.reset();
    m_contacts.reset();
    m_settings.reset();
}

// --- container hooks ----------------------------------------------------------

void CVespera::process_create()
{
    CreateLogFile(m_installDirectory);
    AppLog("CVSP:process_create::Log File Created");
    ReportBrokenSettings();
    UseTimeZoneSetting();
    AppLog("CVSP:process_create::Initializing Agent");
    m_registration->SetPlaceholder();
    CProgressSink::Current().Open();
    Progress("CVSP:process_create::Initializing Calendar Agent...", 300);
    m_appointments->SetView(nullptr);
    // The stores are made with the agent, so that their accessors never
    // give a dead object; start-up only says so.
    AppLog("CVSP:process_create::Initializing AppointmentStore");
    AppLog("CVSP:process_create::Initializing Preferences");
    AppLog("CVSP:process_create::Initializing Contacts");
    AppLog("CVSP:process_create::Initialsing Neotiation Store");
    m_timerTick = 1;
    if (!StartOutlook())
        EndWithoutOutlook();
    if (m_settings->GetReminderAlert()) {
        Step("CVSP:process_create::Registering Outlook Event Handler", "Registering Outlook Event Handler...",
             300);
        m_calendar->RegisterReminderSink();
    }
    Step("CVSP:process_create::Loading appointments from Outlook", "Loading appointments from Outlook...",
         300);
    m_calendar->LoadAppointments();
    Step("CVSP:process_create::Loading contacts from Outlook", "Loading contacts from Outlook...", 300);
    m_calendar->LoadContacts();
    Step("CVSP:process_create::Loading user preferences", "Loading user preferences...", 500);
    m_preferences->LoadPreferences();
    m_subscriptions->Load();
    Step("CVSP:process_create::Initializing Negotiation Engine", "Initializing Negotiation Engine...", 500);
    Step("CVSP:process_create::Starting Orvante Calendar Agent", "Starting ORVANTE Calendar Agent", 300);
    CProgressSink::Current().Close();
    AppLog("---------------------------VESP:New Run @ %s -----------------------------",
           CDateTime::GetCurrentTime().Format().c_str());
}

// The zone is set before anything reads a time, so that the calendar, the
// clock and the messages all speak the user's zone.
void CVespera::UseTimeZoneSetting()
{
    const std::string name = m_settings->GetTimeZone();
    if (name.empty())
        return;
    if (CTimeZone::UseForProcess(name)) {
        AppLog("CVSP:process_create::Time zone %s", CTimeZone::Local().Name().c_str());
        return;
    }
    AppLog("CVSP:process_create::The time zone %s is not in the zone database; the system's zone is used",
           name.c_str());
    std::fprintf(stderr, "vespera: the time zone %s is not in the zone database; the system's zone is used\n",
                 name.c_str());
}

// Settings that cannot be read are taken from their defaults; the user
// must learn why, and which file to mend.
void CVespera::ReportBrokenSettings()
{
    const CRegistry registry;
    if (registry.CheckHive())
        return;
    AppLog("CVSP:process_create::%s; the settings' defaults are used", registry.ErrorText().c_str());
    std::fprintf(stderr, "vespera: %s; the settings' defaults are used\n", registry.ErrorText().c_str());
}

void CVespera::EndWithoutOutlook()
{
    // The user must learn which file failed and why, not only that the
    // calendar program is missing.
    const std::string& reason = m_calendar->GetBackend().GetLastErrorText();
    if (!reason.empty()) {
        AppLog("CVSP:process_create::%s", reason.c_str());
        std::fprintf(stderr, "vespera: %s\n", reason.c_str());
    }
    AppLog("CVSP:process_create::Outlook Instance Creation Failed. Exiting with code zero");
    CMessageBoxSink::Show(OutlookMissingMessage, MB_OK | MB_ICONSTOP);
    CProgressSink::Current().Close();
    std::fflush(nullptr);
    std::exit(0);
}

void CVespera::AppLog(const char* fmt, ...)
{
    if (!m_applicationLog)
        return;
    va_list args;
    va_start(args, fmt);
    m_applicationLog->vdebug(fmt, args);
    va_end(args);
}

void CVespera::Step(const char* line, const char* progress, unsigned pauseMs)
{
    AppLog("%s", line);
    Progress(progress, pauseMs);
}

void CVespera::Progress(const char* text, unsigned pauseMs)
{
    CProgressSink::Current().Show(text);
    CStartupPause().Wait(pauseMs);
}

void CVespera::SetInstallDirectory(const std::string& directory)
{
    m_installDirectory = directory;
}

void CVespera::CreateLogFile(const std::string& directory)
{
    const std::string logfiles = directory + "/Logfiles";
    std::error_code ignored;
    std::filesystem::create_directories(logfiles, ignored);
    const std::string path = logfiles + "/" + LogFileName(CDateTime::GetCurrentTime());
    if (!m_applicationLog)
        return;
    m_applicationLog->Create(path.c_str());
    m_applicationLogPath = path;
    CFileModule* logger = get_logger();
    const char* agentLog = logger ? logger->get_file() : nullptr;
    m_agentLogPath = agentLog ? agentLog : "";
}

CDebug& CVespera::GetApplicationLog()
{
    return *m_applicationLog;
}

// --- registration at start-up ------------------------------------------------------

void CVespera::UseAgentKey()
{
    CCommunicator* communicator = get_communicator();
    if (!communicator)
        return;
    communicator->set_trust_unproven(m_settings->GetTrustUnauthenticatedContacts());
    communicator->set_key_pins(CInstallDirectory::UserDataDirectory() + "/" + KnownAgentsFile,
                               [this](const std::string& notice) {
                                   debug(notice.c_str());
                                   std::fprintf(stderr, "vespera: %s\n", notice.c_str());
                                   CBalloonSink::Show("Agent Key Changed", notice);
                               });
    std::string error;
    std::optional<CKeyPair> key = CAgentKey::Load(m_settings->GetAgentName(), error);
    if (!key) {
        AppLog("CVSP::UseAgentKey: no agent key (%s); the agent's name is not signed for", error.c_str());
        std::fprintf(stderr, "vespera: no agent key: %s; the agent's name is not signed for\n",
                     error.c_str());
        return;
    }
    AppLog("CVSP::UseAgentKey: agent key fingerprint %s (%s)", key->Fingerprint().c_str(),
           CAgentKey::Path().c_str());
    communicator->set_key_pair(std::move(*key));
}

void CVespera::InitAgent()
{
    UseAgentKey();
    if (m_registration->LoadRegInfo())
        return;
    const CLookupDetailsPageInput shown = SettingsPages::LoadLookupDetailsPage(*m_settings);
    std::optional<CLookupDetailsPageInput> confirmed =
        m_startupSheet ? m_startupSheet(shown) : AskHeadless(shown);
    if (confirmed) {
        SettingsPages::WriteLookupDetailsPage(*m_settings, *confirmed);
        if (m_settings->GetAgentName().empty())
            m_settings->SetANSRegistered(false);
        if (m_settings->GetANSRegistered() &&
            !m_registration->EnableANS(m_settings->GetAgentName(), m_settings->GetANSHost(),
                                       m_settings->GetANSPort()))
            CMessageBoxSink::Show(SettingsPages::RegisterFailedMessage);
        AppLog("CVSP::InitAgent: Agent Name = %s, ANS Host = %s, ANS Port = %d",
               m_registration->GetRegisteredName().c_str(), m_registration->GetANSHost().c_str(),
               m_registration->GetANSPort());
    }
    if (!m_settings->GetANSRegistered())
        CMessageBoxSink::Show(SettingsPages::NotRegisteredMessage, MB_OK | MB_ICONINFORMATION);
}

// Without a window there is nobody to ask: the sheet's question is written
// out, with what the user would find in it, and counts as cancelled.
std::optional<CLookupDetailsPageInput> CVespera::AskHeadless(const CLookupDetailsPageInput& page)
{
    CMessageBoxSink::Show(
        "Agent Lookup Details\nE-mail address: " + page.email + "\nAgent name: " + page.agentName +
            "\nANS host: " + page.ansHost + "\nANS port: " + page.ansPort +
            "\nRegister with the ANS: " + (page.registered ? "yes" : "no") +
            "\nNo window to ask in: store AgentName, ANSHost and ANSPort with vespera-reg and "
            "restart the agent.",
        MB_OK | MB_ICONINFORMATION, "Initialize ANS");
    return std::nullopt;
}

void CVespera::SetStartupSheet(StartupSheet sheet)
{
    m_startupSheet = std::move(sheet);
}

void CVespera::process_timer()
{
    m_subscriptions->FetchDue(static_cast<std::int64_t>(std::time(nullptr)));
    if (m_timerTick == PurgeInterval) {
        m_timerTick = 1;
        m_attendeeSide->RemoveExpiredHolds();
        return;
    }
    ++m_timerTick;
}

CAgentSettings& CVespera::GetSettings()
{
    return *m_settings;
}

CAppointmentStore& CVespera::GetAppointmentStore()
{
    return *m_appointments;
}

CContactStore& CVespera::GetContactStore()
{
    return *m_contacts;
}

CPreferences& CVespera::GetPreferences()
{
    return *m_preferences;
}

CNegotiationStore& CVespera::GetNegotiationStore()
{
    return *m_negotiations;
}

CAttendeeSide& CVespera::GetAttendeeSide()
{
    return *m_attendeeSide;
}

COrganiserSide& CVespera::GetOrganiserSide()
{
    return *m_organiserSide;
}

// --- the calendar program -----------------------------------------------------------

bool CVespera::StartOutlook()
{
    Step("CVSP:process_create::Initializing Outlook Instance", "Initializing Outlook Instance...", 300);
    if (!m_calendar->CreateApplication())
        return false;
    Step("CVSP:process_create::Getting MAPI Namespace Instance", "Getting MAPI namespace instance...", 300);
    m_calendar->TakeNamespace();
    Step("CVSP:process_create::Logging on to default Outlook Profile",
         "Logging on to default outlook profile...", 300);
    if (!m_calendar->Logon()) {
        AppLog("CVSP:process_create::FATAL Error: Logon Failed");
        CMessageBoxSink::Show(LogonFailedMessage, MB_OK | MB_ICONEXCLAMATION);
    }
    return true;
}

// --- notifications --------------------------------------------------------------

CNotifier& CVespera::GetNotifier()
{
    return *m_notifier;
}

CAppointmentRequests& CVespera::GetAppointmentRequests()
{
    return *m_requests;
}

CScheduleSubscriptions& CVespera::GetScheduleSubscriptions()
{
    return *m_subscriptions;
}

CScheduleImport& CVespera::GetScheduleImport()
{
    return *m_scheduleImport;
}

CNameServerRegistration& CVespera::GetRegistration()
{
    return *m_registration;
}

const std::string& CVespera::GetRegisteredName() const
{
    return m_registration->GetRegisteredName();
}

CCalendarBridge& CVespera::GetCalendar()
{
    return *m_calendar;
}

bool CVespera::CreateOutlookAppointment(const CDateTime& start, long duration, const std::string& subject,
                                        const std::string& body, const std::string& location,
                                        long reminderMinutes, bool setReminder,
                                        const std::string& requiredAttendees,
                                        const std::string& optionalAttendees, bool addToStore,
                                        const std::string& organiserAgent)
{
    return m_calendar->CreateOutlookAppointment(start, duration, subject, body, location, reminderMinutes,
                                                setReminder, requiredAttendees, optionalAttendees, addToStore,
                                                organiserAgent);
}

const std::string& CVespera::GetLastWriteError() const
{
    return m_calendar->GetLastWriteError();
}

bool CVespera::SendMail(const std::string& to, const std::string& subject, const std::string& body)
{
    return m_calendar->SendMail(to, subject, body);
}

void CVespera::LogLine(const std::string& line)
{
    debug(line.c_str());
}

// --- sending ----------------------------------------------------------------------

std::optional<std::string> CVespera::SendAgentMessage(const std::string& performative,
                                                      const std::string& receiver, const std::string& content)
{
    if (m_trafficTrace)
        m_trafficTrace->TraceOutgoing(performative, receiver, content);
    // The two texts stand opposite to the container's own replies; the
    // agents on the other side read them in these places.
    return Send(performative, receiver, "default-language", "default-ontology", nullptr, content);
}

std::optional<std::string> CVespera::SendAlertNotice(const std::string& receiver, const std::string& content)
{
    return Send("tell", receiver, "default-ontology", "default-language", " ", content);
}

std::optional<std::string> CVespera::Send(const std::string& performative, const std::string& receiver,
                                          const char* ontology, const char* language, const char* inReplyTo,
                                          const std::string& content)
{
    CCommunicator* communicator = get_communicator();
    if (!communicator)
        return std::string("no communicator");
    const char* error =
        communicator->comm_sendmessage(performative.c_str(), receiver.c_str(), ontology, language, nullptr,
                                       inReplyTo, nullptr, content.c_str(), nullptr);
    if (!error)
        return std::nullopt;
    return std::string(error);
}
