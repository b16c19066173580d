#include <ansd/RequestHandler.h>

#include <platform/KeyPair.h>
#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

const char kOwner[] = "10.0.0.1";
const char kOther[] = "10.0.0.2";

class RequestHandlerTest : public ::testing::Test {
protected:
    std::int64_t now = 5000;
    CAgentRegistry registry{60, 4, [this] { return now; }};
    std::vector<std::string> logged;
    CRequestHandler handler{registry, [this](const std::string& line) { logged.push_back(line); }};

    // The reply without its "\r\n\x04", checking that it has one.
    std::string Ask(const std::string& line, const char* peer = kOwner)
    {
        std::string reply = "previous";
        handler.Handle(line, peer, reply);
        EXPECT_EQ(reply.compare(0, 8, "previous"), 0) << "reply must be appended";
        reply.erase(0, 8);
        EXPECT_GE(reply.size(), 3u);
        EXPECT_EQ(reply.substr(reply.size() - 3), "\r\n\x04") << line;
        reply.resize(reply.size() - 3);
        return reply;
    }
};

} // namespace

TEST_F(RequestHandlerTest, RegisterLookupListUnregister)
{
    EXPECT_EQ(Ask("lookup alice"), "sorry: no such agent");
    EXPECT_EQ(Ask("list all "), "null");
    EXPECT_EQ(Ask("register alice tcp://10.0.0.1:5000"), "success");
    EXPECT_EQ(Ask("register bob tcp://10.0.0.1:5001"), "success");
    EXPECT_EQ(Ask("lookup alice"), "tcp://10.0.0.1:5000");
    EXPECT_EQ(Ask("list all "), "alice\r\nbob");
    EXPECT_EQ(Ask("list b*"), "bob");
    EXPECT_EQ(Ask("list *z*"), "null");
    EXPECT_EQ(Ask("unregister alice"), "success");
    EXPECT_EQ(Ask("lookup alice"), "sorry: no such agent");
    EXPECT_EQ(Ask("unregister alice"), "sorry: no such agent");
}

TEST_F(RequestHandlerTest, OwnershipFollowsTheAddress)
{
    EXPECT_EQ(Ask("register a tcp://h:1", kOwner), "success");
    EXPECT_EQ(Ask("register a tcp://h:2", kOther), "error: name already in use");
    EXPECT_EQ(Ask("unregister a", kOther), "error: not the owner of this name");
    EXPECT_EQ(Ask("lookup a", kOther), "tcp://h:1");
    EXPECT_EQ(Ask("register a tcp://h:3", kOwner), "success");
    EXPECT_EQ(Ask("lookup a"), "tcp://h:3");
    now += 60;
    EXPECT_EQ(Ask("lookup a"), "sorry: no such agent");
    EXPECT_EQ(Ask("register a tcp://h:4", kOther), "success");
    EXPECT_EQ(Ask("unregister a", kOwner), "error: not the owner of this name");
}

TEST_F(RequestHandlerTest, WordsAndBlanks)
{
    EXPECT_EQ(Ask("  register\ta \t tcp://h:1  "), "success");
    EXPECT_EQ(Ask("lookup\ta "), "tcp://h:1");
    EXPECT_EQ(Ask(""), "error: empty request");
    EXPECT_EQ(Ask(" \t "), "error: empty request");
    EXPECT_EQ(Ask("LOOKUP a"), "error: unknown request");
    EXPECT_EQ(Ask("resolve a"), "error: unknown request");
    EXPECT_EQ(Ask("register a"), "error: usage: register NAME URL [KEY TIME SIGNATURE]");
    EXPECT_EQ(Ask("register a tcp://h:1 extra"), "error: usage: register NAME URL [KEY TIME SIGNATURE]");
    EXPECT_EQ(Ask("unregister"), "error: usage: unregister NAME [KEY TIME SIGNATURE]");
    EXPECT_EQ(Ask("lookup a b"), "error: usage: lookup NAME");
    EXPECT_EQ(Ask("list"), "error: usage: list all | list PATTERN");
    EXPECT_EQ(Ask("list a b c d e"), "error: usage: list all | list PATTERN");
    EXPECT_EQ(Ask(std::string("lookup a\0b", 10)), "sorry: no such agent");
}

TEST_F(RequestHandlerTest, Validation)
{
    EXPECT_EQ(Ask("register null tcp://h:1"), "error: bad name");
    EXPECT_EQ(Ask("register a,b tcp://h:1"), "error: bad name");
    EXPECT_EQ(Ask("register " + std::string(256, 'n') + " tcp://h:1"), "error: bad name");
    EXPECT_EQ(Ask("register a\x01 tcp://h:1"), "error: bad name");
    EXPECT_EQ(Ask("register a tcp://h:0"), "error: bad url");
    EXPECT_EQ(Ask("register a tcp://h"), "error: bad url");
    EXPECT_EQ(Ask("register a 127.0.0.1:80"), "error: bad url");
    EXPECT_EQ(Ask("register a tcp://error:80"), "error: bad url");
    EXPECT_EQ(Ask("list all"), "null");
    for (const char* name : {"n1", "n2", "n3", "n4"})
        EXPECT_EQ(Ask(std::string("register ") + name + " tcp://h:1"), "success");
    EXPECT_EQ(Ask("register n5 tcp://h:1"), "error: registry full");
    EXPECT_EQ(Ask("register n4 tcp://h:2"), "success");
}

TEST_F(RequestHandlerTest, TooLong)
{
    std::string reply;
    handler.HandleTooLong(kOwner, reply);
    EXPECT_EQ(reply, "error: request too long\r\n\x04");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("error: request too long"), std::string::npos);
}

TEST_F(RequestHandlerTest, LogsChangesAndErrorsButNotQueries)
{
    Ask("register a tcp://h:1");
    Ask("register a tcp://h:2");
    Ask("lookup a");
    Ask("lookup nobody");
    Ask("list all");
    Ask("register a tcp://h:2", kOther);
    Ask("unregister a");
    Ask("bad\x1b[2Jrequest");
    ASSERT_EQ(logged.size(), 5u);
    EXPECT_EQ(logged[0], "10.0.0.1: register a tcp://h:1 -> success (new)");
    EXPECT_EQ(logged[1], "10.0.0.1: register a tcp://h:2 -> success (replaced)");
    EXPECT_EQ(logged[2], "10.0.0.2: register a tcp://h:2 -> error: name already in use");
    EXPECT_EQ(logged[3], "10.0.0.1: unregister a -> success");
    // Control bytes never reach the log.
    EXPECT_EQ(logged[4], "10.0.0.1: bad?[2Jrequest -> error: unknown request");
    Ask(std::string(1000, 'x'));
    EXPECT_LT(logged.back().size(), 250u);
}

// A name registered with a key is held by it: only a newer request signed
// with that key changes or removes it, from any address; a name registered
// without one may be taken up by a key from its owner's address.
TEST_F(RequestHandlerTest, ANameHeldByAKeyChangesOnlyByNewerRequestsItSigned)
{
    testsupport::CTempDir home;
    std::string error;
    const std::optional<CKeyPair> a = CKeyPair::LoadOrCreate(home.File("a.pem"), "a", error);
    const std::optional<CKeyPair> b = CKeyPair::LoadOrCreate(home.File("b.pem"), "b", error);
    ASSERT_TRUE(a && b) << error;
    const auto Signed = [](const CKeyPair& key, std::string request, std::int64_t at) {
        request += " " + key.PublicKeyText() + " " + std::to_string(at * 1000);
        return request + " " + key.Sign(request);
    };
    std::string tampered = Signed(*a, "register a tcp://h:1", now + 1);
    tampered.replace(tampered.find("h:1"), 3, "h:7");
    const struct {
        std::string request;
        const char* peer;
        std::string reply;
    } table[] = {
        {Signed(*a, "register a tcp://h:1", now), kOwner, "success"},
        {"key a", kOther, a->PublicKeyText()},
        {"register a tcp://h:2", kOwner, "error: name held by another key"},
        {Signed(*b, "register a tcp://h:2", now + 1), kOwner, "error: name held by another key"},
        {Signed(*a, "register a tcp://h:2", now), kOwner, "error: signature out of date"},
        {Signed(*a, "register a tcp://h:2", now + 400), kOwner, "error: signature out of date"},
        {tampered, kOwner, "error: bad signature"},
        {Signed(*a, "register a tcp://h:9", now + 2), kOther, "success"},
        {"lookup a", kOwner, "tcp://h:9"},
        {"unregister a", kOther, "error: name held by another key"},
        {Signed(*a, "unregister a", now + 3), kOwner, "success"},
        {"key a", kOwner, "sorry: no such agent"},
        {"register b tcp://h:1", kOwner, "success"},
        {"key b", kOwner, "sorry: no key"},
        {Signed(*a, "register b tcp://h:1", now + 4), kOther, "error: name already in use"},
        {Signed(*a, "register b tcp://h:1", now + 4), kOwner, "success"},
        {"key b", kOther, a->PublicKeyText()},
        {"key", kOwner, "error: usage: key NAME"},
    };
    for (const auto& row : table)
        EXPECT_EQ(Ask(row.request, row.peer), row.reply) << row.request;
}
