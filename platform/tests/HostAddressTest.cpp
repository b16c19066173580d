#include <platform/HostAddress.h>

#include <platform/SocketError.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Sets or clears the override for one test and puts the old value back.
class COverride {
public:
    explicit COverride(const char* value)
    {
        if (const char* old = std::getenv(kName))
            saved = old;
        if (value)
            setenv(kName, value, 1);
        else
            unsetenv(kName);
    }
    ~COverride()
    {
        if (saved)
            setenv(kName, saved->c_str(), 1);
        else
            unsetenv(kName);
    }

private:
    static constexpr const char* kName = "ORVANTE_HOST_ADDRESS";
    std::optional<std::string> saved;
};

} // namespace

TEST(HostAddress, OverrideWins)
{
    COverride override_address("10.1.2.3");
    EXPECT_EQ("10.1.2.3", GetHostAddress());
    EXPECT_EQ("10.1.2.3", GetHostAddressFor("localhost"));
}

TEST(HostAddress, OverrideThatIsNoAddressIsIgnored)
{
    // It would end up inside protocol lines, so only a plain address counts.
    for (const char* bad : {"", "10.1.2", "10.1.2.3\r\nunregister x", "host.example", "1.2.3.4 "}) {
        COverride override_address(bad);
        EXPECT_EQ("127.0.0.1", GetHostAddressFor("localhost")) << bad;
    }
}

TEST(HostAddress, NameResolvesToItsFirstIPv4Address)
{
    COverride no_override(nullptr);
    EXPECT_EQ("127.0.0.1", GetHostAddressFor("localhost"));
    EXPECT_EQ("192.168.7.9", GetHostAddressFor("192.168.7.9"));
}

TEST(HostAddress, UnresolvableNameFallsBackToLoopback)
{
    COverride no_override(nullptr);
    EXPECT_EQ("127.0.0.1", GetHostAddressFor(""));
    EXPECT_EQ("127.0.0.1", GetHostAddressFor("no spaces allowed"));
    EXPECT_EQ("127.0.0.1", GetHostAddressFor(std::string(300, 'a')));
}

TEST(ResolveIPv4, DottedAddressIsTakenAsItIs)
{
    std::string address;
    EXPECT_EQ(0, ResolveIPv4("127.0.0.1", address));
    EXPECT_EQ("127.0.0.1", address);
    EXPECT_EQ(0, ResolveIPv4("10.0.0.255", address));
    EXPECT_EQ("10.0.0.255", address);
}

TEST(ResolveIPv4, MalformedNamesAreRefusedWithoutLookup)
{
    std::string address = "unchanged";
    EXPECT_EQ(WSAHOST_NOT_FOUND, ResolveIPv4("", address));
    EXPECT_EQ(WSAHOST_NOT_FOUND, ResolveIPv4("bad name", address));
    EXPECT_EQ(WSAHOST_NOT_FOUND, ResolveIPv4("line\nbreak", address));
    EXPECT_EQ(WSAHOST_NOT_FOUND, ResolveIPv4("tcp://host:1", address));
    EXPECT_EQ(WSAHOST_NOT_FOUND, ResolveIPv4("-unknown-", address));
    EXPECT_EQ(WSAHOST_NOT_FOUND, ResolveIPv4("host-.example", address));
    EXPECT_EQ(WSAHOST_NOT_FOUND, ResolveIPv4("a..b", address));
    EXPECT_EQ("unchanged", address);
}

TEST(ResolveIPv4, LocalNameResolves)
{
    std::string address;
    EXPECT_EQ(0, ResolveIPv4("localhost", address));
    EXPECT_EQ("127.0.0.1", address);
}
