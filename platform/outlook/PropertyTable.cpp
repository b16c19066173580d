#include <outlook/PropertyTable.h>

#include <cctype>
#include <cstring>

namespace outlook {
namespace detail {
bool SameName(const std::string& name, const char* published)
{
    if (name.size() != std::strlen(published))
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto a = static_cast<unsigned char>(name[i]);
        const auto b = static_cast<unsigned char>(published[i]);
        if (std::tolower(a) != std::tolower(b))
            return false;
    }
    return true;
}
} // namespace detail
} // namespace outlook
