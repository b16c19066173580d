#pragma once

#include <platform/DateTime.h>

#include <string>
#include <vector>

class CAgentSettings;
class CScheduleSubscriptions;

// What the options pages hold and how their contents become settings. The
// pages themselves only bind widgets to these structs: Load* fills one from
// the settings when the sheet opens, Apply* writes it when the user
// confirms. Messages go through CMessageBoxSink::Current().

// "General".
struct CGeneralPageInput {
    bool balloonToolTips = true;
    bool startMinimized = false;
    // The user's autostart entry is there (see CAutostartEntry): not a
    // setting of the registry but a file of the desktop session's.
    bool startWithSession = false;
    bool debug = false;
    bool autoLoadSchedule = false;
    bool autoInvokeSchedule = true;
    // 0 "Disable Distributed Meeting Scheduling", 1 "Only schedule meetings
    // requested by known contacts", 2 "Schedule all meetings requests".
    int meetingSchedulingType = 1;
    // Agents without keys taken for the names they send.
    bool trustUnauthenticatedContacts = false;
    // The schedule service the Test button calls; empty for none.
    std::string scheduleServiceUrl;
};

// "Agent Alert".
struct CAgentAlertPageInput {
    enum Channel { EmailAddress, AgentName };
    enum Form { ShortForm, LongForm };

    bool remindersBox = false;
    bool meetingsBox = false;
    bool importsBox = false;
    Channel channel = EmailAddress;
    std::string emailText;
    std::string agentText;
    Form form = ShortForm;

    bool AnyEventBox() const { return remindersBox || meetingsBox || importsBox; }
};

// "Meeting Preferences".
struct CMeetingPreferencesPageInput {
    bool morningBounds = false;
    bool eveningBounds = false;
    bool weekendBounds = false;
    CDateTime morningTime;
    CDateTime eveningTime;
};

// "Agent Lookup Details", also the start-up sheet's only page.
struct CLookupDetailsPageInput {
    bool registered = false;
    std::string email;
    std::string agentName;
    std::string ansHost;
    std::string ansPort;
};

// "Calendar Server": where the calendar lives (the agent reads it at start).
struct CCalendarServerPageInput {
    bool useServer = false;
    std::string url;
    std::string user;
    std::string contactsUrl;
    std::string pollSeconds = "60";
    // Typed on the page to be kept in the desktop keyring; never loaded,
    // never stored with the settings. Empty: the keyring is left alone.
    std::string password;
};

// "Subscriptions".
struct CSubscriptionsPageInput {
    struct SRow {
        std::string address;
        // When it was last fetched, in the user's zone, or "never".
        std::string lastFetch;
        std::string result;
    };
    int refreshHours = 12;
    std::vector<SRow> rows;
    // What the page gives back: the addresses whose subscriptions the user
    // ended.
    std::vector<std::string> ended;
};

// What the agent does when registration changes; the agent implements it.
class CRegistrationControl {
public:
    virtual ~CRegistrationControl();

    virtual bool EnableANS(const std::string& name, const std::string& host, const std::string& port) = 0;
    virtual void DisableANS() = 0;
    // The main window's status display; empty texts and port 0 clear it.
    virtual void ShowRegistration(const std::string& name, const std::string& host, int port) = 0;
    virtual void EnableMeetingRequests(bool enable) = 0;
};

namespace SettingsPages {

extern const char* const NoEmailMessage;
extern const char* const NoAgentNameMessage;
extern const char* const EnterAgentNameMessage;
extern const char* const RegisterFailedMessage;
extern const char* const NotRegisteredMessage;
extern const char* const UnregisteredHeading;
extern const char* const BadServiceAddressMessage;

CGeneralPageInput LoadGeneralPage(const CAgentSettings& settings);
// Writes or removes the autostart entry only when the box changed, so that
// an entry the user edited by hand stays as it is; what fails is shown.
void ApplyGeneralPage(CAgentSettings& settings, const CGeneralPageInput& page);

CAgentAlertPageInput LoadAgentAlertPage(const CAgentSettings& settings);
// Afterwards exactly one of EmailAlert and AgentAlert is on. An empty
// address or agent name switches the four event values off, with a warning
// when the user had asked for any event.
void ApplyAgentAlertPage(CAgentSettings& settings, const CAgentAlertPageInput& page);

// Times that do not parse come back invalid.
CMeetingPreferencesPageInput LoadMeetingPreferencesPage(const CAgentSettings& settings);
// The times are stored as their date-time text ("9:30:00 AM" for a time
// without a date).
void ApplyMeetingPreferencesPage(CAgentSettings& settings, const CMeetingPreferencesPageInput& page);

CLookupDetailsPageInput LoadLookupDetailsPage(const CAgentSettings& settings);
// The e-mail address with every "@" made "_", followed by "-CalendarAgent".
std::string AgentNameFromEmail(const std::string& email);
// Writes port, host, agent name and e-mail address, and the registered
// switch when it differs. True when the registration details or the
// switch changed.
bool WriteLookupDetailsPage(CAgentSettings& settings, const CLookupDetailsPageInput& page);

// After the options sheet is confirmed: re-registers when the lookup page
// reported a change, then switches off what needs the name server when the
// agent is not registered, and sets the meeting-request button.
void ApplyRegistration(CAgentSettings& settings, CRegistrationControl& control, bool lookupChanged);
// Switches off the features that need the name server and returns the
// message listing them; empty when nothing was on. Shows nothing itself.
std::string SwitchOffUnregisteredFeatures(CAgentSettings& settings);

// The start-up sheet: `confirmed` is the page when the user pressed OK,
// null when the sheet was cancelled.
void ApplyStartupRegistration(CAgentSettings& settings, CRegistrationControl& control,
                              const CLookupDetailsPageInput* confirmed);

CSubscriptionsPageInput LoadSubscriptionsPage(const CAgentSettings& settings,
                                              const CScheduleSubscriptions& subscriptions);
// Stores the hours and ends the subscriptions the user ended; what could
// not be done is shown, and the rest is done all the same.
void ApplySubscriptionsPage(CAgentSettings& settings, CScheduleSubscriptions& subscriptions,
                            const CSubscriptionsPageInput& page);

CCalendarServerPageInput LoadCalendarServerPage(const CAgentSettings& settings);
// Why the page cannot be stored as it is (no address with the server on,
// an address that is not http(s), a poll out of range); empty, and the
// values stored, otherwise.
std::string ApplyCalendarServerPage(CAgentSettings& settings, const CCalendarServerPageInput& page);

} // namespace SettingsPages
