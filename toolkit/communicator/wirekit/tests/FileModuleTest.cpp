#include <wirekit/FileModule.h>

#include <wirekit/Communicator.h>

#include "WireTestSupport.h"

#include <basekit/Debug.h>
#include <factkit/BeliefDB.h>
#include <factkit/StringBelief.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

const char* const kAgent = "Alice_x.org-CalendarAgent";

// Every line of a file as written, prefixes included.
Lines raw_lines(const std::string& path)
{
    Lines out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

// The debug lines' texts without "[counter] [time] "; raw message lines,
// which start with "[---] ", as they are.
Lines texts(const std::string& path)
{
    Lines out;
    for (const std::string& line : raw_lines(path)) {
        if (line.rfind("[---] ", 0) == 0) {
            out.push_back(line);
            continue;
        }
        const size_t counter_end = line.find("] ");
        const size_t time_end =
            counter_end == std::string::npos ? counter_end : line.find("] ", counter_end + 2);
        out.push_back(time_end == std::string::npos ? line : line.substr(time_end + 2));
    }
    return out;
}

std::string day_directory_name(const struct tm& t)
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return std::string("Log-") + days[t.tm_wday] + "-" + months[t.tm_mon];
}

struct tm local_time(time_t at)
{
    struct tm t {};
    localtime_r(&at, &t);
    return t;
}

class FileModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("ORVANTE");
        if (old)
            saved_home = old;
        char pattern[] = "/tmp/wirekit-filemodule-XXXXXX";
        const char* made = mkdtemp(pattern);
        ASSERT_NE(made, nullptr);
        home = made;
        setenv("ORVANTE", home.c_str(), 1);
        db.add_element(new CStringBelief("name", kAgent));
    }

    void TearDown() override
    {
        if (saved_home)
            setenv("ORVANTE", saved_home->c_str(), 1);
        else
            unsetenv("ORVANTE");
        std::error_code ignored;
        fs::remove_all(home, ignored);
    }

    std::unique_ptr<CFileModule> make(const char* name = kAgent)
    {
        return std::make_unique<CFileModule>(name, &db, &communicator, 1);
    }

    // Every regular file below the home directory.
    std::vector<fs::path> files_below_home()
    {
        std::vector<fs::path> found;
        for (const auto& entry : fs::recursive_directory_iterator(home)) {
            if (entry.is_regular_file())
                found.push_back(entry.path());
        }
        return found;
    }

    std::optional<std::string> saved_home;
    std::string home;
    CBeliefDB db;
    CCommunicator communicator{&db};
};

TEST_F(FileModuleTest, LogFileIsNamedAfterTheModuleAndTheStartTimeInTheDayDirectory)
{
    const time_t before = time(nullptr);
    auto module = make();
    const time_t after = time(nullptr);

    EXPECT_EQ(module->get_type(), 1u);
    ASSERT_NE(module->get_file(), nullptr);
    const fs::path path = module->get_file();

    std::set<std::string> expected_names;
    std::set<std::string> expected_dirs;
    for (time_t at = before; at <= after; ++at) {
        struct tm t = local_time(at);
        expected_names.insert(std::string(kAgent) + "-" + CDebug::my_asctime(&t) + ".txt");
        expected_dirs.insert(day_directory_name(t));
    }
    EXPECT_EQ(expected_names.count(path.filename().string()), 1u) << path;
    EXPECT_EQ(expected_dirs.count(path.parent_path().filename().string()), 1u) << path;
    EXPECT_EQ(path.parent_path().parent_path(), fs::path(home) / "Logfiles");
    EXPECT_TRUE(fs::is_directory(fs::path(home) / "Logfiles"));
    EXPECT_EQ(files_below_home(), (std::vector<fs::path>{path}));

    EXPECT_EQ(texts(path.string()),
              (Lines{std::string("[") + kAgent + "] [**] <CFileModule> starting up"}));
    const Lines raw = raw_lines(path.string());
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0].rfind("[00000] [", 0), 0u) << raw[0];

    struct tm now = local_time(time(nullptr));
    EXPECT_STREQ(module->get_logdir(), day_directory_name(now).c_str());
}

TEST_F(FileModuleTest, ExistingDirectoriesAreReusedAndAnOldFileTruncated)
{
    // Old files where the module's file will be, for every second it may
    // start in.
    const time_t now = time(nullptr);
    std::set<std::string> planted;
    for (time_t at = now; at <= now + 3; ++at) {
        struct tm t = local_time(at);
        const fs::path dir = fs::path(home) / "Logfiles" / day_directory_name(t);
        fs::create_directories(dir);
        const fs::path file = dir / (std::string(kAgent) + "-" + CDebug::my_asctime(&t) + ".txt");
        std::ofstream(file) << "old line 1\nold line 2\n";
        planted.insert(file.string());
    }
    auto module = make();
    ASSERT_NE(module->get_file(), nullptr);
    const std::string path = module->get_file();
    ASSERT_EQ(planted.count(path), 1u) << path;
    EXPECT_EQ(texts(path),
              (Lines{std::string("[") + kAgent + "] [**] <CFileModule> starting up"}));
}

TEST_F(FileModuleTest, EveryStateChangeHasItsLine)
{
    auto module = make();
    const std::string path = module->get_file();
    for (unsigned state : {0u, 1u, 2u, 3u, 4u, 5u, 1000u})
        EXPECT_EQ(module->change_state(state), 1) << state;

    const std::string who = std::string("[") + kAgent + "] [++] ";
    EXPECT_EQ(texts(path), (Lines{
                               std::string("[") + kAgent + "] [**] <CFileModule> starting up",
                               who + "Idle state logged",
                               who + "Planning state logged",
                               who + "Advertise state logged",
                               who + "Agent successfully registered with ANS",
                               who + "Agent successfully unregistered with ANS",
                               who + "Unknown state-change logged",
                               who + "Unknown state-change logged",
                           }));
}

TEST_F(FileModuleTest, StateChangeNeedsBeliefsNameAndCommunicator)
{
    auto logger = make("logger");
    const std::string path = logger->get_file();

    CFileModule no_db("nodb", nullptr, &communicator, 1);
    no_db.set_logger(logger.get());
    EXPECT_EQ(no_db.get_file(), nullptr);
    EXPECT_EQ(no_db.change_state(3), 0);

    CFileModule no_communicator("nocomm", &db, nullptr, 1);
    no_communicator.set_logger(logger.get());
    EXPECT_EQ(no_communicator.change_state(3), 0);

    CBeliefDB nameless;
    CFileModule no_name("noname", &nameless, &communicator, 1);
    no_name.set_logger(logger.get());
    EXPECT_EQ(no_name.get_file(), nullptr);
    EXPECT_EQ(no_name.change_state(3), 0);

    EXPECT_EQ(texts(path), (Lines{
                               std::string("[") + kAgent + "] [**] <CFileModule> starting up",
                               "[--] [**] <CFileModule> BeliefDB is NULL, unable to obtain agent name",
                           }));
}

TEST_F(FileModuleTest, MessagesAreLoggedOneLineEachWithTheirDirection)
{
    auto module = make();
    const std::string path = module->get_file();
    module->process_message("(tell :content a)", CLogFacility::DIRECTION_INTERNAL);
    module->process_message("(tell :content b)", CLogFacility::DIRECTION_INCOMING);
    module->process_message("(tell\n :content\r\n c)\n", CLogFacility::DIRECTION_OUTGOING);
    module->process_message("(tell :content d)", 7);
    module->process_message("(tell :content e)", -1);
    module->process_message(nullptr, CLogFacility::DIRECTION_INCOMING);
    module->process_message("", CLogFacility::DIRECTION_INCOMING);
    EXPECT_EQ(module->get_counter(), 5u);

    const std::string who = std::string("[---] [") + kAgent + "] ";
    const Lines lines = texts(path);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], who + "[**] (tell :content a)");
    EXPECT_EQ(lines[2], who + "[<-] (tell :content b)");
    EXPECT_EQ(lines[3], who + "[->] (tell  :content   c) ");
    EXPECT_EQ(lines[4], who + "[00003] [no type indicator] (tell :content d)");
    EXPECT_EQ(lines[5], who + "[00004] [no type indicator] (tell :content e)");
}

TEST_F(FileModuleTest, FilterLeavesMatchingMessagesOut)
{
    auto module = make();
    const std::string path = module->get_file();
    EXPECT_EQ(module->get_filter(), nullptr);
    module->set_filter("ping");
    EXPECT_STREQ(module->get_filter(), "ping");

    module->process_message("(tell :content (tell :type command :action ping))", 1);
    module->process_message("(tell :content pong)", 1);
    module->process_message("ping", 2);
    module->process_message("(tell :content PING)", 1);
    EXPECT_EQ(module->get_counter(), 2u);

    // An empty filter would hide everything, so it clears the filter.
    module->set_filter("");
    EXPECT_EQ(module->get_filter(), nullptr);
    module->process_message("ping again", 1);
    module->set_filter("pong");
    module->set_filter(nullptr);
    module->process_message("pong again", 1);

    const std::string who = std::string("[---] [") + kAgent + "] [<-] ";
    const Lines lines = texts(path);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], who + "(tell :content pong)");
    EXPECT_EQ(lines[2], who + "(tell :content PING)");
    EXPECT_EQ(lines[3], who + "ping again");
    EXPECT_EQ(lines[4], who + "pong again");
}

TEST_F(FileModuleTest, MessageWithoutBeliefDatabaseIsReported)
{
    auto logger = make("logger");
    const std::string path = logger->get_file();
    CFileModule module("nodb", nullptr, &communicator, 1);
    module.set_logger(logger.get());
    module.process_message("(tell :content x)", 1);
    EXPECT_EQ(module.get_counter(), 0u);
    EXPECT_EQ(texts(path).back(), "[----] BeliefDB is null, unable to proccess string");
}

TEST_F(FileModuleTest, DestructionWritesTheShutdownLine)
{
    auto module = make();
    const std::string path = module->get_file();
    module.reset();
    EXPECT_EQ(texts(path).back(), "<CFileModule> shutting down");
}

TEST_F(FileModuleTest, StartingAndStoppingTheModulesWritesTheRegistrationLines)
{
    CFileModule* module = make().release();
    const std::string path = module->get_file();
    communicator.add_display(module);
    communicator.start_modules();
    communicator.shutdown_modules();

    const std::string who = std::string("[") + kAgent + "] [++] ";
    const Lines lines = texts(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], who + "Agent successfully registered with ANS");
    EXPECT_EQ(lines[2], who + "Agent successfully unregistered with ANS");
}

TEST_F(FileModuleTest, WithoutHomeDirectoryThereIsNoFile)
{
    unsetenv("ORVANTE");
    auto module = make();
    EXPECT_EQ(module->get_file(), nullptr);
    EXPECT_EQ(module->change_state(3), 1);
    module->process_message("(tell :content x)", 1);
    EXPECT_EQ(module->get_counter(), 0u);
    EXPECT_TRUE(fs::is_empty(home));

    setenv("ORVANTE", "", 1);
    auto empty_home = make();
    EXPECT_EQ(empty_home->get_file(), nullptr);
}

TEST_F(FileModuleTest, DirectoryThatCannotBeMadeDisablesTheFile)
{
    std::ofstream(fs::path(home) / "Logfiles") << "a file, not a directory";
    auto blocked = make();
    EXPECT_EQ(blocked->get_file(), nullptr);

    setenv("ORVANTE", (home + "/missing/deeper").c_str(), 1);
    auto missing = make();
    EXPECT_EQ(missing->get_file(), nullptr);
    EXPECT_FALSE(fs::exists(fs::path(home) / "missing"));
}

TEST_F(FileModuleTest, NamesCannotLeadOutOfTheDayDirectory)
{
    for (const char* name : {"../../escaped", "a/b", "..", "/abs"}) {
        auto module = make(name);
        ASSERT_NE(module->get_file(), nullptr) << name;
        const fs::path path = module->get_file();
        EXPECT_EQ(path.parent_path().parent_path(), fs::path(home) / "Logfiles") << name;
    }
    for (const fs::path& file : files_below_home())
        EXPECT_EQ(file.parent_path().parent_path(), fs::path(home) / "Logfiles") << file;
    EXPECT_EQ(files_below_home().size(), 4u);

    EXPECT_EQ(CFileModule::safe_file_part("../../escaped"), "______escaped");
    EXPECT_EQ(CFileModule::safe_file_part("a/b\\c"), "a_b_c");
    EXPECT_EQ(CFileModule::safe_file_part("..."), "__.");
    EXPECT_EQ(CFileModule::safe_file_part("x.y.z"), "x.y.z");
    EXPECT_EQ(CFileModule::safe_file_part(""), "Agent");
    EXPECT_EQ(CFileModule::safe_file_part(nullptr), "Agent");
    EXPECT_EQ(CFileModule::safe_file_part(std::string(500, 'n').c_str()), std::string(200, 'n'));
}

} // namespace
