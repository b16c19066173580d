#include <basekit/URL.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> query_pieces(CURL& url) {
    std::vector<std::string> pieces;
    for (CListElement* e = url.get_first_element(); e; e = e->get_next()) {
        pieces.emplace_back(e->get_name() ? e->get_name() : "(null)");
    }
    return pieces;
}

}  // namespace

TEST(URLDefaults, HttpOnPortEighty) {
    CURL url;
    EXPECT_STREQ(url.get_proto(), "HTTP");
    EXPECT_EQ(url.get_port(), 80);
    EXPECT_EQ(url.get_host(), nullptr);
    EXPECT_EQ(url.get_subproto(), nullptr);
    EXPECT_EQ(url.get_webpage(), nullptr);
    EXPECT_EQ(url.get_cgi(), nullptr);
    EXPECT_EQ(url.generate_url(), nullptr);
}

TEST(URLParse, HostAndPort) {
    CURL url;
    EXPECT_EQ(url.parse_url("tcp://10.0.0.5:6678"), 1);
    EXPECT_STREQ(url.get_proto(), "tcp");
    EXPECT_STREQ(url.get_host(), "10.0.0.5");
    EXPECT_EQ(url.get_port(), 6678);
    EXPECT_STREQ(url.get_name(), "tcp://10.0.0.5:6678");
    EXPECT_EQ(url.get_cgi(), nullptr);
    EXPECT_EQ(url.get_nr_elements(), 0);
}

TEST(URLParse, WithoutSchemeSeparatorFails) {
    CURL url;
    EXPECT_EQ(url.parse_url("10.0.0.5:6678"), 0);
    EXPECT_EQ(url.get_proto(), nullptr);
    EXPECT_EQ(url.get_host(), nullptr);
    EXPECT_STREQ(url.get_name(), "10.0.0.5:6678");
    EXPECT_EQ(url.parse_url(nullptr), 0);
    EXPECT_EQ(url.get_name(), nullptr);
}

TEST(URLParse, PortKeepsItsValueWhenNoneIsGiven) {
    CURL url;
    ASSERT_EQ(url.parse_url("tcp://a:6678"), 1);
    ASSERT_EQ(url.parse_url("http://b"), 1);
    EXPECT_STREQ(url.get_host(), "b");
    EXPECT_EQ(url.get_port(), 6678);
}

TEST(URLParse, PathAndQueryPieces) {
    CURL url;
    ASSERT_EQ(url.parse_url("http://www.example.org:8080/cgi-bin/find?who=bob&when=today"), 1);
    EXPECT_STREQ(url.get_proto(), "http");
    EXPECT_STREQ(url.get_host(), "www.example.org");
    EXPECT_EQ(url.get_port(), 8080);
    EXPECT_STREQ(url.get_cgi(), "/cgi-bin/find");
    EXPECT_STREQ(url.get_webpage(), "who=bob&when=today");
    EXPECT_EQ(query_pieces(url), (std::vector<std::string>{"who=bob", "when=today"}));
    EXPECT_EQ(url.get_element(0)->get_btype(), 0);
}

TEST(URLParse, PathWithoutQueryIsTheWebPage) {
    CURL url;
    ASSERT_EQ(url.parse_url("http://host/dir/page.rdf"), 1);
    EXPECT_STREQ(url.get_cgi(), "/dir/page.rdf");
    EXPECT_STREQ(url.get_webpage(), "dir/page.rdf");
    EXPECT_EQ(url.get_nr_elements(), 0);
}

TEST(URLParse, TrailingSlashGivesTheRootPath) {
    CURL url;
    ASSERT_EQ(url.parse_url("http://host/"), 1);
    EXPECT_STREQ(url.get_cgi(), "/");
    EXPECT_STREQ(url.get_webpage(), "");
}

TEST(URLParse, QueryRightAfterTheHost) {
    CURL url;
    ASSERT_EQ(url.parse_url("http://host:81?a=1&b=2"), 1);
    EXPECT_STREQ(url.get_host(), "host");
    EXPECT_EQ(url.get_port(), 81);
    EXPECT_EQ(url.get_cgi(), nullptr);
    EXPECT_STREQ(url.get_webpage(), "a=1&b=2");
    EXPECT_EQ(query_pieces(url), (std::vector<std::string>{"a=1", "b=2"}));
}

TEST(URLParse, EmptyQueryPiecesFollowTheSplittingRules) {
    CURL url;
    ASSERT_EQ(url.parse_url("http://h/p?a&&b&"), 1);
    EXPECT_EQ(query_pieces(url), (std::vector<std::string>{"a", "", "b"}));
}

TEST(URLParse, ReparsingClearsTheOldParts) {
    CURL url;
    ASSERT_EQ(url.parse_url("http:s://host/p?x=1&y=2"), 1);
    EXPECT_STREQ(url.get_subproto(), "s");
    ASSERT_EQ(url.parse_url("tcp://other:1"), 1);
    EXPECT_EQ(url.get_nr_elements(), 0);
    EXPECT_EQ(url.get_subproto(), nullptr);
    EXPECT_EQ(url.get_cgi(), nullptr);
    EXPECT_EQ(url.get_webpage(), nullptr);
    EXPECT_STREQ(url.get_host(), "other");
}

TEST(URLParse, NoHostFails) {
    CURL url;
    EXPECT_EQ(url.parse_url("http:///path"), 0);
    EXPECT_EQ(url.get_host(), nullptr);
    EXPECT_STREQ(url.get_cgi(), "/path");
    EXPECT_EQ(url.parse_url("tcp://"), 0);
    EXPECT_EQ(url.parse_url("tcp://:6678"), 0);
    EXPECT_EQ(url.get_port(), 6678);
}

TEST(URLParse, OwnNameCanBeParsedAgain) {
    CURL url("tcp://10.0.0.5:6678");
    EXPECT_EQ(url.parse_url(url.get_name()), 1);
    EXPECT_STREQ(url.get_name(), "tcp://10.0.0.5:6678");
    EXPECT_EQ(url.parse_url(url.get_host()), 0);
    EXPECT_STREQ(url.get_name(), "10.0.0.5");
}

TEST(URLParse, ConstructorParses) {
    CURL url("tcp://127.0.0.1:6677");
    EXPECT_STREQ(url.get_host(), "127.0.0.1");
    EXPECT_EQ(url.get_port(), 6677);
}

TEST(URLProto, SplitsAtTheColon) {
    CURL url;
    url.set_proto("a:b");
    EXPECT_STREQ(url.get_proto(), "a");
    EXPECT_STREQ(url.get_subproto(), "b");
    url.set_proto("tcp");
    EXPECT_STREQ(url.get_proto(), "tcp");
    EXPECT_EQ(url.get_subproto(), nullptr);
    url.set_proto("x:y");
    url.set_proto(url.get_subproto());
    EXPECT_STREQ(url.get_proto(), "y");
    url.set_proto(nullptr);
    EXPECT_EQ(url.get_proto(), nullptr);
}

TEST(URLHost, PortIsReadAsAtoiWould) {
    CURL url;
    url.set_host("h:6678junk");
    EXPECT_STREQ(url.get_host(), "h");
    EXPECT_EQ(url.get_port(), 6678);
    url.set_host("h: 81");
    EXPECT_EQ(url.get_port(), 81);
    url.set_host("h:junk");
    EXPECT_EQ(url.get_port(), 0);
    url.set_host("h:");
    EXPECT_EQ(url.get_port(), 0);
}

TEST(URLHost, PortsNoSocketCanUseGiveZero) {
    CURL url;
    url.set_host("h:65535");
    EXPECT_EQ(url.get_port(), 65535);
    url.set_host("h:65536");
    EXPECT_EQ(url.get_port(), 0);
    url.set_host("h:-1");
    EXPECT_EQ(url.get_port(), 0);
    url.set_host("h:99999999999999999999999999");
    EXPECT_EQ(url.get_port(), 0);
}

TEST(URLHost, WithoutColonKeepsThePort) {
    CURL url;
    url.set_port(6677);
    url.set_host("h");
    EXPECT_STREQ(url.get_host(), "h");
    EXPECT_EQ(url.get_port(), 6677);
    url.set_host(url.get_host());
    EXPECT_STREQ(url.get_host(), "h");
    url.set_host(nullptr);
    EXPECT_EQ(url.get_host(), nullptr);
}

TEST(URLParts, CgiGetsALeadingSlash) {
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
