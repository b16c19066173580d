#pragma once

#include <platform/Registry.h>

#include <string>

// The calendar agent's user settings: an in-memory copy of the text values
// under the current user's key "Software\ORVANTE\CalendarAgent".
//
// Construction reads every value once, in a fixed order, taking a field's
// default when its value cannot be read (missing, or too long for the
// 255-byte reader); nothing is written then. Every setter stores the new
// value and writes it back at once: switches as "true"/"false", the integer
// as decimal, texts as they are. A failed write is not reported; the value
// stays in memory for the rest of the run.
//
// Reading: a switch is on exactly when its text is "true" (case matters);
// the integer is atoi of its text, so "abc" reads as 0.
//
// Texts the reader could never read back (255 bytes or more) or that the
// registry cannot hold (with a line break or a NUL) are refused by the text
// setters: neither the field nor the registry changes and the setter returns
// false. Cutting them instead would silently store a different address or
// name.
class CAgentSettings {
public:
    static const char* const RegistryKey;
    // Where the windows' places and layouts are kept (see CWindowMemory):
    // below the settings, but no setting of the options.
    static const char* const WindowLayoutKey;
    // The name server the agent registers with until the user names another;
    // the local host, since nothing is ever sent off this machine unasked.
    static const char* const DefaultANSHost;
    static const char* const DefaultANSPort;
    static const char* const DefaultMorningTime;
    static const char* const DefaultEveningTime;
    // How often a subscribed schedule is fetched again, in hours.
    static constexpr int DefaultScheduleRefreshHours = 12;
    static constexpr int MaxScheduleRefreshHours = 8760;

    // Settings of the current user's hive as the environment locates it.
    CAgentSettings();
    // Settings kept in a given registry hive.
    explicit CAgentSettings(const CRegistry& registry);

    const CRegistry& GetRegistry() const { return m_registry; }

    // Reads a text value of the settings key, or of a key below it when
    // `subKey` is not empty ("TConsts\TimeConstraint0"), through the 255-byte
    // buffer. False when it cannot be read; `value` is then left alone.
    bool ReadText(const std::string& name, std::string& value,
                  const std::string& subKey = std::string()) const;

    // True when a text setter would accept the text.
    static bool IsStorableText(const std::string& text);

    bool GetImportScheduleAlert() const { return m_importScheduleAlert; }
    bool GetMeetingScheduleLongAlert() const { return m_meetingScheduleLongAlert; }
    bool GetMeetingScheduleShortAlert() const { return m_meetingScheduleShortAlert; }
    bool GetReminderAlert() const { return m_reminderAlert; }
    bool GetEmailAlert() const { return m_emailAlert; }
    bool GetAgentAlert() const { return m_agentAlert; }
    std::string GetEmailAlertString() const { return m_emailAlertString; }
    std::string GetAgentAlertString() const { return m_agentAlertString; }
    bool GetBalloonToolTips() const { return m_balloonToolTips; }
    bool GetStartMinimized() const { return m_startMinimized; }
    bool GetDebug() const { return m_debug; }
    bool GetAutoLoadSchedule() const { return m_autoLoadSchedule; }
    bool GetAutoInvokeSchedule() const { return m_autoInvokeSchedule; }
    // Whether addresses other agents name may be fetched from this machine
    // and the local networks (off: from public addresses only).
    bool GetPeerFetchLocalAddresses() const { return m_peerFetchLocalAddresses; }
    // Whether agents that do not prove their names (no key) are taken for
    // the names they send, as before agents had keys; off.
    bool GetTrustUnauthenticatedContacts() const { return m_trustUnauthenticatedContacts; }
    int GetMeetingSchedulingType() const { return m_meetingSchedulingType; }
    // From 1 to MaxScheduleRefreshHours; the default for a stored value
    // outside that range or that is no number.
    int GetScheduleRefreshHours() const { return m_scheduleRefreshHours; }
    bool GetANSRegistered() const { return m_ansRegistered; }
    std::string GetEmail() const { return m_email; }
    std::string GetAgentName() const { return m_agentName; }
    std::string GetANSHost() const { return m_ansHost; }
    std::string GetANSPort() const { return m_ansPort; }
    bool GetMorningBounds() const { return m_morningBounds; }
    bool GetEveningBounds() const { return m_eveningBounds; }
    bool GetWeekendBounds() const { return m_weekendBounds; }
    std::string GetMorningTime() const { return m_morningTime; }
    std::string GetEveningTime() const { return m_eveningTime; }
    // An IANA zone name that overrides the process's zone; empty for none.
    std::string GetTimeZone() const { return m_timeZone; }
    // The schedule-building web service's address; empty for none.
    std::string GetScheduleServiceURL() const { return m_scheduleServiceURL; }

    void SetImportScheduleAlert(bool on);
    void SetMeetingScheduleLongAlert(bool on);
    void SetMeetingScheduleShortAlert(bool on);
    void SetReminderAlert(bool on);
    void SetEmailAlert(bool on);
    void SetAgentAlert(bool on);
    bool SetEmailAlertString(const std::string& text);
    bool SetAgentAlertString(const std::string& text);
    void SetBalloonToolTips(bool on);
    void SetStartMinimized(bool on);
    void SetDebug(bool on);
    void SetAutoLoadSchedule(bool on);
    void SetAutoInvokeSchedule(bool on);
    void SetPeerFetchLocalAddresses(bool on);
    void SetTrustUnauthenticatedContacts(bool on);
    // Stores an http or https address, or none (empty); false for anything
    // else, which is not stored.
    bool SetScheduleServiceURL(const std::string& address);
    void SetMeetingSchedulingType(int type);
    // False for hours outside 1 to MaxScheduleRefreshHours, not stored.
    bool SetScheduleRefreshHours(int hours);
    void SetANSRegistered(bool on);
    bool SetEmail(const std::string& text);
    bool SetAgentName(const std::string& text);
    bool SetANSHost(const std::string& text);
    bool SetANSPort(const std::string& text);
    // On a first run (none of the user's own settings stored yet), stores
    // the morning and evening bounds at 8:00 and 18:00 and the weekend
    // bound, all switched on, so that a fresh agent does not offer the
    // night. Stored settings are never changed. True when it stored them.
    bool StoreFirstRunBounds();
    void SetMorningBounds(bool on);
    void SetEveningBounds(bool on);
    void SetWeekendBounds(bool on);
    bool SetMorningTime(const std::string& text);
    bool SetEveningTime(const std::string& text);

private:
    void Load();
    bool ReadSwitch(const char* name, bool fallback) const;
    int ReadInteger(const char* name, int fallback) const;
    int ReadHours(const char* name, int fallback) const;
    std::string ReadTextOr(const char* name, const char* fallback) const;

    void WriteSwitch(const char* name, bool& field, bool on);
    bool WriteText(const char* name, std::string& field, const std::string& text);

    CRegistry m_registry;

    bool m_importScheduleAlert = false;
    bool m_meetingScheduleLongAlert = false;
    bool m_meetingScheduleShortAlert = false;
    bool m_reminderAlert = false;
    bool m_emailAlert = false;
    bool m_agentAlert = false;
    std::string m_emailAlertString;
    std::string m_agentAlertString;
    bool m_balloonToolTips = true;
    bool m_startMinimized = false;
    bool m_debug = false;
    bool m_autoLoadSchedule = false;
    bool m_autoInvokeSchedule = true;
    bool m_peerFetchLocalAddresses = false;
    bool m_trustUnauthenticatedContacts = false;
    int m_meetingSchedulingType = 1;
    int m_scheduleRefreshHours = DefaultScheduleRefreshHours;
    bool m_ansRegistered = false;
    std::string m_email;
    std::string m_agentName;
    std::string m_ansHost;
    std::string m_ansPort;
    bool m_morningBounds = false;
    bool m_eveningBounds = false;
    bool m_weekendBounds = false;
    std::string m_morningTime;
    std::string m_eveningTime;
    std::string m_timeZone;
    std::string m_scheduleServiceURL;
};
