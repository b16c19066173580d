#include <outlook/MailSenders.h>

#include <outlook/MboxMailSender.h>
#include <outlook/SmtpMailSender.h>

#include <platform/Registry.h>

#include <cstdlib>

namespace outlook {
namespace {
std::string LocalSender()
{
    const char* user = std::getenv("USER");
    if (user == nullptr || *user == '\0')
        user = std::getenv("LOGNAME");
    const std::string name = user != nullptr && *user != '\0' ? user : "vespera";
    return name + "@localhost";
}
} // namespace

const char* const CMailSenders::SettingsKey = "Software\\ORVANTE\\CalendarAgent";

std::string CMailSenders::Read(const CRegistry& registry, const char* name)
{
    std::string value;
    if (registry.ReadValueUnbounded(SettingsKey, name, value) != CRegistry::Ok)
        return std::string();
    // Values edited by hand often carry stray blanks.
    const std::string::size_type first = value.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

std::string CMailSenders::SenderAddress(const CRegistry& registry)
{
    std::string from = Read(registry, "MailFrom");
    if (from.empty())
        from = Read(registry, "Email");
    return from.empty() ? LocalSender() : from;
}

std::unique_ptr<CMailSender> CMailSenders::FromRegistry(const CRegistry& registry,
                                                        const std::string& dataDirectory)
{
    const std::string from = SenderAddress(registry);
    CSmtpMailSender::Settings settings;
    settings.url = Read(registry, "SMTPServer");
    if (settings.url.empty())
        return std::make_unique<CMboxMailSender>(dataDirectory, from);
    settings.user = Read(registry, "SMTPUser");
    settings.password = Read(registry, "SMTPPassword");
    settings.from = from;
    return std::make_unique<CSmtpMailSender>(settings, dataDirectory);
}
} // namespace outlook
