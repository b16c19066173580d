#include <basekit/URL.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string or_null(const char* s)
{
    return s ? s : "(null)";
}

// proto|subproto|host|port|cgi|webpage|pieces..., for one-line comparisons.
std::string parts(CURL& url)
{
    std::string out = or_null(url.get_proto()) + "|" + or_null(url.get_subproto()) + "|" +
                      or_null(url.get_host()) + "|" + std::to_string(url.get_port()) + "|" +
                      or_null(url.get_cgi()) + "|" + or_null(url.get_webpage());
    for (CListElement* e = url.get_element(0); e; e = e->get_next())
        out += "|" + or_null(e->get_name());
    return out;
}

} // namespace

TEST(URLParse, DefaultsAndHostWithPort)
{
    CURL url;
    EXPECT_EQ(parts(url), "HTTP|(null)|(null)|80|(null)|(null)");
    EXPECT_EQ(url.generate_url(), nullptr);
    EXPECT_EQ(url.parse_url("tcp://10.0.0.5:6678"), 1);
    EXPECT_EQ(parts(url), "tcp|(null)|10.0.0.5|6678|(null)|(null)");
    EXPECT_STREQ(url.get_name(), "tcp://10.0.0.5:6678");
    CURL made("tcp://127.0.0.1:1");
    EXPECT_EQ(parts(made), "tcp|(null)|127.0.0.1|1|(null)|(null)");
}

TEST(URLParse, WithoutSchemeSeparatorFails)
{
    CURL url;
    EXPECT_EQ(url.parse_url("10.0.0.5:6678"), 0);
    EXPECT_EQ(parts(url), "(null)|(null)|(null)|80|(null)|(null)");
    EXPECT_STREQ(url.get_name(), "10.0.0.5:6678");
    EXPECT_EQ(url.parse_url(nullptr), 0);
    EXPECT_EQ(url.get_name(), nullptr);
}

TEST(URLParse, PathAndQueryPieces)
{
    CURL url;
    ASSERT_EQ(url.parse_url("http://www.example.org:8080/cgi-bin/find?who=bob&when=today"), 1);
    EXPECT_EQ(parts(url),
              "http|(null)|www.example.org|8080|/cgi-bin/find|who=bob&when=today|who=bob|when=today");
    EXPECT_EQ(url.get_element(0)->get_btype(), 0);
    ASSERT_EQ(url.parse_url("http://host/dir/page.rdf"), 1);
    EXPECT_EQ(parts(url), "http|(null)|host|8080|/dir/page.rdf|dir/page.rdf");
    ASSERT_EQ(url.parse_url("http://host/"), 1);
    EXPECT_EQ(parts(url), "http|(null)|host|8080|/|");
    ASSERT_EQ(url.parse_url("http://h/p?a&&b&"), 1);
    EXPECT_EQ(parts(url), "http|(null)|h|8080|/p|a&&b&|a||b");
}

TEST(URLParse, QueryRightAfterTheHostMayHoldSlashes)
{
    CURL url;
    ASSERT_EQ(url.parse_url("http://host:81?a=1&b=2"), 1);
    EXPECT_EQ(parts(url), "http|(null)|host|81|(null)|a=1&b=2|a=1|b=2");
    ASSERT_EQ(url.parse_url("http://host?next=/x/y"), 1);
    EXPECT_EQ(parts(url), "http|(null)|host|81|(null)|next=/x/y|next=/x/y");
}

TEST(URLParse, ReparsingClearsEverythingButThePort)
{
    CURL url;
    ASSERT_EQ(url.parse_url("http:s://host:6678/p?x=1&y=2"), 1);
    EXPECT_EQ(parts(url), "http|s|host|6678|/p|x=1&y=2|x=1|y=2");
    ASSERT_EQ(url.parse_url("tcp://other"), 1);
    EXPECT_EQ(parts(url), "tcp|(null)|other|6678|(null)|(null)");
}

TEST(URLParse, NoHostFails)
{
    CURL url;
    EXPECT_EQ(url.parse_url("http:///path"), 0);
    EXPECT_EQ(parts(url), "http|(null)|(null)|80|/path|path");
    EXPECT_EQ(url.parse_url("tcp://"), 0);
    EXPECT_EQ(url.parse_url("tcp://:6678"), 0);
    EXPECT_EQ(url.get_port(), 6678);
}

TEST(URLParse, ItsOwnTextsCanBeParsedAgain)
{
    CURL url("tcp://10.0.0.5:6678");
    EXPECT_EQ(url.parse_url(url.get_name()), 1);
    EXPECT_STREQ(url.get_name(), "tcp://10.0.0.5:6678");
    EXPECT_EQ(url.parse_url(url.get_host()), 0);
    EXPECT_STREQ(url.get_name(), "10.0.0.5");
}

TEST(URLParts, ProtoSplitsAtTheColon)
{
    CURL url;
    url.set_proto("a:b");
    EXPECT_EQ(parts(url), "a|b|(null)|80|(null)|(null)");
    url.set_proto(url.get_subproto());
    EXPECT_EQ(parts(url), "b|(null)|(null)|80|(null)|(null)");
    url.set_proto(nullptr);
    EXPECT_EQ(url.get_proto(), nullptr);
}

TEST(URLParts, PortIsReadAsAtoiWouldWithinTheValidRange)
{
    CURL url;
    const std::vector<std::pair<const char*, int>> cases = {{"h:6678junk", 6678},
                                                            {"h: 81", 81},
                                                            {"h:junk", 0},
                                                            {"h:", 0},
                                                            {"h:65535", 65535},
                                                            {"h:65536", 0},
                                                            {"h:-1", 0},
                                                            {"h:+7", 7},
                                                            {"h:99999999999999999999999", 0}};
    for (const auto& [text, port] : cases) {
        url.set_port(1234);
        url.set_host(text);
        EXPECT_STREQ(url.get_host(), "h") << text;
        EXPECT_EQ(url.get_port(), port) << text;
    }
}

TEST(URLParts, HostWithoutColonKeepsThePort)
{
    CURL url;
    url.set_port(6677);
    url.set_host("h");
    url.set_host(url.get_host());
    EXPECT_EQ(parts(url), "HTTP|(null)|h|6677|(null)|(null)");
    url.set_host(nullptr);
    EXPECT_EQ(url.get_host(), nullptr);
}

TEST(URLParts, CgiGetsALeadingSlash)
{
    CURL url;
    url.set_cgi("bin/x");
    EXPECT_STREQ(url.get_cgi(), "/bin/x");
    url.set_cgi("/bin/y");
    EXPECT_STREQ(url.get_cgi(), "/bin/y");
    url.set_cgi(nullptr);
    EXPECT_EQ(url.get_cgi(), nullptr);
    url.set_webpage("index.html");
    EXPECT_STREQ(url.get_webpage(), "index.html");
}
