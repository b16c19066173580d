#include <outlook/MailSender.h>

namespace outlook {
CMailSender::~CMailSender() = default;
} // namespace outlook
