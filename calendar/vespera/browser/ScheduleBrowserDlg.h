#pragma once

#include <eventview/RDFCalendar.h>

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CRDFPerson;
class CRDFVCalendar;
class CRDFVevent;
class CRegistry;
class CVespera;
class CWindowMemory;
class CXInfoTip;
class QComboBox;
class CDocumentFetch;
class CRDFMFCGraph;
class QCheckBox;
class QLabel;
class QPushButton;
class QSplitter;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

// Where the user retrieves web schedules, looks through their calendars and
// events, checks the events to import and imports them (the dialog ends
// with Accepted and the opener writes GetModel()'s appointments), or
// subscribes to the schedule last retrieved (Accepted with
// GetSubscriptionAddress() set: the opener subscribes), or asks
// for a meeting with the people of an event (it ends with
// RequestMeetingResult and GetMeetingAttendees()). Where the user left the
// window, and how the two trees shared it, comes back the next time.
class CScheduleBrowserDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int RequestMeetingResult = 1000;
    static constexpr const char* Version = "V1.08a (alpha)";
    static constexpr const char* RestaurantAgent = "OrvanteRestaurantAgent";
    // The registry value naming the service that turns DAML meeting agendas
    // into schedules; none by default.
    static constexpr const char* TranslationServiceValue = "TranslationServiceURL";
    // What a tree item shows.
    enum ItemKind { CalendarItem = 0, EventItem = 1, DetailItem = 2, LocationItem = 4, PersonItem = 5 };

    CScheduleBrowserDlg(CVespera& agent, bool balloonTips, QWidget* parent = nullptr);
    ~CScheduleBrowserDlg() override;

    // Retrieves the schedule at `address` that another agent asked to show
    // (browseScheduleURL): fetched as for that agent, from public addresses
    // only unless PeerFetchLocalAddresses is on. What the user enters and
    // the Retrieve button fetches may be at any address.
    //
    // A web address is fetched on the event loop: the agent goes on
    // answering, the status line counts what has arrived, and Cancel (the
    // Close button while a retrieval runs) stops it. A file is read at once.
    void Retrieve(const std::string& address);
    // Retrieves the schedule at `address` that the user asked for (from the
    // command line, say), from wherever it is, as the Retrieve button does.
    void RetrieveForUser(const std::string& address);
    void OnRetrieve();
    // Stops a retrieval that is running, and says so.
    void OnCancel();
    bool IsRetrieving() const { return m_fetch != nullptr; }
    void OnCheckAll(bool checked);
    void OnImport();

    CRDFCalendar& GetModel() { return m_model; }
    // The address to subscribe to, when the user imported with Subscribe
    // ticked; empty otherwise.
    const std::string& GetSubscriptionAddress() const { return m_subscriptionAddress; }
    const std::string& GetMeetingAttendees() const { return m_meetingAttendees; }
    QString StatusText() const;
    QStringList Addresses() const;

    // Caps every pause between status texts (tests use 0).
    static void SetPauseLimit(int milliseconds);

    // One entry of a context menu.
    struct MenuEntry {
        QString text;
        std::function<void()> command;
    };
    // The entries of the menu of a schedule-tree or event-tree item.
    // A context menu opens only with at least MinimumMenuLines lines, its
    // title line included.
    static constexpr std::size_t MinimumMenuLines = 3;
    static bool IsMenuShown(std::size_t entries);
    std::vector<MenuEntry> CalendarMenuEntries(QTreeWidgetItem* item);
    std::vector<MenuEntry> EventTreeMenuEntries(QTreeWidgetItem* item);
    QTreeWidget* ScheduleTree() const { return m_schedules; }
    QTreeWidget* EventTree() const { return m_events; }

    // "45 minutes", "1 hour &  5 minutes", "1 day, 1 hour & 30 minutes".
    static std::string DurationText(long minutes);
    // The calendar agent names of people: the agent name they give, else
    // each of their addresses made into one; ", " between them.
    static std::string AgentNamesOf(const std::vector<CRDFPerson>& people);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void done(int result) override;

private:
    void BuildControls();
    void AttachTips();
    void LoadHistory();
    void RememberAddress(const std::string& address);
    void SetStatus(const QString& text);
    void AppendStatus(const QString& text);
    void Pause(int milliseconds);
    void RetrieveWith(const std::string& address, const CDocumentFetcher& fetcher);
    void Retrieved(const std::string& address, bool fetched, const CFetchedDocument& document,
                   const std::string& error);
    void ShowSchedules(const std::string& address, CRDFMFCGraph* graph);
    void ShowProgress();
    void EndRetrieving();
    void OnCloseOrCancel();
    bool TranslateAgenda(const std::string& address);

    void FillScheduleTree();
    void FillEventTree(CRDFVCalendar* calendar);
    void OnItemChanged(QTreeWidgetItem* item);
    static void ShowStatus(QTreeWidgetItem* item, int status);

    void RequestMeeting(const std::string& attendees);
    void MailTo(const std::string& addresses);
    void AddToContacts(const CRDFPerson& person);
    void AskRestaurantAgent(double latitude, double longitude);
    void OpenPage(const std::string& address);

    CVespera& m_agent;
    CRDFCalendar m_model;
    std::string m_meetingAttendees;
    QComboBox* m_address = nullptr;
    QLabel* m_status = nullptr;
    QTreeWidget* m_schedules = nullptr;
    QTreeWidget* m_events = nullptr;
    QSplitter* m_trees = nullptr;
    std::unique_ptr<CWindowMemory> m_layout;
    std::unique_ptr<CXInfoTip> m_tips;
    std::unique_ptr<CDocumentFetch> m_fetch;
    QTimer* m_progress = nullptr;
    QPushButton* m_close = nullptr;
    QCheckBox* m_subscribe = nullptr;
    // The address of the schedule retrieved last; empty before one is.
    std::string m_retrieved;
    std::string m_subscriptionAddress;
    bool m_treeTipAdded = false;
    bool m_filling = false;
};
