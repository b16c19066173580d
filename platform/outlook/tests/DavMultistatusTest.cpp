#include <outlook/DavMultistatus.h>

#include <gtest/gtest.h>

namespace {

using outlook::CDavMultistatus;

TEST(DavMultistatusTest, PropertiesOfFoundPropstatsByNamespaceAndName)
{
    const std::string text =
        "<?xml version=\"1.0\"?><multistatus xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">"
        "<response><href>/ann/calendar/</href>"
        "<propstat><prop><resourcetype><collection/><C:calendar/></resourcetype><getetag>\"7\"</getetag>"
        "<C:calendar-home-set><href>/ann/</href></C:calendar-home-set>"
        "<C:supported-calendar-component-set><C:comp name=\"VEVENT\"/></C:supported-calendar-component-set>"
        "</prop><status>HTTP/1.1 200 OK</status></propstat>"
        "<propstat><prop><displayname/></prop><status>HTTP/1.1 404 Not Found</status></propstat></response>"
        "<response><href>/ann/gone.ics</href><status>HTTP/1.1 404 Not Found</status></response>"
        "<sync-token>http://x/sync/5</sync-token></multistatus>";
    CDavMultistatus answer;
    std::string error;
    ASSERT_TRUE(answer.Parse(text, error)) << error;
    ASSERT_EQ(answer.Responses().size(), 2u);
    const CDavMultistatus::SResponse& calendar = answer.Responses()[0];
    EXPECT_EQ(calendar.href, "/ann/calendar/");
    EXPECT_TRUE(calendar.Is("urn:ietf:params:xml:ns:caldavcalendar"));
    EXPECT_EQ(calendar.Text("DAV:getetag"), "\"7\"");
    EXPECT_EQ(calendar.Find("urn:ietf:params:xml:ns:caldavcalendar-home-set")->hrefs,
              std::vector<std::string>{"/ann/"});
    EXPECT_EQ(calendar.Find("urn:ietf:params:xml:ns:caldavsupported-calendar-component-set")->components,
              std::vector<std::string>{"VEVENT"});
    EXPECT_EQ(calendar.Find("DAV:displayname"), nullptr) << "a property the server did not find";
    EXPECT_EQ(answer.Responses()[1].status, 404);
    EXPECT_EQ(answer.SyncToken(), "http://x/sync/5");
}

TEST(DavMultistatusTest, TextThatIsNoMultistatusIsRefusedWithTheReason)
{
    const struct {
        const char* text;
        const char* said;
    } cases[] = {
        {"", "not well-formed"},
        {"<multistatus xmlns=\"DAV:\"><response>", "not well-formed"},
        {"<html><body>Login</body></html>", "no WebDAV multistatus"},
        {"<multistatus xmlns=\"urn:other\"/>", "no WebDAV multistatus"},
        {"<?xml version=\"1.0\"?><!DOCTYPE m [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;\">]>"
         "<multistatus xmlns=\"DAV:\"><response><href>&b;</href></response></multistatus>",
         "document type"},
        {"<!DOCTYPE m SYSTEM \"file:///etc/passwd\"><multistatus xmlns=\"DAV:\"/>", "document type"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CDavMultistatus answer;
        std::string error;
        EXPECT_FALSE(answer.Parse(c.text, error));
        EXPECT_NE(error.find(c.said), std::string::npos) << error;
    }
}

} // namespace
