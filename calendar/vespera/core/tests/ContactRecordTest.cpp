#include <vespera/core/ContactRecord.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {
CContactRecord Ann()
{
    CContactRecord record("Ann", "Lee", "ann@example.org");
    record.SetHomeTelephone("1");
    record.SetBusinessTelephone("2");
    record.SetMobileTelephone("3");
    record.SetWebPage("http://example.org/ann");
    record.SetCalendarAgentName("ann_example.org-CalendarAgent");
    return record;
}
} // namespace

TEST(ContactRecord, EqualityLooksAtNamesAddressAndTelephonesOnly)
{
    const CContactRecord ann = Ann();
    EXPECT_EQ("ann_example.org-CalendarAgent", ann.GetCalendarAgentName());
    EXPECT_EQ("http://example.org/ann", ann.GetWebPage());
    EXPECT_EQ("1 2 3",
              ann.GetHomeTelephone() + " " + ann.GetBusinessTelephone() + " " + ann.GetMobileTelephone());
    EXPECT_EQ(Ann(), ann);
    CContactRecord other = Ann();
    other.SetWebPage("http://example.org/elsewhere");
    other.SetCalendarAgentName("");
    EXPECT_EQ(Ann(), other) << "web page and agent name do not count";

    const std::vector<std::function<void(CContactRecord&)>> changes = {
        [](CContactRecord& r) { r.SetFirstName("Anne"); },
        [](CContactRecord& r) { r.SetLastName("lee"); },
        [](CContactRecord& r) { r.SetEmailAddress("ANN@example.org"); },
        [](CContactRecord& r) { r.SetHomeTelephone("1 "); },
        [](CContactRecord& r) { r.SetBusinessTelephone(""); },
        [](CContactRecord& r) { r.SetMobileTelephone("4"); },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        CContactRecord changed = Ann();
        changes[i](changed);
        EXPECT_NE(Ann(), changed) << "change " << i;
        EXPECT_FALSE(Ann() == changed) << "change " << i;
    }
}

TEST(ContactRecord, AgentNameComesFromTheAddress)
{
    EXPECT_EQ("ann_example.org-CalendarAgent", CContactRecord::AgentNameFor("ann@example.org"));
    EXPECT_EQ("a_b_c-CalendarAgent", CContactRecord::AgentNameFor("a@b@c"));
    EXPECT_EQ("plain-CalendarAgent", CContactRecord::AgentNameFor("plain"));
    EXPECT_EQ("", CContactRecord::AgentNameFor(""));
}
