#include <vespera/ui/VesperaDlg.h>

#include <vespera/ui/AppointmentForm.h>
#include <vespera/ui/DebugDlg.h>

#include <vespera/browser/ScheduleHistory.h>

#include <vespera/webservice/ScheduleService.h>
#include <vespera/ui/MailForm.h>
#include <vespera/ui/Artwork.h>
#include <vespera/ui/LookupDetailsPP.h>
#include <vespera/ui/OptionsPropertySheet.h>
#include <vespera/ui/QtSinks.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/NameServerRegistration.h>
#include <vespera/core/Preferences.h>
#include <vespera/core/ScheduleImport.h>
#include <vespera/core/Vespera.h>

#include <eventview/DialogButton.h>
#include <eventview/WindowMemory.h>
#include <eventview/XInfoTip.h>

#include <outlook/AppointmentItem.h>
#include <outlook/Item.h>
#include <outlook/MailItem.h>

#include <platform/BalloonSink.h>
#include <platform/UserTimeFormat.h>

#include <QApplication>
#include <QCalendarWidget>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTextCharFormat>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

namespace {

// The occurrence's start on the day shown, which orders the rows.
constexpr int StartRole = Qt::UserRole + 1;

QString FromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

const CAppointment* AppointmentOf(const QTreeWidgetItem* row)
{
    return static_cast<const CAppointment*>(row->data(0, Qt::UserRole).value<const void*>());
}

} // namespace

CVesperaDlg::CVesperaDlg(std::unique_ptr<CVespera> agent)
    : QDialog(nullptr), CDlgContainer(std::unique_ptr<CAgentContainer>(agent.release()))
{
    m_agent = static_cast<CVespera*>(get_container());
    setWindowIcon(Artwork::AgentIcon());
    BuildControls();
    RestoreLayout();
    InstallStartupSheet();
    // Another agent's browseScheduleURL opens the browser once the message
    // has been handled.
    m_agent->GetScheduleImport().SetShippedSchedulesFolder(CScheduleHistory::ExamplesFolder());
    m_agent->GetScheduleImport().SetBrowserOpener([this](const std::string& address) {
        QTimer::singleShot(0, this, [this, address] { RunScheduleBrowser(address); });
    });
    // The calendar program's forms open over this window.
    outlook::CItem::SetDisplayHandler([this](outlook::CItem& item) {
        if (outlook::CAppointmentItem* appointment = item.AsAppointment()) {
            CAppointmentForm form(*appointment, this);
            m_formSaved = form.exec() == QDialog::Accepted;
            return true;
        }
        if (outlook::CMailItem* mail = item.AsMail()) {
            CMailForm form(*mail,
                           QApplication::activeModalWidget() ? QApplication::activeModalWidget() : this);
            form.exec();
            return true;
        }
        return false;
    });
}

// An agent ended by a signal goes with its window still shown.
CVesperaDlg::~CVesperaDlg()
{
    if (isVisible())
        SaveLayout();
    outlook::CItem::SetDisplayHandler(nullptr);
    CBalloonSink::SetCurrent(nullptr);
    if (m_agent) {
        m_agent->SetTrafficTrace(nullptr);
        m_agent->GetAppointmentStore().SetView(nullptr);
        m_agent->SetStartupSheet(nullptr);
        m_agent->GetScheduleImport().SetBrowserOpener(nullptr);
    }
    m_tray.Remove();
}

void CVesperaDlg::BuildControls()
{
    m_status = new QLabel("Agent Operational");
    m_agentName = new QLabel("Agent Name:");
    m_ansHost = new QLabel("ANS Host:");
    m_ansPort = new QLabel("ANS Port: ");
    m_notice = new QLabel;
    m_notice->setObjectName("notice");
    m_notice->setWordWrap(true);
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setObjectName("status");
    m_agentName->setObjectName("agentName");
    m_ansHost->setObjectName("ansHost");
    m_ansPort->setObjectName("ansPort");
    QFont bold = m_status->font();
    bold.setBold(true);
    m_status->setFont(bold);

    m_calendar = new QCalendarWidget;
    m_calendar->setObjectName("calendar");
    m_calendar->setGridVisible(true);
    connect(m_calendar, &QCalendarWidget::selectionChanged, this,
            [this] { ShowDay(m_calendar->selectedDate()); });
    connect(m_calendar, &QCalendarWidget::currentPageChanged, this, [this] { MarkBusyDays(); });

    m_appointments = new QTreeWidget;
    m_appointments->setObjectName("appointments");
    m_appointments->setRootIsDecorated(false);
    m_appointments->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_appointments->setHeaderLabels({"Start Time", "Subject", "Duration", "Location"});
    // The subject takes what the others leave; they fit what they show
    // until the user sets their widths.
    QHeaderView* header = m_appointments->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(SubjectColumn, QHeaderView::Stretch);
    connect(header, &QHeaderView::sectionResized, this, [this](int column) {
        if (!m_fittingColumns && column != SubjectColumn)
            m_columnsChosen = true;
    });
    m_splitter = new QSplitter(Qt::Vertical);
    m_splitter->setObjectName("daySplitter");
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(m_calendar);
    m_splitter->addWidget(m_appointments);
    m_splitter->setStretchFactor(1, 1);

    auto* status = new QVBoxLayout;
    for (QLabel* label : {m_status, m_agentName, m_ansHost, m_ansPort, m_notice})
        status->addWidget(label);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(
        AddButton("Semantic Web Schedule Browser", "scheduleBrowser", &CVesperaDlg::OnScheduleBrowser));
    m_meetings = AddButton("Schedule Meetings", "scheduleMeetings", &CVesperaDlg::OnScheduleMeetings);
    buttons->addWidget(m_meetings);
    buttons->addWidget(AddButton("New Appointment/Event", "newAppointment", &CVesperaDlg::OnNewAppointment));
    buttons->addWidget(AddButton("Synchronise with Outlook", "synchronise", &CVesperaDlg::OnResynchronise));
    buttons->addWidget(AddButton("Options", "options", &CVesperaDlg::OnOptions));
    buttons->addWidget(AddButton("Test", "test", &CVesperaDlg::OnTest));
    buttons->addStretch();
    auto* help = new QToolButton;
    help->setObjectName("helpPicture");
    help->setIcon(QIcon(Artwork::HelpPicture()));
    help->setIconSize(QSize(32, 32));
    help->setAutoRaise(true);
    connect(help, &QToolButton::clicked, this, &CVesperaDlg::OnHelpPicture);
    buttons->addWidget(help, 0, Qt::AlignHCenter);
    // Not a default button: Return anywhere else in the window must not end
    // the agent.
    QPushButton* shutdown = NewDialogButton("Shutdown", "shutdown");
    connect(shutdown, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(shutdown);

    auto* layout = new QGridLayout(this);
    layout->addLayout(status, 0, 0);
    layout->addWidget(m_splitter, 1, 0);
    layout->addLayout(buttons, 0, 1, 2, 1);
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(1, 1);
    m_appointments->setMinimumWidth(520);
}

QPushButton* CVesperaDlg::AddButton(const char* text, const char* name, void (CVesperaDlg::*command)())
{
    QPushButton* button = NewDialogButton(text, name);
    connect(button, &QPushButton::clicked, this, command);
    return button;
}

// At start, without a usable stored registration, the user is asked for
// the lookup details on the start-up sheet.
void CVesperaDlg::InstallStartupSheet()
{
    m_agent->SetStartupSheet(
        [this](const CLookupDetailsPageInput& page) -> std::optional<CLookupDetailsPageInput> {
            CInitializeANSPropertySheet sheet(page, this);
            if (sheet.exec() != QDialog::Accepted)
                return std::nullopt;
            return sheet.LookupDetails().Read();
        });
}

bool CVesperaDlg::MeetingRequestsAllowed(const CAgentSettings& settings)
{
    return settings.GetANSRegistered() && settings.GetMeetingSchedulingType() != 0;
}

int CVesperaDlg::OnInitDialog()
{
    const int timerRunning = CDlgContainer::OnInitDialog();
    m_agent->GetAppointmentStore().SetView(this);
    m_agent->InitAgent();
    const CNameServerRegistration& registration = m_agent->GetRegistration();
    ShowRegistration(registration.GetRegisteredName(), registration.GetANSHost(), registration.GetANSPort());
    m_calendar->setSelectedDate(QDate::currentDate());
    ShowDay(QDate::currentDate());

    CAgentSettings& settings = m_agent->GetSettings();
    CBalloonSink::SetCurrent(this);
    m_trayCreated = m_tray.Create(
        Artwork::AgentIcon(), TrayToolTip, [this](CSystemTray::Command command) { OnTrayCommand(command); },
        [this] { TrayAppeared(); });
    if (m_trayCreated) {
        AttachTray(CSystemTray::Minimize);
        if (settings.GetStartMinimized() || m_startedWithSession)
            OnMinimize();
    } else if (m_startedWithSession) {
        // The panel often starts after the session's programs: the window
        // waits for it on the task bar rather than in front of the desktop.
        showMinimized();
    }
    UpdateDebugWindow();
    m_agent->GetPreferences().RebuildPreferences();
    setWindowTitle(Title);
    if (!m_scheduleAtStart.empty())
        QTimer::singleShot(0, this,
                           [this] { OpenSchedule(std::exchange(m_scheduleAtStart, std::string())); });
    return timerRunning;
}

void CVesperaDlg::AttachTray(CSystemTray::Command defaultItem)
{
    m_tray.SetDefaultItem(defaultItem);
    AttachTips();
    EnableMeetingRequests(MeetingRequestsAllowed(m_agent->GetSettings()));
}

// A panel that starts after the agent: the window was standing alone so far
// and is not hidden now, unless it was waiting minimised for the panel at
// the start of the session.
void CVesperaDlg::TrayAppeared()
{
    m_trayCreated = true;
    if (m_startedWithSession && isMinimized())
        hide();
    AttachTray(isHidden() ? CSystemTray::Restore : CSystemTray::Minimize);
    if (m_trayAppeared)
        m_trayAppeared();
}

void CVesperaDlg::ShowBalloon(const std::string& title, const std::string& text)
{
    ShowNotice(title, text, CDateTime::Null());
}

// The window's notice line always holds the last notice, so that none is
// only in a log; the desktop's notification service shows it, else the
// icon's balloon.
void CVesperaDlg::ShowNotice(const std::string& title, const std::string& text, const CDateTime& day)
{
    const std::string when = CUserTimeFormat::Current().FormatTime(CDateTime::GetCurrentTime());
    m_notice->setText(FromStd(when + " " + title + ": " + text));
    auto balloon = [this, title, text] {
        if (m_trayCreated)
            m_tray.ShowBalloon(title, text);
    };
    if (!m_desktop.IsAvailable()) {
        balloon();
        return;
    }
    const QDate date =
        day.GetStatus() == CDateTime::valid ? QDate(day.GetYear(), day.GetMonth(), day.GetDay()) : QDate();
    m_desktop.Notify(FromStd(title), FromStd(text), date, balloon);
}

void CVesperaDlg::ShowDayFromNotice(const QDate& day)
{
    OnRestore();
    m_calendar->setSelectedDate(day);
    ShowDay(day);
}

void CVesperaDlg::AttachTips()
{
    m_tips = std::make_unique<CXInfoTip>();
    m_tips->Create(this);
    m_tips->SetShowDelay(TipDelayMs);
    QStyle* look = style();
    const QIcon warning = look->standardIcon(QStyle::SP_MessageBoxWarning);
    const QIcon information = look->standardIcon(QStyle::SP_MessageBoxInformation);
    const QIcon command = look->standardIcon(QStyle::SP_CommandLink);
    const QIcon list = look->standardIcon(QStyle::SP_FileDialogDetailedView);
    const struct {
        QWidget* control;
        const char* text;
        QIcon icon;
    } tips[] = {
        {findChild<QWidget*>("shutdown"),
         "Shutdown the Agent.\nMeetings will no longer be negotiated\nuntil the Orvante Calendar Agent is "
         "restarted.",
         warning},
        {m_status, "The Agent's current status.", information},
        {m_agentName, "The name of the agent,\nregistered with the ANS.", information},
        {m_ansHost,
         "The hostname of the primary Agent Name Server (ANS)\nat which this Orvante Calendar Agent is "
         "registered.",
         information},
        {m_ansPort, "The port at which the primary Agent Name Server (ANS) communicates.", information},
        {findChild<QWidget*>("synchronise"), "Re-Synchronize Appointments and Events with Outlook.", command},
        {findChild<QWidget*>("scheduleBrowser"), "Invoke the Semantic Web Schedule Browser.", command},
        {m_meetings,
         "Request a meeting with one or more attendees.\nThe agent will negotiate a meeting time with\nthe "
         "other "
         "attendees agents.",
         command},
        {findChild<QWidget*>("newAppointment"),
         "Create a new Appointment or Event.\nNew appointments do not initially appear within\nthe "
         "Appointment "
         "list.  To view them the agent\nshould be synchronised with Outlook.",
         command},
        {m_appointments,
         "A list of appointments and events for the day selected.\nNOTE: recurring events are not (yet) "
         "listed.",
         list},
        {findChild<QWidget*>("options"), "Options and Settings\nThis dialog is used to configure the Agent.",
         list},
    };
    for (const auto& tip : tips)
        m_tips->AddTool(tip.control, tip.text, tip.icon);
    m_tips->SetRelayEnabled(m_agent->GetSettings().GetBalloonToolTips());
}

void CVesperaDlg::ShowWindow(WindowState state)
{
    CDlgContainer::ShowWindow(state);
    switch (state) {
    case WINDOW_HIDDEN:
        hide();
        break;
    case WINDOW_MAXIMISED:
        showMaximized();
        break;
    case WINDOW_MINIMISED:
        showMinimized();
        break;
    case WINDOW_NORMAL:
        show();
        break;
    }
}

void CVesperaDlg::SetWindowText(const char* text)
{
    CDlgContainer::SetWindowText(text);
    setWindowTitle(QString::fromUtf8(text ? text : ""));
}

intptr_t CVesperaDlg::WindowProc(unsigned msg, uintptr_t wparam, intptr_t lparam)
{
    switch (msg) {
    case WM_PROBE:
        return WM_PROBE;
    case WM_DEBUG_CLOSED:
        m_agent->GetSettings().SetDebug(false);
        UpdateDebugWindow();
        return 0;
    default:
        return CDlgContainer::WindowProc(msg, wparam, lparam);
    }
}

// Every way of closing the window (Shutdown, Exit, the title bar, Escape)
// ends the agent's run; the program then tears it down in order.
void CVesperaDlg::done(int result)
{
    hide();
    EndDialog(0);
    QDialog::done(result);
}

// No button is the window's default, so Return presses only the button that
// has the focus and does nothing elsewhere.
void CVesperaDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CVesperaDlg::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    connect(menu.addAction("&About vespera..."), &QAction::triggered, this, &CVesperaDlg::OnAbout);
    menu.exec(event->globalPos());
}

// --- the debug window ---------------------------------------------------------------

// Made only while debug mode is on: a hidden window would keep every
// message of a long-running agent.
void CVesperaDlg::UpdateDebugWindow()
{
    const bool wanted = m_agent->GetSettings().GetDebug();
    if (wanted && !m_debug) {
        m_debug = std::make_unique<CDebugDlg>(
            *m_agent, [this] { PostMessage(WM_DEBUG_CLOSED); }, this);
        m_agent->SetTrafficTrace(m_debug.get());
        m_debug->RefreshAppointments();
        m_debug->show();
    } else if (!wanted && m_debug) {
        m_agent->SetTrafficTrace(nullptr);
        m_debug.reset();
    }
}

// --- the day list and the calendar ------------------------------------------------

std::set<int> CVesperaDlg::BusyDays(const CAppointmentStore& store, int year, int month)
{
    std::set<int> days;
    const int length = QDate(year, month, 1).daysInMonth();
    for (int i = 0; i < store.GetCount(); ++i) {
        const CAppointment* appointment = store.GetAt(i);
        // A single appointment occurs on its start's day only: no need to
        // ask it about every day of the month.
        if (!appointment->GetRecurrence()) {
            const CDateTime& start = appointment->GetStartTime();
            if (start.GetStatus() == CDateTime::valid && start.GetYear() == year && start.GetMonth() == month)
                days.insert(start.GetDay());
            continue;
        }
        for (int day = 1; day <= length; ++day) {
            if (!days.count(day) && appointment->OccursOn(day, month, year))
                days.insert(day);
        }
    }
    return days;
}

void CVesperaDlg::ShowDay(const QDate& day)
{
    m_shownDay = day;
    m_appointments->clear();
    const CAppointmentStore& store = m_agent->GetAppointmentStore();
    for (int i = 0; i < store.GetCount(); ++i) {
        const CAppointment* appointment = store.GetAt(i);
        if (appointment->OccursOn(day.day(), day.month(), day.year()))
            AddRow(*appointment);
    }
    FitColumns();
    MarkBusyDays();
}

// A row shows the occurrence on the day shown, at its time of day (a weekly
// appointment is not listed at its first date), and rows stay in time order.
void CVesperaDlg::AddRow(const CAppointment& appointment)
{
    const CDateTime& start = appointment.GetStartTime();
    const QDateTime at(m_shownDay, QTime(start.GetHour(), start.GetMinute(), start.GetSecond()));
    auto* row = new QTreeWidgetItem;
    // A day has no time to show.
    row->setText(0, appointment.IsAllDay() ? QLocale().toString(m_shownDay, CQtUserTimeFormat::DateFormat())
                                           : CQtUserTimeFormat::DateTimeText(at));
    row->setText(1, FromStd(appointment.GetSubject()));
    row->setText(2, FromStd(appointment.GetDurationString()));
    row->setText(3, FromStd(appointment.GetLocation()));
    row->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<const void*>(&appointment)));
    row->setData(0, StartRole, at);
    int index = m_appointments->topLevelItemCount();
    while (index > 0 && m_appointments->topLevelItem(index - 1)->data(0, StartRole).toDateTime() > at)
        --index;
    m_appointments->insertTopLevelItem(index, row);
}

// The calendar shows its month and parts of the two beside it.
void CVesperaDlg::MarkBusyDays()
{
    for (const QDate& day : m_boldDays)
        m_calendar->setDateTextFormat(day, QTextCharFormat());
    m_boldDays.clear();
    const QDate shown(m_calendar->yearShown(), m_calendar->monthShown(), 1);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    for (int offset = -1; offset <= 1; ++offset) {
        const QDate month = shown.addMonths(offset);
        for (int day : BusyDays(m_agent->GetAppointmentStore(), month.year(), month.month())) {
            const QDate date(month.year(), month.month(), day);
            m_calendar->setDateTextFormat(date, bold);
            m_boldDays.insert(date);
        }
    }
}

void CVesperaDlg::AddAppointmentRow(const CAppointment& appointment)
{
    if (m_shownDay.isValid() &&
        appointment.OccursOn(m_shownDay.day(), m_shownDay.month(), m_shownDay.year())) {
        AddRow(appointment);
        FitColumns();
    }
}

void CVesperaDlg::RemoveAppointmentRow(const CAppointment& appointment)
{
    for (int i = m_appointments->topLevelItemCount() - 1; i >= 0; --i) {
        if (AppointmentOf(m_appointments->topLevelItem(i)) == &appointment)
            delete m_appointments->takeTopLevelItem(i);
    }
}

void CVesperaDlg::Refresh()
{
    ShowDay(m_calendar->selectedDate());
    if (m_debug)
        m_debug->RefreshAppointments();
}

// --- registration ---------------------------------------------------------------------

bool CVesperaDlg::EnableANS(const std::string& name, const std::string& host, const std::string& port)
{
    return m_agent->GetRegistration().EnableANS(name, host, port);
}

void CVesperaDlg::DisableANS()
{
    m_agent->GetRegistration().DisableANS();
}

// Without a registration the name-server fields would be empty or stale,
// so they go and the status line says why.
void CVesperaDlg::ShowRegistration(const std::string& name, const std::string& host, int port)
{
    const bool registered = !name.empty();
    m_status->setText(registered ? "Agent Operational" : UnregisteredStatus);
    m_agentName->setText(FromStd("Agent Name: " + name));
    m_ansHost->setText(FromStd("ANS Host: " + host));
    m_ansPort->setText(QString("ANS Port: %1").arg(port));
    for (QLabel* field : {m_agentName, m_ansHost, m_ansPort})
        field->setVisible(registered);
}

void CVesperaDlg::EnableMeetingRequests(bool enable)
{
    m_meetings->setEnabled(enable);
}
