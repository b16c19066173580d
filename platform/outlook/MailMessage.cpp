#include <outlook/MailMessage.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

namespace outlook {
namespace {
constexpr std::size_t MaxAddressLength = 254;
// Longer plain subjects are encoded too, so no header line outgrows what a
// mail server accepts.
constexpr std::size_t MaxPlainHeaderText = 900;
// 45 octets are 60 base64 characters: with "=?UTF-8?B?" and "?=" 72 octets.
constexpr std::size_t EncodedWordOctets = 45;

const char* const Weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool HasLineBreak(const std::string& text)
{
    return text.find_first_of("\r\n") != std::string::npos;
}

bool IsAddressCharacter(char c)
{
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F)
        return false;
    return std::string(",;<>\"()[]\\:").find(c) == std::string::npos;
}

bool IsPlainHeaderText(const std::string& text)
{
    if (text.size() > MaxPlainHeaderText)
        return false;
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte >= 0x7F)
            return false;
    }
    return text.find("=?") == std::string::npos;
}

std::string Base64(const std::string& bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string result;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        unsigned long group = static_cast<unsigned char>(bytes[i]) << 16;
        if (left > 1)
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (left > 2)
            group |= static_cast<unsigned char>(bytes[i + 2]);
        result += alphabet[(group >> 18) & 0x3F];
        result += alphabet[(group >> 12) & 0x3F];
        result += left > 1 ? alphabet[(group >> 6) & 0x3F] : '=';
        result += left > 2 ? alphabet[group & 0x3F] : '=';
    }
    return result;
}

bool IsUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Up to `limit` octets from `pos`, moved back to the start of a UTF-8
// sequence unless that would leave nothing.
std::size_t ChunkEnd(const std::string& text, std::size_t pos, std::size_t limit)
{
    if (text.size() - pos <= limit)
        return text.size();
    std::size_t end = pos + limit;
    while (end > pos && IsUtf8Continuation(text[end]))
        --end;
    return end == pos ? pos + limit : end;
}

std::string HexWord()
{
    std::uint64_t value = 0;
    try {
        std::random_device device;
        value = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    } catch (...) {
        // No entropy source: the clock still keeps the ids of one run apart.
        value =
            static_cast<std::uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            lines.emplace_back();
        } else if (c != '\0') {
            lines.back() += c;
        }
    }
    return lines;
}
} // namespace

CMailMessage::CMailMessage(const std::string& from, const CMailData& mail)
    : CMailMessage(from, mail, std::time(nullptr))
{
}

CMailMessage::CMailMessage(const std::string& from, const CMailData& mail, std::time_t date)
    : m_from(from), m_mail(mail), m_date(date), m_messageId(MakeMessageId(from, date))
{
}

bool CMailMessage::Check(std::string& error) const
{
    if (HasLineBreak(m_from) || HasLineBreak(m_mail.to) || HasLineBreak(m_mail.subject)) {
        error = "refused: a line break in the sender, recipient or subject";
        return false;
    }
    if (!IsSingleAddress(m_mail.to)) {
        error = "refused: the recipient \"" + m_mail.to + "\" is not one mail address";
        return false;
    }
    if (!IsSingleAddress(m_from)) {
        error = "refused: the sender \"" + m_from + "\" is not one mail address";
        return false;
    }
    return true;
}

bool CMailMessage::IsSingleAddress(const std::string& address)
{
    if (address.empty() || address.size() > MaxAddressLength)
        return false;
    const std::string::size_type at = address.find('@');
    if (at == 0 || at == std::string::npos || at + 1 == address.size() ||
        address.find('@', at + 1) != std::string::npos)
        return false;
    for (const char c : address)
        if (!IsAddressCharacter(c))
            return false;
    return true;
}

std::string CMailMessage::EncodeHeaderText(const std::string& text)
{
    if (IsPlainHeaderText(text))
        return text;
    std::string result;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t end = ChunkEnd(text, pos, EncodedWordOctets);
        if (!result.empty())
            result += "\r\n ";
        result += "=?UTF-8?B?" + Base64(text.substr(pos, end - pos)) + "?=";
        pos = end;
    }
    return result;
}

std::string CMailMessage::FormatDate(std::time_t date)
{
    std::tm local{};
    localtime_r(&date, &local);
    const long offset = local.tm_gmtoff / 60;
    const long magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  Weekdays[local.tm_wday % 7], local.tm_mday, Months[local.tm_mon % 12], local.tm_year + 1900,
                  local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

std::string CMailMessage::MakeMessageId(const std::string& from, std::time_t date)
{
    const std::string::size_type at = from.rfind('@');
    std::string domain = at == std::string::npos ? std::string() : from.substr(at + 1);
    if (!IsSingleAddress("x@" + domain))
        domain = "localhost";
    return "<" + std::to_string(static_cast<long long>(date)) + "." + HexWord() + "@" + domain + ">";
}

std::vector<std::string> CMailMessage::HeaderLines() const
{
    std::vector<std::string> lines = {
        "From: " + m_from,
        "To: " + m_mail.to,
    };
    for (const std::string& line : SplitLines("Subject: " + EncodeHeaderText(m_mail.subject)))
        lines.push_back(line);
    lines.push_back("Date: " + FormatDate(m_date));
    lines.push_back("Message-ID: " + m_messageId);
    lines.push_back("MIME-Version: 1.0");
    lines.push_back("Content-Type: text/plain; charset=UTF-8");
    lines.push_back("Content-Transfer-Encoding: 8bit");
    return lines;
}

std::vector<std::string> CMailMessage::BodyLines() const
{
    std::vector<std::string> lines = SplitLines(m_mail.body);
    // A body that ends with a line end has no further, empty line.
    if (lines.size() > 1 && lines.back().empty())
        lines.pop_back();
    return lines;
}

std::string CMailMessage::ToText(const std::string& lineEnd) const
{
    std::string text;
    for (const std::string& line : HeaderLines())
        text += line + lineEnd;
    text += lineEnd;
    for (const std::string& line : BodyLines())
        text += line + lineEnd;
    return text;
}
} // namespace outlook
