#include <outlook/AppointmentData.h>

namespace outlook {
CAppointmentData::CAppointmentData()
{
    start.SetStatus(CDateTime::null);
}
} // namespace outlook
