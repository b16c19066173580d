#pragma once

#include <outlook/MailSender.h>

#include <memory>
#include <string>

class CRegistry;

namespace outlook {
// Makes the mail sender the agent's settings ask for. The values are read
// from HKEY_CURRENT_USER\Software\ORVANTE\CalendarAgent:
//
//   "SMTPServer"    smtp://host[:port] or smtps://host[:port]; when missing or
//                   empty, every message is appended to outbox.mbox in the
//                   data directory
//   "SMTPUser"      user name for the server; empty: no authentication (with
//                   a user name, smtp:// must offer STARTTLS)
//   "SMTPPassword"  the user's password
//   "MailFrom"      the sender's address; when missing or empty, the "Email"
//                   value, else $USER@localhost
//
// A message the server cannot take goes to outbox.mbox in the data directory.
class CMailSenders {
public:
    static const char* const SettingsKey;

    static std::unique_ptr<CMailSender> FromRegistry(const CRegistry& registry,
                                                     const std::string& dataDirectory);
    // The sender's address from the values above.
    static std::string SenderAddress(const CRegistry& registry);

private:
    static std::string Read(const CRegistry& registry, const char* name);
};
} // namespace outlook
