#pragma once

#include <outlook/MailData.h>

#include <ctime>
#include <string>
#include <vector>

namespace outlook {
// One outgoing message in the RFC 5322 form that both mail senders use:
// From, To, Subject (RFC 2047 encoded when it is not plain short ASCII),
// Date, Message-ID, MIME-Version and a UTF-8 plain-text body. Date and
// Message-ID are fixed when the message is made, so a message that is sent
// and one kept in the outbox are the same message.
class CMailMessage {
public:
    CMailMessage(const std::string& from, const CMailData& mail);
    // For tests: a given time instead of the clock.
    CMailMessage(const std::string& from, const CMailData& mail, std::time_t date);

    // Whether the message can be sent without smuggling headers or extra
    // recipients in: From and To each one plain address, no line break in
    // a header. False with the reason otherwise.
    bool Check(std::string& error) const;

    const std::string& GetFrom() const { return m_from; }
    const std::string& GetTo() const { return m_mail.to; }
    std::time_t GetDate() const { return m_date; }

    // Header lines, then body lines, all without line ends; the body's line
    // ends (CRLF, CR or LF) are normalised and NUL bytes dropped.
    std::vector<std::string> HeaderLines() const;
    std::vector<std::string> BodyLines() const;
    // Headers, a blank line and the body, each line ended by `lineEnd`.
    std::string ToText(const std::string& lineEnd) const;

    // `local@domain` in printable ASCII without blanks, commas, semicolons,
    // angle brackets, quotes, parentheses or square brackets.
    static bool IsSingleAddress(const std::string& address);
    // The text as it may stand in a header: itself when it is short printable
    // ASCII, otherwise "=?UTF-8?B?...?=" words of at most 75 octets, joined by
    // a folding CRLF and blank, that never split a UTF-8 sequence.
    static std::string EncodeHeaderText(const std::string& text);
    // "Tue, 08 Dec 2026 09:49:22 +0100" in local time, English names.
    static std::string FormatDate(std::time_t date);

private:
    static std::string MakeMessageId(const std::string& from, std::time_t date);

    std::string m_from;
    CMailData m_mail;
    std::time_t m_date;
    std::string m_messageId;
};
} // namespace outlook
