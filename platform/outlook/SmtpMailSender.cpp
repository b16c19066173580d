#include <outlook/SmtpMailSender.h>

#include <outlook/MailMessage.h>

#include <platform/CurlTransfer.h>

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

namespace outlook {
namespace {
struct CurlDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using CurlList = std::unique_ptr<curl_slist, CurlDeleter>;

// The message text handed to libcurl piece by piece.
struct Upload {
    const std::string* text = nullptr;
    std::size_t sent = 0;
};

extern "C" std::size_t ReadUpload(char* buffer, std::size_t size, std::size_t count, void* data)
{
    Upload& upload = *static_cast<Upload*>(data);
    const std::size_t room = size * count;
    const std::size_t piece = std::min(room, upload.text->size() - upload.sent);
    std::memcpy(buffer, upload.text->data() + upload.sent, piece);
    upload.sent += piece;
    return piece;
}

bool StartsWithText(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

std::string FailureText(const CCurlTransfer& transfer)
{
    std::string text = "mail not sent: " + transfer.ErrorText();
    const long response = transfer.ResponseCode();
    if (response != 0)
        text += " (server answered " + std::to_string(response) + ")";
    return text;
}

CCurlTransfer::SSettings TransferSettings(const CSmtpMailSender::Settings& settings)
{
    CCurlTransfer::SSettings transfer;
    transfer.url = settings.url;
    transfer.protocols = CCurlTransfer::MailProtocols;
    transfer.connectTimeoutMs = settings.connectTimeoutMs;
    transfer.totalTimeoutMs = settings.totalTimeoutMs;
    return transfer;
}

// Mail goes to the named server itself, never through a proxy; a login
// only over TLS.
void SetTransport(CURL* curl, const CSmtpMailSender::Settings& settings)
{
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    const bool plain = StartsWithText(settings.url, "smtp://");
    if (plain)
        curl_easy_setopt(curl, CURLOPT_USE_SSL,
                         static_cast<long>(settings.user.empty() ? CURLUSESSL_TRY : CURLUSESSL_ALL));
    if (!settings.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, settings.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, settings.password.c_str());
    }
}
} // namespace

CSmtpMailSender::CSmtpMailSender(const Settings& settings, const std::string& outboxDirectory)
    : m_settings(settings), m_outbox(outboxDirectory, settings.from)
{
}

bool CSmtpMailSender::IsSmtpUrl(const std::string& url)
{
    return (StartsWithText(url, "smtp://") && url.size() > 7) ||
           (StartsWithText(url, "smtps://") && url.size() > 8);
}

bool CSmtpMailSender::Send(const CMailData& mail, std::string& error)
{
    const CMailMessage message(m_settings.from, mail);
    if (!message.Check(error))
        return false;
    std::string reason;
    if (Transfer(message, reason))
        return true;
    std::string outboxError;
    if (m_outbox.Append(message, outboxError))
        error = reason + "; kept in " + CMboxMailSender::FileName;
    else
        error = reason + "; not kept in " + CMboxMailSender::FileName + " either: " + outboxError;
    return false;
}

bool CSmtpMailSender::Transfer(const CMailMessage& message, std::string& error) const
{
    if (!IsSmtpUrl(m_settings.url)) {
        error = "mail not sent: the mail server is not an smtp:// or smtps:// address";
        return false;
    }
    CCurlTransfer transfer(TransferSettings(m_settings));
    CURL* curl = transfer.Handle();
    if (!curl) {
        error = "mail not sent: libcurl cannot start";
        return false;
    }
    const std::string from = "<" + message.GetFrom() + ">";
    const CurlList recipients(curl_slist_append(nullptr, ("<" + message.GetTo() + ">").c_str()));
    if (!recipients) {
        error = "mail not sent: out of memory";
        return false;
    }
    const std::string text = message.ToText("\r\n");
    Upload upload;
    upload.text = &text;

    SetTransport(curl, m_settings);
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &ReadUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);

    if (transfer.Perform() == CURLE_OK)
        return true;
    error = FailureText(transfer);
    return false;
}
} // namespace outlook
