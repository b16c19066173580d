#include <outlook/ReminderListener.h>

namespace outlook {
CReminderListener::~CReminderListener() = default;
} // namespace outlook
