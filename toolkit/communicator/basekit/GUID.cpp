#include <basekit/GUID.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <set>
#include <string>
#include <sys/random.h>
#include <unistd.h>

namespace {

using Node = std::array<uint8_t, 6>;

// 100 ns intervals between 15 October 1582 (the Gregorian reform) and the
// Unix epoch.
constexpr uint64_t kGregorianToUnix = 0x01B21DD213814000ULL;
constexpr uint64_t kTimestampMask = (1ULL << 60) - 1;
constexpr uint16_t kClockSeqMask = 0x3FFF;

// Fills `out` from the kernel's random source. When that is unavailable the
// bytes are still filled, from the clock and the process id, so that two
// processes started together are unlikely to agree; nothing here can fail.
void random_bytes(uint8_t* out, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = getrandom(out + got, n - got, 0);
        if (r > 0) {
            got += static_cast<size_t>(r);
        } else if (r < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    if (got == n) {
        return;
    }
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t x = static_cast<uint64_t>(ts.tv_nsec) ^ (static_cast<uint64_t>(ts.tv_sec) << 20) ^
                 (static_cast<uint64_t>(getpid()) << 40);
    for (size_t i = got; i < n; ++i) {
        // splitmix64 step: spreads the few varying bits over every byte.
        x += 0x9E3779B97F4A7C15ULL;
        uint64_t z = x;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        out[i] = static_cast<uint8_t>(z ^ (z >> 31));
    }
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Parses "xx:xx:xx:xx:xx:xx"; anything else (other lengths, as some link
// types have) is rejected.
bool parse_mac(const std::string& text, Node& node)
{
    if (text.size() != 17)
        return false;
    for (size_t i = 0; i < node.size(); ++i) {
        size_t p = i * 3;
        int hi = hex_value(text[p]);
        int lo = hex_value(text[p + 1]);
        if (hi < 0 || lo < 0)
            return false;
        if (i + 1 < node.size() && text[p + 2] != ':')
            return false;
        node[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

bool all_zero(const Node& node)
{
    for (uint8_t b : node) {
        if (b != 0)
            return false;
    }
    return true;
}

bool read_interface_mac(const std::string& iface, Node& node)
{
    std::ifstream in("/sys/class/net/" + iface + "/address");
    std::string line;
    if (!in || !std::getline(in, line))
        return false;
    return parse_mac(line, node) && !all_zero(node);
}

// Interfaces are tried in name order so that the same machine always
// yields the same node.
std::set<std::string> interface_names()
{
    std::set<std::string> names;
    DIR* dir = opendir("/sys/class/net");
    if (!dir)
        return names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != ".." && name != "lo")
            names.insert(name);
    }
    closedir(dir);
    return names;
}

Node hardware_or_random_node()
{
    Node node{};
    for (const std::string& iface : interface_names()) {
        if (read_interface_mac(iface, node))
            return node;
    }
    random_bytes(node.data(), node.size());
    // The multicast bit can never appear in a real card's address, so a
    // random node cannot collide with one.
    node[0] |= 0x01;
    return node;
}

uint64_t current_timestamp()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t t = static_cast<uint64_t>(ts.tv_sec) * 10000000ULL + static_cast<uint64_t>(ts.tv_nsec) / 100ULL +
                 kGregorianToUnix;
    return t & kTimestampMask;
}

struct Uuid {
    uint64_t timestamp;
    uint16_t clock_seq;
    Node node;
};

// The process-wide generator state. The node is looked up once: it cannot
// change while the process runs, so the clock sequence only needs to move
// when the clock steps back.
class UuidGenerator {
public:
    static UuidGenerator& instance()
    {
        static UuidGenerator generator;
        return generator;
    }

    Uuid next()
    {
        uint64_t raw = current_timestamp();
        uint64_t stamp = raw;
        if (raw < last_raw) {
            clock_seq = static_cast<uint16_t>((clock_seq + 1) & kClockSeqMask);
        } else if (raw <= last_issued) {
            // Same tick as before, or earlier bumps ran ahead of the clock.
            stamp = (last_issued + 1) & kTimestampMask;
        }
        last_raw = raw;
        last_issued = stamp;
        return Uuid{stamp, clock_seq, node};
    }

private:
    UuidGenerator() : node(hardware_or_random_node())
    {
        uint8_t seq[2];
        random_bytes(seq, sizeof seq);
        clock_seq = static_cast<uint16_t>(((seq[0] << 8) | seq[1]) & kClockSeqMask);
    }

    Node node;
    uint16_t clock_seq = 0;
    uint64_t last_raw = 0;
    uint64_t last_issued = 0;
};

std::string format_uuid(const Uuid& id)
{
    uint32_t time_low = static_cast<uint32_t>(id.timestamp & 0xFFFFFFFFULL);
    uint16_t time_mid = static_cast<uint16_t>((id.timestamp >> 32) & 0xFFFF);
    uint16_t time_hi_version = static_cast<uint16_t>(((id.timestamp >> 48) & 0x0FFF) | 0x1000);
    uint8_t seq_hi_variant = static_cast<uint8_t>(((id.clock_seq >> 8) & 0x3F) | 0x80);
    uint8_t seq_low = static_cast<uint8_t>(id.clock_seq & 0xFF);

    char node_text[13];
    for (size_t i = 0; i < id.node.size(); ++i) {
        std::snprintf(node_text + 2 * i, 3, "%2.2x", id.node[i]);
    }
    char text[64];
    std::snprintf(text, sizeof text, "{%8.8x-%4.4x-%4.4x-%2.2x%2.2x-%s}", time_low, time_mid, time_hi_version,
                  seq_hi_variant, seq_low, node_text);
    std::string result = text;
    for (char& c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

} // namespace

CGUID::CGUID()
{
    generate_guid();
}

CGUID::~CGUID() = default;

char* CGUID::generate_guid()
{
    guid = format_uuid(UuidGenerator::instance().next());
    return get_guid();
}

char* CGUID::get_guid()
{
    return guid.data();
}
