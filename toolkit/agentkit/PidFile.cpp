#include <agentkit/PidFile.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

CPidFile::CPidFile() = default;

CPidFile::~CPidFile() = default;

bool CPidFile::usable_name(const char* name)
{
    if (!name || !*name || std::strchr(name, '/'))
        return false;
    return std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

std::string CPidFile::date_text(const struct tm& now)
{
    char text[160];
    std::snprintf(text, sizeof text, ":date (tell :day %d :month %d :year %d :hour %d :minute %d :second %d)",
                  now.tm_mday, now.tm_mon + 1, now.tm_year + 1900, now.tm_hour, now.tm_min, now.tm_sec);
    return text;
}

CPidFile::Result CPidFile::write(const char* home, const char* name, const struct tm& now)
{
    if (!home || !*home)
        return NO_HOME;
    if (!usable_name(name))
        return BAD_NAME;
    std::filesystem::path dir = std::filesystem::path(home) / "system" / "pid";
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error)
        return OPEN_FAILED;
    std::string file = (dir / (std::string(name) + ".txt")).string();
    FILE* stream = std::fopen(file.c_str(), "w");
    if (!stream)
        return OPEN_FAILED;
    std::string text = date_text(now);
    bool written = std::fputs(text.c_str(), stream) >= 0;
    written = (std::fclose(stream) == 0) && written;
    if (!written) {
        std::remove(file.c_str());
        return OPEN_FAILED;
    }
    path = file;
    return CREATED;
}

int CPidFile::remove()
{
    if (path.empty())
        return 0;
    int removed = std::remove(path.c_str()) == 0;
    path.clear();
    return removed;
}

const std::string& CPidFile::get_path() const
{
    return path;
}
