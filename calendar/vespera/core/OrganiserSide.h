#pragma once

#include <vespera/core/KqmlFields.h>

#include <cstddef>
#include <string>

class CMessageZone;
class CDateTime;
class CNegotiation;
class CTimeSlot;
class CAgentContext;

// The organiser's half of a meeting negotiation: sends a contract to every
// attendee's agent, collects their bids pass by pass, awards the first time
// that every attendee offered or asks again from a later start, and once all
// awards are confirmed makes the meeting and reports the result.
//
// Records live in the agent's negotiation store; this class keeps no state
// of its own. Contents may be given with or without their surrounding
// parentheses.
class COrganiserSide {
public:
    explicit COrganiserSide(CAgentContext& agent);
    ~COrganiserSide();

    COrganiserSide(const COrganiserSide&) = delete;
    COrganiserSide& operator=(const COrganiserSide&) = delete;

    // request: the content of a schedule_meeting command. Nothing starts
    // (and the line says why) without attendees or without a start that
    // reads as a date and time.
    void StartNegotiation(const CKqmlFields& request);
    void ProcessBid(const CKqmlFields& content, const std::string& sender);
    void ProcessConfirmation(const CKqmlFields& content, const std::string& sender);
    // Called once every contract of the current pass has been answered.
    void ProcessNegotiation(CNegotiation& record);
    // reason is "NULL" on success.
    void FinishNegotiation(CNegotiation& record, const std::string& reason);

    std::string BuildContract(CNegotiation& record, const CKqmlFields& request);
    std::string RebuildContract(CNegotiation& record);
    // Sends the contract to each comma-separated name; returns how many
    // names it went to, 0 when there were none. With first, the count is
    // the pass's contract count.
    int SendContracts(const std::string& contract, const std::string& attendees, CNegotiation& record,
                      bool first);

    // The reason reported when the times offered leave no later start to
    // ask from: nothing within the constraints suited every attendee.
    static const char* const NoCommonTimeReason;
    // The most attendees one negotiation asks.
    static constexpr std::size_t MaxAttendees = 200;
    // The reason reported when every attendee confirmed but the organiser's
    // own calendar would not take the meeting; the write's reason follows.
    static const char* const NotSavedReason;

private:
    void ProcessDecline(CNegotiation& record, const std::string& sender);
    bool ProcessAccept(CNegotiation& record, const std::string& sender, const std::string& bidID);
    bool ProcessAlternates(CNegotiation& record, const CKqmlFields& bid, const std::string& sender,
                           const std::string& bidID);
    void AddAlternate(CNegotiation& record, const CKqmlFields& list, const std::string& key, int duration,
                      const std::string& sender, const std::string& bidID, const CMessageZone& zone);
    void CountBid(CNegotiation& record);
    void SendAwards(CNegotiation& record, const CTimeSlot& chosen);
    // False when no later start can be asked for; the negotiation has
    // then failed and been reported.
    bool StartNextPass(CNegotiation& record);
    bool CreateMeeting(CNegotiation& record);

    std::string ContractText(const CNegotiation& record, const std::string& subject, const std::string& body,
                             const std::string& location, const std::string& attendees,
                             const std::string& start, const std::string& end,
                             const std::string& duration) const;
    std::string AwardAttributes(const CNegotiation& record) const;
    std::string DeclineReason(const std::string& sender) const;
    std::string LongBody(const CNegotiation& record, bool success, const std::string& reason) const;
    std::string ShortBody(const CNegotiation& record, bool success, const std::string& reason) const;
    // "Design sync with Bob, Thu 10 Dec 11:30-12:30": the subject, the
    // attendees by first name and, once agreed, the time in the user's form.
    std::string Summary(const CNegotiation& record, bool agreed) const;
    std::string AttendeeLines(const CNegotiation& record) const;
    static std::string TotalsText(const CNegotiation& record);
    void ShowBalloon(const std::string& title, const std::string& text, const CDateTime& day) const;
    void Notify(const std::string& subject, const std::string& body) const;

    static const CTimeSlot* FindCommonSlot(const CNegotiation& record);
    static bool FindNextStart(const CNegotiation& record, CDateTime& start);

    CAgentContext& m_agent;
};
