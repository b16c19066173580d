#pragma once

#include <outlook/Item.h>

#include <cstddef>
#include <optional>
#include <string>

namespace outlook {
namespace detail {
// Published names compare without regard to case, as late binding does.
bool SameName(const std::string& name, const char* published);

// One entry of an item kind's table of late-bound properties.
template <class Item>
struct PropertyEntry {
    const char* name;
    PropertyValue (*read)(const Item& item);
};

template <class Item, std::size_t Count>
std::optional<PropertyValue> ReadProperty(const PropertyEntry<Item> (&table)[Count], const std::string& name,
                                          const Item& item)
{
    for (const PropertyEntry<Item>& entry : table) {
        if (SameName(name, entry.name))
            return entry.read(item);
    }
    return std::nullopt;
}
} // namespace detail
} // namespace outlook
