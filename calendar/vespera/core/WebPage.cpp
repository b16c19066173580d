#include <vespera/core/WebPage.h>

namespace webpage {

bool IsWebAddress(const std::string& address)
{
    return address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0;
}

} // namespace webpage
