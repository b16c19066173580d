#include <platform/KeyPair.h>

#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sys/stat.h>

namespace {

std::optional<CKeyPair> Load(const std::string& path, const std::string& holder = "ann_x.org-CalendarAgent")
{
    std::string error;
    std::optional<CKeyPair> pair = CKeyPair::LoadOrCreate(path, holder, error);
    EXPECT_EQ(pair.has_value(), error.empty()) << error;
    return pair;
}

} // namespace

// Made once, kept 0600, read back the same; what it signs only its key
// verifies, and only for the very text.
TEST(KeyPairTest, AKeyIsMadeOnceKeptPrivateAndSignsForItsHolderOnly)
{
    testsupport::CTempDir home;
    const std::string path = home.File("keys/agent-key.pem");
    std::optional<CKeyPair> made = Load(path);
    ASSERT_TRUE(made);
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(made->Holder(), "ann_x.org-CalendarAgent");
    EXPECT_TRUE(std::regex_match(made->Fingerprint(), std::regex("([0-9A-F]{4} ){15}[0-9A-F]{4}")))
        << made->Fingerprint();
    std::optional<CKeyPair> again = Load(path, "someone else");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->PublicKeyText(), made->PublicKeyText());
    EXPECT_EQ(again->Holder(), made->Holder());
    std::optional<CKeyPair> other = Load(home.File("other.pem"));
    ASSERT_TRUE(other);
    EXPECT_NE(other->PublicKeyText(), made->PublicKeyText());

    const std::string text = "register ann tcp://127.0.0.1:5000";
    const std::string signature = again->Sign(text);
    const struct {
        std::string key;
        std::string text;
        std::string signature;
        bool valid;
    } table[] = {
        {made->PublicKeyText(), text, signature, true},
        {made->PublicKeyText(), text + " ", signature, false},
        {other->PublicKeyText(), text, signature, false},
        {made->PublicKeyText(), text, other->Sign(text), false},
        {made->PublicKeyText(), text, "", false},
        {made->PublicKeyText(), text, "not*base64", false},
        {"ed25519:AAAA", text, signature, false},
        {"rsa:" + made->PublicKeyText().substr(8), text, signature, false},
    };
    for (const auto& row : table)
        EXPECT_EQ(CKeyPair::Verify(row.key, row.text, row.signature), row.valid)
            << row.key << " " << row.text;
    EXPECT_EQ(CKeyPair::FingerprintOf("ed25519:@@"), "");
}

TEST(KeyPairTest, FilesOthersMayReadOrThatHoldNoKeyAreRefusedAndKept)
{
    testsupport::CTempDir home;
    const std::string open = home.File("open.pem");
    ASSERT_TRUE(Load(open));
    ASSERT_EQ(::chmod(open.c_str(), 0644), 0);
    const std::string garbage = home.File("garbage.pem");
    std::ofstream(garbage) << "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n";
    ASSERT_EQ(::chmod(garbage.c_str(), 0600), 0);
    for (const std::string& path : {open, garbage}) {
        std::string error;
        EXPECT_FALSE(CKeyPair::LoadOrCreate(path, "x", error)) << path;
        EXPECT_NE(error.find(path), std::string::npos) << error;
    }
    std::ifstream kept(garbage);
    std::string first;
    std::getline(kept, first);
    EXPECT_EQ(first, "-----BEGIN CERTIFICATE-----");
}
