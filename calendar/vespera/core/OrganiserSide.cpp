#include <vespera/core/OrganiserSide.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/ContactRecord.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/KqmlFields.h>
#include <vespera/core/MessageZone.h>
#include <vespera/core/Negotiation.h>
#include <vespera/core/NegotiationStore.h>
#include <vespera/core/AgentContext.h>

#include <basekit/Utils.h>
#include <platform/BalloonSink.h>
#include <platform/UserTimeFormat.h>
#include <platform/DateTime.h>
#include <platform/DateTimeSpan.h>
#include <platform/MessageBoxSink.h>

#include <cstdlib>
#include <limits>
#include <memory>
#include <set>
#include <vector>

namespace {

const char* const Blank = " ";
const char* const Success = "NULL";
const int ReminderMinutes = 30;

// A value of the request for the first contract: a missing one is written
// as one blank; one that is there is written as it is, even when empty.
std::string ValueOrBlank(const CKqmlFields& fields, const char* key)
{
    return fields.Has(key) ? fields.Value(key) : std::string(Blank);
}

CDateTime ContractExpiry()
{
    return CDateTime::GetCurrentTime() + CDateTimeSpan(0, 0, 0, 5);
}

// Invalid when the text is not a date and time.
CDateTime Parsed(const std::string& text, const CMessageZone& zone)
{
    CDateTime value;
    zone.Read(text, value);
    return value;
}

// A request that names no zone is in the user's, and its texts go on as
// they are; one from elsewhere is rewritten in the user's zone, which the
// contract names.
std::string ContractTime(const CKqmlFields& request, const std::string& text, const CDateTime& local)
{
    return request.Has("timezone") && local.GetStatus() == CDateTime::valid ? local.Format() : text;
}

// Whole minutes from decimal text; what does not fit an int is cut to its
// range rather than wrapped.
int Minutes(const std::string& text)
{
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

} // namespace

const char* const COrganiserSide::NotSavedReason =
    "Every attendee confirmed, but the meeting could not be saved in your calendar: ";
const char* const COrganiserSide::NoCommonTimeReason =
    "Meeting cannot be scheduled within the specified constraints because the attendees offered no common "
    "time";

COrganiserSide::COrganiserSide(CAgentContext& agent) : m_agent(agent) {}

COrganiserSide::~COrganiserSide() = default;

// --- starting a negotiation --------------------------------------------------

void COrganiserSide::StartNegotiation(const CKqmlFields& request)
{
    auto record = std::make_unique<CNegotiation>();
    const std::string contract = BuildContract(*record, request);
    if (record->GetStartConstraint().GetStatus() != CDateTime::valid) {
        // Without a start no attendee can answer, and every bid would be
        // measured against nothing.
        m_agent.LogLine("Unable to send contracts. The start time is not a date and time");
        return;
    }
    if (SendContracts(contract, request.Value("attendees"), *record, true) > 0)
        m_agent.GetNegotiationStore().Add(std::move(record));
}

std::string COrganiserSide::BuildContract(CNegotiation& record, const CKqmlFields& fields)
{

    record.SetNegID(CAgentContext::MakeNegotiationId());
    record.SetContractID(CAgentContext::MakeNegotiationId());
    record.SetBidsReceived(0);
    record.SetExpires(ContractExpiry());

    record.SetSubject(fields.Value("subject"));
    record.SetBody(fields.Value("body"));
    record.SetLocation(fields.Value("location"));
    record.SetAttendees(fields.Value("attendees"));

    const CMessageZone zone(fields);
    if (zone.IsUnknown())
        m_agent.LogLine("The meeting request names the time zone " + zone.Named() +
                        ", which the zone database lacks; its times are read in the user's zone");
    record.SetStartConstraint(Parsed(fields.Value("start"), zone));
    const std::string start = ContractTime(fields, fields.Value("start"), record.GetStartConstraint());
    std::string end;
    if (fields.Has("end")) {
        record.SetEndConstraint(Parsed(fields.Value("end"), zone));
        end = ContractTime(fields, fields.Value("end"), record.GetEndConstraint());
        record.SetStrict(0);
    } else {
        record.SetEndConstraint(CDateTime(9000, 1, 1, 0, 0, 0));
        record.SetStrict(1);
    }
    const std::string duration = fields.Value("duration");
    record.SetDuration(Minutes(duration));

    return ContractText(record, ValueOrBlank(fields, "subject"), ValueOrBlank(fields, "body"),
                        ValueOrBlank(fields, "location"), ValueOrBlank(fields, "attendees"), start, end,
                        duration);
}

std::string COrganiserSide::RebuildContract(CNegotiation& record)
{
    record.SetContractID(CAgentContext::MakeNegotiationId());
    record.SetBidsReceived(0);
    record.SetExpires(ContractExpiry());
    const std::string end = record.GetStrict() ? std::string() : record.GetEndConstraint().Format();
    return ContractText(record, record.GetSubject(), record.GetBody(), record.GetLocation(),
                        record.GetAttendeesText(), record.GetStartConstraint().Format(), end,
                        std::to_string(record.GetDuration()));
}

std::string COrganiserSide::ContractText(const CNegotiation& record, const std::string& subject,
                                         const std::string& body, const std::string& location,
                                         const std::string& attendees, const std::string& start,
                                         const std::string& end, const std::string& duration) const
{
    std::string text = "tell :type contract :negID " + record.GetNegID() + " :contractID " +
                       record.GetContractID() + " :expires (" + record.GetExpires().Format() + ")";
    text += " :attributes (tell :subject (" + subject + ") :body (" + body + ") :location (" + location +
            ") :attendees (" + attendees + "))";
    text += " :constraints (tell :start (" + start + ")";
    if (!record.GetStrict())
        text += " :end (" + end + ")";
    text += " :duration (" + duration + "))";
    return text + CMessageZone().Keyword();
}

int COrganiserSide::SendContracts(const std::string& contract, const std::string& attendees,
                                  CNegotiation& record, bool first)
{
    const std::vector<std::string> names = CNegotiation::SplitNames(attendees);
    if (names.empty()) {
        m_agent.LogLine("Unable to send contracts. No attendees specified");
        return 0;
    }
    // Every contract is a blocking send and every answer a message; a list
    // of thousands would hold the agent for a long time.
    if (names.size() > MaxAttendees) {
        m_agent.LogLine("Unable to send contracts. More than " + std::to_string(MaxAttendees) +
                        " attendees specified");
        return 0;
    }
    for (const std::string& name : names) {
        const std::optional<std::string> error = m_agent.SendAgentMessage("tell", name, contract);
        if (error)
            m_agent.LogLine(*error);
        record.AddContract();
    }
    const int count = static_cast<int>(names.size());
    if (first)
        record.SetContractsSent(count);
    return count;
}

// --- bids ----------------------------------------------------------------------

void COrganiserSide::ProcessBid(const CKqmlFields& fields, const std::string& sender)
{
    m_agent.LogLine("Processing bid");
    const std::string negID = fields.Raw("negID").value_or(std::string());
    const std::string bidID = fields.Raw("bidID").value_or(std::string());
    if (bidID.empty()) {
        m_agent.LogLine("ERROR: Invalid bid has bad Bid ID");
        return;
    }
    CNegotiation* record = m_agent.GetNegotiationStore().Find(negID);
    if (!record) {
        m_agent.LogLine("ERROR: Invalid bid has bad Neg ID");
        return;
    }
    if (!record->IsRunning()) {
        m_agent.LogLine("ERROR: Negotiation is no longer running");
        return;
    }
    // Only an agent that was asked may answer, or a stranger could end or
    // steer the negotiation.
    if (!record->IsAttendee(sender)) {
        m_agent.LogLine("ERROR: Bid from " + sender +
                        ", who is not an attendee of this negotiation, ignored");
        return;
    }
    const std::string status = fields.Raw("status").value_or(std::string());
    if (status.empty())
        m_agent.LogLine("ERROR: Invalid Bid. No status field found");
    else if (status == "decline")
        ProcessDecline(*record, sender);
    else if (status == "accept") {
        if (ProcessAccept(*record, sender, bidID))
            CountBid(*record);
    } else if (status == "alt") {
        if (ProcessAlternates(*record, fields, sender, bidID))
            CountBid(*record);
    } else
        m_agent.LogLine("Invalid Bid. Status field malformed");
}

void COrganiserSide::ProcessDecline(CNegotiation& record, const std::string& sender)
{
    m_agent.LogLine("Meeting cannot be scheduled within specified constraints because " + sender +
                    " is not available");
    record.SetStatus(-1);
    FinishNegotiation(record, DeclineReason(sender));
}

std::string COrganiserSide::DeclineReason(const std::string& sender) const
{
    const CContactRecord* contact = m_agent.GetContactStore().FindByAgentName(sender);
    if (contact)
        return "Meeting cannot be scheduled within the specified constraints becasuse " +
               contact->GetFirstName() + " " + contact->GetLastName() + " [" + contact->GetEmailAddress() +
               "] is not available";
    return "Meeting cannot be scheduled within the specified constraints because the user of agent " +
           sender + " is not available";
}

bool COrganiserSide::ProcessAccept(CNegotiation& record, const std::string& sender, const std::string& bidID)
{
    m_agent.LogLine("bid is an accept");
    if (!record.GetStrict()) {
        m_agent.LogLine("ERROR: Invalid Bid, accepts on a non specifically constrained contract");
        return false;
    }
    record.AddSuggestion(std::make_unique<CTimeSlot>(record.GetStartConstraint(), record.GetDuration()),
                         sender, bidID);
    return true;
}

bool COrganiserSide::ProcessAlternates(CNegotiation& record, const CKqmlFields& bid,
                                       const std::string& sender, const std::string& bidID)
{
    m_agent.LogLine("bid is an alt");
    const std::string alternates = bid.Raw("alternates").value_or(std::string());
    if (alternates.empty()) {
        m_agent.LogLine("ERROR: Invalid Bid. No Alternates suggested");
        return false;
    }
    if (!bid.Has("duration")) {
        m_agent.LogLine("ERROR: Invalid Bid. No Duration specified");
        return false;
    }
    const int duration = Minutes(bid.Value("duration"));

    CKqmlFields list(alternates);
    const std::vector<std::string> tokens = list.Tokens();
    m_agent.LogLine("Got the perf " + (tokens.empty() ? std::string() : tokens[0]));
    m_agent.LogLine("Entering loop");
    for (size_t i = 1; i < tokens.size(); ++i) {
        if (i > 1)
            m_agent.LogLine("Getting the next sugg time");
        AddAlternate(record, list, tokens[i], duration, sender, bidID, CMessageZone(bid));
    }
    m_agent.LogLine("Incrementing counts after processing bid");
    return true;
}

void COrganiserSide::AddAlternate(CNegotiation& record, const CKqmlFields& list, const std::string& key,
                                  int duration, const std::string& sender, const std::string& bidID,
                                  const CMessageZone& zone)
{
    m_agent.LogLine("Getting the value for the key =" + key);
    const std::string name = !key.empty() && key[0] == ':' ? key.substr(1) : key;
    const std::string value = list.Raw(name.c_str()).value_or(std::string());
    m_agent.LogLine("and the value is " + value);
    const CDateTime start = Parsed(CKqmlFields::WithoutParentheses(value), zone);
    if (start.GetStatus() != CDateTime::valid)
        return;
    m_agent.LogLine("Successfully parsed into a date time object");
    if (start < record.GetStartConstraint() || start > record.GetEndConstraint())
        return;
    m_agent.LogLine("Its acceptable");
    auto slot = std::make_unique<CTimeSlot>(start, duration);
    m_agent.LogLine("Adding it to the time slots for this neg");
    record.AddSuggestion(std::move(slot), sender, bidID);
}

void COrganiserSide::CountBid(CNegotiation& record)
{
    if (record.CountBid())
        ProcessNegotiation(record);
}

// --- choosing a time -----------------------------------------------------------

void COrganiserSide::ProcessNegotiation(CNegotiation& record)
{
    m_agent.LogLine("Processing negotiation");
    const CTimeSlot* common = FindCommonSlot(record);
    if (common)
        SendAwards(record, *common);
    else if (!StartNextPass(record))
        return;
    m_agent.LogLine("Done processing negotiation");
}

const CTimeSlot* COrganiserSide::FindCommonSlot(const CNegotiation& record)
{
    const CTimeSlotStore* suggestions = record.GetSuggestions();
    if (suggestions->GetCount() == 0)
        return nullptr;
    const std::string first = suggestions->GetAttribute(0);
    // Every attendee must have offered the time, not only those that
    // offered anything: an attendee whose times were all out of bounds
    // would otherwise be awarded a time it never held.
    std::unique_ptr<std::vector<std::string>> agents(suggestions->GetAttributesUnique());
    std::set<std::string> required(agents->begin(), agents->end());
    required.insert(record.GetAttendees().begin(), record.GetAttendees().end());
    for (int i = 0; i < suggestions->GetCount(); ++i) {
        if (suggestions->GetAttribute(i) != first)
            continue;
        const CTimeSlot* slot = suggestions->GetTimeSlot(i);
        bool everyone = true;
        for (const std::string& agent : required)
            everyone = everyone && suggestions->Exists(slot, agent);
        if (everyone)
            return slot;
    }
    return nullptr;
}

void COrganiserSide::SendAwards(CNegotiation& record, const CTimeSlot& chosen)
{
    m_agent.LogLine("Preprocessing data to send awards");
    record.SetChosenSlot(chosen);
    const std::string constraints = "(tell :startTime (" + chosen.GetStartTime().Format() + ") :duration " +
                                    std::to_string(record.GetDuration()) + ")";
    const std::string attributes = AwardAttributes(record);
    for (const std::string& name : record.GetAttendees()) {
        const std::string bidID = record.GetSuggestions()->GetID(&record.GetChosenSlot(), name);
        m_agent.SendAgentMessage("tell", name,
                                 "tell :type award :negID " + record.GetNegID() + " :contractID " +
                                     record.GetContractID() + " :bidID " + bidID + " :attributes " +
                                     attributes + " :constraints " + constraints + CMessageZone().Keyword());
        record.AddAward();
    }
}

std::string COrganiserSide::AwardAttributes(const CNegotiation& record) const
{
    return "(tell :subject (" + record.GetSubject() + ") :body (" + record.GetBody() + ") :location (" +
           record.GetLocation() + ") :reqAttendees (" + record.GetAttendeesText() + ") :optAttendees (none))";
}

bool COrganiserSide::StartNextPass(CNegotiation& record)
{
    CDateTime start;
    if (!FindNextStart(record, start)) {
        record.SetStatus(-1);
        FinishNegotiation(record, NoCommonTimeReason);
        return false;
    }
    record.SetStartConstraint(start);
    const std::string contract = RebuildContract(record);
    record.ClearSuggestions();
    SendContracts(contract, record.GetAttendeesText(), record, false);
    return true;
}

bool COrganiserSide::FindNextStart(const CNegotiation& record, CDateTime& start)
{
    const CDateTime none(9999, 12, 31, 0, 0, 0);
    start = none;
    for (const std::string& name : record.GetAttendees()) {
        const CTimeSlot* last = record.GetSuggestions()->GetLastSlot(name);
        if (last && last->GetEndTime() < start)
            start = last->GetEndTime();
    }
    if (start == none)
        return false;
    // A start that does not move forward would ask the same question
    // again, pass after pass; one past the window cannot be met at all.
    if (start <= record.GetStartConstraint())
        return false;
    return record.GetStrict() || start <= record.GetEndConstraint();
}

// --- confirmations and the result ----------------------------------------------

void COrganiserSide::ProcessConfirmation(const CKqmlFields& fields, const std::string& sender)
{
    m_agent.LogLine("processing confirmation");
    CNegotiation* record = m_agent.GetNegotiationStore().Find(fields.Raw("negID").value_or(std::string()));
    if (!record) {
        m_agent.LogLine("No negotiation to confirm");
        return;
    }
    if (!record->IsAttendee(sender) || record->GetTotalAwards() == 0) {
        m_agent.LogLine("Confirmation from " + sender + ", who was not awarded this meeting, ignored");
        return;
    }
    // Only an awarded, still running negotiation has a time to make.
    if (record->CountConfirmation(sender) && record->IsRunning()) {
        // A meeting the organiser's own calendar does not hold is no
        // success, whatever the attendees wrote.
        if (!CreateMeeting(*record)) {
            record->SetStatus(-1);
            FinishNegotiation(*record, NotSavedReason + m_agent.GetLastWriteError());
            return;
        }
        record->SetStatus(1);
        FinishNegotiation(*record, Success);
    }
}

bool COrganiserSide::CreateMeeting(CNegotiation& record)
{
    return m_agent.CreateOutlookAppointment(record.GetChosenSlot().GetStartTime(), record.GetDuration(),
                                            record.GetSubject(), record.GetBody(), record.GetLocation(),
                                            ReminderMinutes, true, record.GetAttendeesText(), std::string(),
                                            true, std::string());
}

void COrganiserSide::FinishNegotiation(CNegotiation& record, const std::string& reason)
{
    const bool success = record.GetStatus() == 1;
    if (!success)
        CMessageBoxSink::Show("The meeting could not be scheduled.\nReason:\n" + reason);

    // The user hears of every outcome, whatever goes by mail or notice.
    ShowBalloon("Meeting Request Completed",
                success ? "Your meeting request has been successfully completed.\n" + Summary(record, true)
                        : "The meeting you requested could not be scheduled.\n Reason: " + reason + "\n" +
                              Summary(record, false),
                success ? record.GetChosenSlot().GetStartTime() : CDateTime::Null());

    const CAgentSettings& settings = m_agent.GetSettings();
    const bool longStyle = settings.GetMeetingScheduleLongAlert();
    const bool shortStyle = settings.GetMeetingScheduleShortAlert();
    if (!longStyle && !shortStyle)
        return;
    std::string subject;
    std::string body;
    if (longStyle) {
        subject = "[Vesp] New Meeting Request Completed";
        body = LongBody(record, success, reason);
    }
    if (shortStyle) {
        subject = std::string("Meeting Request ") + (success ? "Scheduled" : "Denied");
        body = ShortBody(record, success, reason);
    }
    Notify(subject, body);
}

std::string COrganiserSide::LongBody(const CNegotiation& record, bool success,
                                     const std::string& reason) const
{
    std::string body;
    if (success)
        body =
            "The meeting you requested has been successfully scheduled. Please review the details below\n\n";
    else
        body = "The meeting you requested could not be scheduled. The details for the failure are given "
               "below\n\n"
               "Cause for Failure: " +
               reason;
    const CTimeSlot& chosen = record.GetChosenSlot();
    body += "\nMeeting Subject: " + record.GetSubject();
    body += "\nMeeting Body: " + record.GetBody();
    body +=
        "\nMeeting Start Time: " + (success ? chosen.GetStartTime() : record.GetStartConstraint()).Format();
    body += "\nMeeting Duration: " +
            (success ? chosen.GetDurationString() : std::to_string(record.GetDuration()));
    body += "\nMeeting Location: " + record.GetLocation();
    body += "\nAttendees: \n" + AttendeeLines(record);
    body += "\n\n- Additional Agent Negotiation Information -\n\n";
    body += TotalsText(record);
    return body;
}

std::string COrganiserSide::ShortBody(const CNegotiation& record, bool success,
                                      const std::string& reason) const
{
    if (!success)
        return reason;
    return record.GetSubject() + "@" + record.GetChosenSlot().GetStartTime().Format() + ">" +
           record.GetLocation();
}

std::string COrganiserSide::Summary(const CNegotiation& record, bool agreed) const
{
    const std::vector<std::string>& attendees = record.GetAttendees();
    std::string names;
    for (std::size_t i = 0; i < attendees.size(); ++i) {
        const CContactRecord* contact = m_agent.GetContactStore().FindByAgentName(attendees[i]);
        if (i > 0)
            names += i + 1 == attendees.size() ? " and " : ", ";
        names += contact && !contact->GetFirstName().empty() ? contact->GetFirstName() : attendees[i];
    }
    std::string text = record.GetSubject() + " with " + names;
    if (agreed) {
        const CTimeSlot& chosen = record.GetChosenSlot();
        text += ", " + CUserTimeFormat::Current().FormatSpan(chosen.GetStartTime(), chosen.GetEndTime());
    }
    return text;
}

std::string COrganiserSide::AttendeeLines(const CNegotiation& record) const
{
    std::string lines;
    for (const std::string& name : record.GetAttendees()) {
        const CContactRecord* contact = m_agent.GetContactStore().FindByAgentName(name);
        if (contact)
            lines += "\t" + contact->GetFirstName() + " " + contact->GetLastName() + " [" +
                     contact->GetEmailAddress() + "]\n";
        else
            lines += "\t" + name + "\n";
    }
    return lines;
}

std::string COrganiserSide::TotalsText(const CNegotiation& record)
{
    return "Negotiation ID: " + record.GetNegID() + "\n" + "Contract ID: " + record.GetContractID() + "\n" +
           "Total Contracts Generated = " + std::to_string(record.GetTotalContracts()) + "\n" +
           "Total Bids Received = " + std::to_string(record.GetTotalBids()) + "\n" +
           "Total Awards Generated = " + std::to_string(record.GetTotalAwards()) + "\n" +
           "Total Confirmations Received = " + std::to_string(record.GetTotalConfirmations()) + "\n";
}

void COrganiserSide::ShowBalloon(const std::string& title, const std::string& text,
                                 const CDateTime& day) const
{
    // The notification area belongs to the window; without one the
    // balloon's text still reaches the log.
    m_agent.LogLine("Balloon: " + title + ": " + text);
    CBalloonSink::Show(title, text, day);
}

void COrganiserSide::Notify(const std::string& subject, const std::string& body) const
{
    const CAgentSettings& settings = m_agent.GetSettings();
    if (settings.GetAgentAlert())
        m_agent.SendAlertNotice(settings.GetAgentAlertString(), body);
    if (settings.GetEmailAlert())
        m_agent.SendMail(settings.GetEmailAlertString(), subject, body);
}
