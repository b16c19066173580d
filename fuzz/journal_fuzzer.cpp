#include <FuzzEntries.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!CFuzzEntries::journal(data, size))
        std::abort();
    return 0;
}
