#include <vespera/ui/AppointmentForm.h>

#include <vespera/ui/QtSinks.h>

#include <outlook/AppointmentItem.h>

#include <platform/DateTime.h>
#include <platform/MessageBoxSink.h>
#include <platform/TimeZone.h>

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {

constexpr int DefaultReminderMinutes = 15;

QDateTime ToQDateTime(const CDateTime& time)
{
    return QDateTime(QDate(time.GetYear(), time.GetMonth(), time.GetDay()),
                     QTime(time.GetHour(), time.GetMinute(), time.GetSecond()));
}

CDateTime FromQDateTime(const QDateTime& time)
{
    return CDateTime(time.date().year(), time.date().month(), time.date().day(), time.time().hour(),
                     time.time().minute(), time.time().second());
}

template <class Widget>
Widget* Named(Widget* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

} // namespace

CAppointmentForm::CAppointmentForm(outlook::CAppointmentItem& item, QWidget* parent)
    : QDialog(parent), m_item(item)
{
    setWindowTitle("Appointment");
    m_subject = Named(new QLineEdit(QString::fromStdString(item.GetSubject())), "subject");
    m_location = Named(new QLineEdit(QString::fromStdString(item.GetLocation())), "location");
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime start = item.GetStart().GetStatus() == CDateTime::valid
                                ? ToQDateTime(item.GetStart())
                                : QDateTime(now.date(), QTime(now.time().hour(), 0)).addSecs(3600);
    m_start = Named(new QDateTimeEdit(start), "start");
    m_end = Named(new QDateTimeEdit(start.addSecs(std::max(item.GetDuration(), 30L) * 60)), "end");
    for (QDateTimeEdit* edit : {m_start, m_end}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(CQtUserTimeFormat::DateTimeFormat());
    }
    m_shownStart = start;
    connect(m_start, &QDateTimeEdit::dateTimeChanged, this, &CAppointmentForm::OnStartChanged);
    m_reminder = Named(new QCheckBox("Reminder"), "reminder");
    m_reminder->setChecked(item.GetReminderSet());
    m_reminderMinutes = Named(new QSpinBox, "reminderMinutes");
    m_reminderMinutes->setRange(0, 7 * 24 * 60);
    m_reminderMinutes->setSuffix(" minutes before");
    m_reminderMinutes->setValue(item.GetReminderSet() ? item.GetReminderMinutesBeforeStart()
                                                      : DefaultReminderMinutes);
    m_body = Named(new QPlainTextEdit(QString::fromStdString(item.GetBody())), "body");

    auto* reminder = new QHBoxLayout;
    reminder->addWidget(m_reminder);
    reminder->addWidget(m_reminderMinutes);
    auto* form = new QFormLayout(this);
    form->addRow("Subject:", m_subject);
    form->addRow("Location:", m_location);
    form->addRow("Start:", m_start);
    form->addRow("End:", m_end);
    // Times are shown in the user's zone; an event from elsewhere also says
    // how it reads where it was written.
    const std::string elsewhere = CTimeZone::NoteElsewhere(item.GetStart(), item.GetStartZone());
    if (!elsewhere.empty())
        form->addRow("Written for:", Named(new QLabel(QString::fromStdString(elsewhere)), "startZone"));
    form->addRow(QString(), reminder);
    form->addRow("Notes:", m_body);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAppointmentForm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAppointmentForm::reject);
    form->addRow(buttons);
}

void CAppointmentForm::OnStartChanged(const QDateTime& start)
{
    m_end->setDateTime(m_end->dateTime().addSecs(m_shownStart.secsTo(start)));
    m_shownStart = start;
}

void CAppointmentForm::accept()
{
    const QDateTime start = m_start->dateTime();
    const qint64 minutes = start.secsTo(m_end->dateTime()) / 60;
    if (minutes <= 0) {
        CMessageBoxSink::Show("The end of the appointment must be after its start.",
                              MB_OK | MB_ICONEXCLAMATION, "Appointment");
        return;
    }
    m_item.SetSubject(m_subject->text().toStdString());
    m_item.SetLocation(m_location->text().toStdString());
    m_item.SetBody(m_body->toPlainText().toStdString());
    m_item.SetStart(FromQDateTime(start));
    m_item.SetDuration(static_cast<long>(minutes));
    m_item.SetReminderSet(m_reminder->isChecked());
    m_item.SetReminderMinutesBeforeStart(m_reminderMinutes->value());
    if (!m_item.Save()) {
        CMessageBoxSink::Show(
            "The appointment could not be written to the calendar file. It has not been saved.",
            MB_OK | MB_ICONSTOP, "Appointment");
        return;
    }
    QDialog::accept();
}
