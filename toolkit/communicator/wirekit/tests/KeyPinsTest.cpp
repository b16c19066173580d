#include <wirekit/KeyPins.h>

#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <fstream>

namespace {
const std::string KeyA = "ed25519:MCowBQYDK2VwAyEA" + std::string(43, 'A') + "=";
const std::string KeyB = "ed25519:MCowBQYDK2VwAyEA" + std::string(43, 'B') + "=";
} // namespace

// The first key for a name stays across runs; another is a change, and
// lines that are no name and key are passed over.
TEST(KeyPinsTest, TheFirstKeyOfANameStaysAcrossRuns)
{
    testsupport::CTempDir home;
    const std::string path = home.File("known-agents");
    std::ofstream(path) << "broken line with words\nodd notakey\n";
    {
        CKeyPins pins(path);
        EXPECT_EQ(pins.Pinned("odd"), "");
        EXPECT_EQ(pins.Check("ann", KeyA), CKeyPins::Outcome::Pinned);
        EXPECT_EQ(pins.Check("ann", KeyA), CKeyPins::Outcome::Same);
    }
    CKeyPins again(path);
    EXPECT_EQ(again.Pinned("ann"), KeyA);
    EXPECT_EQ(again.Check("ann", KeyB), CKeyPins::Outcome::Changed);
    EXPECT_EQ(again.Pinned("ann"), KeyA);
    EXPECT_EQ(CKeyPins().Check("bob", KeyB), CKeyPins::Outcome::Pinned);
}
