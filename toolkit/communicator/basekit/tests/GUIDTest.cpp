#include <basekit/GUID.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <unordered_set>

namespace {

const std::regex kFormat(
    "\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");

int hex_digit(const std::string& id, size_t pos) {
    return static_cast<int>(std::strtol(id.substr(pos, 1).c_str(), nullptr, 16));
}

// The 60-bit timestamp spread over the time_low, time_mid and time_hi
// fields of the text.
unsigned long long timestamp_of(const std::string& id) {
    std::string hi = id.substr(16, 3);
    std::string mid = id.substr(10, 4);
    std::string low = id.substr(1, 8);
    return std::stoull(hi + mid + low, nullptr, 16);
}

}  // namespace

TEST(GUIDFormat, MatchesTheBracedUpperCaseForm) {
    CGUID guid;
    std::string id = guid.get_guid();
    EXPECT_EQ(id.size(), 38u);
    EXPECT_TRUE(std::regex_match(id, kFormat)) << id;
}

TEST(GUIDFormat, IsVersionOneWithTheStandardVariant) {
    CGUID guid;
    for (int i = 0; i < 50; ++i) {
        std::string id = guid.generate_guid();
        EXPECT_EQ(id[15], '1') << id;
        EXPECT_EQ(hex_digit(id, 20) & 0xC, 0x8) << id;
    }
}

TEST(GUIDFormat, NodeIsACardAddressOrMarkedRandom) {
    std::string id = CGUID().get_guid();
    std::string node = id.substr(25, 12);
    EXPECT_NE(node, "000000000000");
}

TEST(GUIDFormat, TimestampIsTheCurrentTime) {
    // 100 ns intervals from 1582-10-15 to the Unix epoch, then to
    // 2020-01-01 and 2200-01-01.
    const unsigned long long epoch = 0x01B21DD213814000ULL;
    const unsigned long long y2020 = epoch + 1577836800ULL * 10000000ULL;
    const unsigned long long y2200 = epoch + 7258118400ULL * 10000000ULL;
    unsigned long long t = timestamp_of(CGUID().get_guid());
    EXPECT_GT(t, y2020);
    EXPECT_LT(t, y2200);
}

TEST(GUIDGeneration, ConstructorAlreadyMadeOne) {
    CGUID guid;
    ASSERT_NE(guid.get_guid(), nullptr);
    EXPECT_TRUE(std::regex_match(std::string(guid.get_guid()), kFormat));
}

TEST(GUIDGeneration, GenerateReplacesAndReturnsTheCurrentOne) {
    CGUID guid;
    std::string before = guid.get_guid();
    char* made = guid.generate_guid();
    EXPECT_EQ(made, guid.get_guid());
    EXPECT_NE(before, made);
}

TEST(GUIDGeneration, TightLoopNeverRepeats) {
    CGUID guid;
    std::unordered_set<std::string> seen;
    const int count = 100000;
    for (int i = 0; i < count; ++i) {
        seen.insert(guid.generate_guid());
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(count));
}

TEST(GUIDGeneration, TimestampsKeepRisingWithinTheProcess) {
    CGUID guid;
    unsigned long long previous = timestamp_of(guid.get_guid());
    for (int i = 0; i < 1000; ++i) {
        unsigned long long now = timestamp_of(guid.generate_guid());
        EXPECT_GT(now, previous);
        previous = now;
    }
}

TEST(GUIDGeneration, SeparateObjectsShareOneSequence) {
    CGUID a;
    CGUID b;
    EXPECT_STRNE(a.get_guid(), b.get_guid());
    // Same process, same node and clock sequence: only the time differs.
    EXPECT_EQ(std::string(a.get_guid()).substr(20, 17), std::string(b.get_guid()).substr(20, 17));
}

TEST(GUIDGeneration, IsAPlainListElement) {
    CGUID guid;
    EXPECT_EQ(guid.get_btype(), 0);
}
