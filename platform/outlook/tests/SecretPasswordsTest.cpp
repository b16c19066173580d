// Run on a session bus of its own with an unlocked keyring (see
// platform/testing/with-session-bus.sh); skipped where there is none.

#include <outlook/SecretPasswords.h>

#include <outlook/DavClient.h>
#include <outlook/testing/RadicaleServer.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using outlook::CDavClient;
using outlook::CSecretPasswords;
using testsupport::CRadicaleServer;

class SecretPasswordsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CSecretPasswords::IsSessionAvailable())
            GTEST_SKIP() << "no session bus with a keyring";
    }
};

TEST_F(SecretPasswordsTest, APasswordIsFoundByUserServerAndProtocol)
{
    std::string error;
    ASSERT_TRUE(CSecretPasswords::Store("dav.example.org", "ann", "https", "s3cret", error)) << error;
    EXPECT_EQ(CSecretPasswords::Lookup("dav.example.org", "ann", "https", error), "s3cret") << error;
    for (const auto& [server, user, protocol] :
         {std::tuple{"dav.example.org", "bob", "https"}, std::tuple{"other.example.org", "ann", "https"},
          std::tuple{"dav.example.org", "ann", "http"}})
        EXPECT_EQ(CSecretPasswords::Lookup(server, user, protocol, error), "") << server << " " << user;
}

// No .netrc entry: the keyring's password opens the server.
TEST_F(SecretPasswordsTest, TheServerIsOpenedWithTheKeyringsPassword)
{
    if (!CRadicaleServer::Available())
        GTEST_SKIP() << "radicale is not installed";
    CRadicaleServer server;
    std::remove((std::string(std::getenv("HOME")) + "/.netrc").c_str());
    ASSERT_TRUE(server.Start()) << server.Errors();
    const CDavClient client({CRadicaleServer::User, 5000});
    EXPECT_EQ(client.Propfind(server.Url("/"), 0, "").status, 401) << "nothing stored yet";
    std::string error;
    ASSERT_TRUE(
        CSecretPasswords::Store("127.0.0.1", CRadicaleServer::User, "http", CRadicaleServer::Password, error))
        << error;
    const CDavClient fresh({CRadicaleServer::User, 5000});
    EXPECT_EQ(fresh.Propfind(server.Url("/"), 0, "").status, 207);
}

} // namespace
