#pragma once

#include <climits>

namespace slotbook {
// The library's fields are 32-bit while some interfaces take long values;
// out-of-range values are held at the nearest end rather than wrapped.
inline int ClampToInt(long long value)
{
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}
} // namespace slotbook
