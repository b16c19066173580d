#pragma once

#include <QDateTime>
#include <QDialog>

class QCheckBox;
class QDateTimeEdit;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace outlook {
class CAppointmentItem;
}

// The calendar program's own form for an appointment: subject, location,
// start, end, reminder and notes. Save writes the item into the calendar
// file. Moving the start moves the end with it, keeping the length.
class CAppointmentForm : public QDialog {
    Q_OBJECT
public:
    explicit CAppointmentForm(outlook::CAppointmentItem& item, QWidget* parent = nullptr);

    // Copies the fields into the item and saves it; stays open with a
    // message when the end is not after the start or the file refuses.
    void accept() override;

private:
    void OnStartChanged(const QDateTime& start);

    outlook::CAppointmentItem& m_item;
    QDateTime m_shownStart;
    QLineEdit* m_subject = nullptr;
    QLineEdit* m_location = nullptr;
    QDateTimeEdit* m_start = nullptr;
    QDateTimeEdit* m_end = nullptr;
    QCheckBox* m_reminder = nullptr;
    QSpinBox* m_reminderMinutes = nullptr;
    QPlainTextEdit* m_body = nullptr;
};
