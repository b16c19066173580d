#include <outlook/MailSenders.h>

#include <outlook/AgentSetting.h>

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

const char* const CMailSenders::SettingsKey = AgentSettingsKey;

std::string CMailSenders::Read(const CRegistry& registry, const char* name)
{
    return ReadAgentSetting(registry, name);
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
