#include <outlook/SmtpMailSender.h>

#include <outlook/MailMessage.h>

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

namespace outlook {
namespace {
struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
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

bool StartCurl()
{
    static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return started;
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

std::string FailureText(CURL* curl, CURLcode result, const char* detail)
{
    std::string text = "mail not sent: ";
    text += detail[0] != '\0' ? detail : curl_easy_strerror(result);
    long response = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response) == CURLE_OK && response != 0)
        text += " (server answered " + std::to_string(response) + ")";
    return text;
}

// Settings that keep a transfer to the named server and bounded in time.
void SetTransport(CURL* curl, const CSmtpMailSender::Settings& settings)
{
    curl_easy_setopt(curl, CURLOPT_URL, settings.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, settings.connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, settings.totalTimeoutMs);
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
    const CurlHandle curl(StartCurl() ? curl_easy_init() : nullptr);
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
    char detail[CURL_ERROR_SIZE] = {};

    SetTransport(curl.get(), m_settings);
    curl_easy_setopt(curl.get(), CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(curl.get(), CURLOPT_READFUNCTION, &ReadUpload);
    curl_easy_setopt(curl.get(), CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl.get(), CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, detail);

    const CURLcode result = curl_easy_perform(curl.get());
    if (result == CURLE_OK)
        return true;
    error = FailureText(curl.get(), result, detail);
    return false;
}
} // namespace outlook
