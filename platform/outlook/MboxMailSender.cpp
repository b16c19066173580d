#include <outlook/MboxMailSender.h>

#include <outlook/MailMessage.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace outlook {
namespace {
const char* const Weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string SystemError(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

// "Tue Dec  8 09:49:22 2026" in UTC, as mbox separator lines carry it.
std::string SeparatorDate(std::time_t date)
{
    std::tm utc{};
    gmtime_r(&date, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %04d", Weekdays[utc.tm_wday % 7],
                  Months[utc.tm_mon % 12], utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  utc.tm_year + 1900);
    return text;
}

// ">From " lines get one more '>' too, so that readers that strip one level
// give back the body as it was.
bool NeedsQuoting(const std::string& line)
{
    const std::string::size_type start = line.find_first_not_of('>');
    return start != std::string::npos && line.compare(start, 5, "From ") == 0;
}

bool WriteAll(int fd, const std::string& text, int& error)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = written < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

int LockExclusive(int fd)
{
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR)
            return errno;
    return 0;
}

// Appends under the lock; anything written before a failure is cut off.
bool AppendLocked(int fd, const std::string& text, std::string& error)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error = SystemError("cannot read the outbox's size", errno);
        return false;
    }
    int failure = 0;
    if (WriteAll(fd, text, failure) && ::fsync(fd) == 0)
        return true;
    if (failure == 0)
        failure = errno;
    error = SystemError("cannot write the outbox", failure);
    if (::ftruncate(fd, status.st_size) != 0 || ::fsync(fd) != 0)
        error += SystemError(" (and cannot cut it back to its old length", errno) + ")";
    return false;
}
} // namespace

const char* const CMboxMailSender::FileName = "outbox.mbox";

CMboxMailSender::CMboxMailSender(const std::string& directory, const std::string& from)
    : m_directory(directory.empty() ? "." : directory), m_path(m_directory + "/" + FileName), m_from(from)
{
}

bool CMboxMailSender::Send(const CMailData& mail, std::string& error)
{
    return Append(CMailMessage(m_from, mail), error);
}

std::string CMboxMailSender::ToMbox(const CMailMessage& message)
{
    std::string text = "From " + message.GetFrom() + " " + SeparatorDate(message.GetDate()) + "\n";
    for (const std::string& line : message.HeaderLines())
        text += line + "\n";
    text += "\n";
    for (const std::string& line : message.BodyLines())
        text += (NeedsQuoting(line) ? ">" : "") + line + "\n";
    text += "\n";
    return text;
}

bool CMboxMailSender::EnsureDirectory(std::string& error) const
{
    std::error_code code;
    std::filesystem::create_directories(m_directory, code);
    if (code) {
        error = "cannot make the directory " + m_directory + ": " + code.message();
        return false;
    }
    return true;
}

bool CMboxMailSender::Append(const CMailMessage& message, std::string& error)
{
    if (!message.Check(error) || !EnsureDirectory(error))
        return false;
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = SystemError("cannot open " + m_path, errno);
        return false;
    }
    bool appended = false;
    const int lockError = LockExclusive(fd);
    if (lockError != 0)
        error = SystemError("cannot lock " + m_path, lockError);
    else
        appended = AppendLocked(fd, ToMbox(message), error);
    ::close(fd);
    return appended;
}
} // namespace outlook
