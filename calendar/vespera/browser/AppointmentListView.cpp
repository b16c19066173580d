#include <vespera/browser/AppointmentListView.h>

#include <vespera/core/AppointmentStore.h>

#include <slotbook/Appointment.h>

#include <platform/UserTimeFormat.h>

namespace {

std::string Shown(const CDateTime& at)
{
    return CUserTimeFormat::Current().FormatDateTime(at);
}

} // namespace

CAppointmentListView::CAppointmentListView(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
}

void CAppointmentListView::SetupColumns()
{
    const std::pair<const char*, int> columns[] = {
        {"OI", 25},
        {"R", 20},
        {"Subject", 150},
        {"Start Time", 150},
        {"End Time", 150},
        {"Duration", 100},
        {"Reminder", 100},
        {"Location", 100},
        {"Status", 75},
        {"Req. Attendees", 100},
        {"Opt. Attendees", 100},
        {"Attribute", 100},
    };
    QStringList headers;
    for (const auto& column : columns)
        headers << column.first;
    setHeaderLabels(headers);
    for (int i = 0; i < 12; ++i)
        setColumnWidth(i, columns[i].second);
}

std::string CAppointmentListView::ReminderText(const CAppointment& appointment)
{
    return std::string(appointment.IsReminder() ? "R" : " ") + " " + appointment.GetReminderString();
}

void CAppointmentListView::AddRow(const CAppointment& appointment, int index)
{
    const std::string cells[] = {
        appointment.GetOutlookIndexStr(),  appointment.GetRecurringStr(),   appointment.GetSubject(),
        Shown(appointment.GetStartTime()), Shown(appointment.GetEndTime()), appointment.GetDurationString(),
        ReminderText(appointment),         appointment.GetLocation(),       appointment.GetApptStatusString(),
        appointment.GetReqAttendees(),     appointment.GetOptAttendees(),   appointment.GetAttribute(),
    };
    auto* row = new QTreeWidgetItem;
    for (int column = 0; column < 12; ++column)
        row->setText(column, QString::fromStdString(cells[column]));
    insertTopLevelItem(std::clamp(index, 0, topLevelItemCount()), row);
}

void CAppointmentListView::AddRow(const CAppointmentStore& store, int position)
{
    if (const CAppointment* appointment = store.GetAt(position))
        AddRow(*appointment, position);
}
