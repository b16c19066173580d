#include <platform/TlsSession.h>

#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class TlsSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        client = CKeyPair::LoadOrCreate(home.File("client.pem"), "ann", error);
        server = CKeyPair::LoadOrCreate(home.File("server.pem"), "bob", error);
        ASSERT_TRUE(client && server) << error;
    }

    std::unique_ptr<CTlsSession> Start(CTlsSession::Role role, const CKeyPair& key)
    {
        std::string error;
        std::unique_ptr<CTlsSession> session = CTlsSession::Start(role, key, error);
        EXPECT_NE(session, nullptr) << error;
        return session;
    }

    // Carries each side's bytes to the other until neither has more; what
    // went over the wire is kept.
    void Pump(CTlsSession& a, CTlsSession& b)
    {
        for (int turn = 0; turn < 32; ++turn) {
            const std::string toB = a.TakeOutgoing();
            const std::string toA = b.TakeOutgoing();
            if (toB.empty() && toA.empty())
                return;
            wire += toB + toA;
            b.Receive(toB.data(), toB.size(), bPlain);
            a.Receive(toA.data(), toA.size(), aPlain);
        }
    }

    testsupport::CTempDir home;
    std::optional<CKeyPair> client;
    std::optional<CKeyPair> server;
    std::string wire;
    std::string aPlain;
    std::string bPlain;
};

} // namespace

// Each side learns the key the other proved, and texts cross both ways
// without their plain bytes on the wire.
TEST_F(TlsSessionTest, BothSidesProveTheirKeysAndTextsCrossEncrypted)
{
    auto a = Start(CTlsSession::Role::Client, *client);
    auto b = Start(CTlsSession::Role::Server, *server);
    ASSERT_TRUE(a && b);
    Pump(*a, *b);
    ASSERT_EQ(a->GetState(), CTlsSession::State::Established) << a->Failure();
    ASSERT_EQ(b->GetState(), CTlsSession::State::Established) << b->Failure();
    EXPECT_EQ(a->PeerKey(), server->PublicKeyText());
    EXPECT_EQ(b->PeerKey(), client->PublicKeyText());

    const std::string request = "(tell :sender ann :receiver bob :content (tell :command request_appt))\x04";
    const std::string large(100000, 'x');
    ASSERT_TRUE(a->Send(request));
    ASSERT_TRUE(b->Send(large));
    Pump(*a, *b);
    EXPECT_EQ(bPlain, request);
    EXPECT_EQ(aPlain, large);
    EXPECT_EQ(wire.find("request_appt"), std::string::npos);
}

// A client that talked to a peer before resumes its session: no new
// exchange of keys, and both sides still know whom they talk to.
TEST_F(TlsSessionTest, AReconnectResumesTheSessionAndKeepsBothKeys)
{
    for (int round = 0; round < 2; ++round) {
        std::string error;
        auto a = CTlsSession::Start(CTlsSession::Role::Client, *client, error, server->PublicKeyText());
        auto b = Start(CTlsSession::Role::Server, *server);
        ASSERT_TRUE(a && b) << error;
        Pump(*a, *b);
        ASSERT_TRUE(b->Send("ticket comes with the first records"));
        Pump(*a, *b);
        ASSERT_EQ(a->GetState(), CTlsSession::State::Established) << a->Failure();
        EXPECT_EQ(a->Resumed(), round == 1);
        EXPECT_EQ(b->Resumed(), round == 1);
        EXPECT_EQ(a->PeerKey(), server->PublicKeyText());
        EXPECT_EQ(b->PeerKey(), client->PublicKeyText());
    }
}

// A server fed what is no TLS handshake, or more than it can hold unread,
// fails with a reason; nothing is sent before the session stands.
TEST_F(TlsSessionTest, WhatIsNoHandshakeFailsTheSession)
{
    const std::string flood(2u << 20, '\x16');
    for (const std::string& bytes : {std::string("(tell :sender eve :content (x))\x04"), flood}) {
        auto b = Start(CTlsSession::Role::Server, *server);
        ASSERT_TRUE(b);
        std::string plain;
        EXPECT_EQ(b->Receive(bytes.data(), bytes.size(), plain), CTlsSession::State::Failed);
        EXPECT_FALSE(b->Failure().empty());
        EXPECT_TRUE(plain.empty());
        EXPECT_FALSE(b->Send("x"));
    }
}

TEST_F(TlsSessionTest, AHelloIsToldFromKqmlAndHttp)
{
    auto a = Start(CTlsSession::Role::Client, *client);
    ASSERT_TRUE(a);
    const std::string hello = a->TakeOutgoing();
    ASSERT_GT(hello.size(), 6u);
    for (std::size_t size = 1; size <= 6; ++size)
        EXPECT_TRUE(CTlsSession::LooksLikeHello(hello.data(), size)) << size;
    for (const std::string& text : {std::string("(tell :sender a)"), std::string("GET / HTTP/1.1"),
                                    std::string("\x16\x03\x03\x00\x10\x02", 6), std::string("\x16\x02", 2)})
        EXPECT_FALSE(CTlsSession::LooksLikeHello(text.data(), text.size())) << text;
    EXPECT_FALSE(CTlsSession::LooksLikeHello("", 0));
}
