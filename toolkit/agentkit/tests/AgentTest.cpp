#include <agentkit/Agent.h>

#include <gtest/gtest.h>

TEST(AgentTest, DefaultsDescribeAnUnplacedAgent)
{
    CAgent agent("Bob");
    EXPECT_STREQ(agent.get_name(), "Bob");
    EXPECT_STREQ(agent.get_host(), "localhost");
    EXPECT_EQ(agent.get_url(), nullptr);
    EXPECT_EQ(agent.get_type(), nullptr);
    EXPECT_EQ(agent.get_port(), 0);
    EXPECT_EQ(agent.get_protocol(), 1);
    EXPECT_EQ(agent.get_date().GetStatus(), CDateTime::valid);
    ASSERT_NE(agent.get_base_type(), nullptr);
    EXPECT_EQ(agent.get_base_type()->get_nr_elements(), 0);
}

TEST(AgentTest, SettersCopyAndNullRestoresOrClears)
{
    CAgent agent;
    std::string url = "tcp://10.0.0.5:6678";
    agent.set_url(url.c_str());
    url[0] = 'X';
    EXPECT_STREQ(agent.get_url(), "tcp://10.0.0.5:6678");
    agent.set_url(nullptr);
    EXPECT_EQ(agent.get_url(), nullptr);

    agent.set_host("10.0.0.5");
    EXPECT_STREQ(agent.get_host(), "10.0.0.5");
    agent.set_host(nullptr);
    EXPECT_STREQ(agent.get_host(), "localhost");

    agent.set_type("agent");
    EXPECT_STREQ(agent.get_type(), "agent");
    agent.set_type(nullptr);
    EXPECT_EQ(agent.get_type(), nullptr);

    agent.set_port(6678);
    agent.set_protocol(9);
    agent.set_date(CDateTime(2026, 12, 7, 9, 49, 22));
    EXPECT_EQ(agent.get_port(), 6678);
    EXPECT_EQ(agent.get_protocol(), 9);
    EXPECT_EQ(agent.get_date(), CDateTime(2026, 12, 7, 9, 49, 22));
}

TEST(AgentTest, LineageKeepsKindsInOrder)
{
    CAgent agent;
    agent.get_base_type()->add_name("agent");
    agent.get_base_type()->add_name("calendar");
    EXPECT_STREQ(agent.get_base_type()->to_string(), "(agent:calendar)");
}
