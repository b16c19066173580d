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

}  // namespace

TEST(ServiceInfoDefaults, NamedRecordWithoutLocation) {
    CServiceInfo record("Bob_x.org-CalendarAgent");
    EXPECT_STREQ(record.get_name(), "Bob_x.org-CalendarAgent");
    EXPECT_EQ(record.get_location(), nullptr);
    EXPECT_EQ(record.get_type(), 0);
    EXPECT_EQ(record.get_expiration(), -1);
    EXPECT_EQ(record.get_gone(), 0);
    EXPECT_EQ(record.get_localisation(), 0);
    EXPECT_EQ(record.get_btype(), 0);
}

TEST(ServiceInfoFields, KeepWhatIsSet) {
    CServiceInfo record;
    record.set_type(1);
    record.set_expiration(900);
    record.set_gone(1);
    record.set_localisation(1);
    EXPECT_EQ(record.get_type(), 1);
    EXPECT_EQ(record.get_expiration(), 900);
    EXPECT_EQ(record.get_gone(), 1);
    EXPECT_EQ(record.get_localisation(), 1);
}

TEST(ServiceInfoLocation, RecordOwnsItsLocation) {
    int destroyed = 0;
    {
        CServiceInfo record("a");
        record.set_location(new CountingURL("tcp://10.0.0.5:6678", &destroyed));
        ASSERT_NE(record.get_location(), nullptr);
        EXPECT_STREQ(record.get_location()->get_host(), "10.0.0.5");
        EXPECT_EQ(record.get_location()->get_port(), 6678);
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(ServiceInfoLocation, ReplacingDestroysTheOldOne) {
    int old_destroyed = 0;
    int new_destroyed = 0;
    CServiceInfo record("a");
    record.set_location(new CountingURL("tcp://a:1", &old_destroyed));
    auto* replacement = new CountingURL("tcp://b:2", &new_destroyed);
    record.set_location(replacement);
    EXPECT_EQ(old_destroyed, 1);
    EXPECT_EQ(new_destroyed, 0);
    EXPECT_EQ(record.get_location(), replacement);
}

TEST(ServiceInfoLocation, SettingTheSameLocationKeepsIt) {
    int destroyed = 0;
    CServiceInfo record("a");
    auto* location = new CountingURL("tcp://a:1", &destroyed);
    record.set_location(location);
    record.set_location(location);
    EXPECT_EQ(destroyed, 0);
    EXPECT_STREQ(record.get_location()->get_host(), "a");
}

TEST(ServiceInfoLocation, NullDropsTheLocation) {
    int destroyed = 0;
    CServiceInfo record("a");
    record.set_location(new CountingURL("tcp://a:1", &destroyed));
    record.set_location(nullptr);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(record.get_location(), nullptr);
}

TEST(ServiceInfoInTable, ListDestroysRecordAndLocation) {
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
