#include "TellOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Parsed {
    bool ok;
    CTellOptions options;
};

Parsed Parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "agent-tell");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    Parsed parsed;
    parsed.ok = parsed.options.parse(static_cast<int>(args.size()), argv.data());
    return parsed;
}

} // namespace

TEST(TellOptionsTest, DefaultsPointAtALocalNameServer)
{
    Parsed parsed = Parse({"Bob", "tell :type command :action ping"});
    ASSERT_TRUE(parsed.ok) << parsed.options.get_error();
    const CTellOptions& options = parsed.options;
    EXPECT_EQ(options.receiver, "Bob");
    EXPECT_EQ(options.content, "tell :type command :action ping");
    EXPECT_EQ(options.ans_host, "127.0.0.1");
    EXPECT_EQ(options.ans_port, 6677);
    EXPECT_DOUBLE_EQ(options.wait_seconds, 5.0);
    EXPECT_EQ(options.replies, 1);
    EXPECT_TRUE(options.at.empty());
    EXPECT_TRUE(options.uses_name_server());
    EXPECT_EQ(options.agent_name(), "agent-tell-" + std::to_string(getpid()));
    EXPECT_EQ(options.container_args(), (std::vector<std::string>{"-name", options.agent_name(), "-ans",
                                                                  "127.0.0.1", "-ansport", "6677"}));
}

TEST(TellOptionsTest, EveryOptionIsReadWhereverItStands)
{
    Parsed parsed = Parse({"-ans", "localhost", "Bob", "-ansport", "7000", "-name", "Tester", "--wait",
                           "0.25", "--replies", "0", "(hello)", "--at", "tcp://127.0.0.1:5000"});
    ASSERT_TRUE(parsed.ok) << parsed.options.get_error();
    const CTellOptions& options = parsed.options;
    EXPECT_EQ(options.ans_host, "localhost");
    EXPECT_EQ(options.ans_port, 7000);
    EXPECT_EQ(options.agent_name(), "Tester");
    EXPECT_DOUBLE_EQ(options.wait_seconds, 0.25);
    EXPECT_EQ(options.replies, 0);
    EXPECT_EQ(options.at, "tcp://127.0.0.1:5000");
    EXPECT_EQ(options.at_host, "127.0.0.1");
    EXPECT_EQ(options.at_port, 5000);
    EXPECT_EQ(options.receiver, "Bob");
    EXPECT_EQ(options.content, "(hello)");
    EXPECT_TRUE(options.uses_name_server());

    Parsed direct = Parse({"--at", "tcp://127.0.0.1:5000", "Bob", "(hello)"});
    ASSERT_TRUE(direct.ok);
    EXPECT_FALSE(direct.options.uses_name_server());
    EXPECT_EQ(direct.options.lookup_mask(), 0);
    EXPECT_EQ(options.lookup_mask(), 2);

    Parsed discovered = Parse({"--discover", "-name", "Tester", "Bob", "(hello)"});
    ASSERT_TRUE(discovered.ok) << discovered.options.get_error();
    EXPECT_FALSE(discovered.options.uses_name_server());
    EXPECT_EQ(discovered.options.lookup_mask(), 1);
    EXPECT_EQ(discovered.options.container_args(), (std::vector<std::string>{"-name", "Tester"}));
}

TEST(TellOptionsTest, DoubleDashLetsTheContentStartWithADash)
{
    Parsed parsed = Parse({"--", "Bob", "-not an option"});
    ASSERT_TRUE(parsed.ok) << parsed.options.get_error();
    EXPECT_EQ(parsed.options.content, "-not an option");
    EXPECT_TRUE(Parse({"Bob", ""}).ok);
}

TEST(TellOptionsTest, HelpNeedsNothingElse)
{
    for (const char* flag : {"--help", "-h"}) {
        Parsed parsed = Parse({flag});
        EXPECT_TRUE(parsed.ok);
        EXPECT_TRUE(parsed.options.help);
    }
    EXPECT_NE(std::string(CTellOptions::usage()).find("TO 'CONTENT'"), std::string::npos);
}

TEST(TellOptionsTest, WrongCommandLinesAreRefusedWithAReason)
{
    const char* kDiscoverAlone =
        "--discover finds the receiver without a name server or an address; leave out "
        "-ans, -ansport and --at";
    struct Case {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{}, "expected the receiver and the content"},
        {{"Bob"}, "expected the receiver and the content"},
        {{"Bob", "x", "y"}, "expected the receiver and the content"},
        {{"", "x"}, "the receiver's name is empty"},
        {{"--verbose", "Bob", "x"}, "unknown option --verbose"},
        {{"Bob", "x", "--wait"}, "option --wait needs a value"},
        {{"--wait", "-1", "Bob", "x"}, "--wait needs seconds from 0 to 3600"},
        {{"--wait", "3601", "Bob", "x"}, "--wait needs seconds from 0 to 3600"},
        {{"--wait", "nan", "Bob", "x"}, "--wait needs seconds from 0 to 3600"},
        {{"--wait", "2s", "Bob", "x"}, "--wait needs seconds from 0 to 3600"},
        {{"-ansport", "0", "Bob", "x"}, "-ansport needs a port from 1 to 65535"},
        {{"-ansport", "65536", "Bob", "x"}, "-ansport needs a port from 1 to 65535"},
        {{"--replies", "-2", "Bob", "x"}, "--replies needs a count"},
        {{"-ans", "", "Bob", "x"}, "-ans needs a host"},
        {{"-name", "", "Bob", "x"}, "-name needs a name"},
        {{"--at", "127.0.0.1:5000", "Bob", "x"}, "--at needs an address tcp://HOST:PORT"},
        {{"--at", "tcp://127.0.0.1", "Bob", "x"}, "--at needs an address tcp://HOST:PORT"},
        {{"--at", "tcp://:5000", "Bob", "x"}, "--at needs an address tcp://HOST:PORT"},
        {{"--at", "tcp://127.0.0.1:0", "Bob", "x"}, "--at needs an address tcp://HOST:PORT"},
        {{"--at", "tcp://127.0.0.1:5000/x", "Bob", "x"}, "--at needs an address tcp://HOST:PORT"},
        {{"--at", "http://127.0.0.1:5000", "Bob", "x"}, "--at needs an address tcp://HOST:PORT"},
        {{"--discover", "--at", "tcp://127.0.0.1:5000", "Bob", "x"}, kDiscoverAlone},
        {{"-ansport", "7000", "--discover", "Bob", "x"}, kDiscoverAlone},
    };
    for (const Case& c : cases) {
        Parsed parsed = Parse(c.args);
        EXPECT_FALSE(parsed.ok) << c.error;
        EXPECT_EQ(parsed.options.get_error(), c.error);
    }
}
