#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/InstallDirectory.h>

#include <platform/Registry.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using vespera_test::CTemporaryHome;

namespace {

TEST(InstallDirectoryTest, StoredValueComesFirstThenTheEnvironmentThenTheUsersData)
{
    CTemporaryHome home;
    CRegistry registry;
    EXPECT_FALSE(CInstallDirectory::ReadFromRegistry(registry));
    EXPECT_EQ(CInstallDirectory::Choose(registry), (home.Root() / "data" / "orvante").string());

    home.Set("ORVANTE", "/srv/agent");
    EXPECT_EQ(CInstallDirectory::Choose(registry), "/srv/agent");

    ASSERT_EQ(registry.WriteValue(CAgentSettings::RegistryKey, "InstallDir", ""), CRegistry::Ok);
    EXPECT_EQ(CInstallDirectory::Choose(registry), "/srv/agent");
    ASSERT_EQ(registry.WriteValue(CAgentSettings::RegistryKey, "InstallDir", "/opt/orvante"), CRegistry::Ok);
    EXPECT_EQ(CInstallDirectory::ReadFromRegistry(registry), "/opt/orvante");
    EXPECT_EQ(CInstallDirectory::Choose(registry), "/opt/orvante");
}

TEST(InstallDirectoryTest, DataDirectoryFollowsTheXdgRules)
{
    CTemporaryHome home;
    home.Set("XDG_DATA_HOME", "/data/of/user");
    EXPECT_EQ(CInstallDirectory::UserDataDirectory(), "/data/of/user/orvante");
    home.Set("XDG_DATA_HOME", "");
    EXPECT_EQ(CInstallDirectory::UserDataDirectory(), home.Root().string() + "/.local/share/orvante");
    home.Set("XDG_DATA_HOME", std::nullopt);
    EXPECT_EQ(CInstallDirectory::UserDataDirectory(), home.Root().string() + "/.local/share/orvante");
}

TEST(InstallDirectoryTest, ExportSetsTheToolkitHome)
{
    CTemporaryHome home;
    EXPECT_TRUE(CInstallDirectory::Export("/opt/orvante"));
    ASSERT_NE(std::getenv("ORVANTE"), nullptr);
    EXPECT_STREQ(std::getenv("ORVANTE"), "/opt/orvante");
    EXPECT_FALSE(CInstallDirectory::Export(""));
    EXPECT_STREQ(std::getenv("ORVANTE"), "/opt/orvante");
}

} // namespace
