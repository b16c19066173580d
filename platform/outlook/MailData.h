#pragma once

#include <string>

namespace outlook {
// One message on its way out.
struct CMailData {
    std::string to;
    std::string subject;
    std::string body;
};
} // namespace outlook
