#include <vespera/core/AutostartEntry.h>

#include <vespera/core/LaunchOptions.h>

#include <platform/AtomicFile.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

// An entry is a few lines; anything larger is no entry of ours to read.
constexpr std::size_t MaxEntryBytes = 64 * 1024;

std::string AutostartDirectory()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/')
        return std::string(config) + "/autostart";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/autostart";
}

std::string Trimmed(const std::string& text)
{
    const std::size_t from = text.find_first_not_of(" \t\r");
    const std::size_t to = text.find_last_not_of(" \t\r");
    return from == std::string::npos ? std::string() : text.substr(from, to - from + 1);
}

// Whether the [Desktop Entry] group of `text` switches the entry off.
bool SwitchesOff(const std::string& text)
{
    std::istringstream lines(text);
    bool inEntry = false;
    for (std::string line; std::getline(lines, line);) {
        line = Trimmed(line);
        if (!line.empty() && line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inEntry || equals == std::string::npos)
            continue;
        const std::string key = Trimmed(line.substr(0, equals));
        const std::string value = Trimmed(line.substr(equals + 1));
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return true;
    }
    return false;
}

// Only this program writes the entry, one instance at a time: the lock file
// would just be one more file in the user's autostart folder.
void RemoveLockFile(const CAtomicFile& file)
{
    ::unlink(file.GetLockPath().c_str());
}

} // namespace

std::string CAutostartEntry::Path()
{
    return AutostartDirectory() + "/" + FileName;
}

// Read without the writers' lock, which would leave a lock file in the
// folder just for looking: the file is only ever replaced whole.
bool CAutostartEntry::IsEnabled()
{
    std::error_code failure;
    std::ifstream in(Path(), std::ios::binary);
    if (!std::filesystem::is_regular_file(Path(), failure) || !in)
        return false;
    std::string text(MaxEntryBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return !SwitchesOff(text);
}

std::string CAutostartEntry::ExecArgument(const std::string& argument)
{
    static const char* const Reserved = " \t\"'\\><~|&;$*?#()`";
    std::string quoted;
    const bool quote = argument.empty() || argument.find_first_of(Reserved) != std::string::npos;
    for (char c : argument) {
        if (c == '%')
            quoted += "%%";
        else if (quote && (c == '"' || c == '`' || c == '$'))
            quoted += std::string("\\\\") + c;
        else if (c == '\\')
            quoted += "\\\\\\\\";
        else
            quoted += c;
    }
    return quote ? "\"" + quoted + "\"" : quoted;
}

std::string CAutostartEntry::Text(const std::string& program)
{
    for (unsigned char c : program) {
        if (c < 0x20 || c == 0x7f)
            return std::string();
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Orvante Calendar Agent\n"
           "Comment=Negotiates meetings for you from the start of your desktop session\n"
           "Exec=" +
           ExecArgument(program) + " " + CLaunchOptions::AutostartOption +
           "\n"
           "Icon=orvante-vespera\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool CAutostartEntry::Enable(const std::string& program, std::string& error)
{
    const std::string text = Text(program);
    if (text.empty() || program.empty() || program[0] != '/') {
        error = "The program's path cannot be written in an autostart entry: " + program;
        return false;
    }
    const CAtomicFile file(Path(), MaxEntryBytes);
    const bool written =
        CAtomicFile::MakeDirectories(file.GetDirectory(), error) && file.Replace(text, error);
    RemoveLockFile(file);
    if (!written)
        error = "The autostart entry " + Path() + " cannot be written: " + error;
    return written;
}

bool CAutostartEntry::Enable(std::string& error)
{
    return Enable(RunningProgram(), error);
}

bool CAutostartEntry::Disable(std::string& error)
{
    const std::string path = Path();
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) {
        RemoveLockFile(CAtomicFile(path));
        return true;
    }
    error = "The autostart entry " + path + " cannot be removed: " + std::strerror(errno);
    return false;
}

std::string CAutostartEntry::RunningProgram()
{
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored).string();
}
