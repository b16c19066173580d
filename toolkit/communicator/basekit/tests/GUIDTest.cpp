#include <basekit/GUID.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <unordered_set>

namespace {

const std::regex kFormat("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");

// The 60-bit timestamp from the time_hi, time_mid and time_low fields.
unsigned long long timestamp_of(const std::string& id)
{
    return std::stoull(id.substr(16, 3) + id.substr(10, 4) + id.substr(1, 8), nullptr, 16);
}

} // namespace

TEST(GUIDFormat, BracedUpperCaseVersionOneStandardVariant)
{
    CGUID guid;
    for (int i = 0; i < 50; ++i) {
        std::string id = i ? guid.generate_guid() : guid.get_guid();
        ASSERT_TRUE(std::regex_match(id, kFormat)) << id;
        EXPECT_EQ(id[15], '1') << id;
        EXPECT_EQ(std::strtol(id.substr(20, 1).c_str(), nullptr, 16) & 0xC, 0x8) << id;
        EXPECT_NE(id.substr(25, 12), "000000000000");
    }
    EXPECT_EQ(guid.get_btype(), 0);
}

TEST(GUIDFormat, TimestampCountsFromTheGregorianReform)
{
    // 100 ns intervals from 1582-10-15 to the Unix epoch; then 2020 and 2200.
    const unsigned long long epoch = 0x01B21DD213814000ULL;
    unsigned long long t = timestamp_of(CGUID().get_guid());
    EXPECT_GT(t, epoch + 1577836800ULL * 10000000ULL);
    EXPECT_LT(t, epoch + 7258118400ULL * 10000000ULL);
}

TEST(GUIDGeneration, GenerateReplacesAndReturnsTheCurrentOne)
{
    CGUID guid;
    std::string before = guid.get_guid();
    char* made = guid.generate_guid();
    EXPECT_EQ(made, guid.get_guid());
    EXPECT_NE(before, made);
    // Another object in the same process shares node and clock sequence.
    CGUID other;
    EXPECT_EQ(std::string(other.get_guid()).substr(20, 17), std::string(made).substr(20, 17));
}

TEST(GUIDGeneration, TightLoopNeverRepeatsAndTimeKeepsRising)
{
    CGUID guid;
    std::unordered_set<std::string> seen;
    unsigned long long previous = timestamp_of(guid.get_guid());
    const int count = 100000;
    for (int i = 0; i < count; ++i) {
        std::string id = guid.generate_guid();
        seen.insert(id);
        unsigned long long now = timestamp_of(id);
        ASSERT_GT(now, previous) << id;
        previous = now;
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(count));
}
