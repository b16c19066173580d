#include <notekit/ServiceInfo.h>

#include <basekit/LList.h>

#include <gtest/gtest.h>

namespace {

// A location that reports its own destruction.
class CountingURL : public CURL {
public:
    CountingURL(const char* url, int* counter) : CURL(url), counter(counter) {}
    ~CountingURL() override { ++*counter; }

private:
    int* counter;
};

} // namespace

TEST(ServiceInfoFields, DefaultsAndSetters)
{
    CServiceInfo record("Bob_x.org-CalendarAgent");
    EXPECT_STREQ(record.get_name(), "Bob_x.org-CalendarAgent");
    EXPECT_EQ(record.get_location(), nullptr);
    EXPECT_EQ(record.get_type(), 0);
    EXPECT_EQ(record.get_expiration(), CServiceInfo::NEVER_EXPIRES);
    EXPECT_EQ(record.get_expiration(), -1);
    EXPECT_EQ(record.get_gone(), 0);
    EXPECT_EQ(record.get_localisation(), 0);
    record.set_type(1);
    record.set_expiration(900);
    record.set_gone(1);
    record.set_localisation(1);
    EXPECT_EQ(record.get_type(), 1);
    EXPECT_EQ(record.get_expiration(), 900);
    EXPECT_EQ(record.get_gone(), 1);
    EXPECT_EQ(record.get_localisation(), 1);
}

TEST(ServiceInfoLocation, OwnedReplacedAndDropped)
{
    int first = 0;
    int second = 0;
    {
        CServiceInfo record("a");
        auto* location = new CountingURL("tcp://10.0.0.5:6678", &first);
        record.set_location(location);
        record.set_location(location);
        EXPECT_EQ(first, 0);
        EXPECT_STREQ(record.get_location()->get_host(), "10.0.0.5");
        EXPECT_EQ(record.get_location()->get_port(), 6678);
        auto* replacement = new CountingURL("tcp://b:2", &second);
        record.set_location(replacement);
        EXPECT_EQ(first, 1);
        EXPECT_EQ(record.get_location(), replacement);
        record.set_location(nullptr);
        EXPECT_EQ(second, 1);
        EXPECT_EQ(record.get_location(), nullptr);
        record.set_location(new CountingURL("tcp://c:3", &first));
    }
    EXPECT_EQ(first, 2);
}

TEST(ServiceInfoLocation, TableDestroysRecordAndLocation)
{
    int destroyed = 0;
    {
        CLList table;
        auto* record = new CServiceInfo("a");
        record->set_location(new CountingURL("tcp://a:1", &destroyed));
        table.add_element(record);
        EXPECT_EQ(table.find_element("a"), record);
    }
    EXPECT_EQ(destroyed, 1);
}
