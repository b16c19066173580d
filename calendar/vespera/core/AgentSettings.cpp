#include <vespera/core/AgentSettings.h>

#include <vespera/core/WebPage.h>

#include <cstdlib>

const char* const CAgentSettings::RegistryKey = "Software\\ORVANTE\\CalendarAgent";
const char* const CAgentSettings::WindowLayoutKey = "Software\\ORVANTE\\CalendarAgent\\Windows";
const char* const CAgentSettings::DefaultANSHost = "127.0.0.1";
const char* const CAgentSettings::DefaultANSPort = "6677";
const char* const CAgentSettings::DefaultMorningTime = "8:00:00";
const char* const CAgentSettings::DefaultEveningTime = "18:00:00";

CAgentSettings::CAgentSettings() : CAgentSettings(CRegistry(CRegistry::CurrentUser)) {}

CAgentSettings::CAgentSettings(const CRegistry& registry) : m_registry(registry)
{
    Load();
}

void CAgentSettings::Load()
{
    m_importScheduleAlert = ReadSwitch("ImportScheduleAlert", false);
    m_meetingScheduleLongAlert = ReadSwitch("MeetingScheduleLongAlert", false);
    m_meetingScheduleShortAlert = ReadSwitch("MeetingScheduleShortAlert", false);
    m_reminderAlert = ReadSwitch("ReminderAlert", false);
    m_emailAlert = ReadSwitch("EmailAlert", false);
    m_agentAlert = ReadSwitch("AgentAlert", false);
    m_emailAlertString = ReadTextOr("EmailAlertString", "");
    m_agentAlertString = ReadTextOr("AgentAlertString", "");
    m_balloonToolTips = ReadSwitch("BalloonToolTips", true);
    m_startMinimized = ReadSwitch("StartMinimized", false);
    m_debug = ReadSwitch("Debug", false);
    m_autoLoadSchedule = ReadSwitch("AutoLoadSchedule", false);
    m_autoInvokeSchedule = ReadSwitch("AutoInvokeSchedule", true);
    m_peerFetchLocalAddresses = ReadSwitch("PeerFetchLocalAddresses", false);
    m_trustUnauthenticatedContacts = ReadSwitch("TrustUnauthenticatedContacts", false);
    m_meetingSchedulingType = ReadInteger("MeetingSchedulingType", 1);
    m_scheduleRefreshHours = ReadHours("ScheduleRefreshHours", DefaultScheduleRefreshHours);
    m_ansRegistered = ReadSwitch("ANSRegistered", false);
    m_email = ReadTextOr("Email", "");
    m_agentName = ReadTextOr("AgentName", "");
    m_ansHost = ReadTextOr("ANSHost", DefaultANSHost);
    m_ansPort = ReadTextOr("ANSPort", DefaultANSPort);
    m_morningBounds = ReadSwitch("MorningBounds", false);
    m_eveningBounds = ReadSwitch("EveningBounds", false);
    m_weekendBounds = ReadSwitch("WeekendBounds", false);
    m_morningTime = ReadTextOr("MorningTime", DefaultMorningTime);
    m_eveningTime = ReadTextOr("EveningTime", DefaultEveningTime);
    m_timeZone = ReadTextOr("TimeZone", "");
    // An address may be longer than the other texts' buffer.
    m_registry.ReadValueUnbounded(RegistryKey, "ScheduleServiceURL", m_scheduleServiceURL);
}

bool CAgentSettings::StoreFirstRunBounds()
{
    static const char* const usersOwn[] = {"ANSRegistered", "AgentName",     "Email",       "MorningBounds",
                                           "EveningBounds", "WeekendBounds", "MorningTime", "EveningTime"};
    std::string text;
    for (const char* name : usersOwn) {
        if (ReadText(name, text))
            return false;
    }
    SetMorningTime(DefaultMorningTime);
    SetEveningTime(DefaultEveningTime);
    SetMorningBounds(true);
    SetEveningBounds(true);
    SetWeekendBounds(true);
    return true;
}

bool CAgentSettings::ReadText(const std::string& name, std::string& value, const std::string& subKey) const
{
    std::string key = RegistryKey;
    if (!subKey.empty())
        key += "\\" + subKey;
    return m_registry.ReadValue(key, name, value) == CRegistry::Ok;
}

bool CAgentSettings::IsStorableText(const std::string& text)
{
    return text.size() < CRegistry::ValueBufferSize &&
           text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

bool CAgentSettings::ReadSwitch(const char* name, bool fallback) const
{
    std::string text;
    return ReadText(name, text) ? text == "true" : fallback;
}

int CAgentSettings::ReadInteger(const char* name, int fallback) const
{
    std::string text;
    return ReadText(name, text) ? std::atoi(text.c_str()) : fallback;
}

int CAgentSettings::ReadHours(const char* name, int fallback) const
{
    std::string text;
    if (!ReadText(name, text) || text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return fallback;
    const int hours = std::atoi(text.c_str());
    return hours >= 1 && hours <= MaxScheduleRefreshHours ? hours : fallback;
}

std::string CAgentSettings::ReadTextOr(const char* name, const char* fallback) const
{
    std::string text;
    return ReadText(name, text) ? text : std::string(fallback);
}

void CAgentSettings::WriteSwitch(const char* name, bool& field, bool on)
{
    field = on;
    m_registry.WriteValue(RegistryKey, name, on ? "true" : "false");
}

bool CAgentSettings::WriteText(const char* name, std::string& field, const std::string& text)
{
    if (!IsStorableText(text))
        return false;
    field = text;
    m_registry.WriteValue(RegistryKey, name, text);
    return true;
}

void CAgentSettings::SetImportScheduleAlert(bool on)
{
    WriteSwitch("ImportScheduleAlert", m_importScheduleAlert, on);
}
void CAgentSettings::SetMeetingScheduleLongAlert(bool on)
{
    WriteSwitch("MeetingScheduleLongAlert", m_meetingScheduleLongAlert, on);
}
void CAgentSettings::SetMeetingScheduleShortAlert(bool on)
{
    WriteSwitch("MeetingScheduleShortAlert", m_meetingScheduleShortAlert, on);
}
void CAgentSettings::SetReminderAlert(bool on)
{
    WriteSwitch("ReminderAlert", m_reminderAlert, on);
}
void CAgentSettings::SetEmailAlert(bool on)
{
    WriteSwitch("EmailAlert", m_emailAlert, on);
}
void CAgentSettings::SetAgentAlert(bool on)
{
    WriteSwitch("AgentAlert", m_agentAlert, on);
}
bool CAgentSettings::SetEmailAlertString(const std::string& text)
{
    return WriteText("EmailAlertString", m_emailAlertString, text);
}
bool CAgentSettings::SetAgentAlertString(const std::string& text)
{
    return WriteText("AgentAlertString", m_agentAlertString, text);
}
void CAgentSettings::SetBalloonToolTips(bool on)
{
    WriteSwitch("BalloonToolTips", m_balloonToolTips, on);
}
void CAgentSettings::SetStartMinimized(bool on)
{
    WriteSwitch("StartMinimized", m_startMinimized, on);
}
void CAgentSettings::SetDebug(bool on)
{
    WriteSwitch("Debug", m_debug, on);
}
void CAgentSettings::SetAutoLoadSchedule(bool on)
{
    WriteSwitch("AutoLoadSchedule", m_autoLoadSchedule, on);
}
void CAgentSettings::SetAutoInvokeSchedule(bool on)
{
    WriteSwitch("AutoInvokeSchedule", m_autoInvokeSchedule, on);
}
void CAgentSettings::SetPeerFetchLocalAddresses(bool on)
{
    WriteSwitch("PeerFetchLocalAddresses", m_peerFetchLocalAddresses, on);
}

void CAgentSettings::SetTrustUnauthenticatedContacts(bool on)
{
    WriteSwitch("TrustUnauthenticatedContacts", m_trustUnauthenticatedContacts, on);
}

bool CAgentSettings::SetScheduleServiceURL(const std::string& address)
{
    if (!address.empty() &&
        (!webpage::IsWebAddress(address) || address.find_first_of(" \t\r\n") != std::string::npos))
        return false;
    m_scheduleServiceURL = address;
    m_registry.WriteValue(RegistryKey, "ScheduleServiceURL", address);
    return true;
}

void CAgentSettings::SetMeetingSchedulingType(int type)
{
    m_meetingSchedulingType = type;
    m_registry.WriteValue(RegistryKey, "MeetingSchedulingType", std::to_string(type));
}

bool CAgentSettings::SetScheduleRefreshHours(int hours)
{
    if (hours < 1 || hours > MaxScheduleRefreshHours)
        return false;
    m_scheduleRefreshHours = hours;
    m_registry.WriteValue(RegistryKey, "ScheduleRefreshHours", std::to_string(hours));
    return true;
}

void CAgentSettings::SetANSRegistered(bool on)
{
    WriteSwitch("ANSRegistered", m_ansRegistered, on);
}
bool CAgentSettings::SetEmail(const std::string& text)
{
    return WriteText("Email", m_email, text);
}
bool CAgentSettings::SetAgentName(const std::string& text)
{
    return WriteText("AgentName", m_agentName, text);
}
bool CAgentSettings::SetANSHost(const std::string& text)
{
    return WriteText("ANSHost", m_ansHost, text);
}
bool CAgentSettings::SetANSPort(const std::string& text)
{
    return WriteText("ANSPort", m_ansPort, text);
}
void CAgentSettings::SetMorningBounds(bool on)
{
    WriteSwitch("MorningBounds", m_morningBounds, on);
}
void CAgentSettings::SetEveningBounds(bool on)
{
    WriteSwitch("EveningBounds", m_eveningBounds, on);
}
void CAgentSettings::SetWeekendBounds(bool on)
{
    WriteSwitch("WeekendBounds", m_weekendBounds, on);
}
bool CAgentSettings::SetMorningTime(const std::string& text)
{
    return WriteText("MorningTime", m_morningTime, text);
}
bool CAgentSettings::SetEveningTime(const std::string& text)
{
    return WriteText("EveningTime", m_eveningTime, text);
}
