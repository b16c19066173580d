#pragma once

// What both hosts of the agent (the window and the headless one) do around
// it: the user's data directory with its crash reports, the one instance per
// user, the agent on the user's calendar files, the timings tests shorten,
// and what the program tells its caller on standard output.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class CDlgContainer;
class CEventLoop;
class CLaunchOptions;
class CMessageBoxSink;
class CProgressSink;
class CSingleInstance;
class CVespera;

namespace outlook {
class CMailSender;
}

namespace agenthost {

constexpr const char* InstanceName = "ORVANTESEMANTICWEBCALENDARAGENT-DE3A7EF1-93A2-42ef-A93A-ABE6113A7727";
// What a later start asks of the running instance: to bring its window to
// the front (no text), or to open the schedule browser on an address (the
// text). The instance's answer is the request itself when it took it.
constexpr std::uint32_t RaiseRequest = 0x8101;
constexpr std::uint32_t OpenScheduleRequest = 0x8102;

void Say(FILE* stream, const std::string& line);

// The user's data directory, made when missing, with the crash handler
// writing its reports below it.
std::filesystem::path PrepareDataDirectory();
// False when another instance runs, with the exit code this start ends
// with: the running instance was handed the schedule to open (0), or
// brought its window to the front and the user was told it runs (1); a
// start from the desktop session ends quietly (0). A lock that cannot be
// made at all does not keep the user from the agent.
bool ClaimSingleInstance(CSingleInstance& instance, const CLaunchOptions& options, int& exitCode);

// The agent on the calendar and contact files of `data`, listening where the
// name server will send other agents, with mail going the way the stored
// settings say (`mailSender` must outlive the agent).
std::unique_ptr<CVespera> MakeAgent(const std::filesystem::path& data, CEventLoop& loop,
                                    std::unique_ptr<outlook::CMailSender>& mailSender);
// Creates the container from the command line and has the instance answer
// the probes of later starts; false (told to the user) when the container
// cannot be created.
bool CreateAgentContainer(CDlgContainer& dialog, CVespera& agent, std::vector<char*>& arguments,
                          CSingleInstance& instance, CEventLoop& loop);

// Makes a host's message-box and progress sinks the current ones for its
// lifetime; the previous ones come back when it goes.
class CInstalledSinks {
public:
    CInstalledSinks(CMessageBoxSink& boxes, CProgressSink& progress);
    ~CInstalledSinks();
    CInstalledSinks(const CInstalledSinks&) = delete;
    CInstalledSinks& operator=(const CInstalledSinks&) = delete;

private:
    CMessageBoxSink* m_previousBoxes = nullptr;
    CProgressSink* m_previousProgress = nullptr;
};

// The test timings of the environment (pauses, tick period, alive period).
void ApplyTestTimings(CVespera& agent, CDlgContainer& dialog);
// Names the two logs for a crash report, once they exist.
void RememberLogPathsForCrashReport(const CVespera& agent);
// A headless agent outlives the terminal it was started from.
void SurviveBrokenPipes();
// Whether the name server took the agent's name, and that it is ready.
void SayRegistration(CVespera& agent);
void SayReady(CVespera& agent);

} // namespace agenthost
