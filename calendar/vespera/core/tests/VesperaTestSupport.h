#pragma once

// Helpers for tests of the calendar agent: a private home and registry, the
// in-memory calendar program, and an agent that records what it would send
// and every line it writes to its debug log instead of reaching the network.

#include <vespera/core/Vespera.h>

#include <vespera/core/AppointmentRequests.h>
#include <vespera/core/CalendarBridge.h>
#include <vespera/core/NameServerRegistration.h>
#include <vespera/core/Preferences.h>
#include <vespera/core/StartupPause.h>

#include <basekit/Debug.h>
#include <outlook/MemoryBackend.h>
#include <platform/BalloonSink.h>
#include <platform/MessageBoxSink.h>
#include <platform/ProgressSink.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <optional>
#include <string>
#include <vector>

namespace vespera_test {

// A weekday well ahead, at 10:00, with nothing of the user's around it.
inline CDateTime FreeMorning()
{
    return CDateTime(2031, 3, 4, 10, 0, 0);
}

// A fresh temporary directory made HOME, XDG_CONFIG_HOME, XDG_DATA_HOME,
// XDG_RUNTIME_DIR and ORVANTE_REGISTRY_DIR for the life of the object, with
// ORVANTE unset and the start-up pauses skipped; the former values come back
// and the directory goes when it is destroyed.
class CTemporaryHome {
public:
    CTemporaryHome()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vespera-test-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!mkdtemp(buffer.data()))
            throw std::runtime_error("cannot make a temporary home");
        m_root = buffer.data();
        Point("HOME", m_root);
        Point("XDG_CONFIG_HOME", m_root / "config");
        Point("XDG_DATA_HOME", m_root / "data");
        Point("XDG_RUNTIME_DIR", m_root / "run");
        Point("ORVANTE_REGISTRY_DIR", m_root / "registry");
        Set(CStartupPause::LimitVariable, "0");
        Set("ORVANTE", std::nullopt);
    }

    ~CTemporaryHome()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    CTemporaryHome(const CTemporaryHome&) = delete;
    CTemporaryHome& operator=(const CTemporaryHome&) = delete;

    const std::filesystem::path& Root() const { return m_root; }
    // Where the agent's logs go unless told otherwise.
    std::filesystem::path DataDir() const { return m_root / "data" / "orvante"; }

    // Sets (nullopt: unsets) a variable until the home goes.
    void Set(const std::string& name, const std::optional<std::string>& value)
    {
        if (m_saved.find(name) == m_saved.end()) {
            const char* old = std::getenv(name.c_str());
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    std::filesystem::path RegistryDir() const { return m_root / "registry"; }

private:
    void Point(const std::string& name, const std::filesystem::path& dir)
    {
        std::filesystem::create_directories(dir);
        Set(name, dir.string());
    }

    std::filesystem::path m_root;
    std::map<std::string, std::optional<std::string>> m_saved;
};

// The balloons shown while it lives, as "title: text", in place of the
// sink that was current.
class CBalloonRecorder : public CBalloonSink {
public:
    CBalloonRecorder() : m_previous(CBalloonSink::SetCurrent(this)) {}
    ~CBalloonRecorder() override { CBalloonSink::SetCurrent(m_previous); }
    CBalloonRecorder(const CBalloonRecorder&) = delete;
    CBalloonRecorder& operator=(const CBalloonRecorder&) = delete;

    void ShowBalloon(const std::string& title, const std::string& text) override
    {
        texts.push_back(title + ": " + text);
    }

    std::vector<std::string> texts;

private:
    CBalloonSink* m_previous;
};

// One message the agent sent, or would have sent.
struct SSentMessage {
    std::string performative;
    std::string receiver;
    std::string content;
    // False for SendAgentMessage, true for the notice to the alert agent.
    bool alertNotice = false;
};

// The agent with its sends recorded (and not sent) and its debug log kept in
// a file that the test reads back line by line.
class CRecordingVespera : public CVespera {
public:
    explicit CRecordingVespera(std::shared_ptr<outlook::CBackend> backend,
                               const std::filesystem::path& logFile)
        : CVespera(std::move(backend)), m_logFile(logFile)
    {
        set_file(m_logFile.c_str());
        // Nothing of a test agent may land in the directory the tests run in.
        set_belief_dump_file(nullptr);
    }

    std::optional<std::string> SendAgentMessage(const std::string& performative, const std::string& receiver,
                                                const std::string& content) override
    {
        m_sent.push_back({performative, receiver, content, false});
        return m_sendError;
    }

    std::optional<std::string> SendAlertNotice(const std::string& receiver,
                                               const std::string& content) override
    {
        m_sent.push_back({"tell", receiver, content, true});
        return m_sendError;
    }

    // Every send from now on reports this error text (nullopt: sent).
    void SetSendError(std::optional<std::string> error) { m_sendError = std::move(error); }

    const std::vector<SSentMessage>& Sent() const { return m_sent; }
    void ClearSent() { m_sent.clear(); }

    // The debug lines written so far, without the counter and time prefix.
    std::vector<std::string> DebugLines()
    {
        if (FILE* stream = get_file_pointer())
            std::fflush(stream);
        std::vector<std::string> lines;
        std::ifstream in(m_logFile);
        std::string line;
        while (std::getline(in, line))
            lines.push_back(StripPrefix(line));
        return lines;
    }

    // How many debug lines are exactly `text`.
    int CountLine(const std::string& text)
    {
        int count = 0;
        for (const std::string& line : DebugLines())
            count += line == text ? 1 : 0;
        return count;
    }
    bool HasLine(const std::string& text) { return CountLine(text) > 0; }
    // Whether some debug line holds `piece`.
    bool HasLineContaining(const std::string& piece)
    {
        for (const std::string& line : DebugLines())
            if (line.find(piece) != std::string::npos)
                return true;
        return false;
    }

    // Forgets the lines written so far.
    void ClearDebugLines() { set_file(m_logFile.c_str()); }

    // The lines of the application log so far, without their prefix.
    std::vector<std::string> ApplicationLines()
    {
        if (FILE* stream = GetApplicationLog().get_file_pointer())
            std::fflush(stream);
        std::vector<std::string> lines;
        std::ifstream in(GetApplicationLogPath());
        std::string line;
        while (std::getline(in, line))
            lines.push_back(StripPrefix(line));
        return lines;
    }
    int CountApplicationLine(const std::string& text)
    {
        int count = 0;
        for (const std::string& line : ApplicationLines())
            count += line == text ? 1 : 0;
        return count;
    }
    bool HasApplicationLine(const std::string& text) { return CountApplicationLine(text) > 0; }
    // The position of the first application line that is `text`, -1 when none is.
    int ApplicationLineIndex(const std::string& text)
    {
        std::vector<std::string> lines = ApplicationLines();
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == text)
                return static_cast<int>(i);
        return -1;
    }

private:
    // A log line starts "[00001] [hh:mm:ss] ".
    static std::string StripPrefix(const std::string& line)
    {
        if (line.empty() || line[0] != '[')
            return line;
        std::size_t first = line.find("] [");
        if (first == std::string::npos)
            return line;
        std::size_t second = line.find("] ", first + 3);
        return second == std::string::npos ? line : line.substr(second + 2);
    }

    std::filesystem::path m_logFile;
    std::vector<SSentMessage> m_sent;
    std::optional<std::string> m_sendError;
};

// A whole KQML message from sender to the agent carrying `content`, which is
// given without its outer parentheses ("tell :command ...").
inline std::string MakeMessage(const std::string& content, const std::string& sender = "peer-CalendarAgent",
                               const std::string& receiver = "user_example.org-CalendarAgent")
{
    return "(tell :sender " + sender + " :receiver " + receiver + " :content (" + content + "))";
}

// The fixture most agent tests start from: a private home and registry, an
// in-memory calendar program that is started and logged on, message boxes
// and progress texts recorded, the application log in the home, and the
// agent built on all of them.
//
// Tests that need registry values or calendar items before the agent reads
// them call ResetAgent() after writing them.
class CVesperaTest : public ::testing::Test {
protected:
    CVesperaTest()
    {
        m_previousSink = CMessageBoxSink::SetCurrent(&m_boxes);
        m_previousProgress = CProgressSink::SetCurrent(&m_progress);
    }

    ~CVesperaTest() override
    {
        m_agent.reset();
        CMessageBoxSink::SetCurrent(m_previousSink);
        CProgressSink::SetCurrent(m_previousProgress);
    }

    void SetUp() override { ResetAgent(); }

    // Builds the agent again on the same home and calendar program.
    void ResetAgent()
    {
        m_agent.reset();
        m_agent = std::make_unique<CRecordingVespera>(m_backend, m_home.Root() / "debug.log");
        m_agent->SetInstallDirectory(m_home.DataDir().string());
        m_agent->CreateLogFile(m_home.DataDir().string());
        ASSERT_TRUE(m_agent->StartOutlook());
    }

    // Builds the agent again without starting the calendar program.
    void ResetAgentUnstarted()
    {
        m_agent.reset();
        m_agent = std::make_unique<CRecordingVespera>(m_backend, m_home.Root() / "debug.log");
        m_agent->SetInstallDirectory(m_home.DataDir().string());
        m_agent->CreateLogFile(m_home.DataDir().string());
    }

    // Hands the agent a message from sender whose content is `content`.
    void Deliver(const std::string& content, const std::string& sender = "peer-CalendarAgent")
    {
        std::string message = MakeMessage(content, sender);
        m_agent->process_message(message.data());
    }

    CRecordingVespera& Agent() { return *m_agent; }
    outlook::CMemoryBackend& Backend() { return *m_backend; }
    CMessageBoxSink::CRecorder& Boxes() { return m_boxes; }
    CProgressSink::CRecorder& ProgressTexts() { return m_progress; }
    CTemporaryHome& Home() { return m_home; }

private:
    CTemporaryHome m_home;
    std::shared_ptr<outlook::CMemoryBackend> m_backend = std::make_shared<outlook::CMemoryBackend>();
    CMessageBoxSink::CRecorder m_boxes;
    CMessageBoxSink* m_previousSink = nullptr;
    CProgressSink::CRecorder m_progress;
    CProgressSink* m_previousProgress = nullptr;
    std::unique_ptr<CRecordingVespera> m_agent;
};

} // namespace vespera_test
