#include <vespera/ui/MeetingRequestDlg.h>

#include <vespera/ui/QtSinks.h>

#include <vespera/core/ContactStore.h>
#include <vespera/core/MessageZone.h>
#include <vespera/core/Preferences.h>

#include <eventview/HelpPages.h>
#include <eventview/XInfoTip.h>

#include <platform/MessageBoxSink.h>

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QTreeWidget>

namespace {

const char* const NoAgentToAdd =
    "The name of the CalendarAgent is not known for this contact. Please enter it manually";
const char* const NoAgentToRemove =
    "The name of the CalendarAgent is not known for this contact. PLease delete the entry manually";

std::string Text(const QString& text)
{
    return text.toStdString();
}

QString DurationLabel(int minutes)
{
    if (minutes < 60)
        return QString("%1 minutes").arg(minutes);
    if (minutes == 60)
        return "1 hour";
    return QString("%1 hours").arg(minutes / 60.0);
}

std::vector<std::string> SplitAtCommas(const std::string& text)
{
    std::vector<std::string> names;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        const std::string::size_type comma = text.find(',', start);
        const std::string name =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!name.empty())
            names.push_back(name);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return names;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (std::string::size_type at = text.find(from); at != std::string::npos; at = text.find(from, at))
        text.replace(at, from.size(), to);
}

} // namespace

CMeetingRequestDlg::CMeetingRequestDlg(const CContactStore& contacts, AgentCheck isKnownAgent,
                                       Negotiate negotiate, bool balloonTips, QWidget* parent)
    : QDialog(parent), m_contacts(contacts), m_isKnownAgent(std::move(isKnownAgent)),
      m_negotiate(std::move(negotiate))
{
    setWindowTitle("Request Meeting");
    BuildControls();
    FillContacts();
    m_duration->setCurrentIndex(0);
    OnTimeWindowToggled(false);
    SetStartPickers();
    AttachTips(balloonTips);
}

void CMeetingRequestDlg::BuildControls()
{
    m_contactList = new QTreeWidget;
    m_contactList->setObjectName("contacts");
    m_contactList->setRootIsDecorated(false);
    m_contactList->setHeaderLabels({"First Name", "Last Name", "Email Address", "Calendar Agent"});
    const int widths[] = {100, 100, 150, 150};
    for (int column = 0; column < 4; ++column)
        m_contactList->setColumnWidth(column, widths[column]);
    auto* add = new QPushButton("Add >>");
    add->setObjectName("add");
    auto* remove = new QPushButton("<< Remove");
    remove->setObjectName("remove");
    connect(add, &QPushButton::clicked, this, &CMeetingRequestDlg::OnAddAttendee);
    connect(remove, &QPushButton::clicked, this, &CMeetingRequestDlg::OnRemoveAttendee);

    m_attendees = new QLineEdit;
    m_attendees->setObjectName("attendees");
    m_subject = new QLineEdit;
    m_subject->setObjectName("subject");
    m_location = new QLineEdit;
    m_location->setObjectName("location");
    m_body = new QPlainTextEdit;
    m_body->setObjectName("body");
    m_startDate = new QDateEdit;
    m_startDate->setObjectName("startDate");
    m_startDate->setCalendarPopup(true);
    m_startTime = new QTimeEdit;
    m_startTime->setObjectName("startTime");
    for (QDateEdit* edit : {m_startDate, m_endDate = new QDateEdit})
        edit->setDisplayFormat(CQtUserTimeFormat::DateFormat());
    for (QTimeEdit* edit : {m_startTime, m_endTime = new QTimeEdit})
        edit->setDisplayFormat(CQtUserTimeFormat::TimeFormat());
    m_timeWindow = new QCheckBox("Schedule within a time window");
    m_timeWindow->setObjectName("timeWindow");
    connect(m_timeWindow, &QCheckBox::toggled, this, &CMeetingRequestDlg::OnTimeWindowToggled);
    m_endDate->setObjectName("endDate");
    m_endDate->setCalendarPopup(true);
    m_endTime->setObjectName("endTime");
    m_duration = new QComboBox;
    m_duration->setObjectName("duration");
    for (int i = 0; i < DurationEntries; ++i)
        m_duration->addItem(DurationLabel((i + 1) * 30), (i + 1) * 30);
    m_reminder = new QCheckBox("Reminder");
    m_reminderTime = new QComboBox;
    for (int minutes : {5, 10, 15, 30, 60, 120})
        m_reminderTime->addItem(QString("%1 minutes").arg(minutes), minutes);

    auto* form = new QFormLayout;
    form->addRow("Attendees' agents:", m_attendees);
    form->addRow("Subject:", m_subject);
    form->addRow("Location:", m_location);
    form->addRow("Description:", m_body);
    auto* start = new QHBoxLayout;
    start->addWidget(m_startDate);
    start->addWidget(m_startTime);
    form->addRow("Start (earliest):", start);
    form->addRow(QString(), m_timeWindow);
    auto* end = new QHBoxLayout;
    end->addWidget(m_endDate);
    end->addWidget(m_endTime);
    form->addRow("End of window:", end);
    form->addRow("Duration:", m_duration);
    auto* reminder = new QHBoxLayout;
    reminder->addWidget(m_reminder);
    reminder->addWidget(m_reminderTime);
    form->addRow(QString(), reminder);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->setObjectName("buttons");
    connect(buttons, &QDialogButtonBox::accepted, this, &CMeetingRequestDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CMeetingRequestDlg::reject);
    auto* homePage = new QLabel("<a href=\"home\">Orvante Calendar Agent Home Page</a>");
    homePage->setObjectName("homePage");
    connect(homePage, &QLabel::linkActivated, this, [] { HelpPages::Open(HelpPages::HomePage); });

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_contactList, 0, 0, 3, 1);
    layout->addWidget(add, 0, 1);
    layout->addWidget(remove, 1, 1);
    layout->addLayout(form, 0, 2, 3, 1);
    layout->addWidget(homePage, 3, 0);
    layout->addWidget(buttons, 3, 2);
}

void CMeetingRequestDlg::AttachTips(bool enabled)
{
    m_tips = new CXInfoTip;
    m_tips->setParent(this, m_tips->windowFlags());
    m_tips->Create(this);
    auto* buttons = findChild<QDialogButtonBox*>("buttons");
    const std::pair<QWidget*, const char*> tips[] = {
        {buttons->button(QDialogButtonBox::Ok), "Schedule a Meeting.\nThe Orvante Calendar Agent will "
                                                "negotiate\nwith the attendees' Calendar Agents to "
                                                "set\nup a mutually convenient meeting time."},
        {buttons->button(QDialogButtonBox::Cancel), "Close this window without scheduling a meeting."},
        {findChild<QPushButton*>("add"),
         "Add an attendee from the contact list.\nSelect an invited attendee from the contact "
         "list\n(opposite) "
         "and press this button to add their agent\nto the list of attendees."},
        {findChild<QPushButton*>("remove"),
         "Remove an attendee from the contact list.\nSelect an attendee from the contact list "
         "corresponding\nto their agent in the attendee list, and press\nthis button to remove their agent "
         "from "
         "the list."},
        {m_attendees, "List of Calendar Agents corresponding to invited attendees."},
        {m_subject, "Meeting Subject."},
        {m_location, "Meeting Location."},
        {m_body, "A description of the desired meeting."},
        {m_startDate,
         "Enter a meeting start date, or the ealiest\ndate from which to schedule a meeting\n(if "
         "Variable Meeting Constraints are used)."},
        {m_startTime,
         "Enter a meeting start time, or the ealiest\ntime from which to schedule a meeting\n(if "
         "Variable Meeting Constraints are used)."},
        {m_duration, "Enter the duration of the desired meeting."},
        {m_timeWindow, "Check to select Variable Constraints.\nThese allow a time window to be defined, "
                       "within\nwhich a meeting should be scheduled."},
        {m_endDate, "Specify the end date of a time window\nwithin which a meeting should be scheduled."},
        {m_endTime, "Specify the end time of a time window\nwithin which a meeting should be scheduled."},
        {m_reminder, "Check to set a Reminder for the meeting."},
        {m_reminderTime, "Specifies the amout of time prior to a meeting\nor event to display a reminder."},
        {findChild<QLabel*>("homePage"), "Click to visit the Orvante\nCalendar Agent Home Page."},
    };
    for (const auto& tip : tips)
        m_tips->AddTool(tip.first, tip.second);
    m_tips->SetRelayEnabled(enabled);
}

void CMeetingRequestDlg::FillContacts()
{
    for (int i = 0; i < m_contacts.GetCount(); ++i) {
        const CContactRecord* contact = m_contacts.GetAt(i);
        auto* row = new QTreeWidgetItem(m_contactList);
        row->setText(0, QString::fromStdString(contact->GetFirstName()));
        row->setText(1, QString::fromStdString(contact->GetLastName()));
        row->setText(2, QString::fromStdString(contact->GetEmailAddress()));
        row->setText(3, QString::fromStdString(contact->GetCalendarAgentName()));
    }
    // Agent names are long: a column is as wide as its widest text, never
    // narrower than it opened.
    for (int column = 0; column < m_contactList->columnCount(); ++column) {
        const int opened = m_contactList->columnWidth(column);
        m_contactList->resizeColumnToContents(column);
        m_contactList->setColumnWidth(column, std::max(opened, m_contactList->columnWidth(column)));
    }
}

CDateTime CMeetingRequestDlg::InitialStart(const CDateTime& now)
{
    if (!CPreferences::IsOnMark(now))
        return CPreferences::NextHalfHour(now);
    CDateTime::Fields fields{};
    now.GetFields(fields);
    return CDateTime(fields.year, fields.month, fields.day, fields.hour, fields.minute, 0);
}

void CMeetingRequestDlg::SetStartPickers()
{
    const CDateTime start = InitialStart(CDateTime::GetCurrentTime());
    const QDate date(start.GetYear(), start.GetMonth(), start.GetDay());
    const QTime time(start.GetHour(), start.GetMinute(), start.GetSecond());
    m_startDate->setDate(date);
    m_startTime->setTime(time);
    const QDateTime end = QDateTime(date, time).addSecs(SelectedMinutes() * 60);
    m_endDate->setDate(end.date());
    m_endTime->setTime(end.time());
}

void CMeetingRequestDlg::SetAttendees(const std::string& attendees)
{
    m_attendees->setText(QString::fromStdString(attendees));
}

int CMeetingRequestDlg::SelectedMinutes() const
{
    return (m_duration->currentIndex() + 1) * 30;
}

void CMeetingRequestDlg::OnTimeWindowToggled(bool checked)
{
    m_endDate->setEnabled(checked);
    m_endTime->setEnabled(checked);
}

std::string CMeetingRequestDlg::SelectedAgentName() const
{
    const QTreeWidgetItem* row = m_contactList->currentItem();
    return row ? Text(row->text(3)) : std::string();
}

void CMeetingRequestDlg::OnAddAttendee()
{
    const std::string name = SelectedAgentName();
    if (name.empty()) {
        CMessageBoxSink::Show(NoAgentToAdd);
        return;
    }
    m_attendees->setText(QString::fromStdString(AddAttendee(Text(m_attendees->text()), name)));
}

void CMeetingRequestDlg::OnRemoveAttendee()
{
    const std::string name = SelectedAgentName();
    if (name.empty()) {
        CMessageBoxSink::Show(NoAgentToRemove);
        return;
    }
    m_attendees->setText(QString::fromStdString(RemoveAttendee(Text(m_attendees->text()), name)));
}

std::string CMeetingRequestDlg::AddAttendee(const std::string& attendees, const std::string& name)
{
    if (attendees.find(name) != std::string::npos)
        return attendees;
    return attendees.empty() ? name : attendees + "," + name;
}

std::string CMeetingRequestDlg::RemoveAttendee(const std::string& attendees, const std::string& name)
{
    std::string text = attendees;
    const std::string::size_type at = text.find(name);
    if (at == std::string::npos)
        return text;
    std::string::size_type from = at;
    std::string::size_type length = name.size();
    if (at + length < text.size() && text[at + length] == ',')
        ++length;
    else if (at > 0 && text[at - 1] == ',')
        --from, ++length;
    text.erase(from, length);
    ReplaceAll(text, ",,", ",");
    if (!text.empty() && text.front() == ',')
        text.erase(0, 1);
    if (!text.empty() && text.back() == ',')
        text.pop_back();
    return text;
}

std::string CMeetingRequestDlg::BuildRequest(const std::string& attendees, const std::string& subject,
                                             const std::string& body, const CDateTime& start, bool withWindow,
                                             const CDateTime& end, const std::string& location, int minutes)
{
    // The agent reads the texts in the zone named, as it does another agent's.
    const CMessageZone zone;
    std::string request = "tell :command schedule_meeting :attendees (" + attendees + ") :subject (" +
                          subject + ") :body (" + body + ") :start (" + zone.Format(start) + ")";
    if (withWindow)
        request += " :end (" + zone.Format(end) + ")";
    return request + " :location (" + location + ") :duration (" + std::to_string(minutes) + ")" +
           zone.Keyword();
}

CDateTime CMeetingRequestDlg::StartTime() const
{
    const QDate date = m_startDate->date();
    const QTime time = m_startTime->time();
    return CDateTime(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second());
}

CDateTime CMeetingRequestDlg::EndTime() const
{
    const QDate date = m_endDate->date();
    const QTime time = m_endTime->time();
    return CDateTime(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second());
}

void CMeetingRequestDlg::accept()
{
    const std::string attendees = Text(m_attendees->text());
    if (attendees.empty()) {
        CMessageBoxSink::Show("No Attendees Specified");
        return;
    }
    std::string unknown;
    for (const std::string& name : SplitAtCommas(attendees)) {
        if (!m_isKnownAgent || !m_isKnownAgent(name))
            unknown += name + "\n";
    }
    if (!unknown.empty()) {
        CMessageBoxSink::Show(
            "The following Calendar agents could not be found.\n\n" + unknown +
            "\nPlease check the agent names and try again.\nNo Meetings have been scheduled.");
        return;
    }
    const std::string request =
        BuildRequest(attendees, Text(m_subject->text()), Text(m_body->toPlainText()), StartTime(),
                     m_timeWindow->isChecked(), EndTime(), Text(m_location->text()), SelectedMinutes());
    if (m_negotiate)
        m_negotiate(request);
    QDialog::accept();
}
