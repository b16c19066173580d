#include <vespera/core/Vespera.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/AttendeeSide.h>
#include <vespera/core/CalendarBridge.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/InstallDirectory.h>
#include <vespera/core/KqmlFields.h>
#include <vespera/core/NegotiationStore.h>
#include <vespera/core/Notifier.h>
#include <vespera/core/OrganiserSide.h>
#include <vespera/core/Preferences.h>
#include <vespera/core/ReminderSink.h>
#include <vespera/core/StartupPause.h>

#include <outlook/Application.h>
#include <outlook/AppointmentItem.h>
#include <outlook/ContactItem.h>
#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>
#include <outlook/MailItem.h>
#include <outlook/MemoryBackend.h>
#include <outlook/NameSpace.h>
#include <outlook/RecurrencePattern.h>

#include <basekit/Debug.h>
#include <basekit/LList.h>
#include <basekit/Utils.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <lexikit/Parser.h>
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
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{

const char* const SettingsKey = "Software\\ORVANTE\\CalendarAgent";

// A browser result above this means the page was opened.
constexpr int OpenedThreshold = 32;
// "There is no application associated with the given filename extension."
constexpr int NoBrowserCode = 31;
// "The specified file was not found."
constexpr int NotFoundCode = 2;
// "The operating system is out of memory or resources."
constexpr int NoResourcesCode = 0;

std::string BrowserErrorText(int code)
{
    switch (code) {
    case 0: return "The operating system is out\nof memory or resources.";
    case 2: return "The specified file was not found.";
    case 3: return "The specified path was not found.";
    case 5: return "The operating system denied\naccess to the specified file.";
    case 8: return "There was not enough memory to complete the operation.";
    case 11: return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26: return "A sharing violation occurred. ";
    case 27: return "The filename association is\nincomplete or invalid.";
    case 28: return "The DDE transaction could not\nbe completed because the request timed out.";
    case 29: return "The DDE transaction failed.";
    case 30: return "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed.";
    case 31: return "There is no application associated\nwith the given filename extension.";
    case 32: return "The specified dynamic-link library was not found.";
    default: return "Unknown Error (" + std::to_string(code) + ") occurred.";
    }
}

bool HasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// Runs xdg-open without a shell and waits for it; xdg-open hands the page
// to the desktop's browser and returns at once.
int OpenWithDesktop(const std::string& address)
{
    if (!HasDisplay())
        return NoBrowserCode;
    std::vector<char> program{'x', 'd', 'g', '-', 'o', 'p', 'e', 'n', '\0'};
    std::vector<char> argument(address.begin(), address.end());
    argument.push_back('\0');
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t child = 0;
    int spawned = posix_spawnp(&child, program.data(), nullptr, nullptr, argv, environ);
    if (spawned != 0)
        return spawned == ENOENT ? NotFoundCode : NoResourcesCode;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? OpenedThreshold + 1 : NoBrowserCode;
}

// Only web pages are opened for another agent: a local file or a program
// named by a remote peer must never be started on the user's desktop.
bool IsWebAddress(const std::string& address)
{
    return address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0;
}

// The leading decimal number of a text as atoi reads it, but held to the
// range of an int: texts from other agents may hold any number of digits.
int ToInt(const std::string& text)
{
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

CDateTime NullDate()
{
    CDateTime date;
    date.SetStatus(CDateTime::null);
    return date;
}

std::string Decimal(long value)
{
    return std::to_string(value);
}

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

// "VespLog-<local time>.txt" with every "/" and ":" made "-".
std::string LogFileName(const CDateTime& now)
{
    std::string name = "VespLog-" + now.Format() + ".txt";
    std::replace_if(name.begin(), name.end(), [](char c) { return c == '/' || c == ':'; }, '-');
    return name;
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

const char* const CVespera::OutlookMissingMessage =
    "Failed to create an instance of Outlook. Outlook is either not present or not configured properly.\n\n"
    "The Agent will now shutdown.";
const char* const CVespera::LogonFailedMessage = "Unable to logon to Outlook Profile. Please check Outlook Installation.";

CVespera::CVespera(std::shared_ptr<outlook::CBackend> backend)
    : CAgentContainer(ContainerName),
      m_settings(std::make_unique<CAgentSettings>()),
      m_appointments(std::make_unique<CAppointmentStore>()),
      m_contacts(std::make_unique<CContactStore>()),
      m_negotiations(std::make_unique<CNegotiationStore>()),
      m_applicationLog(std::make_unique<CDebug>()),
      m_installDirectory(CInstallDirectory::UserDataDirectory())
{
    CNotifier::SChannels channels;
    channels.agent = [this](const std::string& receiver, const std::string& content) {
        SendAlertNotice(receiver, content);
    };
    channels.mail = [this](const std::string& to, const std::string& subject, const std::string& text) {
        SendMail(to, subject, text);
    };
    channels.log = [this](const std::string& line) { debug(line.c_str()); };
    m_notifier = std::make_unique<CNotifier>(*m_settings, *m_contacts, std::move(channels));
    m_preferences = std::make_unique<CPreferences>(*m_settings, *m_appointments,
                                                   [this](const std::string& line) { AppLog("%s", line.c_str()); });
    m_calendar = std::make_unique<CCalendarBridge>(std::move(backend), *this, *this);
    m_attendeeSide = std::make_unique<CAttendeeSide>(*this);
    m_organiserSide = std::make_unique<COrganiserSide>(*this);
    // Agents started together draw their identifiers from different seeds:
    // whole seconds xor the process id repeat for neighbouring processes
    // started a second apart.
    const auto ticks = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::srand(static_cast<unsigned>(ticks) ^ static_cast<unsigned>(ticks >> 32) ^
               (static_cast<unsigned>(getpid()) << 16) ^ static_cast<unsigned>(std::time(nullptr)));
}

// The namespace logs off before the application goes, and the reminder sink
// leaves the application before that, since it cannot once the application
// is gone. The sides go before the stores they work on.
CVespera::~CVespera()
{
    m_calendar.reset();
    m_applicationLog.reset();
    m_organiserSide.reset();
    m_attendeeSide.reset();
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
    AppLog("CVSP:process_create::Initializing Agent");
    SetPlaceholderRegistration();
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
        Step("CVSP:process_create::Registering Outlook Event Handler", "Registering Outlook Event Handler...", 300);
        m_calendar->RegisterReminderSink();
    }
    Step("CVSP:process_create::Loading appointments from Outlook", "Loading appointments from Outlook...", 300);
    m_calendar->LoadAppointments();
    Step("CVSP:process_create::Loading contacts from Outlook", "Loading contacts from Outlook...", 300);
    m_calendar->LoadContacts();
    Step("CVSP:process_create::Loading user preferences", "Loading user preferences...", 500);
    m_preferences->LoadPreferences();
    Step("CVSP:process_create::Initializing Negotiation Engine", "Initializing Negotiation Engine...", 500);
    Step("CVSP:process_create::Starting Orvante Calendar Agent", "Starting ORVANTE Calendar Agent", 300);
    CProgressSink::Current().Close();
    AppLog("---------------------------VESP:New Run @ %s -----------------------------",
           CDateTime::GetCurrentTime().Format().c_str());
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

// The real name server is set by registration; until then nothing may be
// asked of one.
void CVespera::SetPlaceholderRegistration()
{
    CBeliefDB* beliefs = get_belief_db();
    if (CStringBelief* ans = beliefs ? beliefs->find_string_belief("ans") : nullptr)
        ans->set_value(PlaceholderANSHost);
    if (CIntBelief* ansport = beliefs ? beliefs->find_int_belief("ansport") : nullptr)
        ansport->set_value(PlaceholderANSPort);
    m_ansPort = 0;
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

void CVespera::InitAgent()
{
    if (LoadRegInfo())
        return;
    const CLookupDetailsPageInput shown = SettingsPages::LoadLookupDetailsPage(*m_settings);
    std::optional<CLookupDetailsPageInput> confirmed = m_startupSheet ? m_startupSheet(shown) : AskHeadless(shown);
    if (confirmed) {
        SettingsPages::WriteLookupDetailsPage(*m_settings, *confirmed);
        if (m_settings->GetAgentName().empty())
            m_settings->SetANSRegistered(false);
        if (m_settings->GetANSRegistered() &&
            !EnableANS(m_settings->GetAgentName(), m_settings->GetANSHost(), m_settings->GetANSPort()))
            CMessageBoxSink::Show(SettingsPages::RegisterFailedMessage);
        AppLog("CVSP::InitAgent: Agent Name = %s, ANS Host = %s, ANS Port = %d", m_agentName.c_str(),
               m_ansHost.c_str(), m_ansPort);
    }
    if (!m_settings->GetANSRegistered())
        CMessageBoxSink::Show(SettingsPages::NotRegisteredMessage, MB_OK | MB_ICONINFORMATION);
}

// Without a window there is nobody to ask: the sheet's question is written
// out, with what the user would find in it, and counts as cancelled.
std::optional<CLookupDetailsPageInput> CVespera::AskHeadless(const CLookupDetailsPageInput& page)
{
    CMessageBoxSink::Show("Agent Lookup Details\nE-mail address: " + page.email + "\nAgent name: " + page.agentName +
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
    if (m_timerTick == PurgeInterval) {
        m_timerTick = 1;
        m_attendeeSide->RemoveExpiredHolds();
        return;
    }
    ++m_timerTick;
}

int CVespera::process_message(char* message)
{
    return process_parsed_message(*CParsedMessage::parse(message ? message : ""));
}

int CVespera::process_parsed_message(const CParsedMessage& message)
{
    // Every answer must reflect the user's calendar as it is now, edits in
    // other programs included.
    m_calendar->SyncWithOutsideChanges();
    const CParsedMessage::Ptr content = message.content_message();
    if (!content) {
        debug("No Content in message.");
        return 0;
    }
    const char* sender = message.sender();
    const std::string senderText = sender ? sender : "";

    const CKqmlFields reader(content);
    if (std::optional<std::string> command = reader.Raw("command")) {
        DispatchCommand(*command, reader, senderText);
        return 1;
    }
    std::optional<std::string> type = reader.Raw("type");
    if (type)
        DispatchType(*type, reader, senderText);
    if (std::optional<std::string> objective = reader.Raw("objective"))
        DispatchObjective(*objective, reader);
    else if (std::optional<std::string> dataurl = reader.Raw("dataurl"))
        DispatchDataUrl(*dataurl);
    else if (!type)
        debug("Bad DMS message. No type specified");
    return 1;
}

// Commands that write the calendar, send mail in the user's name or make
// the agent organise a meeting follow the meeting-scheduling policy, with
// the sending agent as the requester.
bool CVespera::SenderMayActFor(const std::string& command, const std::string& sender)
{
    const int policy = m_settings->GetMeetingSchedulingType();
    const bool allowed = policy == 2 || (policy == 1 && m_contacts->FindByAgentName(sender) != nullptr);
    if (!allowed)
        dprintf("Refusing the %s command from %s: the meeting-scheduling policy (%d) does not let it act for the "
                "user",
                command.c_str(), sender.c_str(), policy);
    return allowed;
}

void CVespera::DispatchCommand(const std::string& command, const CKqmlFields& content, const std::string& sender)
{
    const bool actsForUser = command == "appointment" || command == "conf_appt" || command == "schedule_meeting";
    if (actsForUser && !SenderMayActFor(command, sender))
        return;
    if (command == "create_profile") {
        debug("Create_profile messages have been deprecated and are no longer used");
    } else if (command == "appointment") {
        CreateRequestedAppointment(content, sender, std::nullopt);
    } else if (command == "schedule_meeting") {
        m_organiserSide->StartNegotiation(content);
    } else if (command == "request_appt") {
        ProcessAppointmentRequest(content, sender);
    } else if (command == "conf_appt") {
        // Without an address there is nobody to confirm to.
        std::string email = content.Value("email");
        CreateRequestedAppointment(content, sender, email.empty() ? std::nullopt : std::optional<std::string>(email));
    } else {
        debug("Unknown command in incoming message. Ignoring.");
    }
}

void CVespera::DispatchType(const std::string& type, const CKqmlFields& content, const std::string& sender)
{
    if (type == "contract")
        m_attendeeSide->ProcessContract(content, sender);
    else if (type == "award")
        m_attendeeSide->ProcessAward(content, sender);
    else if (type == "confirm")
        m_organiserSide->ProcessConfirmation(content, sender);
    else if (type == "bid")
        m_organiserSide->ProcessBid(content, sender);
    else
        debug("Unknown DMS message type. Ignoring.");
}

void CVespera::DispatchObjective(const std::string& objective, const CKqmlFields& content)
{
    if (objective == "browseScheduleURL" && m_settings->GetAutoInvokeSchedule())
        BrowseSchedule(content);
    else if (objective == "uploadScheduleURL" && m_settings->GetAutoLoadSchedule())
        UploadSchedule(content);
    else
        debug("Unknown objective message type. Ignoring.");
}

void CVespera::BrowseSchedule(const CKqmlFields& content)
{
    if (std::optional<std::string> url = content.Raw("url"))
        debug("Schedule browsing is not available in this build; not opening %s", CKqmlFields::WithoutQuotes(*url).c_str());
}

void CVespera::UploadSchedule(const CKqmlFields& content)
{
    if (std::optional<std::string> url = content.Raw("url"))
        debug("Schedule import is not available in this build; not importing %s", CKqmlFields::WithoutQuotes(*url).c_str());
}

void CVespera::DispatchDataUrl(const std::string& dataurl)
{
    if (dataurl == "null") {
        CMessageBoxSink::Show("No reply was available.  Sorry...", MB_ICONINFORMATION);
        return;
    }
    OpenDataUrl(CKqmlFields::WithoutParentheses(dataurl));
}

void CVespera::OpenDataUrl(const std::string& address)
{
    if (!IsWebAddress(address)) {
        debug("Refusing to open %s: only http and https addresses are opened for other agents", address.c_str());
        return;
    }
    int result = m_urlOpener ? m_urlOpener(address) : OpenWithDesktop(address);
    if (result > OpenedThreshold)
        return;
    if (result == NoBrowserCode && !m_urlOpener)
        debug("No web browser is available to open %s", address.c_str());
    std::fputc('\a', stderr);
    CMessageBoxSink::Show(std::string("Unable to open hyperlink:\n\n") + BrowserErrorText(result),
                          MB_ICONEXCLAMATION);
}

void CVespera::SetUrlOpener(UrlOpener opener)
{
    m_urlOpener = std::move(opener);
}

// --- owned parts -----------------------------------------------------------------

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
    Step("CVSP:process_create::Logging on to default Outlook Profile", "Logging on to default outlook profile...",
         300);
    if (!m_calendar->Logon()) {
        AppLog("CVSP:process_create::FATAL Error: Logon Failed");
        CMessageBoxSink::Show(LogonFailedMessage, MB_OK | MB_ICONEXCLAMATION);
    }
    return true;
}


// --- requested appointments ---------------------------------------------------------

void CVespera::ProcessAppointmentRequest(const CKqmlFields& reader, const std::string& sender)
{
    const std::string durationText = reader.Value("duration");
    const std::string startText = reader.Value("startTime");
    const std::string subject = reader.Value("subject");
    const std::string body = reader.Value("body");
    const std::string location = reader.Value("location");
    const std::string email = reader.Value("email");
    const std::string firstName = reader.Value("fname");
    const std::string lastName = reader.Value("lname");
    const std::string requester = email + " (" + firstName + " " + lastName + ")";
    const long minutes = ToInt(durationText);

    if (!RequesterAllowed(firstName, lastName)) {
        SendAgentMessage("tell", sender, "tell :status reject");
        m_notifier->NotifyESecretaryMeeting(false, subject, body, location, startText, static_cast<int>(minutes), requester);
        return;
    }
    CDateTime start;
    if (!start.ParseDateTime(startText) || start.GetStatus() != CDateTime::valid || minutes <= 0) {
        SendAgentMessage("tell", sender, "tell :status reject");
        return;
    }
    AnswerAppointmentRequest(start, minutes, email, sender);
}

bool CVespera::RequesterAllowed(const std::string& firstName, const std::string& lastName) const
{
    const int policy = m_settings->GetMeetingSchedulingType();
    if (policy == 0)
        return false;
    if (policy != 1)
        return true;
    for (int i = 0; i < m_contacts->GetCount(); ++i) {
        const CContactRecord* contact = m_contacts->GetAt(i);
        if (contact->GetFirstName() == firstName && contact->GetLastName() == lastName)
            return true;
    }
    return false;
}

void CVespera::AnswerAppointmentRequest(const CDateTime& start, long minutes, const std::string& email,
                                        const std::string& sender)
{
    const CContactRecord* contact = m_contacts->FindByEmail(email);
    const int duration = static_cast<int>(minutes);
    bool free = false;
    CTimeSlot next;
    if (contact) {
        CTimeConstraintSet constraints = m_preferences->ConstraintsFor(contact->GetCalendarAgentName());
        free = m_preferences->IsFreeConstrained(start, duration, constraints);
        if (!free)
            next = m_preferences->NextFreeSlot(start, duration, constraints);
    } else {
        free = m_preferences->IsFreePlain(start, duration);
        if (!free)
            next = m_preferences->NextFreeSlotPlain(start, duration);
    }
    const std::string tail = ") :duration (" + Decimal(minutes) + ") :status ";
    if (free)
        SendAgentMessage("tell", sender, "tell :startTime (" + start.Format() + tail + "accept");
    else if (next.IsValid())
        SendAgentMessage("tell", sender, "tell :startTime (" + next.GetStartTime().Format() + tail + "alt");
    else
        SendAgentMessage("tell", sender, "tell :status reject");
}

void CVespera::CreateRequestedAppointment(const CKqmlFields& reader, const std::string& sender,
                                          const std::optional<std::string>& email)
{
    debug("parsing the start time");
    CKqmlFields startReader(reader.Raw("start").value_or(std::string()));
    auto part = [&startReader](const char* key) { return ToInt(startReader.Value(key)); };
    CDateTime start(part("year"), part("month"), part("day"), part("hour"), part("minute"), 0);

    const std::string durationText = reader.Value("duration");
    const long duration = ToInt(durationText);
    debug("Got the duration =");
    debug(durationText.c_str());
    const std::string subject = reader.Value("subject");
    const std::string body = reader.Value("body");
    const std::string location = reader.Value("location");
    const std::string required = reader.Value("requiredAttendees");
    const std::string optional = reader.Value("optionalAttendees");
    const std::string targetName = reader.Value("targetRealName");
    const std::string targetEmail = reader.Value("targetEmailAdd");
    std::optional<std::string> reminder = reader.Raw("reminder");
    const long reminderMinutes = reminder ? ToInt(CKqmlFields::WithoutParentheses(*reminder)) : 0;

    if (!RequestedValuesUsable(start, duration))
        return;
    debug("Entering create Appointment");
    bool created = CreateOutlookAppointment(start, duration, subject, body, location, reminderMinutes,
                                            reminder.has_value(), required, optional, true);
    debug("back from create appointment");
    if (!created)
        return;
    if (email && CNotifier::IsSingleAddress(*email))
        SendConfirmationMail(*email, reader, start);
    else if (email)
        debug("The requester's address is not one plain e-mail address; no confirmation is sent");
    m_notifier->NotifyESecretaryMeeting(true, subject, body, location, start.Format(), static_cast<int>(duration), targetName);
    SendAgentMessage("tell", sender, "tell :command success");
}

// A start that is no valid time, or a length that is not positive or longer
// than a year, would write an item nobody can use.
bool CVespera::RequestedValuesUsable(const CDateTime& start, long duration)
{
    if (start.GetStatus() != CDateTime::valid) {
        debug("The requested appointment has no valid start; nothing created");
        return false;
    }
    if (duration <= 0 || duration > MaxRequestedMinutes) {
        debug("The requested appointment's duration is not from 1 minute to a year; nothing created");
        return false;
    }
    return true;
}

void CVespera::SendConfirmationMail(const std::string& address, const CKqmlFields& reader, const CDateTime& start)
{
    m_notifier->SendConfirmation(
        address, CNotifier::ConfirmationText(reader.Value("targetRealName"), start, reader.Value("subject"),
                                             reader.Value("body"), reader.Value("duration"),
                                             reader.Value("targetEmailAdd")));
}

// --- notifications --------------------------------------------------------------

CNotifier& CVespera::GetNotifier()
{
    return *m_notifier;
}

CCalendarBridge& CVespera::GetCalendar()
{
    return *m_calendar;
}

bool CVespera::CreateOutlookAppointment(const CDateTime& start, long duration, const std::string& subject,
                                        const std::string& body, const std::string& location, long reminderMinutes,
                                        bool setReminder, const std::string& requiredAttendees,
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

std::optional<std::string> CVespera::SendAgentMessage(const std::string& performative, const std::string& receiver,
                                                      const std::string& content)
{
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
    const char* error = communicator->comm_sendmessage(performative.c_str(), receiver.c_str(), ontology, language,
                                                       nullptr, inReplyTo, nullptr, content.c_str(), nullptr);
    if (!error)
        return std::nullopt;
    return std::string(error);
}

// --- registration --------------------------------------------------------------------

bool CVespera::LoadRegInfo()
{
    CRegistry registry;
    std::string name;
    std::string host;
    std::string port;
    if (registry.ReadValue(SettingsKey, "AgentName", name) != CRegistry::Ok ||
        registry.ReadValue(SettingsKey, "ANSHost", host) != CRegistry::Ok ||
        registry.ReadValue(SettingsKey, "ANSPort", port) != CRegistry::Ok)
        return false;
    if (port == "-1" || name == "-" || host == "-")
        return false;
    EnableANS(name, host, port);
    AppLog("CVSP::LoadRegInfo: Agent Name = %s, ANS Host = %s, ANS Port = %d", m_agentName.c_str(),
            m_ansHost.c_str(), m_ansPort);
    return true;
}

bool CVespera::EnableANS(const std::string& name, const std::string& host, const std::string& port)
{
    debug("<CVespera::EnableANS()> ENABLING THE ANS MODULE");
    CCommunicator* communicator = get_communicator();
    CANSClient* client = communicator ? communicator->retrieve_ans_object() : nullptr;
    if (!client)
        return false;
    client->enable(0);
    m_agentName = name;
    m_ansHost = host;
    m_ansPortText = port;
    m_ansPort = ToInt(port);
    CBeliefDB* beliefs = get_belief_db();
    if (CStringBelief* ans = beliefs->find_string_belief("ans"))
        ans->set_value(host.c_str());
    if (CIntBelief* ansport = beliefs->find_int_belief("ansport"))
        ansport->set_value(m_ansPort);
    set_agent_name(name.c_str());
    // The name must be ours at the server: a lookup alone also succeeds for
    // a name that another agent holds and the server refused us.
    const bool accepted = client->enable(1) != 0;
    m_registered = accepted && IsKnownToANS(name);
    if (m_registered) {
        debug("ANS MODULE STARTUP SUCCEEDED");
        communicator->announce_registration();
        return true;
    }
    debug("ANS MODULE STARTUP FAILED");
    return false;
}

void CVespera::DisableANS()
{
    debug("<CVespera::DisableANS()> DISABLING THE ANS MODULE");
    m_registered = false;
    CCommunicator* communicator = get_communicator();
    if (CANSClient* client = communicator ? communicator->retrieve_ans_object() : nullptr)
        client->enable(0);
}

bool CVespera::IsKnownToANS(const std::string& name)
{
    CCommunicator* communicator = get_communicator();
    CANSClient* client = communicator ? communicator->retrieve_ans_object() : nullptr;
    if (!client || !client->lookup_agent(name.c_str()))
        return false;
    CBeliefDB* beliefs = communicator->get_beliefdb();
    CListBelief* lookup = beliefs ? beliefs->find_list_belief("lookup") : nullptr;
    CLList* table = lookup ? lookup->get_value() : nullptr;
    if (!table)
        return false;
    for (CListElement* element = table->get_first_element(); element; element = table->get_next_element()) {
        const char* known = element->get_name();
        if (known && name == known)
            return true;
    }
    return false;
}
