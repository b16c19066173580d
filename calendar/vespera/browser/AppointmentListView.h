#pragma once

#include <QTreeWidget>

#include <string>

class CAppointment;
class CAppointmentStore;

// Appointments in a list, a row each and a column per field: Outlook index,
// recurring mark, subject, start, end, duration, reminder, location, status,
// required and optional attendees, attribute.
class CAppointmentListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit CAppointmentListView(QWidget* parent = nullptr);

    // The twelve columns, into an empty list.
    void SetupColumns();
    // A row at `index` with the appointment's cells.
    void AddRow(const CAppointment& appointment, int index);
    // The row of the store's appointment at `position`; nothing for a
    // position the store does not have.
    void AddRow(const CAppointmentStore& store, int position);

    // "R 15 Minutes" for a set reminder, "  15 Minutes" for one not set.
    static std::string ReminderText(const CAppointment& appointment);
};
