#include <vespera/core/AttendeeSide.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/KqmlFields.h>
#include <vespera/core/Notifier.h>
#include <vespera/core/Preferences.h>
#include <vespera/core/AgentContext.h>

#include <slotbook/Appointment.h>
#include <slotbook/TimeSlot.h>
#include <slotbook/TimeSlotStore.h>

#include <basekit/Utils.h>

#include <platform/DateTimeSpan.h>
#include <platform/MessageBoxSink.h>
#include <platform/UserTimeFormat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace {
const char* const Performative = "tell";
// Written in place of a group the message being answered did not carry, so
// that the reply still parses keyword by keyword.
const char* const MissingGroup = "()";

constexpr int HoldReminderSet = 1;
constexpr long HoldReminderMinutes = 30;
constexpr int HoldBusyStatus = 1;
constexpr long MeetingReminderMinutes = 30;

// Whole minutes written in decimal; false for anything else.
bool ParseMinutes(const std::string& text, long& minutes)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return false;
    while (*end == ' ')
        ++end;
    if (*end != '\0')
        return false;
    minutes = value;
    return true;
}

std::string GroupOrPlaceholder(const std::string& group)
{
    return group.empty() ? std::string(MissingGroup) : group;
}

std::string BidHead(const CAttendeeSide::SContract& contract)
{
    return "tell :type bid :negID " + contract.negID + " :contractID " + contract.contractID + " :bidID " +
           contract.bidID + " :status ";
}

std::string EchoTail(const std::string& attributes, const std::string& constraints)
{
    return " :attributes " + GroupOrPlaceholder(attributes) + " :constraints " +
           GroupOrPlaceholder(constraints);
}

// A slot is usable only when both of its ends are real times and it lasts
// from a minute to a year, as every meeting the agent writes.
// The slot read from a contract's texts, moved to the user's wall clock.
CTimeSlot ToLocal(const CTimeSlot& written, const CMessageZone& zone)
{
    if (!written.IsValid() || written.GetStartTime().GetStatus() != CDateTime::valid)
        return written;
    CTimeSlot local(zone.ToLocal(written.GetStartTime()), written.GetDuration());
    local.SetValidity(written.IsValid());
    return local;
}

// The offered times as the contract's zone writes them.
std::string AlternatesText(const CTimeSlotStore& slots, const CMessageZone& zone)
{
    std::string text = "(tell";
    for (int i = 0; i < slots.GetCount(); ++i)
        text +=
            " :t" + std::to_string(i + 1) + " (" + zone.Format(slots.GetTimeSlot(i)->GetStartTime()) + ")";
    return text + ")";
}

bool IsUsableSlot(const CTimeSlot& slot)
{
    return slot.IsValid() && slot.GetDuration() > 0 &&
           slot.GetDuration() <= CAgentContext::MaxRequestedMinutes &&
           slot.GetStartTime().GetStatus() == CDateTime::valid &&
           slot.GetEndTime().GetStatus() == CDateTime::valid;
}
} // namespace

CAttendeeSide::CAttendeeSide(CAgentContext& agent) : m_agent(agent) {}

CAttendeeSide::~CAttendeeSide() = default;

// --- contracts ----------------------------------------------------------------

void CAttendeeSide::ProcessContract(const CKqmlFields& content, const std::string& sender)
{
    m_agent.LogLine("Entering process Contract");
    m_agent.LogLine("ProcessContract: The total # of appts in the store = " +
                    std::to_string(m_agent.GetAppointmentStore().GetCount()));

    SContract contract;
    if (!ReadContract(content, contract))
        return;
    contract.organiser = sender;

    if (!AcceptsMeetingsFrom(sender)) {
        SendDecline(contract, sender);
        return;
    }

    m_agent.LogLine("Entering delete previous bids");
    RemoveHolds(MakeBidKey(contract.negID, std::string()), true, sender);
    m_agent.LogLine("Done deleting previous bids");

    if (contract.hasEnd)
        AnswerTimeWindow(contract, sender);
    else
        AnswerStrictTime(contract, sender);
}

// The contract's expiry and the grace after it, but never without end: a
// contract that names no readable expiry is held as the organiser's own
// would be, and none longer than MaxHoldHours.
CDateTime CAttendeeSide::HoldExpiry(const std::string& expires, const CMessageZone& zone) const
{
    const CDateTime now = CDateTime::GetCurrentTime();
    CDateTime expiry;
    if (!zone.Read(expires, expiry))
        expiry = now + CDateTimeSpan(0, 0, 0, StandardExpirySeconds);
    expiry += CDateTimeSpan(0, 0, 0, HoldGraceSeconds);
    const CDateTime latest = now + CDateTimeSpan(0, MaxHoldHours, 0, 0);
    return expiry > latest ? latest : expiry;
}

bool CAttendeeSide::ReadContract(const CKqmlFields& fields, SContract& contract) const
{
    const bool parsed = fields.IsParsed();

    const bool hasNeg = parsed && fields.Read("negID", contract.negID);
    const bool hasContract = parsed && fields.Read("contractID", contract.contractID);
    contract.bidID = CAgentContext::MakeNegotiationId();

    contract.zone = CMessageZone(fields);
    if (contract.zone.IsUnknown())
        m_agent.LogLine("The contract names the time zone " + contract.zone.Named() +
                        ", which the zone database lacks; its times are read in the user's zone");
    contract.expires = HoldExpiry(fields.Value("expires"), contract.zone);

    if (!hasNeg || !hasContract) {
        m_agent.LogLine("The contractID or the NegID is null. Ignoring contract");
        return false;
    }
    if (!fields.Read("constraints", contract.constraints)) {
        m_agent.LogLine("No constraints found in contract. Ignoring contract");
        return false;
    }
    if (fields.Read("attributes", contract.attributes))
        ReadContractAttributes(contract.attributes, contract);
    ReadContractConstraints(contract.constraints, contract);
    return true;
}

void CAttendeeSide::ReadContractAttributes(const std::string& attributes, SContract& contract)
{
    CKqmlFields fields(attributes);
    if (!fields.IsParsed())
        return;
    contract.subject = fields.Value("subject");
    contract.body = fields.Value("body");
    contract.location = fields.Value("location");
    contract.attendees = fields.Value("attendees");
    contract.optAttendees = fields.Value("optAttendees");
}

void CAttendeeSide::ReadContractConstraints(const std::string& constraints, SContract& contract)
{
    CKqmlFields fields(constraints);
    if (!fields.IsParsed())
        return;
    contract.start = fields.Value("start");
    contract.hasEnd = fields.Read("end", contract.end);
    contract.end = CKqmlFields::WithoutParentheses(contract.end);
    contract.duration = fields.Value("duration");
}

bool CAttendeeSide::AcceptsMeetingsFrom(const std::string& sender) const
{
    const int policy = m_agent.GetSettings().GetMeetingSchedulingType();
    if (policy == 0)
        return false;
    const bool known = m_agent.GetContactStore().FindByAgentName(sender) != nullptr;
    return policy != 1 || known;
}

void CAttendeeSide::AnswerStrictTime(const SContract& contract, const std::string& sender)
{
    m_agent.LogLine("ITS A STRICT TIME SLOT");
    const CTimeSlot slot = ToLocal(CTimeSlot(contract.start, contract.duration.c_str(), 1), contract.zone);
    if (!IsUsableSlot(slot)) {
        m_agent.LogLine("Unreadable time in contract. Sending declination");
        SendDecline(contract, sender);
        return;
    }

    CPreferences& preferences = m_agent.GetPreferences();
    const CTimeConstraintSet constraints = preferences.ConstraintsFor(sender);
    if (preferences.IsSlotFree(slot, constraints)) {
        AddHold(contract, slot);
        Send(sender, AcceptBid(contract, slot.GetDurationString()));
        return;
    }

    m_agent.LogLine("THE STRICT TIME SLOT IS NOT FREE- SENDING B ID WITH ALTERNATES");
    const auto alternates =
        preferences.FindAlternates(slot.GetStartTime(), slot.GetDuration(), MaxAlternates, constraints);
    SendAlternates(contract, *alternates, slot.GetDurationString(), sender);
}

void CAttendeeSide::AnswerTimeWindow(const SContract& contract, const std::string& sender)
{
    const CTimeSlot written(contract.start, contract.end, contract.duration.c_str());
    const CTimeSlot window(contract.zone.ToLocal(written.GetStartTime()),
                           contract.zone.ToLocal(written.GetEndTime()), written.GetDuration());
    m_agent.LogLine("Its a time window");
    if (window.GetDuration() <= 0 || window.GetStartTime().GetStatus() != CDateTime::valid ||
        window.GetEndTime().GetStatus() != CDateTime::valid) {
        m_agent.LogLine("Unreadable time in contract. Sending declination");
        SendDecline(contract, sender);
        return;
    }

    CPreferences& preferences = m_agent.GetPreferences();
    const CTimeConstraintSet constraints = preferences.ConstraintsFor(sender);
    const auto found = preferences.FindFreeInWindow(window.GetStartTime(), window.GetEndTime(),
                                                    window.GetDuration(), MaxAlternates, constraints);
    SendAlternates(contract, *found, window.GetDurationString(), sender);
}

void CAttendeeSide::SendAlternates(const SContract& contract, const CTimeSlotStore& slots,
                                   const std::string& minutes, const std::string& sender)
{
    if (slots.GetCount() == 0) {
        m_agent.LogLine("No free time found within contract. Sending declination");
        SendDecline(contract, sender);
        return;
    }
    for (int i = 0; i < slots.GetCount(); ++i)
        AddHold(contract, *slots.GetTimeSlot(i));
    Send(sender, AlternatesBid(contract, AlternatesText(slots, contract.zone), minutes));
}

void CAttendeeSide::SendDecline(const SContract& contract, const std::string& sender)
{
    Send(sender, DeclineBid(contract));
}

// --- awards -------------------------------------------------------------------

void CAttendeeSide::ProcessAward(const CKqmlFields& content, const std::string& sender)
{
    SAward award;
    if (!ReadAward(content, award))
        return;

    const CAppointment* hold = FindHold(award.negID, award.bidID, award.start);
    if (hold == nullptr) {
        m_agent.LogLine("Invalid award. No corresponding bid found");
        return;
    }
    const auto organiser = m_bidOrganisers.find(MakeBidKey(award.negID, award.bidID));
    if (organiser == m_bidOrganisers.end() || organiser->second != sender) {
        m_agent.LogLine("Invalid award. The bid was not made to " + sender);
        return;
    }
    // An award without a usable length gets the length that was offered;
    // another length was never offered.
    if (award.duration <= 0)
        award.duration = hold->GetDuration();
    if (award.duration != hold->GetDuration()) {
        m_agent.LogLine("Invalid award. Its length differs from the one offered");
        return;
    }

    DeleteBid(award.negID, award.bidID);
    CreateMeeting(award, sender);
}

bool CAttendeeSide::ReadAward(const CKqmlFields& fields, SAward& award) const
{
    const bool parsed = fields.IsParsed();
    if (parsed) {
        fields.Read("bidID", award.bidID);
        fields.Read("negID", award.negID);
        fields.Read("contractID", award.contractID);
    }
    if (!parsed || !fields.Read("constraints", award.constraints)) {
        m_agent.LogLine("Invalid award. No constraints specified");
        return false;
    }

    CKqmlFields constraints(award.constraints);
    const bool readable = constraints.IsParsed();
    award.zone = CMessageZone(fields);
    if (!readable || !award.zone.Read(constraints.Value("startTime"), award.start)) {
        m_agent.LogLine("Unable to parse startTime in constraints");
        return false;
    }
    long minutes = 0;
    if (ParseMinutes(constraints.Value("duration"), minutes))
        award.duration = static_cast<int>(minutes);

    if (fields.Read("attributes", award.attributes))
        ReadAwardAttributes(award.attributes, award);
    return true;
}

void CAttendeeSide::ReadAwardAttributes(const std::string& attributes, SAward& award)
{
    CKqmlFields fields(attributes);
    if (!fields.IsParsed())
        return;
    award.subject = fields.Value("subject");
    award.body = fields.Value("body");
    award.location = fields.Value("location");
    award.reqAttendees = fields.Value("reqAttendees");
    award.optAttendees = fields.Value("optAttendees");
}

// A meeting that could not be written is not confirmed: the organiser
// must not count on a time its attendee's calendar does not hold. The hold
// is gone already, so the time is free again.
void CAttendeeSide::CreateMeeting(const SAward& award, const std::string& sender)
{
    if (!m_agent.CreateOutlookAppointment(award.start, award.duration, award.subject, award.body,
                                          award.location, MeetingReminderMinutes, true, award.reqAttendees,
                                          award.optAttendees, true, sender)) {
        const std::string reason = m_agent.GetLastWriteError();
        m_agent.LogLine("The awarded meeting could not be saved, so it is not confirmed: " + reason);
        CMessageBoxSink::Show(
            "The meeting \"" + award.subject + "\" at " +
                CUserTimeFormat::Current().FormatDateTime(award.start) + " requested by " + sender +
                " could not be saved in your calendar, so it was not confirmed.\nReason: " + reason,
            MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const std::string confirm = Confirm(award);
    NotifyMeeting(award, sender);
    m_agent.LogLine("In process award the content is on next line");
    m_agent.LogLine(confirm);
    Send(sender, confirm);
}

void CAttendeeSide::NotifyMeeting(const SAward& award, const std::string& sender)
{
    m_agent.GetNotifier().NotifyMeetingScheduled(sender, award.subject, award.body, award.location,
                                                 award.start.Format(), award.duration, award.reqAttendees);
}

// --- holds --------------------------------------------------------------------

void CAttendeeSide::AddHold(const SContract& contract, const CTimeSlot& slot)
{
    ForgetGoneBids();
    m_bidOrganisers[MakeBidKey(contract.negID, contract.bidID)] = contract.organiser;
    m_agent.GetAppointmentStore().AddAppointment(
        CAppointmentStore::HoldIndex, contract.subject, contract.body, contract.location, contract.attendees,
        contract.optAttendees, slot.GetStartTime(), slot.GetEndTime(), slot.GetDuration(), HoldReminderSet,
        HoldReminderMinutes, HoldBusyStatus, contract.expires, MakeBidKey(contract.negID, contract.bidID),
        true);
}

int CAttendeeSide::DeletePreviousBids(const std::string& negID)
{
    return RemoveHolds(MakeBidKey(negID, std::string()), true);
}

int CAttendeeSide::DeleteBid(const std::string& negID, const std::string& bidID)
{
    return RemoveHolds(MakeBidKey(negID, bidID), false);
}

// Matching the whole "neg:" NEGID "bid:" prefix rather than cutting at the
// first "bid:" keeps a negotiation whose identifier itself holds "bid:" from
// leaving its holds behind.
// With an organiser, only the holds of bids that went to that organiser.
int CAttendeeSide::RemoveHolds(const std::string& keyOrPrefix, bool wholeNegotiation,
                               const std::string& organiser)
{
    return m_agent.GetAppointmentStore().RemoveIf([&](const CAppointment& appointment) {
        if (appointment.GetOutlookIndex() != CAppointmentStore::HoldIndex)
            return false;
        const std::string& attribute = appointment.GetAttribute();
        const bool matches = wholeNegotiation ? attribute.compare(0, keyOrPrefix.size(), keyOrPrefix) == 0
                                              : attribute == keyOrPrefix;
        if (!matches || organiser.empty())
            return matches;
        const auto owner = m_bidOrganisers.find(attribute);
        return owner != m_bidOrganisers.end() && owner->second == organiser;
    });
}

// The organisers of bids whose holds all went (awarded, replaced, expired)
// are no longer needed.
void CAttendeeSide::ForgetGoneBids()
{
    const CAppointmentStore& store = m_agent.GetAppointmentStore();
    std::map<std::string, std::string> live;
    for (int i = 0; i < store.GetCount(); ++i) {
        const CAppointment* appointment = store.GetAt(i);
        if (appointment->GetOutlookIndex() != CAppointmentStore::HoldIndex)
            continue;
        const auto owner = m_bidOrganisers.find(appointment->GetAttribute());
        if (owner != m_bidOrganisers.end())
            live.insert(*owner);
    }
    m_bidOrganisers.swap(live);
}

int CAttendeeSide::RemoveExpiredHolds()
{
    return RemoveExpiredHolds(CDateTime::GetCurrentTime());
}

int CAttendeeSide::RemoveExpiredHolds(const CDateTime& now)
{
    return m_agent.GetAppointmentStore().PurgeExpired(now);
}

bool CAttendeeSide::FindBid(const std::string& negID, const std::string& bidID, const CDateTime& start) const
{
    return FindHold(negID, bidID, start) != nullptr;
}

const CAppointment* CAttendeeSide::FindHold(const std::string& negID, const std::string& bidID,
                                            const CDateTime& start) const
{
    const std::string key = MakeBidKey(negID, bidID);
    const CAppointmentStore& store = m_agent.GetAppointmentStore();
    for (int i = 0; i < store.GetCount(); ++i) {
        const CAppointment* appointment = store.GetAt(i);
        if (appointment->GetOutlookIndex() == CAppointmentStore::HoldIndex &&
            appointment->GetApptStatus() == HoldBusyStatus && appointment->GetAttribute() == key &&
            appointment->GetStartTime() == start)
            return appointment;
    }
    return nullptr;
}

std::string CAttendeeSide::MakeBidKey(const std::string& negID, const std::string& bidID)
{
    return "neg:" + negID + "bid:" + bidID;
}

// --- message texts ----------------------------------------------------------

std::string CAttendeeSide::AcceptBid(const SContract& contract, const std::string& minutes)
{
    return BidHead(contract) + "accept :duration " + minutes +
           EchoTail(contract.attributes, contract.constraints) + contract.zone.Keyword();
}

std::string CAttendeeSide::AlternatesBid(const SContract& contract, const std::string& alternates,
                                         const std::string& minutes)
{
    return BidHead(contract) + "alt :alternates " + alternates + " :duration " + minutes +
           EchoTail(contract.attributes, contract.constraints) + contract.zone.Keyword();
}

std::string CAttendeeSide::DeclineBid(const SContract& contract)
{
    return BidHead(contract) + "decline" + EchoTail(contract.attributes, contract.constraints) +
           contract.zone.Keyword();
}

std::string CAttendeeSide::Confirm(const SAward& award)
{
    return "tell :type confirm :negID " + award.negID + " :contractID " + award.contractID + " :bidID " +
           award.bidID + " :status accept" + EchoTail(award.attributes, award.constraints) +
           award.zone.Keyword();
}

// --- plumbing -------------------------------------------------------------------

void CAttendeeSide::Send(const std::string& receiver, const std::string& content)
{
    m_agent.SendAgentMessage(Performative, receiver, content);
}
