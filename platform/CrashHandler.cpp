#include <platform/CrashHandler.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Everything the handler touches is static and fixed-size: at crash time the
// heap may be the thing that is broken.
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
constexpr std::size_t kAltStackSize = 64 * 1024;
constexpr int kMaxFrames = 64;
constexpr std::size_t kMaxDirectory = 1024;

char g_directory[kMaxDirectory];
CCrashHandler::Callback g_callback = nullptr;
struct sigaction g_previous[kSignalCount];
bool g_installed = false;
volatile sig_atomic_t g_reporting = 0;
alignas(16) char g_altStack[kAltStackSize];

const char* SignalName(int signal)
{
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "signal";
    }
}

// Decimal text of a non-negative number into `out` (at least 21 bytes).
void FormatNumber(long long value, char* out)
{
    char reversed[21];
    int length = 0;
    unsigned long long rest = value < 0 ? 0 : static_cast<unsigned long long>(value);
    do {
        reversed[length++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0 && length < 20);
    for (int i = 0; i < length; ++i)
        out[i] = reversed[length - 1 - i];
    out[length] = '\0';
}

void WriteText(int fd, const char* text)
{
    std::size_t left = std::strlen(text);
    while (left > 0) {
        ssize_t written = ::write(fd, text, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

void WriteLine(int fd, const char* label, const char* value)
{
    WriteText(fd, label);
    WriteText(fd, value);
    WriteText(fd, "\n");
}

int OpenReport()
{
    char path[kMaxDirectory + 64] = {};
    char number[21];
    std::strcat(path, g_directory);
    std::strcat(path, "/crash-");
    FormatNumber(static_cast<long long>(std::time(nullptr)), number);
    std::strcat(path, number);
    std::strcat(path, "-");
    FormatNumber(static_cast<long long>(::getpid()), number);
    std::strcat(path, number);
    std::strcat(path, ".txt");
    ::mkdir(g_directory, 0700);
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

void WriteReport(int signal)
{
    int fd = OpenReport();
    if (fd < 0)
        return;
    char number[21];
    WriteText(fd, "Crash report\n");
    WriteLine(fd, "signal: ", SignalName(signal));
    FormatNumber(::getpid(), number);
    WriteLine(fd, "process: ", number);
    FormatNumber(static_cast<long long>(std::time(nullptr)), number);
    WriteLine(fd, "time: ", number);
    static CCrashHandler::CReport report;
    std::memset(&report, 0, sizeof report);
    if (g_callback)
        g_callback(report);
    for (std::size_t i = 0; i < CCrashHandler::kSlots; ++i) {
        report.files[i][CCrashHandler::kSlotSize - 1] = '\0';
        report.descriptions[i][CCrashHandler::kSlotSize - 1] = '\0';
        if (report.files[i][0] == '\0')
            continue;
        WriteLine(fd, "file: ", report.files[i]);
        WriteLine(fd, "description: ", report.descriptions[i]);
    }
    WriteText(fd, "backtrace:\n");
    void* frames[kMaxFrames];
    backtrace_symbols_fd(frames, backtrace(frames, kMaxFrames), fd);
    ::fsync(fd);
    ::close(fd);
}

// The disposition was reset on entry (SA_RESETHAND); the re-raised signal is
// delivered when the handler returns, and a fault simply happens again.
void OnCrash(int signal)
{
    if (!g_reporting) {
        g_reporting = 1;
        WriteReport(signal);
    }
    ::raise(signal);
}

} // namespace

bool CCrashHandler::Install(const char* directory, Callback callback)
{
    if (!directory || std::strlen(directory) >= kMaxDirectory)
        return false;
    std::strcpy(g_directory, directory);
    g_callback = callback;
    if (g_installed)
        return true;
    // backtrace() loads its unwinder on first use; do that now, not in the handler.
    void* warmUp[1];
    backtrace(warmUp, 1);
    stack_t alternate{};
    alternate.ss_sp = g_altStack;
    alternate.ss_size = sizeof g_altStack;
    sigaltstack(&alternate, nullptr);
    struct sigaction action {};
    action.sa_handler = OnCrash;
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kSignalCount; ++i) {
        if (sigaction(kSignals[i], &action, &g_previous[i]) != 0) {
            for (int j = 0; j < i; ++j)
                sigaction(kSignals[j], &g_previous[j], nullptr);
            return false;
        }
    }
    g_installed = true;
    return true;
}

void CCrashHandler::Uninstall()
{
    if (!g_installed)
        return;
    for (int i = 0; i < kSignalCount; ++i)
        sigaction(kSignals[i], &g_previous[i], nullptr);
    g_installed = false;
}

void CCrashHandler::AppendToSlot(char (&slot)[kSlotSize], const char* text)
{
    std::size_t used = strnlen(slot, kSlotSize - 1);
    slot[used] = '\0';
    while (text && *text && used < kSlotSize - 1)
        slot[used++] = *text++;
    slot[used] = '\0';
}
