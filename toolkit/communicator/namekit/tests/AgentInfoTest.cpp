#include <namekit/AgentInfo.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string or_null(const char* s)
{
    return s ? s : "(null)";
}

// valid|name|host|port|port text, for one-line comparisons.
std::string fields(CAgentInfo& info)
{
    return std::to_string(info.IsValid()) + "|" + or_null(info.GetAgentName()) + "|" +
           or_null(info.GetAgentHost()) + "|" + std::to_string(info.GetAgentPort()) + "|" +
           or_null(info.GetAgentPortStr());
}

} // namespace

TEST(AgentInfoConstruction, PortFromTextOrFromNumber)
{
    CAgentInfo from_text("bob", "10.0.0.5", "6678");
    EXPECT_EQ(fields(from_text), "1|bob|10.0.0.5|6678|6678");
    CAgentInfo from_number("bob", "10.0.0.5", 6678);
    EXPECT_EQ(fields(from_number), "1|bob|10.0.0.5|6678|6678");
    CAgentInfo odd_text("bob", "h", " 42x");
    EXPECT_EQ(fields(odd_text), "1|bob|h|42| 42x");
    CAgentInfo no_number("bob", "h", "port");
    EXPECT_EQ(fields(no_number), "1|bob|h|0|port");
    CAgentInfo huge("bob", "h", "99999999999999999999");
    EXPECT_EQ(huge.GetAgentPort(), 2147483647);
}

TEST(AgentInfoConstruction, MissingArgumentMakesAnInvalidRecord)
{
    CAgentInfo no_name(nullptr, "h", "1");
    EXPECT_EQ(fields(no_name), "0|(null)|h|1|1");
    CAgentInfo no_host("bob", nullptr, 1);
    EXPECT_EQ(fields(no_host), "0|bob|(null)|1|1");
    CAgentInfo no_port("bob", "h", static_cast<const char*>(nullptr));
    EXPECT_EQ(fields(no_port), "0|bob|h|0|(null)");
}

TEST(AgentInfoSetters, ReplaceFieldsOnAValidRecordOnly)
{
    CAgentInfo info("bob", "h", 1);
    EXPECT_EQ(info.SetAgentName("carol"), 1);
    EXPECT_EQ(info.SetAgentHost("127.0.0.1"), 1);
    EXPECT_EQ(info.SetAgentPort("5000"), 1);
    EXPECT_EQ(fields(info), "1|carol|127.0.0.1|5000|5000");
    EXPECT_EQ(info.SetAgentPort(6001), 1);
    EXPECT_EQ(fields(info), "1|carol|127.0.0.1|6001|6001");

    EXPECT_EQ(info.SetAgentName(nullptr), 0);
    EXPECT_EQ(info.SetAgentHost(nullptr), 0);
    EXPECT_EQ(info.SetAgentPort(static_cast<const char*>(nullptr)), 0);
    EXPECT_EQ(fields(info), "1|carol|127.0.0.1|6001|6001");

    info.InValidate();
    EXPECT_EQ(info.SetAgentName("dave"), 0);
    EXPECT_EQ(info.SetAgentHost("x"), 0);
    EXPECT_EQ(info.SetAgentPort("7"), 0);
    EXPECT_EQ(info.SetAgentPort(7), 0);
    EXPECT_EQ(fields(info), "0|carol|127.0.0.1|6001|6001");
}

TEST(AgentInfoSetters, KeepCopiesOfTheGivenText)
{
    std::string name = "bob";
    std::string port = "12";
    CAgentInfo info(name.c_str(), "h", port.c_str());
    name[0] = 'X';
    port[0] = '9';
    EXPECT_EQ(fields(info), "1|bob|h|12|12");
}
