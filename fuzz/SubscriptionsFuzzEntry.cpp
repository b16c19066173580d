#include <FuzzEntries.h>

#include <vespera/core/SubscriptionFile.h>

#include <string>
#include <vector>

bool CFuzzEntries::subscriptions(const std::uint8_t* data, std::size_t size)
{
    const std::string text =
        size == 0 ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
    std::vector<CScheduleSubscription> read;
    std::string error;
    if (!CSubscriptionFile::Parse(text, read, error))
        return !error.empty() && read.empty();
    const std::string written = CSubscriptionFile::Text(read);
    std::vector<CScheduleSubscription> again;
    return CSubscriptionFile::Parse(written, again, error) && CSubscriptionFile::Text(again) == written;
}
