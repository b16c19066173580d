#include <wirekit/FileModule.h>

#include <wirekit/Communicator.h>

#include <basekit/Debug.h>
#include <factkit/BeliefDB.h>
#include <factkit/StringBelief.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

const std::string kAgent = "Alice_x.org-CalendarAgent";

// The file's lines, debug lines without their "[counter] [time] " prefix.
Lines texts(const std::string& path)
{
    Lines out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const size_t time_end = line.rfind("[---] ", 0) == 0 ? std::string::npos : line.find("] [");
        out.push_back(time_end == std::string::npos ? line : line.substr(line.find("] ", time_end + 2) + 2));
    }
    return out;
}

class FileModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/wirekit-filemodule-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        home = pattern;
        setenv("ORVANTE", home.c_str(), 1);
        db.add_element(new CStringBelief("name", kAgent.c_str()));
    }
    void TearDown() override
    {
        unsetenv("ORVANTE");
        std::error_code ignored;
        fs::remove_all(home, ignored);
    }
    std::unique_ptr<CFileModule> make(const char* name, CBeliefDB* beliefs, CCommunicator* comm)
    {
        return std::make_unique<CFileModule>(name, beliefs, comm, 1);
    }
    std::unique_ptr<CFileModule> make(const char* name = kAgent.c_str())
    {
        return make(name, &db, &communicator);
    }

    std::string home;
    CBeliefDB db;
    CCommunicator communicator{&db};
};

TEST_F(FileModuleTest, FileIsNamedAfterModuleAndStartTimeInTheDayDirectoryAndTruncated)
{
    // Old files wherever the module's file may land, one per second it may
    // start in; the one it opens must come back holding only its first line.
    const time_t now = time(nullptr);
    std::set<fs::path> planted;
    std::string logdir;
    for (time_t at = now; at <= now + 3; ++at) {
        struct tm t {};
        localtime_r(&at, &t);
        char day[32];
        strftime(day, sizeof day, "Log-%a-%b", &t);
        const fs::path dir = fs::path(home) / "Logfiles" / day;
        fs::create_directories(dir);
        planted.insert(dir / (kAgent + "-" + CDebug::my_asctime(&t) + ".txt"));
        std::ofstream(*planted.rbegin()) << "old line\n";
        if (at == now)
            logdir = day;
    }
    auto module = make();
    EXPECT_EQ(module->get_type(), 1u);
    ASSERT_NE(module->get_file(), nullptr);
    EXPECT_EQ(planted.count(module->get_file()), 1u) << module->get_file();
    EXPECT_EQ(texts(module->get_file()), (Lines{"[" + kAgent + "] [**] <CFileModule> starting up"}));
    EXPECT_EQ(module->get_logdir(), logdir);

    // Made when missing, too.
    fs::remove_all(fs::path(home) / "Logfiles");
    EXPECT_NE(make()->get_file(), nullptr);
}

TEST_F(FileModuleTest, StateChangesAndMessagesEachGetOneLine)
{
    auto module = make();
    const std::string path = module->get_file();
    for (unsigned state : {0u, 1u, 2u, 3u, 4u, 77u})
        EXPECT_EQ(module->change_state(state), 1);
    module->process_message("(tell :content a)", CLogFacility::DIRECTION_INTERNAL);
    module->process_message("(tell\n :content\r\n b)\n", CLogFacility::DIRECTION_INCOMING);
    module->process_message("(tell :content c)", CLogFacility::DIRECTION_OUTGOING);
    module->process_message("(tell :content d)", 7);
    module->process_message(nullptr, CLogFacility::DIRECTION_INCOMING);
    module->process_message("", CLogFacility::DIRECTION_INCOMING);
    EXPECT_EQ(module->get_counter(), 4u);
    module.reset();

    const std::string state = "[" + kAgent + "] [++] ";
    const std::string message = "[---] [" + kAgent + "] ";
    EXPECT_EQ(texts(path), (Lines{
                               "[" + kAgent + "] [**] <CFileModule> starting up",
                               state + "Idle state logged",
                               state + "Planning state logged",
                               state + "Advertise state logged",
                               state + "Agent running without a registration with ANS",
                               state + "Agent stopping, was not registered with ANS",
                               state + "Unknown state-change logged",
                               message + "[**] (tell :content a)",
                               message + "[<-] (tell  :content   b) ",
                               message + "[->] (tell :content c)",
                               message + "[00003] [no type indicator] (tell :content d)",
                               "<CFileModule> shutting down",
                           }));
}

TEST_F(FileModuleTest, FilterLeavesMatchingMessagesOut)
{
    auto module = make();
    module->set_filter("ping");
    module->process_message("(tell :content (tell :type command :action ping))", 1);
    module->process_message("(tell :content PING)", 1);
    module->set_filter("");
    EXPECT_EQ(module->get_filter(), nullptr);
    module->process_message("ping again", 1);
    EXPECT_EQ(module->get_counter(), 2u);
    const Lines lines = texts(module->get_file());
    EXPECT_EQ(Lines(lines.begin() + 1, lines.end()),
              (Lines{"[---] [" + kAgent + "] [<-] (tell :content PING)",
                     "[---] [" + kAgent + "] [<-] ping again"}));
}

TEST_F(FileModuleTest, MissingBeliefsOrCommunicatorAreReported)
{
    auto logger = make("logger");
    CBeliefDB nameless;
    auto no_db = make("nodb", nullptr, &communicator);
    auto no_name = make("noname", &nameless, &communicator);
    auto no_comm = make("nocomm", &db, nullptr);
    for (CFileModule* module : {no_db.get(), no_name.get(), no_comm.get()}) {
        module->set_logger(logger.get());
        EXPECT_EQ(module->change_state(3), 0) << module->get_name();
    }
    EXPECT_EQ(no_db->get_file(), nullptr);
    EXPECT_EQ(no_name->get_file(), nullptr);
    no_db->process_message("(tell :content x)", 1);
    EXPECT_EQ(texts(logger->get_file()),
              (Lines{"[" + kAgent + "] [**] <CFileModule> starting up",
                     "[--] [**] <CFileModule> BeliefDB is NULL, unable to obtain agent name",
                     "[----] BeliefDB is null, unable to proccess string"}));
}

TEST_F(FileModuleTest, StartingAndStoppingTheModulesWritesTheRegistrationLines)
{
    CFileModule* module = make().release();
    const std::string path = module->get_file();
    communicator.add_display(module);
    communicator.start_modules();
    communicator.shutdown_modules();
    const Lines lines = texts(path);
    // No name server took the agent's name, so none is claimed.
    EXPECT_EQ(Lines(lines.begin() + 1, lines.end()),
              (Lines{"[" + kAgent + "] [++] Agent running without a registration with ANS",
                     "[" + kAgent + "] [++] Agent stopping, was not registered with ANS"}));
}

TEST_F(FileModuleTest, NoHomeOrNoDirectoryMeansNoFile)
{
    unsetenv("ORVANTE");
    auto no_home = make();
    EXPECT_EQ(no_home->get_file(), nullptr);
    no_home->process_message("(tell :content x)", 1);
    EXPECT_EQ(no_home->get_counter(), 0u);
    EXPECT_TRUE(fs::is_empty(home));

    setenv("ORVANTE", (home + "/missing").c_str(), 1);
    EXPECT_EQ(make()->get_file(), nullptr);
    setenv("ORVANTE", home.c_str(), 1);
    std::ofstream(fs::path(home) / "Logfiles") << "a file, not a directory";
    EXPECT_EQ(make()->get_file(), nullptr);
}

TEST_F(FileModuleTest, NamesCannotLeadOutOfTheDayDirectory)
{
    for (const char* name : {"../../escaped", "a/b", "..", "/abs"}) {
        auto module = make(name);
        ASSERT_NE(module->get_file(), nullptr) << name;
        EXPECT_EQ(fs::path(module->get_file()).parent_path().parent_path(), fs::path(home) / "Logfiles");
    }
    EXPECT_EQ(CFileModule::safe_file_part("../../escaped"), "______escaped");
    EXPECT_EQ(CFileModule::safe_file_part("a/b\\c...d"), "a_b_c__.d");
    EXPECT_EQ(CFileModule::safe_file_part(nullptr), "Agent");
    EXPECT_EQ(CFileModule::safe_file_part(std::string(500, 'n').c_str()), std::string(200, 'n'));
}

} // namespace

// Messages and debug lines share the module's buffer, so deferring keeps
// their order and the end of deferring brings them all out.
TEST_F(FileModuleTest, DeferredMessagesAndDebugLinesKeepTheirOrder)
{
    auto module = make();
    const std::string path = module->get_file();
    CDebug::set_deferred(true);
    module->process_message("(tell :content one)", CLogFacility::DIRECTION_INCOMING);
    EXPECT_EQ(module->change_state(CLogFacility::STATE_IDLE), 1);
    module->process_message("(tell :content two)", CLogFacility::DIRECTION_OUTGOING);
    const Lines before = texts(path);
    CDebug::set_deferred(false);
    EXPECT_EQ(before, (Lines{"[" + kAgent + "] [**] <CFileModule> starting up"}));
    const std::string message = "[---] [" + kAgent + "] ";
    EXPECT_EQ(texts(path), (Lines{
                               "[" + kAgent + "] [**] <CFileModule> starting up",
                               message + "[<-] (tell :content one)",
                               "[" + kAgent + "] [++] Idle state logged",
                               message + "[->] (tell :content two)",
                           }));
    EXPECT_EQ(module->get_counter(), 2u);
}

TEST_F(FileModuleTest, ADeferredLogIsCompleteOnceTheModuleIsGone)
{
    auto module = make();
    const std::string path = module->get_file();
    CDebug::set_deferred(true);
    for (int i = 0; i < 2000; ++i)
        module->process_message(("(tell :content " + std::to_string(i) + ")").c_str(),
                                CLogFacility::DIRECTION_INCOMING);
    module.reset();
    CDebug::set_deferred(false);
    const Lines lines = texts(path);
    ASSERT_EQ(lines.size(), 2002u);
    for (int i = 0; i < 2000; ++i)
        EXPECT_EQ(lines[static_cast<size_t>(i + 1)],
                  "[---] [" + kAgent + "] [<-] (tell :content " + std::to_string(i) + ")");
    EXPECT_EQ(lines.back(), "<CFileModule> shutting down");
}
