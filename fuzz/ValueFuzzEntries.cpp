#include <FuzzEntries.h>

#include <slotbook/TimeSlot.h>
#include <slotbook/TimeSlotStore.h>

#include <lexikit/Parser.h>
#include <platform/DateTime.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string text_of(const std::uint8_t* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// A date-time from eight bytes: the OLE automation day number and the
// time, kept to the years the value supports.
CDateTime date_of(const std::uint8_t* bytes)
{
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = bits << 8 | bytes[i];
    const int year = 100 + static_cast<int>(bits % 9900);
    const int month = 1 + static_cast<int>(bits / 9900 % 12);
    const int day = 1 + static_cast<int>(bits / 118800 % 28);
    const int hour = static_cast<int>(bits / 3326400 % 24);
    const int minute = static_cast<int>(bits / 79833600 % 60);
    return CDateTime(year, month, day, hour, minute, static_cast<int>(bits / 4790016000ULL % 60));
}

} // namespace

bool CFuzzEntries::datetime(const std::uint8_t* data, std::size_t size)
{
    CDateTime value;
    if (!value.ParseDateTime(text_of(data, size)) || value.GetStatus() != CDateTime::valid)
        return true;
    // What the agent writes of a time it read, it reads back as the same.
    const std::string written = value.Format();
    CDateTime again;
    if (!again.ParseDateTime(written) || again.GetStatus() != CDateTime::valid)
        return false;
    return again.Format() == written;
}

bool CFuzzEntries::timeslots(const std::uint8_t* data, std::size_t size)
{
    // Each nine bytes are one slot: a start and a length of 1 to 256
    // half-hour marks.
    CTimeSlotStore store;
    std::vector<CDateTime> starts;
    for (std::size_t at = 0; at + 9 <= size && starts.size() < 64; at += 9) {
        const CDateTime start = date_of(data + at);
        const int minutes = 30 * (1 + data[at + 8]);
        store.Add(new CTimeSlot(start, start + CDateTimeSpan(0, 0, minutes, 0)), "free");
        starts.push_back(start);
    }
    // The KQML form of the store is one expression whose tokens give every
    // slot's start back, in order.
    CParser parser;
    if (parser.parse_message(store.ToKQML().c_str()) != 1)
        return starts.empty();
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const char* value = parser.find_token(("t" + std::to_string(i + 1)).c_str());
        if (!value)
            return false;
        std::string text = value;
        if (text.size() >= 2 && text.front() == '(' && text.back() == ')')
            text = text.substr(1, text.size() - 2);
        CDateTime back;
        if (!back.ParseDateTime(text) || back.Format() != starts[i].Format())
            return false;
    }
    return true;
}
