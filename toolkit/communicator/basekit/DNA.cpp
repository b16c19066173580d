#include <basekit/DNA.h>

CDNA::CDNA() = default;

CDNA::CDNA(const char* name)
{
    set_name(name);
}

CDNA::~CDNA() = default;

void CDNA::set_name(const char* new_name)
{
    if (!new_name) {
        name.reset();
        return;
    }
    // Copy first: new_name may point into the current name.
    std::string copy(new_name);
    name = std::move(copy);
}

char* CDNA::get_name()
{
    return name ? name->data() : nullptr;
}
