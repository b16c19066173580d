#pragma once

#include <string>
#include <vector>

// The program's command line: its own switches (--headless, --autostart),
// at most one schedule to open (a file or an address, as a desktop passes
// it), and the agent container's options, which are left for the container
// to read.
class CLaunchOptions {
public:
    static constexpr const char* HeadlessOption = "--headless";
    // Given by the user's autostart entry: the program was started with the
    // desktop session, not by the user.
    static constexpr const char* AutostartOption = "--autostart";

    // False, with GetError(), for a second schedule or one that cannot be
    // opened (see CScheduleAddress); relative paths are taken from
    // `workingDirectory`.
    bool Parse(int argc, char** argv, const std::string& workingDirectory);

    bool IsHeadless() const { return m_headless; }
    bool IsAutostart() const { return m_autostart; }
    // The address the schedule browser retrieves at start, or in the agent
    // already running; empty for none.
    const std::string& GetSchedule() const { return m_schedule; }
    // The program's name and the container's options, ended by a null
    // pointer; they point into the argv given to Parse.
    std::vector<char*>& ContainerArguments() { return m_container; }
    const std::string& GetError() const { return m_error; }

    // Whether the container's option `argument` takes the argument after it
    // as its value.
    static bool TakesValue(const char* argument);

private:
    bool m_headless = false;
    bool m_autostart = false;
    std::string m_schedule;
    std::vector<char*> m_container;
    std::string m_error;
};
