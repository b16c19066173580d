#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/ContactRecord.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/NegotiationStore.h>
#include <vespera/core/Preferences.h>
#include <vespera/core/ReminderSink.h>
#include <vespera/core/StartupPause.h>

#include <agentkit/AgentContainer.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/StringBelief.h>
#include <outlook/AppointmentData.h>
#include <outlook/ContactData.h>
#include <outlook/GenericItemData.h>
#include <slotbook/RecurrenceData.h>
#include <wirekit/Communicator.h>

#include <platform/DateTimeSpan.h>
#include <platform/PollEventLoop.h>
#include <platform/Wnd.h>
#include <platform/Registry.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using vespera_test::CVesperaTest;

namespace {

class NameServerRegistrationTest : public CVesperaTest {};

TEST_F(NameServerRegistrationTest, NeedsEveryStoredValue)
{
    CRegistry registry;
    const char* key = "Software\\ORVANTE\\CalendarAgent";
    EXPECT_FALSE(Agent().GetRegistration().LoadRegInfo());
    registry.WriteValue(key, "AgentName", "me_x.org-CalendarAgent");
    registry.WriteValue(key, "ANSHost", "127.0.0.1");
    EXPECT_FALSE(Agent().GetRegistration().LoadRegInfo());
    registry.WriteValue(key, "ANSPort", "-1");
    EXPECT_FALSE(Agent().GetRegistration().LoadRegInfo());
    registry.WriteValue(key, "ANSPort", "6677");
    registry.WriteValue(key, "AgentName", "-");
    EXPECT_FALSE(Agent().GetRegistration().LoadRegInfo());
    registry.WriteValue(key, "AgentName", "me_x.org-CalendarAgent");
    registry.WriteValue(key, "ANSHost", "-");
    EXPECT_FALSE(Agent().GetRegistration().LoadRegInfo());
    EXPECT_FALSE(Agent().HasLine("<CVespera::EnableANS()> ENABLING THE ANS MODULE"));

    // All set: registration is tried whatever its outcome; without a
    // running name-server client it cannot succeed.
    registry.WriteValue(key, "ANSHost", "127.0.0.1");
    EXPECT_TRUE(Agent().GetRegistration().LoadRegInfo());
    EXPECT_TRUE(Agent().HasLine("<CVespera::EnableANS()> ENABLING THE ANS MODULE"));
    EXPECT_EQ(Agent().CountApplicationLine("CVSP::LoadRegInfo: Agent Name = , ANS Host = , ANS Port = 0"), 1);
}

} // namespace
