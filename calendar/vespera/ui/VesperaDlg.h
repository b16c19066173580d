#pragma once

#include <vespera/ui/DesktopNotifications.h>
#include <vespera/ui/SystemTray.h>

#include <vespera/core/AppointmentView.h>
#include <vespera/core/SettingsPages.h>

#include <agentkit/DlgContainer.h>

#include <platform/BalloonSink.h>

#include <QDate>
#include <QDialog>

#include <functional>
#include <memory>
#include <set>

class CAgentSettings;
class CDebugDlg;
class CScheduleBrowserDlg;
class CWindowMemory;
class CScheduleService;
class CAppointmentStore;
class CVespera;
class CXInfoTip;
class QCalendarWidget;
class QLabel;
class QPushButton;
class QSplitter;
class QTreeWidget;

// The agent's main window, which is also its container window: it carries
// the agent's socket notifications and timer, shows the registration, a
// month calendar with the appointments of the selected day, and the buttons
// for what the agent does; the icon in the notification area gives the same
// commands while the window is hidden. Closing it ends the program. The
// window's place, its splitter and the widths the user gave the day list's
// columns are kept when it is hidden or goes, and come back at the next
// start.
class CVesperaDlg : public QDialog,
                    public CDlgContainer,
                    public CAppointmentView,
                    public CRegistrationControl,
                    public CBalloonSink {
    Q_OBJECT
public:
    static constexpr const char* Title = "ORVANTE Semantic Web Calendar Agent";
    static constexpr const char* TrayToolTip = "ORVANTE Calendar Agent";
    static constexpr const char* UnregisteredStatus =
        "Agent Operational, not registered with an Agent Name Server (Options, Agent Lookup Details)";
    static constexpr unsigned WM_PROBE = WM_APP + 2;
    static constexpr unsigned WM_DEBUG_CLOSED = WM_USER + 500;
    static constexpr int TipDelayMs = 1000;
    // The day list's subject takes the width its other columns leave.
    static constexpr int SubjectColumn = 1;

    // Who asked for a schedule to be browsed: the user's own request may
    // fetch from any address, another agent's only from public ones.
    enum class Asker { Peer, User };

    explicit CVesperaDlg(std::unique_ptr<CVespera> agent);
    ~CVesperaDlg() override;

    // Started with the desktop session: the window goes to the
    // notification area at once when there is one, and otherwise waits
    // minimised for a panel to show the icon. Set before DoModal.
    void SetStartedWithSession(bool started) { m_startedWithSession = started; }
    // The schedule the browser opens on once the window has started (and
    // the start-up sheet, if any, is answered). Set before DoModal.
    void SetScheduleAtStart(const std::string& address) { m_scheduleAtStart = address; }
    // Shows the window (from the notification area, from the task bar) in
    // the state it had, in front of the others.
    void BringToFront();
    // The user asked for the schedule at `address` (a later start of the
    // program passed it on): the window comes to the front and the browser
    // retrieves it, the one already open if there is one. Runs the browser
    // modally: not for a socket's callback.
    void OpenSchedule(const std::string& address);
    // Stores the window's place and layout (also done whenever it hides).
    void SaveLayout();

    CVespera& Agent() const { return *m_agent; }

    // "Schedule Meetings" is offered while the agent is registered and
    // meeting scheduling is on.
    static bool MeetingRequestsAllowed(const CAgentSettings& settings);
    // The days of a month on which at least one appointment occurs.
    static std::set<int> BusyDays(const CAppointmentStore& store, int year, int month);

    // --- container window ---------------------------------------------------
    int OnInitDialog() override;
    void ShowWindow(WindowState state) override;
    void SetWindowText(const char* text) override;

    // --- commands -------------------------------------------------------------
    void OnOptions();
    void OnResynchronise();
    void OnScheduleBrowser();
    void OnScheduleMeetings();
    void OpenMeetingDialog(const std::string& attendees);
    // The schedule browser, retrieving `address` first when one is given;
    // its import is written into the calendar, its meeting request opens
    // the meeting dialog with the attendees.
    void RunScheduleBrowser(const std::string& address, Asker asker = Asker::Peer);
    // Subscribes to a schedule the browser retrieved; why not is shown.
    void Subscribe(const std::string& address);
    void OnNewAppointment();
    void OnTest();
    // The Test button's call is still waiting for the service.
    bool IsTesting() const;
    void OnHelpPicture();
    void OnAbout();
    void OnMinimize();
    void OnRestore();
    void OnTrayCommand(CSystemTray::Command command);

    // Lists the appointments of `day` and marks the busy days of the months
    // shown.
    void ShowDay(const QDate& day);
    // A notice's "Show": the window, on the notice's day.
    void ShowDayFromNotice(const QDate& day);

    // A balloon's text stays in the window's notice line (the last one
    // shown) and goes to the notification-area icon when there is one.
    void ShowBalloon(const std::string& title, const std::string& text) override;
    void ShowNotice(const std::string& title, const std::string& text, const CDateTime& day) override;
    void MarkBusyDays();

    // --- what the store and the registration tell the window ---------------
    void AddAppointmentRow(const CAppointment& appointment) override;
    void RemoveAppointmentRow(const CAppointment& appointment) override;
    void Refresh() override;
    bool EnableANS(const std::string& name, const std::string& host, const std::string& port) override;
    void DisableANS() override;
    void ShowRegistration(const std::string& name, const std::string& host, int port) override;
    void EnableMeetingRequests(bool enable) override;

    // Shows the debug window while Debug is on, ends it while it is off.
    void UpdateDebugWindow();
    CDebugDlg* DebugWindow() const { return m_debug.get(); }

    CSystemTray& Tray() { return m_tray; }
    bool IsTrayCreated() const { return m_trayCreated; }
    // Runs `told` when a notification area starts after the window, and
    // its icon is shown there.
    void SetTrayAppearedHandler(std::function<void()> told) { m_trayAppeared = std::move(told); }

protected:
    intptr_t WindowProc(unsigned msg, uintptr_t wparam, intptr_t lparam) override;
    void done(int result) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void AttachTray(CSystemTray::Command defaultItem);
    void TrayAppeared();
    void TestAnswered(bool succeeded, const std::string& result, const std::string& error);
    void BuildControls();
    void AttachTips();
    QPushButton* AddButton(const char* text, const char* name, void (CVesperaDlg::*command)());
    void AddRow(const CAppointment& appointment);
    void InstallStartupSheet();
    void RestoreLayout();
    // Fits the day list's times, lengths and places to what it shows until
    // the user sets their widths.
    void FitColumns();

    CVespera* m_agent = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_notice = nullptr;
    QLabel* m_agentName = nullptr;
    QLabel* m_ansHost = nullptr;
    QLabel* m_ansPort = nullptr;
    QCalendarWidget* m_calendar = nullptr;
    QTreeWidget* m_appointments = nullptr;
    QSplitter* m_splitter = nullptr;
    std::unique_ptr<CWindowMemory> m_layout;
    // The user has set the column widths (or they were restored).
    bool m_columnsChosen = false;
    bool m_fittingColumns = false;
    bool m_startedWithSession = false;
    std::string m_scheduleAtStart;
    // The schedule browser while it runs.
    CScheduleBrowserDlg* m_browser = nullptr;
    QPushButton* m_meetings = nullptr;
    QDate m_shownDay;
    std::set<QDate> m_boldDays;
    CSystemTray m_tray;
    CDesktopNotifications m_desktop{[this](const QDate& day) { ShowDayFromNotice(day); }};
    bool m_trayCreated = false;
    // Whether the last appointment form shown was saved.
    bool m_formSaved = false;
    std::unique_ptr<CXInfoTip> m_tips;
    std::unique_ptr<CDebugDlg> m_debug;
    // The Test button's call while it runs, and after, until the next.
    std::unique_ptr<CScheduleService> m_serviceTest;
    std::function<void()> m_trayAppeared;
};
