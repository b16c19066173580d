#pragma once

#include <outlook/MailSender.h>
#include <outlook/MboxMailSender.h>

#include <string>

namespace outlook {
class CMailMessage;

// Sends each message to one SMTP server with libcurl. A message the server
// refuses, or that cannot reach it in time, is appended to the outbox
// instead, so that nothing is lost; Send still reports the failure.
//
// smtp:// URLs use STARTTLS when the server offers it; when a user name is
// given, STARTTLS is required, so that a password never travels in clear.
// smtps:// is TLS from the start. Only these two schemes are used.
class CSmtpMailSender : public CMailSender {
public:
    struct Settings {
        std::string url;  // "smtp://host[:port]" or "smtps://host[:port]"
        std::string user; // empty: no authentication
        std::string password;
        std::string from; // the sender's address
        long connectTimeoutMs = 5000;
        long totalTimeoutMs = 10000;
    };

    // The outbox is "outbox.mbox" in `outboxDirectory`.
    CSmtpMailSender(const Settings& settings, const std::string& outboxDirectory);

    bool Send(const CMailData& mail, std::string& error) override;

    const Settings& GetSettings() const { return m_settings; }
    const CMboxMailSender& GetOutbox() const { return m_outbox; }

    // Whether the URL names one of the two schemes, in any case.
    static bool IsSmtpUrl(const std::string& url);

private:
    bool Transfer(const CMailMessage& message, std::string& error) const;

    Settings m_settings;
    CMboxMailSender m_outbox;
};
} // namespace outlook
