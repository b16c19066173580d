#include <wirekit/LogFacility.h>

#include <wirekit/Communicator.h>

#include "WireTestSupport.h"

#include <factkit/BeliefDB.h>
#include <factkit/StringBelief.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// A module whose own debug log is a private file read back line by line.
struct LoggedModule {
    explicit LoggedModule(const char* name, CBeliefDB* db = nullptr,
                          CCommunicator* communicator = nullptr)
        : module(std::make_unique<CLogFacility>(name, db, communicator, 7))
    {
        log.logger.close();
        module->Create(log.path.c_str());
    }

    wiretest::CLogFile log;
    std::unique_ptr<CLogFacility> module;
};

TEST(LogFacilityTest, HooksAndFlagsStartNeutral)
{
    CBeliefDB db;
    CCommunicator communicator(&db);
    CLogFacility module("mod", &db, &communicator, 42);

    EXPECT_EQ(module.init(), 1);
    for (unsigned state : {0u, 3u, 4u, 99u})
        EXPECT_EQ(module.change_state(state), 1);
    char arg0[] = "agent";
    char* argv[] = {arg0, nullptr};
    module.parse_args(1, argv);
    module.process_message("(tell :content x)", CLogFacility::DIRECTION_INCOMING);
    module.process_message(nullptr, CLogFacility::DIRECTION_OUTGOING);
    module.process_timer();

    EXPECT_STREQ(module.get_name(), "mod");
    EXPECT_EQ(module.get_type(), 0u);
    EXPECT_EQ(module.get_dependancy(), 0u);
    EXPECT_EQ(module.is_registered(), 0);
    EXPECT_EQ(module.get_logger(), nullptr);
    EXPECT_EQ(module.get_beliefdb(), &db);
    EXPECT_EQ(module.get_communicator(), &communicator);
    EXPECT_EQ(module.get_value(), 42u);

    module.set_type(2);
    module.set_dependancy(9);
    module.set_registered(1);
    EXPECT_EQ(module.get_type(), 2u);
    EXPECT_EQ(module.get_dependancy(), 9u);
    EXPECT_EQ(module.is_registered(), 1);
}

TEST(LogFacilityTest, DisplayFallsBackToTheAgentNameThenAgent)
{
    CBeliefDB db;
    db.add_element(new CStringBelief("name", "Alice_x.org-CalendarAgent"));
    CCommunicator communicator(&db);
    CLogFacility with_communicator("mod", &db, &communicator, 0);
    CLogFacility alone("mod", nullptr, nullptr, 0);

    EXPECT_STREQ(with_communicator.get_display(), "Alice_x.org-CalendarAgent");
    EXPECT_STREQ(alone.get_display(), "Agent");

    with_communicator.set_display("Status window");
    EXPECT_STREQ(with_communicator.get_display(), "Status window");
    with_communicator.set_display(nullptr);
    EXPECT_STREQ(with_communicator.get_display(), "Alice_x.org-CalendarAgent");

    // The fallback follows the agent's name as it changes.
    communicator.set_name("Bob");
    EXPECT_STREQ(with_communicator.get_display(), "Bob");
}

TEST(LogFacilityTest, LogMessageWritesTheTextAsItIs)
{
    LoggedModule logged("mod");
    logged.module->log_message("100% sure: %s %d");
    logged.module->log_message(nullptr);
    EXPECT_EQ(logged.log.lines(), (Lines{"100% sure: %s %d"}));
}

TEST(LogFacilityTest, DebugLinesGoIntoTheLoggersFile)
{
    LoggedModule logger("file");
    CLogFacility module("display", nullptr, nullptr, 0);
    module.set_logger(logger.module.get());
    EXPECT_EQ(module.get_logger(), logger.module.get());

    module.log_message("through the logger");
    module.dprintf("<CX> value [%d]", 5);
    module.debug("<CX> %s", "debug too");
    logger.module->log_message("the logger itself");
    EXPECT_EQ(logger.log.lines(), (Lines{"through the logger", "<CX> value [5]", "<CX> debug too",
                                         "the logger itself"}));

    // One file, one counter: the prefixes number the lines in order.
    std::ifstream in(logger.log.path);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first.rfind("[00000] [", 0), 0u) << first;

    module.set_logger(nullptr);
    module.log_message("nowhere");
    EXPECT_EQ(logger.log.lines().size(), 4u);
}

TEST(LogFacilityTest, DestructionIsLoggedWithTheNameOrUnknown)
{
    LoggedModule logger("file");
    auto named = std::make_unique<CLogFacility>("Interface", nullptr, nullptr, 0);
    auto unnamed = std::make_unique<CLogFacility>(nullptr, nullptr, nullptr, 0);
    named->set_logger(logger.module.get());
    unnamed->set_logger(logger.module.get());
    named.reset();
    unnamed.reset();
    EXPECT_EQ(logger.log.lines(), (Lines{"<CLogFacility> Destroying module [Interface]",
                                         "<CLogFacility> Destroying module [UNKNOWN]"}));
}

TEST(LogFacilityTest, LoggerDestroyedFirstDetachesItsModules)
{
    auto logger = std::make_unique<LoggedModule>("file");
    CLogFacility first("first", nullptr, nullptr, 0);
    CLogFacility second("second", nullptr, nullptr, 0);
    first.set_logger(logger->module.get());
    second.set_logger(logger->module.get());
    second.set_logger(nullptr);
    second.set_logger(logger->module.get());

    logger->module.reset();
    EXPECT_EQ(first.get_logger(), nullptr);
    EXPECT_EQ(second.get_logger(), nullptr);
    // Writes nothing, and above all nothing into the closed file.
    first.log_message("after the logger went");
    second.log_message("after the logger went");
}

TEST(LogFacilityTest, ModuleDestroyedFirstLeavesTheLoggerConsistent)
{
    LoggedModule logger("file");
    {
        CLogFacility short_lived("short", nullptr, nullptr, 0);
        short_lived.set_logger(logger.module.get());
    }
    // Had the logger kept the gone module, destroying it would touch freed
    // memory; the sanitizer run watches for exactly that.
    logger.module.reset();
    EXPECT_EQ(logger.log.lines(), (Lines{"<CLogFacility> Destroying module [short]",
                                         "<CLogFacility> Destroying module [file]"}));
}

TEST(LogFacilityTest, LoggersNamingEachOtherDoNotLoop)
{
    LoggedModule a("a");
    LoggedModule b("b");
    a.module->set_logger(b.module.get());
    b.module->set_logger(a.module.get());
    a.module->log_message("from a");
    b.module->log_message("from b");
    EXPECT_EQ(b.log.lines(), (Lines{"from a"}));
    EXPECT_EQ(a.log.lines(), (Lines{"from b"}));

    // A module cannot be its own logger: that means its own file.
    a.module->set_logger(a.module.get());
    EXPECT_EQ(a.module->get_logger(), nullptr);
    a.module->log_message("own file");
    EXPECT_EQ(a.log.lines(), (Lines{"from b", "own file"}));
    b.module->set_logger(nullptr);
}

} // namespace
