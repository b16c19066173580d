#pragma once

#include <outlook/MailData.h>

#include <string>

namespace outlook {
// Carries a message away: by a mail server, into a mailbox file, into a
// test's list. A back-end hands every message it sends to the sender plugged
// into it.
class CMailSender {
public:
    virtual ~CMailSender();

    // True once the message is on its way; otherwise false with the reason
    // in `error`.
    virtual bool Send(const CMailData& mail, std::string& error) = 0;
};
} // namespace outlook
