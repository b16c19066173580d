#pragma once

#include <vespera/core/KqmlFields.h>
#include <vespera/core/MessageZone.h>

#include <platform/DateTime.h>

#include <map>
#include <string>

class CAppointment;
class CTimeSlot;
class CTimeSlotStore;
class CAgentContext;

// The attendee's half of a meeting negotiation: answers each contract with
// one bid (accept, alternatives or decline), holds every time it offers as a
// tentative appointment in the agent's store, and answers an award for a
// time it really offered by making the meeting and confirming it.
//
// Holds are appointments with Outlook index -1 whose attribute is the bid
// key "neg:" NEGID "bid:" BIDID. Beside them this class remembers only
// which organiser each bid went to: an award is taken from that organiser
// alone, for the time and length it was offered, and a contract replaces
// only the holds its own sender asked for.
class CAttendeeSide {
public:
    // What a contract names, as read from its content.
    struct SContract {
        std::string negID;
        std::string contractID;
        std::string bidID;
        // The contract's attributes and constraints exactly as read; a bid
        // echoes them.
        std::string attributes;
        std::string constraints;
        std::string subject;
        std::string body;
        std::string location;
        std::string attendees;
        std::string optAttendees;
        std::string start;
        std::string end;
        std::string duration;
        bool hasEnd = false;
        CDateTime expires;
        // Who sent the contract: the only agent that may award its bid.
        std::string organiser;
        // The zone its times are written in; its bids are written in it too.
        CMessageZone zone;
    };

    // What an award names, as read from its content.
    struct SAward {
        std::string negID;
        std::string contractID;
        std::string bidID;
        std::string attributes;
        std::string constraints;
        std::string subject;
        std::string body;
        std::string location;
        std::string reqAttendees;
        std::string optAttendees;
        CDateTime start;
        int duration = 0;
        CMessageZone zone;
    };

    explicit CAttendeeSide(CAgentContext& agent);
    ~CAttendeeSide();

    CAttendeeSide(const CAttendeeSide&) = delete;
    CAttendeeSide& operator=(const CAttendeeSide&) = delete;

    // Both answer the sender through the agent; neither returns a result.
    void ProcessContract(const CKqmlFields& content, const std::string& sender);
    void ProcessAward(const CKqmlFields& content, const std::string& sender);

    // Remove (and destroy) holds; each returns how many went.
    // Every hold of the negotiation, whatever its bid.
    int DeletePreviousBids(const std::string& negID);
    // Every hold of one bid.
    int DeleteBid(const std::string& negID, const std::string& bidID);
    // Every hold whose expiry is set and earlier than now (local time).
    int RemoveExpiredHolds();
    int RemoveExpiredHolds(const CDateTime& now);

    // True when a hold of that bid, busy status 1, starts exactly at start.
    bool FindBid(const std::string& negID, const std::string& bidID, const CDateTime& start) const;
    // Appends one hold for the slot under the contract's bid key.
    void AddHold(const SContract& contract, const CTimeSlot& slot);

    static std::string MakeBidKey(const std::string& negID, const std::string& bidID);

    // The exact message contents the attendee sends.
    static std::string AcceptBid(const SContract& contract, const std::string& minutes);
    static std::string AlternatesBid(const SContract& contract, const std::string& alternates,
                                     const std::string& minutes);
    static std::string DeclineBid(const SContract& contract);
    static std::string Confirm(const SAward& award);

    // A hold lasts until this long after the contract's expiry.
    static constexpr int HoldGraceSeconds = 20;
    // The expiry of a contract that gives none that can be read: the
    // organiser's own contracts expire this long after they are sent.
    static constexpr int StandardExpirySeconds = 5;
    // No contract holds a time longer than this, whatever it says.
    static constexpr int MaxHoldHours = 24;
    // Most alternatives offered in one bid.
    static constexpr int MaxAlternates = 5;

private:
    // Fill the record from the content; false (after logging why) when the
    // message must be ignored.
    bool ReadContract(const CKqmlFields& content, SContract& contract) const;
    bool ReadAward(const CKqmlFields& content, SAward& award) const;
    static void ReadContractAttributes(const std::string& attributes, SContract& contract);
    static void ReadContractConstraints(const std::string& constraints, SContract& contract);
    static void ReadAwardAttributes(const std::string& attributes, SAward& award);

    // The meeting-scheduling policy: false when the sender gets a decline.
    bool AcceptsMeetingsFrom(const std::string& sender) const;
    void AnswerStrictTime(const SContract& contract, const std::string& sender);
    void AnswerTimeWindow(const SContract& contract, const std::string& sender);
    void SendAlternates(const SContract& contract, const CTimeSlotStore& slots, const std::string& minutes,
                        const std::string& sender);
    void SendDecline(const SContract& contract, const std::string& sender);
    void CreateMeeting(const SAward& award, const std::string& sender);
    void NotifyMeeting(const SAward& award, const std::string& sender);
    // The first hold of the bid that starts at start; null when none.
    const CAppointment* FindHold(const std::string& negID, const std::string& bidID,
                                 const CDateTime& start) const;
    int RemoveHolds(const std::string& keyOrPrefix, bool wholeNegotiation,
                    const std::string& organiser = std::string());
    CDateTime HoldExpiry(const std::string& expires, const CMessageZone& zone) const;
    void ForgetGoneBids();

    void Send(const std::string& receiver, const std::string& content);

    CAgentContext& m_agent;
    // Bid key -> the organiser the bid went to.
    std::map<std::string, std::string> m_bidOrganisers;
};
