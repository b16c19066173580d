#pragma once

#include <platform/DateTime.h>

#include <QDialog>

#include <functional>
#include <string>

class CContactStore;
class CXInfoTip;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPlainTextEdit;
class QTimeEdit;
class QTreeWidget;

// Where the user asks the agent to negotiate a meeting: attendees taken from
// the contacts (or typed), subject, body, location, the earliest start, an
// optional end of a time window and the length. OK checks that every
// attendee's agent is known, builds the schedule_meeting request and hands
// it to the organiser; nothing is sent from here.
class CMeetingRequestDlg : public QDialog {
    Q_OBJECT
public:
    // Whether an agent of that name is known (to the name server).
    using AgentCheck = std::function<bool(const std::string& agentName)>;
    // Starts the negotiation of a request.
    using Negotiate = std::function<void(const std::string& request)>;

    // The duration list: entry i is (i + 1) x 30 minutes, up to 8 hours.
    static constexpr int DurationEntries = 16;

    // Tool tips are shown when `balloonTips`.
    CMeetingRequestDlg(const CContactStore& contacts, AgentCheck isKnownAgent, Negotiate negotiate,
                       bool balloonTips, QWidget* parent = nullptr);

    // The attendee text with `name` appended (after a "," when the text is
    // not empty), unchanged when it already holds the name.
    static std::string AddAttendee(const std::string& attendees, const std::string& name);
    // The attendee text without `name` and one "," next to it, tidied of
    // doubled, leading and trailing commas.
    static std::string RemoveAttendee(const std::string& attendees, const std::string& name);
    // Where the start pickers open: `now` moved to the next half-hour mark,
    // or kept (to the minute) when it is already on one.
    static CDateTime InitialStart(const CDateTime& now);
    // The request text of a meeting; `end` only when `withWindow`.
    static std::string BuildRequest(const std::string& attendees, const std::string& subject,
                                    const std::string& body, const CDateTime& start, bool withWindow,
                                    const CDateTime& end, const std::string& location, int minutes);

    // Fills the attendee text (the schedule browser's request meeting).
    void SetAttendees(const std::string& attendees);

    // The duration list's minutes for the selected entry.
    int SelectedMinutes() const;

    // The buttons' work, also reached by tests.
    void OnAddAttendee();
    void OnRemoveAttendee();
    void OnTimeWindowToggled(bool checked);
    void accept() override;

private:
    void BuildControls();
    void AttachTips(bool enabled);
    void FillContacts();
    void SetStartPickers();
    std::string SelectedAgentName() const;
    CDateTime StartTime() const;
    CDateTime EndTime() const;

    const CContactStore& m_contacts;
    AgentCheck m_isKnownAgent;
    Negotiate m_negotiate;

    QTreeWidget* m_contactList = nullptr;
    QLineEdit* m_attendees = nullptr;
    QLineEdit* m_subject = nullptr;
    QLineEdit* m_location = nullptr;
    QPlainTextEdit* m_body = nullptr;
    QDateEdit* m_startDate = nullptr;
    QTimeEdit* m_startTime = nullptr;
    QCheckBox* m_timeWindow = nullptr;
    QDateEdit* m_endDate = nullptr;
    QTimeEdit* m_endTime = nullptr;
    QComboBox* m_duration = nullptr;
    QCheckBox* m_reminder = nullptr;
    QComboBox* m_reminderTime = nullptr;
    CXInfoTip* m_tips = nullptr;
};
