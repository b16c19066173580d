#include <ansd/ServerOptions.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CServerOptions::Outcome Parse(std::vector<const char*> args, CServerOptions& options, std::string& error)
{
    args.insert(args.begin(), "ansd");
    return options.Parse(static_cast<int>(args.size()), args.data(), error);
}

} // namespace

TEST(ServerOptions, DefaultsAndValues)
{
    CServerOptions options;
    std::string error;
    ASSERT_EQ(Parse({}, options, error), CServerOptions::Outcome::Run);
    EXPECT_EQ(options.port, 6677u);
    EXPECT_EQ(options.bind, "127.0.0.1");
    EXPECT_EQ(options.ttlSeconds, 1800);
    EXPECT_EQ(options.maxClients, 1024u);
    EXPECT_EQ(options.idleSeconds, 30u);
    EXPECT_TRUE(options.statePath.empty());

    ASSERT_EQ(Parse({"--port", "0", "--bind=127.0.0.2", "--ttl", "5", "--state", "s.txt", "--max-clients=3",
                     "--max-names", "7", "--idle", "2", "--port-file", "p", "--announce", "ANS"},
                    options, error),
              CServerOptions::Outcome::Run)
        << error;
    EXPECT_EQ(options.port, 0u);
    EXPECT_EQ(options.bind, "127.0.0.2");
    EXPECT_EQ(options.ttlSeconds, 5);
    EXPECT_EQ(options.statePath, "s.txt");
    EXPECT_EQ(options.maxClients, 3u);
    EXPECT_EQ(options.maxNames, 7u);
    EXPECT_EQ(options.idleSeconds, 2u);
    EXPECT_EQ(options.portFile, "p");
    EXPECT_EQ(options.announceName, "ANS");
}

TEST(ServerOptions, HelpAndErrors)
{
    CServerOptions options;
    std::string error;
    EXPECT_EQ(Parse({"--port", "1", "--help"}, options, error), CServerOptions::Outcome::Help);
    EXPECT_NE(std::string(CServerOptions::Usage()).find("ansd listening on"), std::string::npos);
    const std::vector<std::vector<const char*>> bad = {
        {"--frobnicate"},
        {"port"},
        {"--port"},
        {"--port", "65536"},
        {"--port", "-1"},
        {"--port", "8x"},
        {"--port", ""},
        {"--ttl", "0"},
        {"--idle", "0"},
        {"--bind", "localhost"},
        {"--bind", "::1"},
        {"--state="},
        {"--max-clients", "0"},
        {"--max-names", "99999999999999999999999"},
        {"--announce", ""},
        {"--announce", "two words"},
        {"--announce", "line\r\nbreak"},
    };
    for (const auto& args : bad) {
        error.clear();
        EXPECT_EQ(Parse(args, options, error), CServerOptions::Outcome::Error) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}
