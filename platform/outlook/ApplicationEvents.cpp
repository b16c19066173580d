#include <outlook/ApplicationEvents.h>

namespace outlook {
CApplicationEvents::~CApplicationEvents() = default;
} // namespace outlook
