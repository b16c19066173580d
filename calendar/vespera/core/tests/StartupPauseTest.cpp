#include "VesperaTestSupport.h"

#include <vespera/core/StartupPause.h>

#include <gtest/gtest.h>

#include <chrono>

using vespera_test::CTemporaryHome;

namespace {

TEST(StartupPauseTest, OnlyPlainDecimalNumbersSetALimit)
{
    EXPECT_EQ(CStartupPause::ParseLimit("0"), 0u);
    EXPECT_EQ(CStartupPause::ParseLimit("250"), 250u);
    EXPECT_EQ(CStartupPause::ParseLimit("99999999999999999999999"), 4294967295u);
    for (const char* text : {"", "-1", "10ms", " 5", "5 ", "0x10", "+3"})
        EXPECT_FALSE(CStartupPause::ParseLimit(text)) << text;
    EXPECT_FALSE(CStartupPause::ParseLimit(nullptr));
}

TEST(StartupPauseTest, PausesLastAtMostTheLimit)
{
    EXPECT_EQ(CStartupPause(std::nullopt).Length(300), 300u);
    EXPECT_EQ(CStartupPause(0u).Length(300), 0u);
    EXPECT_EQ(CStartupPause(100u).Length(300), 100u);
    EXPECT_EQ(CStartupPause(1000u).Length(300), 300u);
}

TEST(StartupPauseTest, TheEnvironmentSetsTheLimitAndWaitsBlockForTheLength)
{
    CTemporaryHome home;
    EXPECT_EQ(CStartupPause().GetLimit(), 0u);
    home.Set(CStartupPause::LimitVariable, "25");
    const CStartupPause pause;
    EXPECT_EQ(pause.GetLimit(), 25u);
    const auto started = std::chrono::steady_clock::now();
    pause.Wait(300);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(25));
    home.Set(CStartupPause::LimitVariable, std::nullopt);
    EXPECT_FALSE(CStartupPause().GetLimit());
}

} // namespace
