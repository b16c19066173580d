#include <lexikit/Parser.h>

#include <basekit/LList.h>
#include <basekit/Utils.h>
#include <lexikit/KQMLText.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// What a caller gets after CUtils trimming, which works on its own copy.
std::string strip_parens(const char* value)
{
    if (value == nullptr)
        return "<null>";
    std::vector<char> copy(value, value + std::strlen(value) + 1);
    return CUtils::remove_parenthesis(copy.data());
}

std::string strip_quotes(const char* value)
{
    if (value == nullptr)
        return "<null>";
    std::vector<char> copy(value, value + std::strlen(value) + 1);
    return CUtils::remove_quotes(copy.data());
}

std::string text(const char* value)
{
    return value == nullptr ? "<null>" : value;
}

// A message as the communicator sends it: head, one content piece, " ))".
std::string wrap(CParser& composer, const char* content)
{
    const char* head =
        composer.compose_message("tell", "bob_example.com-CalendarAgent", "alice_example.com-CalendarAgent",
                                 "default-language", "default-ontology", nullptr, nullptr, nullptr, 0);
    return std::string(head) + " " + content + " ))";
}

const char* const CONTRACT = "tell :type contract :negID 0930150123 :contractID 0930150456"
                             " :expires (12/7/2026 9:49:22 AM)"
                             " :attributes (tell :subject (Budget review) :body (Quarterly numbers)"
                             " :location (Room 4) :attendees (alice_example.com-CalendarAgent,"
                             "bob_example.com-CalendarAgent))"
                             " :constraints (tell :start (12/8/2026 10:00:00 AM) :end (12/8/2026 4:00:00 PM)"
                             " :duration (60))";

const char* const ALT_BID =
    "tell :type bid :negID 0930150123 :contractID 0930150456 :bidID 0931029876"
    " :status alt :alternates (tell :t1 (12/8/2026 10:30:00 AM) :t2 (12/8/2026 1:00:00 PM))"
    " :duration 60"
    " :attributes (tell :subject (Budget review) :body (Quarterly numbers)"
    " :location (Room 4) :attendees (alice_example.com-CalendarAgent,"
    "bob_example.com-CalendarAgent))"
    " :constraints (tell :start (12/8/2026 10:00:00 AM) :end (12/8/2026 4:00:00 PM)"
    " :duration (60))";

void expect_all_null(CParser& parser)
{
    EXPECT_EQ(parser.get_parser_type(), 0);
    EXPECT_EQ(parser.find_performative(), nullptr);
    EXPECT_EQ(parser.find_sender(), nullptr);
    EXPECT_EQ(parser.find_receiver(), nullptr);
    EXPECT_EQ(parser.find_ontology(), nullptr);
    EXPECT_EQ(parser.find_language(), nullptr);
    EXPECT_EQ(parser.find_reply_with(), nullptr);
    EXPECT_EQ(parser.find_in_reply_to(), nullptr);
    EXPECT_EQ(parser.find_forward(), nullptr);
    EXPECT_EQ(parser.find_content(), nullptr);
    EXPECT_EQ(parser.find_contents(), nullptr);
    EXPECT_EQ(parser.find_token("sender"), nullptr);
    EXPECT_EQ(parser.listall_getfirst_token(), nullptr);
    EXPECT_EQ(parser.listall_getnext_token(), nullptr);
    EXPECT_EQ(parser.listall_getfirst_contents(), nullptr);
    EXPECT_EQ(parser.get_tokens(), nullptr);
    EXPECT_EQ(parser.get_http_method(), nullptr);
    EXPECT_EQ(parser.get_header_count(), 0);
    EXPECT_EQ(parser.get_xml_root(), nullptr);
}

} // namespace

TEST(ParserShutdownExample, ReadsOuterAndInnerMessage)
{
    CParser outer;
    ASSERT_EQ(
        outer.parse_message("(tell :sender A :receiver B :content (tell :type command :action shutdown))"),
        1);
    EXPECT_EQ(outer.get_parser_type(), 1);
    EXPECT_STREQ(outer.find_performative(), "tell");
    EXPECT_STREQ(outer.find_sender(), "A");
    EXPECT_STREQ(outer.find_receiver(), "B");
    EXPECT_STREQ(outer.find_content(), "(tell :type command :action shutdown)");
    EXPECT_STREQ(outer.find_contents(), "(tell :type command :action shutdown)");
    EXPECT_EQ(outer.find_ontology(), nullptr);

    CParser inner;
    ASSERT_EQ(inner.parse_message(outer.find_content()), 1);
    EXPECT_STREQ(inner.find_token("type"), "command");
    EXPECT_STREQ(inner.find_token("action"), "shutdown");
}

TEST(ParserShutdownExample, NotAnExpressionGivesZeroAndNulls)
{
    CParser parser;
    EXPECT_EQ(parser.parse_message("shutdown now"), 0);
    expect_all_null(parser);
}

TEST(ParserDms, ContractReadsEveryKey)
{
    CParser composer;
    const std::string message = wrap(composer, CONTRACT);
    CParser parser;
    ASSERT_EQ(parser.parse_message(message.c_str()), 1);
    EXPECT_STREQ(parser.find_sender(), "alice_example.com-CalendarAgent");
    EXPECT_STREQ(parser.find_receiver(), "bob_example.com-CalendarAgent");

    CParser content;
    ASSERT_EQ(content.parse_message(parser.find_content()), 1);
    EXPECT_STREQ(content.find_performative(), "tell");
    EXPECT_STREQ(content.find_token("type"), "contract");
    EXPECT_STREQ(content.find_token("negID"), "0930150123");
    EXPECT_STREQ(content.find_token("contractID"), "0930150456");
    EXPECT_EQ(strip_parens(content.find_token("expires")), "12/7/2026 9:49:22 AM");

    CParser attributes;
    ASSERT_EQ(attributes.parse_message(content.find_token("attributes")), 1);
    EXPECT_EQ(strip_parens(attributes.find_token("subject")), "Budget review");
    EXPECT_EQ(strip_parens(attributes.find_token("body")), "Quarterly numbers");
    EXPECT_EQ(strip_parens(attributes.find_token("location")), "Room 4");
    EXPECT_EQ(strip_parens(attributes.find_token("attendees")),
              "alice_example.com-CalendarAgent,bob_example.com-CalendarAgent");
    EXPECT_EQ(attributes.find_token("optAttendees"), nullptr);

    CParser constraints;
    ASSERT_EQ(constraints.parse_message(content.find_token("constraints")), 1);
    EXPECT_EQ(strip_parens(constraints.find_token("start")), "12/8/2026 10:00:00 AM");
    EXPECT_EQ(strip_parens(constraints.find_token("end")), "12/8/2026 4:00:00 PM");
    EXPECT_EQ(strip_parens(constraints.find_token("duration")), "60");
}

TEST(ParserDms, AlternativesBidReadsEveryKey)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message((std::string("(") + ALT_BID + ")").c_str()), 1);
    EXPECT_STREQ(parser.find_token("type"), "bid");
    EXPECT_STREQ(parser.find_token("negID"), "0930150123");
    EXPECT_STREQ(parser.find_token("contractID"), "0930150456");
    EXPECT_STREQ(parser.find_token("bidID"), "0931029876");
    EXPECT_STREQ(parser.find_token("status"), "alt");
    EXPECT_STREQ(parser.find_token("duration"), "60");
    EXPECT_STREQ(parser.find_token("attributes"),
                 "(tell :subject (Budget review) :body (Quarterly numbers) :location (Room 4)"
                 " :attendees (alice_example.com-CalendarAgent,bob_example.com-CalendarAgent))");
    EXPECT_STREQ(parser.find_token("constraints"),
                 "(tell :start (12/8/2026 10:00:00 AM) :end (12/8/2026 4:00:00 PM)"
                 " :duration (60))");

    CParser alternates;
    ASSERT_EQ(alternates.parse_message(parser.find_token("alternates")), 1);
    EXPECT_STREQ(alternates.listall_getfirst_token(), "tell");
    EXPECT_STREQ(alternates.listall_getnext_token(), ":t1");
    EXPECT_STREQ(alternates.listall_getnext_token(), ":t2");
    EXPECT_EQ(alternates.listall_getnext_token(), nullptr);
    EXPECT_EQ(strip_parens(alternates.find_token("t1")), "12/8/2026 10:30:00 AM");
    EXPECT_EQ(strip_parens(alternates.find_token("t2")), "12/8/2026 1:00:00 PM");
}

TEST(ParserDms, EchoedValuesAreByteExact)
{
    // A bid echoes the contract's attributes and constraints as the parser
    // returned them, so they must come back exactly as written.
    CParser contract;
    ASSERT_EQ(contract.parse_message((std::string("(") + CONTRACT + ")").c_str()), 1);
    const std::string bid = std::string("(tell :type bid :negID 1 :contractID 2 :bidID 3") +
                            " :status accept :duration 60 :attributes " + contract.find_token("attributes") +
                            " :constraints " + contract.find_token("constraints") + ")";
    CParser parser;
    ASSERT_EQ(parser.parse_message(bid.c_str()), 1);
    EXPECT_STREQ(parser.find_token("attributes"), contract.find_token("attributes"));
    EXPECT_STREQ(parser.find_token("constraints"), contract.find_token("constraints"));
    EXPECT_STREQ(parser.find_token("status"), "accept");
}

TEST(ParserDms, EmptyTimeSlotListAndBlankValues)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell)"), 1);
    EXPECT_STREQ(parser.find_performative(), "tell");
    EXPECT_EQ(parser.listall_getnext_token(), nullptr);

    ASSERT_EQ(parser.parse_message("(tell :subject ( ) :body ( ))"), 1);
    EXPECT_EQ(strip_parens(parser.find_token("subject")), " ");
}

TEST(ParserStrings, ParenthesesAndColonsInsideStringsArePlainText)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :objective browseScheduleURL :url \"http://h:80/a(b).rdf\""
                                   " :note \"(:not a keyword)\")"),
              1);
    EXPECT_STREQ(parser.find_token("url"), "\"http://h:80/a(b).rdf\"");
    EXPECT_EQ(strip_quotes(parser.find_token("url")), "http://h:80/a(b).rdf");
    EXPECT_STREQ(parser.find_token("note"), "\"(:not a keyword)\"");
    EXPECT_EQ(parser.find_token("not"), nullptr);
}

TEST(ParserStrings, EscapedQuotesAndBackslashes)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :say \"he said \\\"hi)\\\"\" :path \"C:\\\\dir\\\\\")"), 1);
    EXPECT_STREQ(parser.find_token("say"), "\"he said \\\"hi)\\\"\"");
    EXPECT_EQ(CKQMLText::unquote(parser.find_token("say")), "he said \"hi)\"");
    EXPECT_EQ(CKQMLText::unquote(parser.find_token("path")), "C:\\dir\\");
}

TEST(ParserStrings, StringsInsideListValues)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :content (tell :url \"a)b\" :x (\"(\")))"), 1);
    EXPECT_STREQ(parser.find_content(), "(tell :url \"a)b\" :x (\"(\"))");
    CParser inner;
    ASSERT_EQ(inner.parse_message(parser.find_content()), 1);
    EXPECT_STREQ(inner.find_token("url"), "\"a)b\"");
    EXPECT_STREQ(inner.find_token("x"), "(\"(\")");
}

TEST(ParserStrings, QuoteInsideAWordIsPlainText)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :subject (12\" pizza) :size 12\")"), 1);
    EXPECT_STREQ(parser.find_token("subject"), "(12\" pizza)");
    EXPECT_STREQ(parser.find_token("size"), "12\"");
}

TEST(ParserWhitespace, TabsNewlinesAndCrLf)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("\r\n\t(tell\t:sender\r\nA\n:receiver  B :content\t(tell\r\n"
                                   ":type\tcommand))\r\n  "),
              1);
    EXPECT_STREQ(parser.find_performative(), "tell");
    EXPECT_STREQ(parser.find_sender(), "A");
    EXPECT_STREQ(parser.find_receiver(), "B");
    EXPECT_STREQ(parser.find_content(), "(tell\r\n:type\tcommand)");
    CParser inner;
    ASSERT_EQ(inner.parse_message(parser.find_content()), 1);
    EXPECT_STREQ(inner.find_token("type"), "command");
}

TEST(ParserWhitespace, NoBlankNeededAroundParentheses)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :a(x y):b c)"), 1);
    EXPECT_STREQ(parser.find_token("a"), "(x y)");
    EXPECT_STREQ(parser.find_token("b"), "c");
}

TEST(ParserKeys, MatchIsExactAndFirstWins)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :Type upper :type lower :type again :typeX y)"), 1);
    EXPECT_STREQ(parser.find_token("type"), "lower");
    EXPECT_STREQ(parser.find_token("Type"), "upper");
    EXPECT_EQ(parser.find_token("typ"), nullptr);
    EXPECT_EQ(parser.find_token(":type"), nullptr);
    EXPECT_EQ(parser.find_token("tell"), nullptr);
    EXPECT_EQ(parser.find_token(nullptr), nullptr);
}

TEST(ParserKeys, NestedKeysAreNotTopLevel)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :content (tell :sender inner) :receiver B)"), 1);
    EXPECT_EQ(parser.find_sender(), nullptr);
    EXPECT_STREQ(parser.find_receiver(), "B");
}

TEST(ParserKeys, AllStandardParameters)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(ask-one :sender S :receiver R :ontology O :language L"
                                   " :reply-with W :in-reply-to I :forward F :content (c))"),
              1);
    EXPECT_STREQ(parser.find_performative(), "ask-one");
    EXPECT_STREQ(parser.find_sender(), "S");
    EXPECT_STREQ(parser.find_receiver(), "R");
    EXPECT_STREQ(parser.find_ontology(), "O");
    EXPECT_STREQ(parser.find_language(), "L");
    EXPECT_STREQ(parser.find_reply_with(), "W");
    EXPECT_STREQ(parser.find_in_reply_to(), "I");
    EXPECT_STREQ(parser.find_forward(), "F");
    EXPECT_STREQ(parser.find_content(), "(c)");
}

TEST(ParserListall, TokensAndContentsWalkTogether)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :sender A :receiver B :content (tell :type bid))"), 1);
    const std::vector<std::string> tokens = {"tell", ":sender", ":receiver", ":content"};
    const std::vector<std::string> values = {"__PERFORMATIVE__", "A", "B", "(tell :type bid)"};
    std::size_t i = 0;
    const char* token = parser.listall_getfirst_token();
    const char* value = parser.listall_getfirst_contents();
    for (; token != nullptr; ++i) {
        ASSERT_LT(i, tokens.size());
        EXPECT_EQ(token, tokens[i]);
        EXPECT_EQ(text(value), values[i]);
        token = parser.listall_getnext_token();
        value = parser.listall_getnext_contents();
    }
    EXPECT_EQ(i, tokens.size());
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(parser.listall_getnext_token(), nullptr);
    EXPECT_STREQ(parser.listall_getfirst_token(), "tell");
}

TEST(ParserListall, WalkOfTokensFeedsFindToken)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :a 1 :b (2) :c \"3\")"), 1);
    std::vector<std::string> found;
    for (const char* t = parser.listall_getfirst_token(); t != nullptr; t = parser.listall_getnext_token()) {
        if (t[0] == ':')
            found.push_back(text(parser.find_token(t + 1)));
    }
    EXPECT_EQ(found, (std::vector<std::string>{"1", "(2)", "\"3\""}));
}

TEST(ParserTokens, ListOfNamedElements)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :sender A :content (x))"), 1);
    CLList* tokens = parser.get_tokens();
    ASSERT_NE(tokens, nullptr);
    ASSERT_EQ(tokens->get_nr_elements(), 3);
    EXPECT_STREQ(tokens->get_element(0)->get_name(), "tell");
    EXPECT_STREQ(tokens->get_element(1)->get_name(), ":sender");
    EXPECT_STREQ(tokens->get_element(2)->get_name(), ":content");
    EXPECT_STREQ(static_cast<char*>(tokens->get_element(1)->get_content()), "A");
    CListElement* content = tokens->find_element(":content");
    ASSERT_NE(content, nullptr);
    EXPECT_STREQ(static_cast<char*>(content->get_content()), "(x)");
}

TEST(ParserCompose, HeadIsOpenInsideContent)
{
    CParser parser;
    const char* head =
        parser.compose_message("tell", "B", "A", nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    EXPECT_STREQ(head, "(tell :receiver B :sender A :content (");
    EXPECT_EQ(parser.parse_message(head), 0);
}

TEST(ParserCompose, PlainAtomsStayUnquoted)
{
    CParser parser;
    const char* head = parser.compose_message(
        "tell", "bob_example.com-CalendarAgent", "alice_example.com-CalendarAgent", "default-ontology",
        "default-language", "Win32M{0123ABCD-4567-89EF-0123-456789ABCDEF}", "Win32M1733500000", "a\\b", 0);
    EXPECT_STREQ(head, "(tell :receiver bob_example.com-CalendarAgent"
                       " :sender alice_example.com-CalendarAgent :ontology default-ontology"
                       " :language default-language"
                       " :reply-with Win32M{0123ABCD-4567-89EF-0123-456789ABCDEF}"
                       " :in-reply-to Win32M1733500000 :forward a\\b :content (");
}

TEST(ParserCompose, RoundTripWithHostileValues)
{
    const std::vector<std::string> hostile = {
        "Bob Smith",   " ",   "",   "say \"hi\"",     "(unbalanced", "closing)",
        ":sender",     "\"",  "\\", "C:\\dir name\\", "tab\there",   "line\r\nbreak",
        "(tell :x y)", "a\"b"};
    for (const std::string& value : hostile) {
        CParser composer;
        const char* head =
            composer.compose_message("tell", value.c_str(), value.c_str(), value.c_str(), value.c_str(),
                                     value.c_str(), value.c_str(), value.c_str(), 0);
        ASSERT_NE(head, nullptr) << value;
        const std::string message = std::string(head) + " tell :type command" + " ))";
        CParser parser;
        ASSERT_EQ(parser.parse_message(message.c_str()), 1) << message;
        const std::string quoted = CKQMLText::quote(value.c_str());
        EXPECT_EQ(text(parser.find_receiver()), quoted);
        EXPECT_EQ(text(parser.find_sender()), quoted);
        EXPECT_EQ(text(parser.find_ontology()), quoted);
        EXPECT_EQ(text(parser.find_language()), quoted);
        EXPECT_EQ(text(parser.find_reply_with()), quoted);
        EXPECT_EQ(text(parser.find_in_reply_to()), quoted);
        EXPECT_EQ(text(parser.find_forward()), quoted);
        EXPECT_EQ(CKQMLText::unquote(parser.find_sender()), value);
        EXPECT_STREQ(parser.find_content(), "( tell :type command )");
    }
}

TEST(ParserCompose, ContentPiecesAsTheCommunicatorAppendsThem)
{
    CParser composer;
    const char* head = composer.compose_message("tell", "B", "A", "default-ontology", "default-language",
                                                nullptr, " ", nullptr, 0);
    const std::string message =
        std::string(head) + " " + "tell :type command :action ping" + " " + "tell" + " ))";
    CParser parser;
    ASSERT_EQ(parser.parse_message(message.c_str()), 1);
    EXPECT_STREQ(parser.find_in_reply_to(), "\" \"");
    EXPECT_EQ(strip_quotes(parser.find_in_reply_to()), " ");
    EXPECT_STREQ(parser.find_content(), "( tell :type command :action ping tell )");

    const std::string empty = std::string(head) + " ))";
    ASSERT_EQ(parser.parse_message(empty.c_str()), 1);
    EXPECT_STREQ(parser.find_content(), "( )");
}

TEST(ParserCompose, RefusesWhatCannotTravel)
{
    CParser parser;
    EXPECT_EQ(parser.compose_message(nullptr, "B", "A", nullptr, nullptr, nullptr, nullptr, nullptr, 0),
              nullptr);
    EXPECT_EQ(parser.compose_message("two words", "B", "A", nullptr, nullptr, nullptr, nullptr, nullptr, 0),
              nullptr);
    EXPECT_EQ(parser.compose_message(":tell", "B", "A", nullptr, nullptr, nullptr, nullptr, nullptr, 0),
              nullptr);
    EXPECT_EQ(parser.compose_message("tell", "B\x04", "A", nullptr, nullptr, nullptr, nullptr, nullptr, 0),
              nullptr);
    EXPECT_EQ(parser.compose_message("tell", "B", "A", nullptr, nullptr, nullptr, nullptr, "fw\x04", 0),
              nullptr);
}

TEST(ParserCompose, ValuesFromTheParserItselfAndSurvivingParse)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :sender \"A B\" :receiver C :content (x))"), 1);
    const char* head = parser.compose_message("reply", parser.find_sender(), parser.find_receiver(), nullptr,
                                              nullptr, nullptr, nullptr, nullptr, 0);
    ASSERT_NE(head, nullptr);
    const std::string expected = "(reply :receiver \"\\\"A B\\\"\" :sender C :content (";
    EXPECT_EQ(head, expected);
    const std::string message = std::string(head) + " ))";
    ASSERT_EQ(parser.parse_message(message.c_str()), 1);
    EXPECT_EQ(head, expected);
    EXPECT_EQ(CKQMLText::unquote(parser.find_receiver()), "\"A B\"");
}

TEST(ParserHttp, RequestLineHeadersAndBody)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("POST /agents/list?x=1 HTTP/1.0\r\n"
                                   "Host: 127.0.0.1:6678\r\n"
                                   "content-length: 5\r\n"
                                   "X-Empty:\r\n"
                                   "\r\n"
                                   "helloEXTRA"),
              1);
    EXPECT_EQ(parser.get_parser_type(), 3);
    EXPECT_STREQ(parser.get_http_method(), "POST");
    EXPECT_STREQ(parser.get_http_target(), "/agents/list?x=1");
    EXPECT_STREQ(parser.get_http_version(), "HTTP/1.0");
    EXPECT_EQ(parser.get_http_status(), nullptr);
    EXPECT_EQ(parser.get_http_status_code(), 0);
    EXPECT_STREQ(parser.find_token("Content-Length"), "5");
    EXPECT_STREQ(parser.find_token("HOST"), "127.0.0.1:6678");
    EXPECT_STREQ(parser.find_token("x-empty"), "");
    EXPECT_EQ(parser.find_token("Missing"), nullptr);
    EXPECT_STREQ(parser.get_http_body(), "hello");
    EXPECT_EQ(parser.get_header_count(), 3);
    EXPECT_STREQ(parser.get_header_name(1), "content-length");
    EXPECT_STREQ(parser.get_header_value(0), "127.0.0.1:6678");
    EXPECT_EQ(parser.get_header_name(3), nullptr);
    EXPECT_EQ(parser.get_header_name(-1), nullptr);
    EXPECT_EQ(parser.find_performative(), nullptr);
    EXPECT_EQ(parser.find_sender(), nullptr);
}

TEST(ParserHttp, StatusLineAndBareLineFeeds)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("HTTP/1.1 404 Not Found\nServer: x\n\nbody text"), 1);
    EXPECT_STREQ(parser.get_http_version(), "HTTP/1.1");
    EXPECT_STREQ(parser.get_http_status(), "404");
    EXPECT_EQ(parser.get_http_status_code(), 404);
    EXPECT_STREQ(parser.get_http_reason(), "Not Found");
    EXPECT_EQ(parser.get_http_method(), nullptr);
    EXPECT_STREQ(parser.find_token("server"), "x");
    EXPECT_STREQ(parser.get_http_body(), "body text");
}

TEST(ParserHttp, SsdpDatagrams)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("M-SEARCH * HTTP/1.1\r\nS: agent-x\r\n"
                                   "Host: 239.255.255.250:1900\r\nMan: ssdp:discover\r\n"
                                   "ST: orvante:Agent\r\nMX: ???\r\n\r\n"),
              1);
    EXPECT_STREQ(parser.get_http_method(), "M-SEARCH");
    EXPECT_STREQ(parser.get_http_target(), "*");
    EXPECT_STREQ(parser.find_token("st"), "orvante:Agent");
    EXPECT_STREQ(parser.find_token("MX"), "???");
    EXPECT_STREQ(parser.get_http_body(), "");

    ASSERT_EQ(parser.parse_message("NOTIFY * HTTP/1.1\r\nHost: 239.255.255.250:1900\r\n"
                                   "NT: orvante:Agent\r\nNTS: ssdp:alive\r\nUSN: bob\r\n"
                                   "AL: <127.0.0.1:6678>\r\nCache-Control: no-cache\r\n\r\n"),
              1);
    EXPECT_STREQ(parser.get_http_method(), "NOTIFY");
    EXPECT_STREQ(parser.find_token("al"), "<127.0.0.1:6678>");
    EXPECT_STREQ(parser.find_token("cache-control"), "no-cache");

    ASSERT_EQ(parser.parse_message("HTTP/1.1 200 OK\r\nS: agent-x\r\nExt: ???\r\n"
                                   "USN: bob\r\nNT: orvante:Agent\r\nAL: <127.0.0.1:6678>\r\n\r\n"),
              1);
    EXPECT_EQ(parser.get_http_status_code(), 200);
    EXPECT_STREQ(parser.find_token("USN"), "bob");
}

TEST(ParserHttp, FoldedHeaderAndSurroundingBlanks)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("GET / HTTP/1.1\r\nX-Long:  first \t\r\n   second\r\n"
                                   "\tthird\r\n\r\n"),
              1);
    EXPECT_STREQ(parser.find_token("x-long"), "first second third");
}

TEST(ParserHttp, IncompleteOrMalformedGivesZero)
{
    CParser parser;
    EXPECT_EQ(parser.parse_message("GET /x HTTP/1.0"), 0);
    EXPECT_EQ(parser.parse_message("GET /x HTTP/1.0\r\nHost: a\r\n"), 0);
    EXPECT_EQ(parser.parse_message("GET /x HTTP/1.0\r\nContent-Length: 10\r\n\r\nshort"), 0);
    EXPECT_EQ(parser.parse_message("GET /x HTTP/1.0\r\nContent-Length: -1\r\n\r\n"), 0);
    EXPECT_EQ(parser.parse_message("GET /x HTTP/1.0\r\nContent-Length: 99999999999999999999"
                                   "\r\n\r\n"),
              0);
    EXPECT_EQ(parser.parse_message("GET /x HTTP/1.0\r\nContent-Length: 1\r\n"
                                   "Content-Length: 2\r\n\r\nab"),
              0);
    EXPECT_EQ(parser.parse_message("GET /x HTTP/1.0\r\nno colon here\r\n\r\n"), 0);
    EXPECT_EQ(parser.parse_message("GET /x HTTP/1.0\r\n folded first\r\n\r\n"), 0);
    EXPECT_EQ(parser.parse_message("GET /x HTTP/1.0\r\nBad Name: v\r\n\r\n"), 0);
    EXPECT_EQ(parser.parse_message("GET /x\rHTTP/1.0\r\n\r\n"), 0);
    EXPECT_EQ(parser.parse_message("GET  /x HTTP/1.0\r\n\r\n"), 0);
    EXPECT_EQ(parser.parse_message("GET /x FTP/1.0\r\n\r\n"), 0);
    EXPECT_EQ(parser.parse_message("HTTP/1.1 20 OK\r\n\r\n"), 0);
    EXPECT_EQ(parser.parse_message("HTTP/1.1 2000\r\n\r\n"), 0);
    EXPECT_EQ(parser.parse_message("HTTP/x.1 200 OK\r\n\r\n"), 0);
    expect_all_null(parser);
}

TEST(ParserXml, RootElementAndAttributes)
{
    CParser parser;
    ASSERT_EQ(
        parser.parse_message("  <?xml version=\"1.0\"?>\n<!-- schedule -->\n"
                             "<!DOCTYPE rdf [ <!ENTITY x \"a>b\"> ]>\n"
                             "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#' a=\"1\">"
                             "<ev:event id=\"e1\"><title>Lunch &amp; talk &#38; &#x26;</title>"
                             "<empty/><![CDATA[ <not a tag> ]]><?pi x?></ev:event></rdf:RDF>\n<!-- end -->"),
        1);
    EXPECT_EQ(parser.get_parser_type(), 2);
    EXPECT_STREQ(parser.get_xml_root(), "rdf:RDF");
    EXPECT_STREQ(parser.find_token("a"), "1");
    EXPECT_STREQ(parser.find_token("xmlns:rdf"), "http://www.w3.org/1999/02/22-rdf-syntax-ns#");
    EXPECT_EQ(parser.find_token("id"), nullptr);
    EXPECT_STREQ(parser.listall_getfirst_token(), "rdf:RDF");
    EXPECT_STREQ(parser.listall_getfirst_contents(), "__PERFORMATIVE__");
    EXPECT_EQ(parser.find_performative(), nullptr);
}

TEST(ParserXml, SelfClosingRoot)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("<ping/>"), 1);
    EXPECT_STREQ(parser.get_xml_root(), "ping");
}

TEST(ParserXml, MalformedDocumentsGiveZero)
{
    const std::vector<std::string> bad = {"<a>",
                                          "<a></b>",
                                          "<a><b></a></b>",
                                          "<a></a><b></b>",
                                          "<a></a>text",
                                          "<a x=1></a>",
                                          "<a x=\"1\"y=\"2\"></a>",
                                          "<a>&bogus</a>",
                                          "<a>&#;</a>",
                                          "<a><!-- open</a>",
                                          "<a><![CDATA[x</a>",
                                          "<>",
                                          "<1a></1a>",
                                          "<a x=\"<\"></a>",
                                          "<!DOCTYPE a><!DOCTYPE a><a/>",
                                          "<a><!ELEMENT x></a>",
                                          "<?xml ",
                                          "< a></a>"};
    for (const std::string& text_ : bad) {
        CParser parser;
        EXPECT_EQ(parser.parse_message(text_.c_str()), 0) << text_;
        EXPECT_EQ(parser.get_xml_root(), nullptr);
    }
}

TEST(ParserXml, DeepNestingUsesNoCallStack)
{
    const std::size_t depth = 200000;
    std::string doc;
    doc.reserve(depth * 7);
    for (std::size_t i = 0; i < depth; ++i)
        doc += "<a>";
    for (std::size_t i = 0; i < depth; ++i)
        doc += "</a>";
    CParser parser;
    EXPECT_EQ(parser.parse_message(doc.c_str()), 1);
    doc.resize(doc.size() - 4);
    EXPECT_EQ(parser.parse_message(doc.c_str()), 0);
}

TEST(ParserMalformed, EachGivesZeroAndNullAccessors)
{
    const std::vector<std::string> bad = {
        "",
        "   \r\n\t",
        "(tell :sender A",
        "(tell :sender A))",
        "(tell :sender (A)",
        "tell :sender A)",
        "(tell :sender \"unterminated)",
        "(tell :sender \"escaped end\\\")",
        "(tell :sender)",
        "(tell :sender :receiver B)",
        "(tell :sender A stray)",
        "(tell :sender A) trailing",
        "(tell :sender A)(tell :sender B)",
        "()",
        "( )",
        "(:sender A)",
        "((tell) :sender A)",
        "(\"tell\" :sender A)",
        "(tell :content (a (b) c)",
        "(tell :content (\"a)\")",
        ")",
    };
    for (const std::string& message : bad) {
        CParser parser;
        ASSERT_EQ(parser.parse_message("(tell :sender X)"), 1);
        EXPECT_EQ(parser.parse_message(message.c_str()), 0) << message;
        expect_all_null(parser);
        EXPECT_EQ(parser.parsable(message.c_str()), 0) << message;
    }
}

TEST(ParserMalformed, NullText)
{
    CParser parser;
    EXPECT_EQ(parser.parse_message(nullptr), 0);
    EXPECT_EQ(parser.parsable(nullptr), 0);
    expect_all_null(parser);
}

TEST(ParserMalformed, MegabyteOfOpeningParentheses)
{
    const std::string flood(1 << 20, '(');
    CParser parser;
    EXPECT_EQ(parser.parse_message(flood.c_str()), 0);
    expect_all_null(parser);
    EXPECT_EQ(parser.parse_message(("(tell :content " + flood).c_str()), 0);
    EXPECT_EQ(parser.parse_message(std::string(1 << 20, '<').c_str()), 0);
}

TEST(ParserDeepNesting, MillionBalancedParentheses)
{
    const std::size_t depth = 1000000;
    const std::string nested = std::string(depth, '(') + std::string(depth, ')');
    const std::string message = "(tell :sender A :content " + nested + ")";
    CParser parser;
    ASSERT_EQ(parser.parse_message(message.c_str()), 1);
    EXPECT_STREQ(parser.find_sender(), "A");
    const char* content = parser.find_content();
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(std::strlen(content), 2 * depth);
    // A list whose head is a list is no message, however deep.
    EXPECT_EQ(parser.parse_message(nested.c_str()), 0);
}

TEST(ParserReparse, ResetsEverythingFromThePreviousMessage)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :sender A :receiver B :reply-with R :content (x))"), 1);
    ASSERT_EQ(parser.parse_message("(ask :sender C)"), 1);
    EXPECT_STREQ(parser.find_performative(), "ask");
    EXPECT_STREQ(parser.find_sender(), "C");
    EXPECT_EQ(parser.find_receiver(), nullptr);
    EXPECT_EQ(parser.find_reply_with(), nullptr);
    EXPECT_EQ(parser.find_content(), nullptr);
    EXPECT_EQ(parser.get_tokens()->get_nr_elements(), 2);

    ASSERT_EQ(parser.parse_message("GET / HTTP/1.0\r\n\r\n"), 1);
    EXPECT_EQ(parser.get_parser_type(), 3);
    EXPECT_EQ(parser.find_performative(), nullptr);
    EXPECT_EQ(parser.find_token("sender"), nullptr);

    ASSERT_EQ(parser.parse_message("(tell :sender D)"), 1);
    EXPECT_EQ(parser.get_parser_type(), 1);
    EXPECT_EQ(parser.get_http_method(), nullptr);
    EXPECT_EQ(parser.get_header_count(), 0);
}

TEST(ParserReparse, OwnContentCanBeParsedInPlace)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :sender A :content (tell :type command :action ping))"), 1);
    ASSERT_EQ(parser.parse_message(parser.find_content()), 1);
    EXPECT_STREQ(parser.find_token("action"), "ping");
    EXPECT_EQ(parser.find_sender(), nullptr);
}

TEST(ParserReparse, ParsableLeavesTheCurrentMessageAlone)
{
    CParser parser;
    ASSERT_EQ(parser.parse_message("(tell :sender A)"), 1);
    EXPECT_EQ(parser.parsable("(ask :sender B)"), 1);
    EXPECT_EQ(parser.parsable("GET / HTTP/1.0\r\n\r\n"), 1);
    EXPECT_EQ(parser.parsable("<a/>"), 1);
    EXPECT_EQ(parser.parsable("(broken"), 0);
    EXPECT_STREQ(parser.find_sender(), "A");
    EXPECT_EQ(parser.get_parser_type(), 1);
}

// Storage is reused from one message to the next and given back after a huge
// one; neither may leak a field of one message into another.
TEST(ParserReuse, AlternatingHugeAndSmallMessagesKeepTheirOwnFields)
{
    const std::string body(300 * 1024, 'q');
    const std::string huge = "(tell :sender Big :content (" + body + "))";
    const std::string small = "(ask :receiver R :content (x))";
    CParser parser;
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(parser.parse_message(huge.c_str()), 1);
        EXPECT_STREQ(parser.find_sender(), "Big");
        EXPECT_EQ(std::string(parser.find_content()), "(" + body + ")");
        ASSERT_EQ(parser.parse_message(small.c_str()), 1);
        EXPECT_STREQ(parser.find_performative(), "ask");
        EXPECT_EQ(parser.find_sender(), nullptr);
        EXPECT_STREQ(parser.find_content(), "(x)");
        ASSERT_EQ(parser.parse_message("(broken"), 0);
        EXPECT_EQ(parser.find_performative(), nullptr);
    }
}
