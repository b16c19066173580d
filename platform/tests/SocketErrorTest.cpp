#include <platform/SocketError.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <string>

TEST(SocketErrorCodes, KeepTheirWindowsValues)
{
    EXPECT_EQ(10035, WSAEWOULDBLOCK);
    EXPECT_EQ(10036, WSAEINPROGRESS);
    EXPECT_EQ(10048, WSAEADDRINUSE);
    EXPECT_EQ(10050, WSAENETDOWN);
    EXPECT_EQ(10053, WSAECONNABORTED);
    EXPECT_EQ(10054, WSAECONNRESET);
    EXPECT_EQ(10058, WSAESHUTDOWN);
    EXPECT_EQ(10060, WSAETIMEDOUT);
    EXPECT_EQ(10061, WSAECONNREFUSED);
    EXPECT_EQ(10071, WSAEREMOTE);
    EXPECT_EQ(10091, WSASYSNOTREADY);
    EXPECT_EQ(10093, WSANOTINITIALISED);
    EXPECT_EQ(10101, WSAEDISCON);
    EXPECT_EQ(11001, WSAHOST_NOT_FOUND);
}

TEST(SocketErrorNames, NameTheLoggedCodes)
{
    EXPECT_STREQ("WSAECONNRESET", WsaErrorName(WSAECONNRESET));
    EXPECT_STREQ("WSAEWOULDBLOCK", WsaErrorName(WSAEWOULDBLOCK));
    EXPECT_STREQ("WSAECONNREFUSED", WsaErrorName(WSAECONNREFUSED));
    EXPECT_STREQ("WSAETIMEDOUT", WsaErrorName(10060));
    EXPECT_STREQ("WSAENOTSOCK", WsaErrorName(WSAENOTSOCK));
    EXPECT_STREQ("WSASYSNOTREADY", WsaErrorName(WSASYSNOTREADY));
    EXPECT_STREQ("WSAVERNOTSUPPORTED", WsaErrorName(WSAVERNOTSUPPORTED));
    EXPECT_STREQ("WSANOTINITIALISED", WsaErrorName(WSANOTINITIALISED));
    EXPECT_STREQ("WSAEDISCON", WsaErrorName(WSAEDISCON));
}

TEST(SocketErrorNames, EveryCodeInTheLoggedRangeHasItsOwnName)
{
    // From WSAEWOULDBLOCK to WSAEREMOTE every value is a logged code, and the
    // name must spell out that very code.
    for (int code = WSAEWOULDBLOCK; code <= WSAEREMOTE; ++code) {
        const std::string name = WsaErrorName(code);
        EXPECT_EQ(0u, name.rfind("WSAE", 0)) << code;
        for (int other = WSAEWOULDBLOCK; other < code; ++other)
            EXPECT_NE(name, WsaErrorName(other)) << code << " and " << other;
    }
}

TEST(SocketErrorNames, UnknownAndUnloggedCodesAreUnknown)
{
    EXPECT_STREQ("UNKNOWN", WsaErrorName(0));
    EXPECT_STREQ("UNKNOWN", WsaErrorName(-1));
    EXPECT_STREQ("UNKNOWN", WsaErrorName(12345));
    EXPECT_STREQ("UNKNOWN", WsaErrorName(WSABASEERR));
    EXPECT_STREQ("UNKNOWN", WsaErrorName(WSAEINTR));
    EXPECT_STREQ("UNKNOWN", WsaErrorName(WSAEINVAL));
    EXPECT_STREQ("UNKNOWN", WsaErrorName(WSAHOST_NOT_FOUND));
    EXPECT_STREQ("UNKNOWN", WsaErrorName(10072));
}

TEST(SocketErrorFromErrno, MapsTheSocketErrors)
{
    EXPECT_EQ(0, WsaErrorFromErrno(0));
    EXPECT_EQ(WSAEWOULDBLOCK, WsaErrorFromErrno(EAGAIN));
    EXPECT_EQ(WSAEWOULDBLOCK, WsaErrorFromErrno(EWOULDBLOCK));
    EXPECT_EQ(WSAECONNREFUSED, WsaErrorFromErrno(ECONNREFUSED));
    EXPECT_EQ(WSAECONNRESET, WsaErrorFromErrno(ECONNRESET));
    EXPECT_EQ(WSAECONNABORTED, WsaErrorFromErrno(ECONNABORTED));
    EXPECT_EQ(WSAETIMEDOUT, WsaErrorFromErrno(ETIMEDOUT));
    EXPECT_EQ(WSAEADDRINUSE, WsaErrorFromErrno(EADDRINUSE));
    EXPECT_EQ(WSAEHOSTUNREACH, WsaErrorFromErrno(EHOSTUNREACH));
    EXPECT_EQ(WSAENETDOWN, WsaErrorFromErrno(ENETDOWN));
    EXPECT_EQ(WSAENOTSOCK, WsaErrorFromErrno(EBADF));
    EXPECT_EQ(WSAESHUTDOWN, WsaErrorFromErrno(EPIPE));
    EXPECT_EQ(WSAENOBUFS, WsaErrorFromErrno(ENOMEM));
}

TEST(SocketErrorFromErrno, ErrnoWithoutCounterpartIsUnknown)
{
    EXPECT_EQ(WSABASEERR, WsaErrorFromErrno(ENOENT));
    EXPECT_EQ(WSABASEERR, WsaErrorFromErrno(-5));
    EXPECT_STREQ("UNKNOWN", WsaErrorName(WsaErrorFromErrno(ENOENT)));
}

TEST(SocketErrorFromResolver, MapsLookupFailures)
{
    EXPECT_EQ(0, WsaErrorFromResolver(0));
    EXPECT_EQ(WSAHOST_NOT_FOUND, WsaErrorFromResolver(EAI_NONAME));
    EXPECT_EQ(WSATRY_AGAIN, WsaErrorFromResolver(EAI_AGAIN));
    EXPECT_EQ(WSANO_RECOVERY, WsaErrorFromResolver(EAI_FAIL));
}
