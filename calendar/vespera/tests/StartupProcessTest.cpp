// The start-up of the headless agent as a process: where its logs go, what
// it says while it starts and when nobody has registered it yet.

#include <platform/testing/ChildProcess.h>

#include <platform/Registry.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using testsupport::CChildProcess;

namespace {

const char* const SettingsKey = "Software\\ORVANTE\\CalendarAgent";

class StartupProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vespera-startup-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        for (const char* dir : {"config", "data", "run", "registry"})
            std::filesystem::create_directories(m_root / dir);
        setenv("HOME", m_root.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_root / "data").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (m_root / "run").c_str(), 1);
        setenv("ORVANTE_REGISTRY_DIR", (m_root / "registry").c_str(), 1);
        setenv("ORVANTE_HOST_ADDRESS", "127.0.0.1", 1);
        setenv("ORVANTE_STARTUP_PAUSE_MS", "0", 1);
        setenv("ORVANTE_SHUTDOWN_PAUSE_MS", "0", 1);
        unsetenv("ORVANTE");
    }

    void TearDown() override
    {
        m_agent.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    // Starts the agent, waits until it is ready and stops it again.
    void RunOnce()
    {
        m_agent = std::make_unique<CChildProcess>();
        ASSERT_TRUE(m_agent->Start(VESPERA_BINARY, {"--headless"}, (m_root / "vespera.err").string()));
        std::string line;
        ASSERT_TRUE(m_agent->ReadLine(line)) << m_agent->Errors();
        EXPECT_EQ(line, "not registered: AgentName, ANSHost and ANSPort are not all stored");
        ASSERT_TRUE(m_agent->ReadLine(line)) << m_agent->Errors();
        EXPECT_EQ(line.rfind("ready ", 0), 0u) << line;
        m_agent->Signal(SIGTERM);
        EXPECT_EQ(m_agent->Wait(), 0) << m_agent->Errors();
    }

    // The texts of the files under `logfiles` whose name starts with `prefix`.
    static std::vector<std::string> Logs(const std::filesystem::path& logfiles, const std::string& prefix)
    {
        std::vector<std::string> texts;
        std::error_code error;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(logfiles, error)) {
            if (!entry.is_regular_file(error) || entry.path().filename().string().rfind(prefix, 0) != 0)
                continue;
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            texts.push_back(text.str());
        }
        return texts;
    }

    std::filesystem::path m_root;
    std::unique_ptr<CChildProcess> m_agent;
};

TEST_F(StartupProcessTest, LogsGoToTheUsersDataDirectoryInStartUpOrder)
{
    RunOnce();
    const std::filesystem::path logfiles = m_root / "data" / "orvante" / "Logfiles";
    const std::vector<std::string> logs = Logs(logfiles, "VespLog-");
    ASSERT_EQ(logs.size(), 1u);
    const std::string& log = logs[0];
    std::size_t at = 0;
    for (const char* line :
         {"CVSP:process_create::Log File Created", "CVSP:process_create::Initializing Outlook Instance",
          "CVSP:process_create::Logging on to default Outlook Profile", "Total Appointments loaded = 0",
          "CVSP::LoadContacts: Total Contacts Loaded = 0",
          "CVSP:process_create::Starting Orvante Calendar Agent",
          "---------------------------VESP:New Run @ ", "Information [Initialize ANS]: Agent Lookup Details",
          "Information: The Agent is not registered with the ANS."}) {
        const std::size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\n" << log;
        at = found;
    }
    // The toolkit's own log lands beside it, since ORVANTE was exported,
    // and does not claim a registration nobody made.
    const std::vector<std::string> agentLogs = Logs(logfiles, "vespera-");
    ASSERT_EQ(agentLogs.size(), 1u);
    EXPECT_NE(agentLogs[0].find("Agent running without a registration with ANS"), std::string::npos);
    EXPECT_EQ(agentLogs[0].find("successfully registered"), std::string::npos);

    const std::string errors = m_agent->Errors();
    EXPECT_NE(errors.find("Progress: Initializing Outlook Instance...\n"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Progress: Starting ORVANTE Calendar Agent\n"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Information [Initialize ANS]: "), std::string::npos) << errors;
}

TEST_F(StartupProcessTest, StoredInstallDirectoryHoldsEveryLog)
{
    const std::filesystem::path install = m_root / "install";
    CRegistry registry;
    ASSERT_EQ(registry.WriteValue(SettingsKey, "InstallDir", install.string()), CRegistry::Ok);
    RunOnce();
    EXPECT_EQ(Logs(install / "Logfiles", "VespLog-").size(), 1u);
    EXPECT_EQ(Logs(install / "Logfiles", "vespera-").size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(m_root / "data" / "orvante" / "Logfiles"));
}

} // namespace
