#include <graphstore/DocumentBounds.h>
#include <graphstore/RDFDocumentParser.h>
#include <graphstore/RDFMFCGraphStore.h>

#include <graphkit/RDFGraph.h>
#include <platform/PollEventLoop.h>
#include <platform/testing/LoopWait.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace {

std::string Repeat(const std::string& piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

const std::string RdfHead = "<?xml version=\"1.0\"?>\n";
const std::string RdfOpen = "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
                            "xmlns:ex=\"http://example.org/\">";
const std::string RdfClose = "</rdf:RDF>";

std::string Laughs(int levels, int fanOut)
{
    std::string subset = "<!ENTITY l0 \"ha\">";
    for (int i = 1; i <= levels; ++i)
        subset += "<!ENTITY l" + std::to_string(i) + " \"" +
                  Repeat("&l" + std::to_string(i - 1) + ";", fanOut) + "\">";
    return RdfHead + "<!DOCTYPE rdf:RDF [" + subset + "]>" + RdfOpen +
           "<rdf:Description rdf:about=\"http://example.org/a\"><ex:p>&l" + std::to_string(levels) +
           ";</ex:p></rdf:Description>" + RdfClose;
}

std::string NestedXml(int levels)
{
    return RdfHead + RdfOpen + "<rdf:Description rdf:about=\"http://example.org/a\">" +
           Repeat("<ex:p rdf:parseType=\"Resource\">", levels) + "<ex:q>x</ex:q>" +
           Repeat("</ex:p>", levels) + "</rdf:Description>" + RdfClose;
}

std::string NestedTurtle(int levels)
{
    return "@prefix ex: <http://example.org/> .\nex:a ex:p " + Repeat("[ ex:p ", levels) + "\"x\"" +
           Repeat(" ]", levels) + " .\n";
}

std::string NestedFeed(int levels)
{
    return "BEGIN:VCALENDAR\r\n" + Repeat("BEGIN:VEVENT\r\n", levels) + "UID:a\r\n" +
           Repeat("END:VEVENT\r\n", levels) + "END:VCALENDAR\r\n";
}

// Each document, read through the store as a fetched one would be: what
// passes the bounds reaches the parser, what does not is refused unread.
TEST(DocumentBounds, DocumentsPastTheBoundsAreRefusedBeforeTheParser)
{
    struct Case {
        const char* what;
        std::string text;
        bool refused;
        const char* reason;
    } const cases[] = {
        {"a billion laughs", Laughs(9, 10), true, "entities expand"},
        {"entities within bounds", Laughs(2, 3), false, ""},
        {"a loop of entities",
         RdfHead + "<!DOCTYPE r [<!ENTITY a \"&b;\"><!ENTITY b \"&a;\">]>" + RdfOpen +
             "<rdf:Description rdf:about=\"http://example.org/a\"><ex:p>&a;</ex:p>"
             "</rdf:Description>" +
             RdfClose,
         true, "entities expand"},
        {"laughs behind a commented-out declaration and a quoted ]>",
         RdfHead + "<!-- <!DOCTYPE x> --><!DOCTYPE rdf:RDF [<!ENTITY q \"]>\">" +
             Laughs(9, 10).substr(Laughs(9, 10).find("<!ENTITY l0")),
         true, "entities expand"},
        {"parameter entities", RdfHead + "<!DOCTYPE r [<!ENTITY % p \"x\">]>" + RdfOpen + RdfClose, true,
         "parameter entities"},
        {"XML nested 100,000 deep", NestedXml(100000), true, "deeper than"},
        {"XML nested 100 deep", NestedXml(100), false, ""},
        {"Turtle nested 100,000 deep", NestedTurtle(100000), true, "deeper than"},
        {"Turtle nested 100 deep", NestedTurtle(100), false, ""},
        {"a feed nested 10,000 deep", NestedFeed(10000), true, "deeper than"},
    };
    for (const Case& c : cases) {
        CRDFMFCGraphStore store;
        const bool loaded = store.LoadGraphFromText("http://example.org/doc", c.text) != nullptr;
        if (c.refused) {
            EXPECT_FALSE(loaded) << c.what;
            EXPECT_NE(store.GetErrorMsg().find(c.reason), std::string::npos)
                << c.what << ": " << store.GetErrorMsg();
        } else {
            EXPECT_TRUE(loaded) << c.what << ": " << store.GetErrorMsg();
        }
    }
}

TEST(DocumentBounds, BytesThatAreNotUtf8BecomeReplacementCharacters)
{
    const std::string fffd = "\xEF\xBF\xBD";
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain", "plain"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"a\xFF"
         "b",
         "a" + fffd + "b"},
        {"\xC0\xAF", fffd + fffd},            // overlong
        {"\xED\xA0\x80", fffd + fffd + fffd}, // surrogate
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
        {"cut \xE2\x82", "cut " + fffd + fffd},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CDocumentBounds::ValidUtf8(c.in), c.out);
}

} // namespace

// SIGTERM while a large document is read: the parse stops between chunks
// instead of holding the agent until it ends; once the loop has told its
// callback, documents read again.
TEST(DocumentBounds, ASignalToEndStopsALongParse)
{
    CPollEventLoop loop;
    int told = 0;
    ASSERT_TRUE(loop.HandleSignals({SIGUSR1}, [&told](int) { ++told; }));
    std::string triples;
    for (int i = 0; i < 20000; ++i)
        triples += "<http://example.org/e" + std::to_string(i) + "> <http://example.org/p> \"some text\" .\n";
    ASSERT_GT(triples.size(), 1u << 20);
    std::raise(SIGUSR1);
    CRDFGraph graph;
    std::string kept;
    std::string error;
    EXPECT_FALSE(CRDFDocumentParser::Parse(triples, "application/n-triples", "", graph, kept, error));
    EXPECT_EQ(error, "Reading stopped: the agent is ending.");
    ASSERT_TRUE(loopwait::RunUntil(loop, [&told] { return told == 1; }));
    CRDFGraph again;
    EXPECT_TRUE(CRDFDocumentParser::Parse(triples, "application/n-triples", "", again, kept, error)) << error;
    loop.StopHandlingSignals();
}
