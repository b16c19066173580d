#pragma once

class CAppointment;

// What the appointment store tells the window that shows it (the main
// window): appointments to list, appointments gone, and when to redraw.
class CAppointmentView {
public:
    virtual ~CAppointmentView() = default;

    // A new appointment to be listed at once.
    virtual void AddAppointmentRow(const CAppointment& appointment) = 0;
    // The appointment is leaving the store and is destroyed after the call:
    // drop its row and anything else that refers to it. Told for every
    // appointment that goes, listed or not.
    virtual void RemoveAppointmentRow(const CAppointment& appointment) = 0;
    // The store changed: show the selected day again and mark the calendar.
    virtual void Refresh() = 0;
};
