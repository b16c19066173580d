#include <wirekit/LocationTable.h>

#include <basekit/Debug.h>
#include <basekit/LList.h>
#include <basekit/URL.h>
#include <factkit/BeliefDB.h>
#include <factkit/ListBelief.h>
#include <notekit/ServiceInfo.h>

#include <gtest/gtest.h>

namespace {

class LocationTableTest : public ::testing::Test {
protected:
    LocationTableTest()
    {
        beliefs.add_element(new CListBelief("lookup", new CLList("lookup")));
        locations.attach(&beliefs);
    }

    CServiceInfo* Add(const char* name, int expiration, const char* url = "tcp://127.0.0.1:4000")
    {
        auto* record = new CServiceInfo(name);
        record->set_location(new CURL(url));
        record->set_expiration(expiration);
        locations.table()->add_element(record);
        return record;
    }

    CDebug log;
    CBeliefDB beliefs;
    CLocationTable locations{log};
};

TEST_F(LocationTableTest, RecordsCountDownAndGoAtTheEnd)
{
    Add("forever", CServiceInfo::NEVER_EXPIRES);
    Add("two", 2);
    Add("one", 1);
    Add("broken", 0);
    locations.expire();
    EXPECT_NE(locations.find("forever"), nullptr);
    ASSERT_NE(locations.find("two"), nullptr);
    EXPECT_EQ(locations.find("two")->get_expiration(), 1);
    EXPECT_EQ(locations.find("one"), nullptr);
    EXPECT_EQ(locations.find("broken"), nullptr);
    EXPECT_EQ(beliefs.get_modified(), 1);
}

TEST_F(LocationTableTest, GoneAgentsAndUnfitHostsGiveNoAddress)
{
    Add("gone", CServiceInfo::NEVER_EXPIRES)->set_gone(1);
    EXPECT_EQ(locations.find("gone"), nullptr);

    CServiceInfo* record = Add("here", CServiceInfo::NEVER_EXPIRES);
    char host[10] = "";
    unsigned port = 0;
    ASSERT_TRUE(locations.copy_location("here", record, host, &port, sizeof host));
    EXPECT_STREQ(host, "127.0.0.1");
    EXPECT_EQ(port, 4000u);
    char small[4] = "";
    EXPECT_FALSE(locations.copy_location("here", record, small, &port, sizeof small));
    EXPECT_EQ(locations.find(nullptr), nullptr);
    CLocationTable unattached{log};
    EXPECT_EQ(unattached.find("here"), nullptr);
}

} // namespace
