#include <vespera/core/Notifier.h>

#include <vespera/core/MessageZone.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/Negotiation.h>

#include <algorithm>

namespace {

const char* const ReviewTail = " has scheduled a new meeting with you. Please review the details below.\n\n";
const char* const DeclinedTail =
    " requested a new meeting with you, but was declined. Please review the details below.\n\n";

std::string FullName(const CContactRecord& contact)
{
    return contact.GetFirstName() + " " + contact.GetLastName();
}

} // namespace

const char* const CNotifier::ConfirmationSubject = "[ORVANTE DMS] Appointment details";

CNotifier::CNotifier(const CAgentSettings& settings, const CContactStore& contacts, SChannels channels)
    : m_settings(settings), m_contacts(contacts), m_channels(std::move(channels))
{
}

std::string CNotifier::ShortText(const std::string& subject, const std::string& startText,
                                 const std::string& location, const std::string& person)
{
    return subject + "@" + startText + ">" + location + "[" + person + "]";
}

std::string CNotifier::MeetingDetails(const std::string& subject, const std::string& body,
                                      const std::string& startText, int duration, const std::string& location)
{
    return "\nMeeting Subject: " + subject + "\nMeeting Body: " + body +
           "\nMeeting Start Time: " + startText + "\nMeeting Duration: " + std::to_string(duration) +
           "\nMeeting Location: " + location;
}

std::string CNotifier::OrganiserOpening(const std::string& otherAgent) const
{
    if (const CContactRecord* organiser = m_contacts.FindByAgentName(otherAgent))
        return FullName(*organiser) + " [" + organiser->GetEmailAddress() + "]" + ReviewTail;
    return "Agent " + otherAgent + " has scheduled an appointment with you";
}

std::string CNotifier::AttendeeLines(const std::string& attendees) const
{
    std::string lines;
    for (const std::string& name : CNegotiation::SplitNames(attendees)) {
        if (const CContactRecord* contact = m_contacts.FindByAgentName(name))
            lines += "\t" + FullName(*contact) + " [" + contact->GetEmailAddress() + "]\n";
        else
            lines += "\t" + name + "\n";
    }
    return lines;
}

std::string CNotifier::PersonFor(const std::string& agentName) const
{
    const CContactRecord* contact = m_contacts.FindByAgentName(agentName);
    return contact ? FullName(*contact) : agentName;
}

bool CNotifier::AnyMeetingAlert() const
{
    return m_settings.GetMeetingScheduleLongAlert() || m_settings.GetMeetingScheduleShortAlert();
}

std::optional<CNotifier::SNotice>
CNotifier::MeetingScheduledNotice(const std::string& otherAgent, const std::string& subject,
                                  const std::string& body, const std::string& location,
                                  const std::string& startText, int duration,
                                  const std::string& attendees) const
{
    if (!AnyMeetingAlert())
        return std::nullopt;
    if (m_settings.GetMeetingScheduleShortAlert())
        return SNotice{"New Meeting", ShortText(subject, startText, location, PersonFor(otherAgent))};
    return SNotice{"[Vesp] New Meeting Scheduled",
                   OrganiserOpening(otherAgent) +
                       MeetingDetails(subject, body, startText, duration, location) + "\nAttendees: \n" +
                       AttendeeLines(attendees)};
}

std::optional<CNotifier::SNotice> CNotifier::ESecretaryNotice(bool scheduled, const std::string& subject,
                                                              const std::string& body,
                                                              const std::string& location,
                                                              const std::string& startText, int duration,
                                                              const std::string& requester) const
{
    if (!AnyMeetingAlert())
        return std::nullopt;
    if (m_settings.GetMeetingScheduleShortAlert())
        return SNotice{scheduled ? "New E-Sec Meeting" : "E-Sec Meeting Declined",
                       ShortText(subject, startText, location, requester)};
    return SNotice{scheduled ? "[Vesp] New V-Izadavavu Meeting Scheduled"
                             : "[Vesp] V-Izadavavu Meeting Declined",
                   requester + (scheduled ? ReviewTail : DeclinedTail) +
                       MeetingDetails(subject, body, startText, duration, location)};
}

void CNotifier::NotifyMeetingScheduled(const std::string& otherAgent, const std::string& subject,
                                       const std::string& body, const std::string& location,
                                       const std::string& startText, int duration,
                                       const std::string& attendees) const
{
    ShowOnDesktop("Meeting Scheduled",
                  DesktopText(subject, startText, location) + "\nArranged by " + PersonFor(otherAgent),
                  startText);
    if (std::optional<SNotice> notice =
            MeetingScheduledNotice(otherAgent, subject, body, location, startText, duration, attendees))
        Send(*notice);
}

void CNotifier::NotifyESecretaryMeeting(bool scheduled, const std::string& subject, const std::string& body,
                                        const std::string& location, const std::string& startText,
                                        int duration, const std::string& requester) const
{
    ShowOnDesktop(scheduled ? "Appointment Request Accepted" : "Appointment Request Declined",
                  DesktopText(subject, startText, location) + "\nAsked for by " + requester, startText);
    if (std::optional<SNotice> notice =
            ESecretaryNotice(scheduled, subject, body, location, startText, duration, requester))
        Send(*notice);
}

std::string CNotifier::DesktopText(const std::string& subject, const std::string& startText,
                                   const std::string& location)
{
    return subject + "\n" + startText + (location.empty() ? std::string() : ", " + location);
}

void CNotifier::ShowOnDesktop(const std::string& title, const std::string& text,
                              const std::string& startText) const
{
    if (!m_channels.desktop)
        return;
    // A start that does not read leaves the day invalid: no "Show" then.
    CDateTime day;
    day.ParseDateTime(startText);
    m_channels.desktop(title, text, day);
}

void CNotifier::Send(const SNotice& notice) const
{
    if (m_settings.GetAgentAlert() && m_channels.agent)
        m_channels.agent(m_settings.GetAgentAlertString(), notice.text);
    if (m_settings.GetEmailAlert() && m_channels.mail)
        m_channels.mail(m_settings.GetEmailAlertString(), notice.subject, notice.text);
}

std::string CNotifier::ReminderContent(const std::string& subject, const std::string& location,
                                       const CDateTime& start)
{
    return "tell :command appointment_due :start (tell :day " + std::to_string(start.GetDay()) + " :month " +
           std::to_string(start.GetMonth()) + " :year " + std::to_string(start.GetYear()) + " :hour " +
           std::to_string(start.GetHour()) + " :minute " + std::to_string(start.GetMinute()) + " :second " +
           std::to_string(start.GetSecond()) + " ) :subject (" + subject + ") :location (" + location + ")" +
           CMessageZone().Keyword();
}

std::string CNotifier::ReminderMailText(const std::string& subject, const std::string& location,
                                        const CDateTime& start)
{
    return subject + "@" + start.Format() + ">" + location;
}

void CNotifier::NotifyReminder(const SReminderTargets& targets, const std::string& subject,
                               const std::string& location, const CDateTime& start) const
{
    if (start.GetStatus() != CDateTime::valid) {
        Log("Reminder of \"" + subject + "\" has no valid start; not forwarded");
        return;
    }
    if (m_channels.desktop)
        m_channels.desktop("Reminder", DesktopText(subject, start.Format(), location), start);
    if (targets.agentOn && m_channels.agent)
        m_channels.agent(targets.agentTarget, ReminderContent(subject, location, start));
    if (targets.emailOn && m_channels.mail)
        m_channels.mail(targets.emailTarget, "Appointment", ReminderMailText(subject, location, start));
}

std::string CNotifier::ConfirmationText(const std::string& targetRealName, const CDateTime& start,
                                        const std::string& subject, const std::string& body,
                                        const std::string& durationText, const std::string& targetEmail)
{
    return "Hi, \n\nYou recently scheduled an appointment with " + targetRealName +
           " using the ORVANTE Distributed Meeting Scheduling System. This is your confirmation message with "
           "the "
           "details given below.\n\n"
           "Appointment Date: " +
           start.Format() + "\nAppointment Subject: " + subject + "\nAppointment Body: " + body +
           "\nAppointment Duration: " + durationText +
           " minutes.\n\nThank you for using the ORVANTE DMS System.\nYou can contact " + targetRealName +
           " via email at " + targetEmail;
}

void CNotifier::SendConfirmation(const std::string& address, const std::string& text) const
{
    if (m_channels.mail)
        m_channels.mail(address, ConfirmationSubject, text);
}

bool CNotifier::IsSingleAddress(const std::string& address)
{
    const std::size_t at = address.find('@');
    if (at == std::string::npos || at == 0 || at + 1 == address.size() ||
        address.find('@', at + 1) != std::string::npos)
        return false;
    return std::none_of(address.begin(), address.end(), [](char c) {
        const unsigned char u = static_cast<unsigned char>(c);
        return u <= ' ' || u == 0x7F || c == ',' || c == ';' || c == '<' || c == '>';
    });
}

void CNotifier::Log(const std::string& line) const
{
    if (m_channels.log)
        m_channels.log(line);
}
