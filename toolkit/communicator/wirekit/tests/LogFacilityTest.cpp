#include <wirekit/LogFacility.h>

#include <wirekit/Communicator.h>

#include "WireTestSupport.h"

#include <factkit/BeliefDB.h>
#include <factkit/StringBelief.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// A module whose own debug log is a private file read back line by line.
struct LoggedModule {
    explicit LoggedModule(const char* name)
        : module(std::make_unique<CLogFacility>(name, nullptr, nullptr, 0))
    {
        log.logger.close();
        module->Create(log.path.c_str());
    }
    wiretest::CLogFile log;
    std::unique_ptr<CLogFacility> module;
};

TEST(LogFacilityTest, HooksAreNeutralAndDisplayFallsBackToTheAgentName)
{
    CBeliefDB db;
    db.add_element(new CStringBelief("name", "Alice"));
    CCommunicator communicator(&db);
    CLogFacility module("mod", &db, &communicator, 42);
    EXPECT_EQ(module.init() + module.change_state(3) + module.change_state(99), 3);
    EXPECT_EQ(module.get_type() + module.get_dependancy(), 0u);
    EXPECT_EQ(module.is_registered(), 0);
    EXPECT_EQ(module.get_value(), 42u);

    EXPECT_STREQ(module.get_display(), "Alice");
    module.set_display("Status");
    EXPECT_STREQ(module.get_display(), "Status");
    module.set_display(nullptr);
    communicator.set_name("Bob");
    EXPECT_STREQ(module.get_display(), "Bob");
    EXPECT_STREQ(CLogFacility("alone", nullptr, nullptr, 0).get_display(), "Agent");
}

TEST(LogFacilityTest, DebugLinesGoIntoTheLoggersFileUntouched)
{
    LoggedModule logger("file");
    auto named = std::make_unique<CLogFacility>("Interface", nullptr, nullptr, 0);
    auto unnamed = std::make_unique<CLogFacility>(nullptr, nullptr, nullptr, 0);
    named->set_logger(logger.module.get());
    unnamed->set_logger(logger.module.get());
    EXPECT_EQ(named->get_logger(), logger.module.get());

    named->log_message("100% sure: %s");
    named->dprintf("<CX> value [%d]", 5);
    named.reset();
    unnamed.reset();
    EXPECT_EQ(logger.log.lines(),
              (Lines{"100% sure: %s", "<CX> value [5]", "<CLogFacility> Destroying module [Interface]",
                     "<CLogFacility> Destroying module [UNKNOWN]"}));
}

TEST(LogFacilityTest, LoggerDestroyedFirstDetachesItsModules)
{
    auto logger = std::make_unique<LoggedModule>("file");
    CLogFacility module("module", nullptr, nullptr, 0);
    module.set_logger(logger->module.get());
    logger->module.reset();
    EXPECT_EQ(module.get_logger(), nullptr);
    // Nothing may go into the closed file; the sanitizer run watches.
    module.log_message("after the logger went");
}

TEST(LogFacilityTest, LoggersNamingEachOtherDoNotLoop)
{
    LoggedModule a("a");
    LoggedModule b("b");
    a.module->set_logger(b.module.get());
    b.module->set_logger(a.module.get());
    a.module->log_message("from a");
    EXPECT_EQ(b.log.lines(), (Lines{"from a"}));

    a.module->set_logger(a.module.get());
    EXPECT_EQ(a.module->get_logger(), nullptr);
    a.module->log_message("own file");
    EXPECT_EQ(a.log.lines(), (Lines{"own file"}));
    b.module->set_logger(nullptr);
}

} // namespace
