#include <vespera/core/LaunchOptions.h>

#include <vespera/core/ScheduleAddress.h>

#include <cstring>
#include <optional>

bool CLaunchOptions::TakesValue(const char* argument)
{
    for (const char* option : {"-name", "-port", "-ans", "-ansport", "-unique", "-win"}) {
        if (std::strcmp(argument, option) == 0)
            return true;
    }
    return false;
}

bool CLaunchOptions::Parse(int argc, char** argv, const std::string& workingDirectory)
{
    *this = CLaunchOptions();
    for (int i = 0; i < argc; ++i) {
        char* argument = argv[i];
        if (i == 0 || argument[0] == '-' || (i > 1 && TakesValue(argv[i - 1]))) {
            if (i > 0 && std::strcmp(argument, HeadlessOption) == 0)
                m_headless = true;
            else if (i > 0 && std::strcmp(argument, AutostartOption) == 0)
                m_autostart = true;
            else
                m_container.push_back(argument);
            continue;
        }
        if (!m_schedule.empty()) {
            m_error = "one schedule at a time: " + std::string(argument) + " is a second";
            return false;
        }
        const std::optional<std::string> address =
            CScheduleAddress::FromArgument(argument, workingDirectory, m_error);
        if (!address)
            return false;
        m_schedule = *address;
    }
    m_container.push_back(nullptr);
    return true;
}
