#pragma once

#include <outlook/MailSender.h>

#include <string>

namespace outlook {
class CMailMessage;

// Keeps every message in "outbox.mbox" of a directory, appended in the mbox
// form that mail readers open: a "From " separator line, the message with LF
// line ends, body lines that begin with "From " (after any '>') quoted with
// one more '>', and a blank line after it.
//
// Each append holds an exclusive flock() on the file and fsync()s it; a write
// that fails is cut back off, so the file is never left with half a message.
class CMboxMailSender : public CMailSender {
public:
    static const char* const FileName;

    // `directory` (empty: the current one) is made when it is missing;
    // `from` is the sender's address.
    CMboxMailSender(const std::string& directory, const std::string& from);

    bool Send(const CMailData& mail, std::string& error) override;
    // Appends a message made elsewhere (one that could not be sent).
    bool Append(const CMailMessage& message, std::string& error);

    const std::string& GetPath() const { return m_path; }
    // The message as it is appended to the file.
    static std::string ToMbox(const CMailMessage& message);

private:
    bool EnsureDirectory(std::string& error) const;

    std::string m_directory;
    std::string m_path;
    std::string m_from;
};
} // namespace outlook
