#include <ansd/RegistrationRules.h>

#include <gtest/gtest.h>

#include <string>

TEST(RegistrationRules, Names)
{
    EXPECT_TRUE(CRegistrationRules::IsValidName("alice_example.com-CalendarAgent"));
    EXPECT_TRUE(CRegistrationRules::IsValidName("a"));
    EXPECT_TRUE(CRegistrationRules::IsValidName("!#$%&'()*+-./:;<=>?@[]^_`{|}~"));
    EXPECT_TRUE(CRegistrationRules::IsValidName("annull"));
    EXPECT_TRUE(CRegistrationRules::IsValidName(std::string(255, 'x')));
    EXPECT_FALSE(CRegistrationRules::IsValidName(std::string(256, 'x')));
    EXPECT_FALSE(CRegistrationRules::IsValidName(""));
    for (const char* bad : {"a b", "a\tb", "a,b", "a\x04", "caf\xc3\xa9", "a\x7f", "null", "nullagent"})
        EXPECT_FALSE(CRegistrationRules::IsValidName(bad)) << bad;
}

TEST(RegistrationRules, Urls)
{
    for (const char* good : {"tcp://127.0.0.1:5000", "tcp://host-1.example_x:1", "tcp://h:65535"})
        EXPECT_TRUE(CRegistrationRules::IsValidUrl(good)) << good;
    for (const char* bad : {"",
                            "tcp://",
                            "tcp://host",
                            "tcp://host:",
                            "tcp://:80",
                            "tcp://host:0",
                            "tcp://host:65536",
                            "tcp://host:99999",
                            "tcp://host:080",
                            "tcp://host:+80",
                            "tcp://host:80x",
                            "tcp://host:80/path",
                            "tcp://a:b:80",
                            "http://host:80",
                            "TCP://host:80",
                            "tcp://ho st:80",
                            "tcp://[::1]:80",
                            "tcp://failover:80",
                            "tcp://errors.example:80",
                            "tcp://sorry:80",
                            "tcp://success:80"})
        EXPECT_FALSE(CRegistrationRules::IsValidUrl(bad)) << bad;
    EXPECT_TRUE(CRegistrationRules::IsValidUrl("tcp://" + std::string(253, 'h') + ":1"));
    EXPECT_FALSE(CRegistrationRules::IsValidUrl("tcp://" + std::string(254, 'h') + ":1"));
}

TEST(RegistrationRules, Owners)
{
    EXPECT_TRUE(CRegistrationRules::IsValidOwner("127.0.0.1"));
    EXPECT_TRUE(CRegistrationRules::IsValidOwner("10.20.30.40"));
    for (const char* bad : {"", "localhost", "127.0.0", "127.0.0.256", "::1", "1.2.3.4 "})
        EXPECT_FALSE(CRegistrationRules::IsValidOwner(bad)) << bad;
}
