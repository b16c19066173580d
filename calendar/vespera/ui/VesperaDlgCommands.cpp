// The main window's commands: its buttons and the notification-area menu.

#include <vespera/ui/VesperaDlg.h>

#include <vespera/ui/AboutDlg.h>
#include <vespera/ui/DebugDlg.h>
#include <vespera/ui/MeetingRequestDlg.h>
#include <vespera/ui/OptionsPropertySheet.h>

#include <vespera/browser/ScheduleBrowserDlg.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/CalendarBridge.h>
#include <vespera/core/KqmlFields.h>
#include <vespera/core/NameServerRegistration.h>
#include <vespera/core/OrganiserSide.h>
#include <vespera/core/Preferences.h>
#include <vespera/core/ScheduleImport.h>
#include <vespera/core/ScheduleSubscriptions.h>
#include <vespera/core/Vespera.h>

#include <vespera/webservice/ScheduleService.h>

#include <eventview/HelpPages.h>
#include <eventview/XInfoTip.h>

#include <outlook/AppointmentItem.h>
#include <outlook/Application.h>
#include <outlook/Item.h>

#include <platform/BalloonSink.h>
#include <platform/EventLoop.h>
#include <platform/MessageBoxSink.h>
#include <platform/UserTimeFormat.h>

#include <QCalendarWidget>

#include <QTimer>

#include <utility>

namespace {

// The options sheet is open: a second one would write over the first.
bool g_optionsOpen = false;

} // namespace

// --- commands -------------------------------------------------------------------

void CVesperaDlg::OnOptions()
{
    if (g_optionsOpen)
        return;
    g_optionsOpen = true;
    CAgentSettings& settings = m_agent->GetSettings();
    COptionsPropertySheet sheet(settings, m_agent->GetScheduleSubscriptions(), this);
    if (sheet.exec() == QDialog::Accepted) {
        sheet.ApplyPages(settings);
        m_agent->GetPreferences().RebuildPreferences();
        const bool lookupChanged = sheet.ApplyLookupDetails(settings);
        SettingsPages::ApplyRegistration(settings, *this, lookupChanged);
        m_agent->GetCalendar().ApplyNotificationSettings();
        if (m_tips)
            m_tips->SetRelayEnabled(settings.GetBalloonToolTips());
        Refresh();
        UpdateDebugWindow();
    }
    g_optionsOpen = false;
}

void CVesperaDlg::OnResynchronise()
{
    m_agent->GetCalendar().Resynchronise();
    Refresh();
    if (m_debug)
        m_debug->RefreshAppointments();
}

void CVesperaDlg::OnScheduleBrowser()
{
    RunScheduleBrowser(std::string());
}

void CVesperaDlg::RunScheduleBrowser(const std::string& address, Asker asker)
{
    CScheduleBrowserDlg browser(*m_agent, m_agent->GetSettings().GetBalloonToolTips(), this);
    // Retrieved once the dialog runs, so that the user sees the steps.
    if (!address.empty())
        QTimer::singleShot(0, &browser, [&browser, address, asker] {
            if (asker == Asker::User)
                browser.RetrieveForUser(address);
            else
                browser.Retrieve(address);
        });
    // Another agent may open one over it; the user's requests go to the
    // one on top.
    CScheduleBrowserDlg* const below = std::exchange(m_browser, &browser);
    const int result = browser.exec();
    m_browser = below;
    if (result == QDialog::Accepted && !browser.GetSubscriptionAddress().empty()) {
        Subscribe(browser.GetSubscriptionAddress());
    } else if (result == QDialog::Accepted) {
        m_agent->GetScheduleImport().WriteAppointments(browser.GetModel());
        Refresh();
    } else if (result == CScheduleBrowserDlg::RequestMeetingResult) {
        OpenMeetingDialog(browser.GetMeetingAttendees());
    }
}

void CVesperaDlg::OpenSchedule(const std::string& address)
{
    BringToFront();
    if (!m_browser) {
        RunScheduleBrowser(address, Asker::User);
        return;
    }
    m_browser->RetrieveForUser(address);
    m_browser->raise();
    m_browser->activateWindow();
}

// The first fetch runs on the loop; the window shows its events when the
// calendar tells it of them, as for any change.
void CVesperaDlg::Subscribe(const std::string& address)
{
    std::string error;
    if (!m_agent->GetScheduleSubscriptions().Subscribe(address, error))
        CMessageBoxSink::Show(error, MB_OK | MB_ICONEXCLAMATION);
}

void CVesperaDlg::OnScheduleMeetings()
{
    OpenMeetingDialog(std::string());
}

void CVesperaDlg::OpenMeetingDialog(const std::string& attendees)
{
    CNameServerRegistration& registration = m_agent->GetRegistration();
    CMeetingRequestDlg dialog(
        m_agent->GetContactStore(),
        [&registration](const std::string& name) { return registration.IsKnownToANS(name); },
        [this](const std::string& request) {
            m_agent->GetOrganiserSide().StartNegotiation(CKqmlFields(request));
        },
        m_agent->GetSettings().GetBalloonToolTips(), this);
    if (!attendees.empty())
        dialog.SetAttendees(attendees);
    dialog.exec();
}

void CVesperaDlg::OnNewAppointment()
{
    outlook::CApplication* application = m_agent->GetCalendar().GetOutlookApplication();
    std::unique_ptr<outlook::CItem> item =
        application ? application->CreateItem(outlook::olAppointmentItem) : nullptr;
    outlook::CAppointmentItem* appointment = item ? item->AsAppointment() : nullptr;
    if (!appointment) {
        CMessageBoxSink::Show("No new appointment can be made: the calendar is not open.",
                              MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // The form opens on the day the user is looking at, at the next hour.
    const QDate day = m_calendar->selectedDate();
    const int hour = std::min(QTime::currentTime().hour() + 1, 23);
    appointment->SetStart(CDateTime(day.year(), day.month(), day.day(), hour, 0, 0));
    m_formSaved = false;
    if (!item->Display() || !m_formSaved)
        return;
    m_agent->GetCalendar().ReloadAppointments();
    const CDateTime start = appointment->GetStart();
    m_calendar->setSelectedDate(QDate(start.GetYear(), start.GetMonth(), start.GetDay()));
    Refresh();
    CBalloonSink::Show(
        "New Appointment/Event",
        "Saved: " + appointment->GetSubject() + ", " +
            CUserTimeFormat::Current().FormatSpan(
                start, start + CDateTimeSpan(0, 0, static_cast<int>(appointment->GetDuration()), 0)));
}

// The call runs on the loop, so a slow service holds neither the window
// nor the other agents; a second click while it runs starts it again.
void CVesperaDlg::OnTest()
{
    m_serviceTest = std::make_unique<CScheduleService>();
    const auto answered = [this](bool succeeded, const std::string& result, const std::string& error) {
        TestAnswered(succeeded, result, error);
    };
    CEventLoop* loop = CEventLoop::Current();
    if (loop) {
        m_serviceTest->StartHelloWorld(*loop, answered);
        return;
    }
    std::string result;
    std::string error;
    const bool succeeded = m_serviceTest->HelloWorld(result, error);
    answered(succeeded, result, error);
}

bool CVesperaDlg::IsTesting() const
{
    return m_serviceTest && m_serviceTest->IsCalling();
}

void CVesperaDlg::TestAnswered(bool succeeded, const std::string& result, const std::string& error)
{
    const std::string address = m_serviceTest ? m_serviceTest->GetAddress() : std::string();
    if (succeeded) {
        m_agent->LogLine("Schedule service test: " + result);
        CMessageBoxSink::Show("Service Invocation Succeeded\n\n" + address + " answered: " + result);
    } else {
        m_agent->LogLine("Schedule service test failed: " + error);
        const std::string where = address.empty() ? "Set the service's address under Options, General."
                                                  : "The address called was " + address + ".";
        CMessageBoxSink::Show("Service Invocation Failed\n\nWhy: " + error + ".\n" + where);
    }
    CMessageBoxSink::Show("All Done");
}

void CVesperaDlg::OnHelpPicture()
{
    HelpPages::Open(HelpPages::MainWindowPage);
}

void CVesperaDlg::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CVesperaDlg::OnMinimize()
{
    hide();
    m_tray.SetDefaultItem(CSystemTray::Restore);
}

void CVesperaDlg::OnRestore()
{
    BringToFront();
}

// A maximised window comes back maximised.
void CVesperaDlg::BringToFront()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    m_tray.SetDefaultItem(CSystemTray::Minimize);
}

void CVesperaDlg::OnTrayCommand(CSystemTray::Command command)
{
    switch (command) {
    case CSystemTray::About:
        OnAbout();
        break;
    case CSystemTray::Restore:
        OnRestore();
        break;
    case CSystemTray::Minimize:
        OnMinimize();
        break;
    case CSystemTray::RequestMeeting:
        OnScheduleMeetings();
        break;
    case CSystemTray::NewAppointment:
        OnNewAppointment();
        break;
    case CSystemTray::RetrieveSchedule:
        OnScheduleBrowser();
        break;
    case CSystemTray::Options:
        OnOptions();
        break;
    case CSystemTray::Exit:
        done(QDialog::Accepted);
        break;
    }
}
