// Start-up of the headless calendar agent on a generated calendar: wall time
// from spawning the program to the "New Run" line of its application log,
// and the memory it holds at that moment; beside the same start on an empty
// calendar, and beside libical parsing the calendar text alone, all in the
// same run. Nothing here touches the network: the agent starts unregistered.

#include "../ProcessFigures.h"

#include <libical/ical.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using benchsupport::GenerateCalendar;
using benchsupport::StatusField;
using Clock = std::chrono::steady_clock;

struct CStart {
    double milliseconds = -1;
    long residentKiB = 0;
    long peakKiB = 0;
};

bool LogSays(const fs::path& logs, const std::string& text)
{
    std::error_code error;
    if (!fs::exists(logs, error))
        return false;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(logs, error)) {
        if (!entry.is_regular_file(error))
            continue;
        std::ifstream in(entry.path());
        std::stringstream content;
        content << in.rdbuf();
        if (content.str().find(text) != std::string::npos)
            return true;
    }
    return false;
}

std::vector<std::string> AgentEnvironment(const fs::path& home)
{
    std::vector<std::string> variables;
    for (char** variable = environ; *variable; ++variable)
        variables.emplace_back(*variable);
    const std::pair<const char*, fs::path> own[] = {
        {"HOME", home},
        {"ORVANTE", home},
        {"XDG_CONFIG_HOME", home / "config"},
        {"XDG_DATA_HOME", home / "data"},
        {"XDG_RUNTIME_DIR", home / "run"},
        {"ORVANTE_REGISTRY_DIR", home / "registry"},
    };
    for (const auto& [name, value] : own)
        variables.push_back(std::string(name) + "=" + value.string());
    variables.push_back("ORVANTE_STARTUP_PAUSE_MS=0");
    variables.push_back("ORVANTE_HOST_ADDRESS=127.0.0.1");
    return variables;
}

// One start of the agent in `home`, until its log says "New Run".
CStart StartOnce(const fs::path& home)
{
    fs::remove_all(home / "Logfiles");
    std::vector<std::string> variables = AgentEnvironment(home);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string program = VESPERA_BINARY;
    std::string headless = "--headless";
    char* argv[] = {program.data(), headless.data(), nullptr};

    CStart result;
    const Clock::time_point begin = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen((home / "agent.err").c_str(), "w", stderr);
        execve(program.c_str(), argv, envp.data());
        _exit(127);
    }
    const Clock::time_point deadline = begin + std::chrono::seconds(120);
    while (Clock::now() < deadline) {
        if (LogSays(home / "Logfiles", "VESP:New Run @")) {
            result.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
            result.residentKiB = StatusField(child, "VmRSS");
            result.peakKiB = StatusField(child, "VmHWM");
            break;
        }
        if (waitpid(child, nullptr, WNOHANG) == child)
            return result;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return result;
}

CStart MedianStart(const fs::path& home, int starts)
{
    std::vector<CStart> all;
    for (int i = 0; i < starts; ++i)
        all.push_back(StartOnce(home));
    std::sort(all.begin(), all.end(),
              [](const CStart& a, const CStart& b) { return a.milliseconds < b.milliseconds; });
    return all[all.size() / 2];
}

double MedianLibicalParse(const std::string& text, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point begin = Clock::now();
        icalcomponent* calendar = icalparser_parse_string(text.c_str());
        int events = 0;
        for (icalcomponent* event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
             event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT))
            ++events;
        icalcomponent_free(calendar);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
        if (events == 0)
            return -1;
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

fs::path PrepareHome(const fs::path& root, const std::string& label, const std::string& calendar)
{
    const fs::path home = root / label;
    fs::create_directories(home / "data" / "orvante");
    fs::create_directories(home / "registry");
    fs::create_directories(home / "run");
    std::ofstream(home / "data" / "orvante" / "calendar.ics", std::ios::binary) << calendar;
    return home;
}

} // namespace

int main(int argc, char** argv)
{
    const int events = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    const int starts = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::string pattern = (fs::temp_directory_path() / "orvante-startup-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    const std::string calendar = GenerateCalendar(events);
    const std::string empty = GenerateCalendar(0);

    const CStart full = MedianStart(PrepareHome(root, "full", calendar), starts);
    const CStart bare = MedianStart(PrepareHome(root, "empty", empty), starts);
    const double parse = MedianLibicalParse(calendar, starts);
    fs::remove_all(root);
    if (full.milliseconds < 0 || bare.milliseconds < 0 || parse <= 0) {
        std::fprintf(stderr, "startup_bench: an agent did not reach \"New Run\" (see its agent.err)\n");
        return 1;
    }
    const double load = full.milliseconds - bare.milliseconds;
    std::printf("calendar: %d events, %zu bytes; median of %d starts, start-up pauses cut to 0\n", events,
                calendar.size(), starts);
    std::printf("start-up to \"New Run\", %d events: %8.1f ms   resident %6ld KiB (peak %ld KiB)\n", events,
                full.milliseconds, full.residentKiB, full.peakKiB);
    std::printf("start-up to \"New Run\", empty:     %8.1f ms   resident %6ld KiB (peak %ld KiB)\n",
                bare.milliseconds, bare.residentKiB, bare.peakKiB);
    std::printf("calendar's share of start-up:    %8.1f ms\n", load);
    std::printf("libical parse of the same text:  %8.1f ms\n", parse);
    std::printf("ratio (calendar's share / libical parse): %.2f\n", load / parse);
    return 0;
}
