#include <vespera/core/SettingsPages.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AutostartEntry.h>
#include <vespera/core/ScheduleSubscriptions.h>

#include <platform/MessageBoxSink.h>

#include <cstdlib>

CRegistrationControl::~CRegistrationControl() = default;

namespace SettingsPages {

const char* const NoEmailMessage = "No Email address specified!\nDisabling notifications...";
const char* const NoAgentNameMessage = "No Agent name specified!\nDisabling notifications...";
const char* const EnterAgentNameMessage = "Unable to register with the ANS. Please Enter a valid Agent Name";
const char* const RegisterFailedMessage =
    "Unable to register with the ANS. Please check the ANS details and ensure that the ANS is running "
    "\nand the agent name is not already in use";
const char* const NotRegisteredMessage =
    "The Agent is not registered with the ANS.\nIf you choose to register with the ANS for the first time, "
    "then you should\nshut down the agent and restart for the registration to come into effect.";
const char* const BadServiceAddressMessage =
    "The schedule service address must be an http:// or https:// address without blanks.\n"
    "The address stored before is kept.";
const char* const UnregisteredHeading = "By unregistering the ANS, you have disabled the following:\n";

namespace {

void SwitchOffEventAlerts(CAgentSettings& settings)
{
    settings.SetReminderAlert(false);
    settings.SetMeetingScheduleShortAlert(false);
    settings.SetMeetingScheduleLongAlert(false);
    settings.SetImportScheduleAlert(false);
}

// An empty destination leaves nowhere to send to: the events go off, and
// the user hears of it only if any was asked for.
void DisableAlertsWithoutDestination(CAgentSettings& settings, const CAgentAlertPageInput& page,
                                     const char* message)
{
    if (page.AnyEventBox())
        CMessageBoxSink::Show(message, MB_OK | MB_ICONEXCLAMATION);
    SwitchOffEventAlerts(settings);
}

void ApplyAlertChannel(CAgentSettings& settings, const CAgentAlertPageInput& page)
{
    if (page.channel == CAgentAlertPageInput::EmailAddress) {
        settings.SetEmailAlertString(page.emailText);
        settings.SetAgentAlertString("");
        if (page.emailText.empty())
            DisableAlertsWithoutDestination(settings, page, NoEmailMessage);
    } else {
        settings.SetEmailAlertString("");
        settings.SetAgentAlertString(page.agentText);
        if (page.agentText.empty())
            DisableAlertsWithoutDestination(settings, page, NoAgentNameMessage);
    }
}

bool RegistrationDetailsDiffer(const CAgentSettings& settings, const CLookupDetailsPageInput& page)
{
    return page.agentName != settings.GetAgentName() || page.ansHost != settings.GetANSHost() ||
           page.ansPort != settings.GetANSPort();
}

void Reregister(CAgentSettings& settings, CRegistrationControl& control)
{
    control.DisableANS();
    if (settings.GetAgentName().empty()) {
        CMessageBoxSink::Show(EnterAgentNameMessage);
        settings.SetANSRegistered(false);
    }
    if (!settings.GetANSRegistered())
        return;
    if (!control.EnableANS(settings.GetAgentName(), settings.GetANSHost(), settings.GetANSPort())) {
        CMessageBoxSink::Show(RegisterFailedMessage);
        settings.SetANSRegistered(false);
        return;
    }
    control.ShowRegistration(settings.GetAgentName(), settings.GetANSHost(),
                             std::atoi(settings.GetANSPort().c_str()));
}

void ApplyStartWithSession(bool wanted)
{
    if (wanted == CAutostartEntry::IsEnabled())
        return;
    std::string error;
    if (!(wanted ? CAutostartEntry::Enable(error) : CAutostartEntry::Disable(error)))
        CMessageBoxSink::Show(error, MB_OK | MB_ICONEXCLAMATION);
}

} // namespace

CGeneralPageInput LoadGeneralPage(const CAgentSettings& settings)
{
    CGeneralPageInput page;
    page.balloonToolTips = settings.GetBalloonToolTips();
    page.startMinimized = settings.GetStartMinimized();
    page.startWithSession = CAutostartEntry::IsEnabled();
    page.debug = settings.GetDebug();
    page.autoLoadSchedule = settings.GetAutoLoadSchedule();
    page.autoInvokeSchedule = settings.GetAutoInvokeSchedule();
    page.meetingSchedulingType = settings.GetMeetingSchedulingType();
    page.trustUnauthenticatedContacts = settings.GetTrustUnauthenticatedContacts();
    page.scheduleServiceUrl = settings.GetScheduleServiceURL();
    return page;
}

void ApplyGeneralPage(CAgentSettings& settings, const CGeneralPageInput& page)
{
    settings.SetBalloonToolTips(page.balloonToolTips);
    settings.SetStartMinimized(page.startMinimized);
    settings.SetDebug(page.debug);
    settings.SetAutoLoadSchedule(page.autoLoadSchedule);
    settings.SetAutoInvokeSchedule(page.autoInvokeSchedule);
    settings.SetMeetingSchedulingType(page.meetingSchedulingType);
    settings.SetTrustUnauthenticatedContacts(page.trustUnauthenticatedContacts);
    if (!settings.SetScheduleServiceURL(page.scheduleServiceUrl))
        CMessageBoxSink::Show(BadServiceAddressMessage, MB_OK | MB_ICONEXCLAMATION);
    ApplyStartWithSession(page.startWithSession);
}

CAgentAlertPageInput LoadAgentAlertPage(const CAgentSettings& settings)
{
    CAgentAlertPageInput page;
    page.agentText = settings.GetAgentAlertString();
    page.emailText = settings.GetEmailAlertString();
    // Notices most often go to the user's own mailbox: offered until the
    // user names another.
    if (page.emailText.empty())
        page.emailText = settings.GetEmail();
    page.importsBox = settings.GetImportScheduleAlert();
    page.meetingsBox = settings.GetMeetingScheduleLongAlert() || settings.GetMeetingScheduleShortAlert();
    page.form = settings.GetMeetingScheduleLongAlert() ? CAgentAlertPageInput::LongForm
                                                       : CAgentAlertPageInput::ShortForm;
    page.remindersBox = settings.GetReminderAlert();
    page.channel =
        settings.GetAgentAlert() ? CAgentAlertPageInput::AgentName : CAgentAlertPageInput::EmailAddress;
    return page;
}

void ApplyAgentAlertPage(CAgentSettings& settings, const CAgentAlertPageInput& page)
{
    bool longForm = page.form == CAgentAlertPageInput::LongForm;
    settings.SetImportScheduleAlert(page.importsBox);
    settings.SetMeetingScheduleLongAlert(longForm && page.meetingsBox);
    settings.SetMeetingScheduleShortAlert(!longForm && page.meetingsBox);
    settings.SetReminderAlert(page.remindersBox);
    ApplyAlertChannel(settings, page);
    settings.SetAgentAlert(page.channel == CAgentAlertPageInput::AgentName);
    settings.SetEmailAlert(page.channel == CAgentAlertPageInput::EmailAddress);
}

CMeetingPreferencesPageInput LoadMeetingPreferencesPage(const CAgentSettings& settings)
{
    CMeetingPreferencesPageInput page;
    page.morningBounds = settings.GetMorningBounds();
    page.eveningBounds = settings.GetEveningBounds();
    page.weekendBounds = settings.GetWeekendBounds();
    page.morningTime.ParseDateTime(settings.GetMorningTime());
    page.eveningTime.ParseDateTime(settings.GetEveningTime());
    return page;
}

void ApplyMeetingPreferencesPage(CAgentSettings& settings, const CMeetingPreferencesPageInput& page)
{
    settings.SetMorningBounds(page.morningBounds);
    settings.SetEveningBounds(page.eveningBounds);
    settings.SetWeekendBounds(page.weekendBounds);
    settings.SetMorningTime(page.morningTime.Format());
    settings.SetEveningTime(page.eveningTime.Format());
}

CLookupDetailsPageInput LoadLookupDetailsPage(const CAgentSettings& settings)
{
    CLookupDetailsPageInput page;
    page.registered = settings.GetANSRegistered();
    page.email = settings.GetEmail();
    page.agentName = settings.GetAgentName();
    page.ansHost = settings.GetANSHost();
    page.ansPort = settings.GetANSPort();
    return page;
}

std::string AgentNameFromEmail(const std::string& email)
{
    std::string name = email;
    for (char& c : name) {
        if (c == '@')
            c = '_';
    }
    return name + "-CalendarAgent";
}

bool WriteLookupDetailsPage(CAgentSettings& settings, const CLookupDetailsPageInput& page)
{
    bool changed = RegistrationDetailsDiffer(settings, page);
    settings.SetANSPort(page.ansPort);
    settings.SetANSHost(page.ansHost);
    settings.SetAgentName(page.agentName);
    settings.SetEmail(page.email);
    if (page.registered != settings.GetANSRegistered()) {
        settings.SetANSRegistered(page.registered);
        changed = true;
    }
    return changed;
}

std::string SwitchOffUnregisteredFeatures(CAgentSettings& settings)
{
    std::string lines;
    if (settings.GetMeetingSchedulingType() != 0) {
        lines += "  * Distributed Meeting Scheduling\n";
        settings.SetMeetingSchedulingType(0);
    }
    if (settings.GetAutoLoadSchedule()) {
        lines += "  * Autonomous Schedule Imports\n";
        settings.SetAutoLoadSchedule(false);
    }
    if (settings.GetAutoInvokeSchedule()) {
        lines += "  * Autonomous Invocation of Schedule Browser\n";
        settings.SetAutoInvokeSchedule(false);
    }
    if (settings.GetAgentAlert()) {
        lines += "  * Agent-based notifications\n";
        settings.SetAgentAlert(false);
        SwitchOffEventAlerts(settings);
    }
    if (lines.empty())
        return lines;
    return UnregisteredHeading + lines + "To enable these in future, you should first enable the ANS\n" +
           "and then re-enter the Options Property Sheet.\n";
}

void ApplyRegistration(CAgentSettings& settings, CRegistrationControl& control, bool lookupChanged)
{
    if (lookupChanged)
        Reregister(settings, control);
    if (!settings.GetANSRegistered()) {
        control.ShowRegistration("", "", 0);
        std::string message = SwitchOffUnregisteredFeatures(settings);
        if (!message.empty())
            CMessageBoxSink::Show(message, MB_OK | MB_ICONEXCLAMATION);
        control.EnableMeetingRequests(false);
        return;
    }
    control.EnableMeetingRequests(settings.GetMeetingSchedulingType() != 0);
}

void ApplyStartupRegistration(CAgentSettings& settings, CRegistrationControl& control,
                              const CLookupDetailsPageInput* confirmed)
{
    if (confirmed != nullptr) {
        WriteLookupDetailsPage(settings, *confirmed);
        if (settings.GetAgentName().empty())
            settings.SetANSRegistered(false);
        if (settings.GetANSRegistered() &&
            !control.EnableANS(settings.GetAgentName(), settings.GetANSHost(), settings.GetANSPort()))
            CMessageBoxSink::Show(RegisterFailedMessage);
    }
    if (!settings.GetANSRegistered())
        CMessageBoxSink::Show(NotRegisteredMessage, MB_OK | MB_ICONINFORMATION);
}

CSubscriptionsPageInput LoadSubscriptionsPage(const CAgentSettings& settings,
                                              const CScheduleSubscriptions& subscriptions)
{
    CSubscriptionsPageInput page;
    page.refreshHours = settings.GetScheduleRefreshHours();
    for (const CScheduleSubscription& subscription : subscriptions.List())
        page.rows.push_back({subscription.address,
                             CScheduleSubscriptions::FetchTimeText(subscription.fetchedAt),
                             subscription.result});
    return page;
}

void ApplySubscriptionsPage(CAgentSettings& settings, CScheduleSubscriptions& subscriptions,
                            const CSubscriptionsPageInput& page)
{
    std::string problems;
    if (page.refreshHours != settings.GetScheduleRefreshHours() &&
        !settings.SetScheduleRefreshHours(page.refreshHours))
        problems += "Schedules are fetched again every 1 to " +
                    std::to_string(CAgentSettings::MaxScheduleRefreshHours) + " hours.\n";
    for (const std::string& address : page.ended) {
        std::string error;
        if (!subscriptions.End(address, error))
            problems += error + "\n";
    }
    if (!problems.empty())
        CMessageBoxSink::Show(problems, MB_OK | MB_ICONEXCLAMATION);
}

} // namespace SettingsPages
