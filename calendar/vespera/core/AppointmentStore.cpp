#include <vespera/core/AppointmentStore.h>

#include <vespera/core/AppointmentView.h>

#include <algorithm>
#include <utility>

namespace {
bool IsExpiredHold(const CAppointment& appointment, const CDateTime& now)
{
    const CDateTime& expires = appointment.GetExpires();
    return appointment.GetOutlookIndex() == CAppointmentStore::HoldIndex &&
           expires.GetStatus() == CDateTime::valid && now > expires;
}
} // namespace

CAppointmentStore::CAppointmentStore() = default;

CAppointmentStore::~CAppointmentStore() = default;

void CAppointmentStore::SetView(CAppointmentView* view)
{
    m_view = view;
}

const CAppointment* CAppointmentStore::AddAppointment(int outlookIndex, const std::string& subject,
                                                      const std::string& body, const std::string& location,
                                                      const std::string& reqAttendees,
                                                      const std::string& optAttendees, const CDateTime& start,
                                                      const CDateTime& end, long duration, int reminderSet,
                                                      long reminder, int busyStatus, const CDateTime& expires,
                                                      const std::string& attribute, bool show)
{
    return Append(std::make_unique<CAppointment>(outlookIndex, subject, body, location, reqAttendees,
                                                 optAttendees, start, end, duration, reminderSet, reminder,
                                                 busyStatus, expires, attribute),
                  show);
}

void CAppointmentStore::SetAllDay(const CAppointment* appointment, bool allDay)
{
    for (const std::unique_ptr<CAppointment>& held : m_appointments) {
        if (held.get() == appointment)
            held->SetAllDay(allDay);
    }
}

const CAppointment* CAppointmentStore::AddRecurringAppointment(
    int outlookIndex, const std::string& subject, const std::string& body, const std::string& location,
    const std::string& reqAttendees, const std::string& optAttendees, const CDateTime& start,
    const CDateTime& end, long duration, int reminderSet, long reminder, int busyStatus,
    const CDateTime& expires, const std::string& attribute, int recType, int interval, long instance,
    int ends, const CDateTime& patternStart, const CDateTime& patternEnd, long dayOfMonth, int days,
    bool show)
{
    return Append(std::make_unique<CAppointment>(outlookIndex, subject, body, location, reqAttendees,
                                                 optAttendees, start, end, duration, reminderSet, reminder,
                                                 busyStatus, expires, attribute, recType, interval, instance,
                                                 ends, patternStart, patternEnd, dayOfMonth, days),
                  show);
}

const CAppointment* CAppointmentStore::Append(std::unique_ptr<CAppointment> appointment, bool show)
{
    m_appointments.push_back(std::move(appointment));
    ++m_revision;
    const CAppointment* added = m_appointments.back().get();
    Record(added, true);
    if (show && m_view) {
        m_view->AddAppointmentRow(*added);
        m_view->Refresh();
    }
    return added;
}

const CAppointment* CAppointmentStore::GetAt(int index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return m_appointments[static_cast<std::size_t>(index)].get();
}

int CAppointmentStore::IndexOf(const CAppointment* appointment) const
{
    for (int i = 0; i < GetCount(); ++i) {
        if (m_appointments[static_cast<std::size_t>(i)].get() == appointment)
            return i;
    }
    return -1;
}

bool CAppointmentStore::Remove(const CAppointment* appointment)
{
    if (!appointment)
        return false;
    return RemoveIf([appointment](const CAppointment& candidate) { return &candidate == appointment; }) > 0;
}

int CAppointmentStore::RemoveIf(const std::function<bool(const CAppointment&)>& picks)
{
    std::vector<std::unique_ptr<CAppointment>> gone;
    std::vector<std::unique_ptr<CAppointment>> kept;
    for (std::unique_ptr<CAppointment>& appointment : m_appointments)
        (picks && picks(*appointment) ? gone : kept).push_back(std::move(appointment));
    m_appointments = std::move(kept);
    const int count = static_cast<int>(gone.size());
    if (count > 0)
        ++m_revision;
    for (const std::unique_ptr<CAppointment>& appointment : gone)
        Record(appointment.get(), false);
    // The store is whole again before the view hears of anything, so that
    // the view may read it while it drops its rows.
    Discard(std::move(gone));
    Refresh();
    return count;
}

void CAppointmentStore::Clear()
{
    ++m_revision;
    m_changes.clear();
    m_changesFrom = m_revision;
    Discard(std::exchange(m_appointments, {}));
}

int CAppointmentStore::PurgeExpired(const CDateTime& now)
{
    if (now.GetStatus() != CDateTime::valid) {
        Refresh();
        return 0;
    }
    return RemoveIf([&now](const CAppointment& appointment) { return IsExpiredHold(appointment, now); });
}

int CAppointmentStore::PurgeExpired()
{
    return PurgeExpired(CDateTime::GetCurrentTime());
}

void CAppointmentStore::Refresh() const
{
    if (m_view)
        m_view->Refresh();
}

void CAppointmentStore::Discard(std::vector<std::unique_ptr<CAppointment>> gone) const
{
    if (!m_view)
        return;
    for (const std::unique_ptr<CAppointment>& appointment : gone)
        m_view->RemoveAppointmentRow(*appointment);
}

void CAppointmentStore::Record(const CAppointment* appointment, bool added)
{
    m_changes.push_back({m_revision, appointment, added});
    if (m_changes.size() > MaxChanges) {
        m_changesFrom = m_changes.front().revision;
        m_changes.pop_front();
    }
}

bool CAppointmentStore::GetChangesSince(unsigned long revision, std::vector<SChange>& changes) const
{
    changes.clear();
    if (revision < m_changesFrom || revision > m_revision)
        return false;
    for (const SChange& change : m_changes) {
        if (change.revision > revision)
            changes.push_back(change);
    }
    return true;
}
