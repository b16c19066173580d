#pragma once

#include <slotbook/TimeSlot.h>
#include <slotbook/TimeSlotStore.h>

#include <platform/DateTime.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

// One meeting negotiation as the organiser runs it: the current contract,
// the times the attendees offered in the current pass, the constraints of
// the request and the running totals that go into the final report.
//
// Status: 0 while in process, 1 once the meeting was made, -1 once it
// failed.
class CNegotiation {
public:
    CNegotiation();
    ~CNegotiation();

    CNegotiation(const CNegotiation&) = delete;
    CNegotiation& operator=(const CNegotiation&) = delete;

    const CDateTime& GetExpires() const { return m_expires; }
    void SetExpires(const CDateTime& expires) { m_expires = expires; }
    const std::string& GetNegID() const { return m_negID; }
    void SetNegID(const std::string& negID) { m_negID = negID; }
    const std::string& GetContractID() const { return m_contractID; }
    void SetContractID(const std::string& contractID) { m_contractID = contractID; }

    int GetContractsSent() const { return m_contractsSent; }
    void SetContractsSent(int count) { m_contractsSent = count; }
    int GetStrict() const { return m_strict; }
    void SetStrict(int strict) { m_strict = strict; }

    // The times offered in the current pass; each slot carries the bid
    // identifier as its identifier and the attendee's agent name as its
    // attribute.
    CTimeSlotStore* GetSuggestions() { return &m_suggestions; }
    const CTimeSlotStore* GetSuggestions() const { return &m_suggestions; }
    // Takes ownership of the slot.
    void AddSuggestion(std::unique_ptr<CTimeSlot> slot, const std::string& agent, const std::string& bidID);
    // Empties the suggestions and destroys their slots: the store's own
    // Clear leaves the slots to its caller, and nobody else holds them.
    void ClearSuggestions();

    int GetBidsReceived() const { return m_bidsReceived; }
    void SetBidsReceived(int count) { m_bidsReceived = count; }
    int GetConfirmationsReceived() const { return m_confirmationsReceived; }
    void SetConfirmationsReceived(int count) { m_confirmationsReceived = count; }

    const std::string& GetSubject() const { return m_subject; }
    void SetSubject(const std::string& subject) { m_subject = subject; }
    const std::string& GetBody() const { return m_body; }
    void SetBody(const std::string& body) { m_body = body; }
    const std::string& GetLocation() const { return m_location; }
    void SetLocation(const std::string& location) { m_location = location; }

    const std::vector<std::string>& GetAttendees() const { return m_attendees; }
    // Splits the list at ","; empty names are dropped.
    void SetAttendees(const std::string& commaSeparated);
    static std::vector<std::string> SplitNames(const std::string& commaSeparated);
    // The names joined with "," and no blanks.
    std::string GetAttendeesText() const;

    const CTimeSlot& GetChosenSlot() const { return m_chosenSlot; }
    void SetChosenSlot(const CTimeSlot& slot) { m_chosenSlot = slot; }

    const CDateTime& GetStartConstraint() const { return m_startConstraint; }
    void SetStartConstraint(const CDateTime& start) { m_startConstraint = start; }
    const CDateTime& GetEndConstraint() const { return m_endConstraint; }
    void SetEndConstraint(const CDateTime& end) { m_endConstraint = end; }
    int GetDuration() const { return m_duration; }
    void SetDuration(int minutes) { m_duration = minutes; }

    int GetStatus() const { return m_status; }
    void SetStatus(int status) { m_status = status; }
    bool IsRunning() const { return m_status == 0; }

    int GetTotalContracts() const { return m_totalContracts; }
    void AddContract() { ++m_totalContracts; }
    int GetTotalAwards() const { return m_totalAwards; }
    void AddAward() { ++m_totalAwards; }
    int GetTotalBids() const { return m_totalBids; }
    int GetTotalConfirmations() const { return m_totalConfirmations; }

    // Counts one bid in the pass and in the total; true when the pass is
    // complete, that is every contract of it has been answered.
    bool CountBid();
    // Whether `agent` is one of the attendees the negotiation asked.
    bool IsAttendee(const std::string& agent) const;
    // Counts one confirmation from `attendee`; true exactly when this one
    // completes the confirmations: every attendee has confirmed. A second
    // confirmation of the same attendee is counted, but completes nothing.
    bool CountConfirmation(const std::string& attendee);

private:
    CDateTime m_expires;
    std::string m_negID;
    std::string m_contractID;
    int m_contractsSent;
    int m_strict;
    CTimeSlotStore m_suggestions;
    int m_bidsReceived;
    int m_confirmationsReceived;
    std::string m_subject;
    std::string m_body;
    std::string m_location;
    std::vector<std::string> m_attendees;
    std::set<std::string> m_confirmedBy;
    CTimeSlot m_chosenSlot;
    CDateTime m_startConstraint;
    CDateTime m_endConstraint;
    int m_duration;
    int m_status;
    int m_totalContracts;
    int m_totalAwards;
    int m_totalBids;
    int m_totalConfirmations;
};
