#include <vespera/core/AppointmentRequests.h>

#include <vespera/core/AgentContext.h>
#include <vespera/core/AgentSettings.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/MessageZone.h>
#include <vespera/core/Notifier.h>
#include <vespera/core/Preferences.h>

#include <basekit/Utils.h>
#include <slotbook/TimeSlot.h>

CAppointmentRequests::CAppointmentRequests(CAgentContext& agent) : m_agent(agent) {}

void CAppointmentRequests::ProcessAppointmentRequest(const CKqmlFields& reader, const std::string& sender)
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
    const long minutes = CUtils::leading_int(durationText.c_str());

    if (!RequesterAllowed(firstName, lastName)) {
        m_agent.SendAgentMessage("tell", sender, "tell :status reject");
        m_agent.GetNotifier().NotifyESecretaryMeeting(false, subject, body, location, startText,
                                                      static_cast<int>(minutes), requester);
        return;
    }
    const CMessageZone zone(reader);
    CDateTime start;
    if (!zone.Read(startText, start) || minutes <= 0) {
        m_agent.SendAgentMessage("tell", sender, "tell :status reject");
        return;
    }
    AnswerAppointmentRequest(start, minutes, email, sender, zone);
}

bool CAppointmentRequests::RequesterAllowed(const std::string& firstName, const std::string& lastName) const
{
    const int policy = m_agent.GetSettings().GetMeetingSchedulingType();
    if (policy == 0)
        return false;
    if (policy != 1)
        return true;
    for (int i = 0; i < m_agent.GetContactStore().GetCount(); ++i) {
        const CContactRecord* contact = m_agent.GetContactStore().GetAt(i);
        if (contact->GetFirstName() == firstName && contact->GetLastName() == lastName)
            return true;
    }
    return false;
}

void CAppointmentRequests::AnswerAppointmentRequest(const CDateTime& start, long minutes,
                                                    const std::string& email, const std::string& sender,
                                                    const CMessageZone& zone)
{
    const CContactRecord* contact = m_agent.GetContactStore().FindByEmail(email);
    const int duration = static_cast<int>(minutes);
    bool free = false;
    CTimeSlot next;
    if (contact) {
        CTimeConstraintSet constraints =
            m_agent.GetPreferences().ConstraintsFor(contact->GetCalendarAgentName());
        free = m_agent.GetPreferences().IsFreeConstrained(start, duration, constraints);
        if (!free)
            next = m_agent.GetPreferences().NextFreeSlot(start, duration, constraints);
    } else {
        free = m_agent.GetPreferences().IsFreePlain(start, duration);
        if (!free)
            next = m_agent.GetPreferences().NextFreeSlotPlain(start, duration);
    }
    const std::string tail = ") :duration (" + std::to_string(minutes) + ") :status ";
    if (free)
        m_agent.SendAgentMessage("tell", sender,
                                 "tell :startTime (" + zone.Format(start) + tail + "accept" + zone.Keyword());
    else if (next.IsValid())
        m_agent.SendAgentMessage("tell", sender,
                                 "tell :startTime (" + zone.Format(next.GetStartTime()) + tail + "alt" +
                                     zone.Keyword());
    else
        m_agent.SendAgentMessage("tell", sender, "tell :status reject");
}

void CAppointmentRequests::CreateRequestedAppointment(const CKqmlFields& reader, const std::string& sender,
                                                      const std::optional<std::string>& email)
{
    m_agent.LogLine("parsing the start time");
    CKqmlFields startReader(reader.Raw("start").value_or(std::string()));
    auto part = [&startReader](const char* key) {
        return CUtils::leading_int(startReader.Value(key).c_str());
    };
    const CDateTime start = CMessageZone(reader).ToLocal(
        CDateTime(part("year"), part("month"), part("day"), part("hour"), part("minute"), 0));

    const std::string durationText = reader.Value("duration");
    const long duration = CUtils::leading_int(durationText.c_str());
    m_agent.LogLine("Got the duration =");
    m_agent.LogLine(durationText);
    const std::string subject = reader.Value("subject");
    const std::string body = reader.Value("body");
    const std::string location = reader.Value("location");
    const std::string required = reader.Value("requiredAttendees");
    const std::string optional = reader.Value("optionalAttendees");
    const std::string targetName = reader.Value("targetRealName");
    const std::string targetEmail = reader.Value("targetEmailAdd");
    std::optional<std::string> reminder = reader.Raw("reminder");
    const long reminderMinutes =
        reminder ? CUtils::leading_int(CKqmlFields::WithoutParentheses(*reminder).c_str()) : 0;

    if (!RequestedValuesUsable(start, duration))
        return;
    m_agent.LogLine("Entering create Appointment");
    bool created =
        m_agent.CreateOutlookAppointment(start, duration, subject, body, location, reminderMinutes,
                                         reminder.has_value(), required, optional, true, std::string());
    m_agent.LogLine("back from create appointment");
    if (!created)
        return;
    if (email && CNotifier::IsSingleAddress(*email))
        SendConfirmationMail(*email, reader, start);
    else if (email)
        m_agent.LogLine("The requester's address is not one plain e-mail address; no confirmation is sent");
    m_agent.GetNotifier().NotifyESecretaryMeeting(true, subject, body, location, start.Format(),
                                                  static_cast<int>(duration), targetName);
    m_agent.SendAgentMessage("tell", sender, "tell :command success");
}

// A start that is no valid time, or a length that is not positive or longer
// than a year, would write an item nobody can use.
bool CAppointmentRequests::RequestedValuesUsable(const CDateTime& start, long duration)
{
    if (start.GetStatus() != CDateTime::valid) {
        m_agent.LogLine("The requested appointment has no valid start; nothing created");
        return false;
    }
    if (duration <= 0 || duration > CAgentContext::MaxRequestedMinutes) {
        m_agent.LogLine(
            "The requested appointment's duration is not from 1 minute to a year; nothing created");
        return false;
    }
    return true;
}

void CAppointmentRequests::SendConfirmationMail(const std::string& address, const CKqmlFields& reader,
                                                const CDateTime& start)
{
    m_agent.GetNotifier().SendConfirmation(
        address, CNotifier::ConfirmationText(reader.Value("targetRealName"), start, reader.Value("subject"),
                                             reader.Value("body"), reader.Value("duration"),
                                             reader.Value("targetEmailAdd")));
}
