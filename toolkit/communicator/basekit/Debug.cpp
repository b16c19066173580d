#include <basekit/Debug.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <pthread.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A log stream opened by a CDebug, with the buffer stdio writes it through.
struct BufferedStream {
    std::uint64_t serial;
    FILE* stream;
    std::unique_ptr<char[]> buffer;
    dev_t device;
    ino_t inode;
};

std::uint64_t next_serial = 1;

// Never destroyed: static objects torn down at exit may still write and
// close their logs after this file's own statics would be gone.
std::vector<BufferedStream>& buffered_streams()
{
    static auto* streams = new std::vector<BufferedStream>();
    return *streams;
}

bool deferring = false;

void flush_every_log()
{
    CDebug::flush_all();
}

// A forked child would otherwise inherit the pending lines and write them a
// second time when it exits.
void install_process_hooks()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    std::atexit(flush_every_log);
    pthread_atfork(flush_every_log, nullptr, nullptr);
}

bool is_buffered(FILE* stream)
{
    for (const BufferedStream& entry : buffered_streams()) {
        if (entry.stream == stream)
            return true;
    }
    return false;
}

FILE* buffered_stream_of(std::uint64_t serial)
{
    for (const BufferedStream& entry : buffered_streams()) {
        if (entry.serial == serial)
            return entry.stream;
    }
    return nullptr;
}

// The serial of the buffered log that writes the same file as `stream`, or
// 0 when there is none.
std::uint64_t alias_of(FILE* stream)
{
    struct stat info {};
    if (is_buffered(stream) || fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode))
        return 0;
    for (const BufferedStream& entry : buffered_streams()) {
        if (entry.device == info.st_dev && entry.inode == info.st_ino)
            return entry.serial;
    }
    return 0;
}

void start_buffering(FILE* stream)
{
    struct stat info {};
    if (fstat(fileno(stream), &info) != 0)
        return;
    auto buffer = std::make_unique<char[]>(CDebug::kBufferBytes);
    if (setvbuf(stream, buffer.get(), _IOFBF, CDebug::kBufferBytes) != 0)
        return;
    install_process_hooks();
    buffered_streams().push_back(
        BufferedStream{next_serial++, stream, std::move(buffer), info.st_dev, info.st_ino});
}

// Closes the stream before its buffer is freed, since fclose writes out
// what the buffer still holds.
void close_stream(FILE* stream)
{
    std::unique_ptr<char[]> buffer;
    std::vector<BufferedStream>& streams = buffered_streams();
    for (auto it = streams.begin(); it != streams.end(); ++it) {
        if (it->stream == stream) {
            buffer = std::move(it->buffer);
            streams.erase(it);
            break;
        }
    }
    fclose(stream);
}

// A line longer than the whole buffer goes straight to the descriptor, so
// that stdio cannot split it across two writes.
void write_through(FILE* stream, const char* text, std::size_t length)
{
    fflush(stream);
    const int fd = fileno(stream);
    while (length > 0) {
        const ssize_t written = ::write(fd, text, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

} // namespace

CDebug::CDebug() = default;

CDebug::~CDebug()
{
    close_owned();
}

void CDebug::dprintf(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vdebug(fmt, args);
    va_end(args);
}

void CDebug::debug(const char* text)
{
    dprintf("%s", text ? text : "");
}

void CDebug::vdebug(const char* fmt, va_list args)
{
    if (!file)
        return;
    std::string line;
    append_prefix(line);
    append_body(line, fmt, args);
    line += '\n';
    emit_lines(line.data(), line.size());
}

void CDebug::append_prefix(std::string& line)
{
    char prefix[96];
    snprintf(prefix, sizeof prefix, "[%.5ld] [%s] ", static_cast<long>(line_counter), current_time_text());
    line += prefix;
    next_line_number();
}

// Turning the clock into local time text costs more than the rest of a
// line; a busy log writes many lines a second, so the text is made once
// for each second.
const char* CDebug::current_time_text()
{
    thread_local time_t made_for = static_cast<time_t>(-1);
    thread_local std::string text;
    const time_t now = time(nullptr);
    if (now != made_for || text.empty()) {
        struct tm local {};
        localtime_r(&now, &local);
        text = my_asctime_short(&local);
        made_for = now;
    }
    return text.c_str();
}

// The text is measured before it is formatted, so a line of any length is
// written whole without a fixed-size buffer that could overrun.
void CDebug::append_body(std::string& line, const char* fmt, va_list args)
{
    if (!fmt)
        return;
    char small[512];
    va_list copy;
    va_copy(copy, args);
    const int needed = vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (needed < 0)
        return;
    const std::size_t length = static_cast<std::size_t>(needed);
    if (length < sizeof small) {
        line.append(small, length);
        return;
    }
    const std::size_t start = line.size();
    line.resize(start + length + 1);
    va_copy(copy, args);
    vsnprintf(&line[start], length + 1, fmt, copy);
    va_end(copy);
    line.resize(start + length);
}

void CDebug::emit_lines(const char* text, std::size_t length)
{
    if (!file || !text || length == 0)
        return;
    FILE* target = target_stream();
    if (!deferring || !is_buffered(target)) {
        flush_all();
        fwrite(text, 1, length, target);
        fflush(target);
        return;
    }
    if (__fpending(target) + length > kBufferBytes)
        fflush(target);
    if (length > kBufferBytes)
        write_through(target, text, length);
    else
        fwrite(text, 1, length, target);
}

// What the adopted stream itself may still hold goes out first, so that
// switching to the log's buffer cannot reorder it.
FILE* CDebug::target_stream()
{
    if (!alias)
        return file;
    if (FILE* log = buffered_stream_of(alias)) {
        fflush(file);
        return log;
    }
    alias = 0;
    return file;
}

// The counter wraps to 0 rather than overflowing, which would be undefined.
void CDebug::next_line_number()
{
    line_counter = (line_counter == INT_MAX) ? 0 : line_counter + 1;
}

void CDebug::set_file(const char* name)
{
    if (!name)
        return;
    std::string copy(name);
    close_owned();
    file_name = std::move(copy);
    file = fopen(file_name->c_str(), "w");
    owns_file = (file != nullptr);
    if (file)
        start_buffering(file);
}

int CDebug::Create(const char* name)
{
    set_file(name);
    return file ? 1 : 0;
}

void CDebug::set_file(FILE* stream)
{
    if (!stream || stream == file)
        return;
    close_owned();
    file = stream;
    owns_file = false;
    alias = alias_of(stream);
}

char* CDebug::get_file()
{
    return file_name ? file_name->data() : nullptr;
}

FILE* CDebug::get_file_pointer()
{
    return file;
}

void CDebug::close()
{
    if (file)
        close_stream(file);
    file = nullptr;
    owns_file = false;
    alias = 0;
}

void CDebug::flush()
{
    if (file)
        fflush(file);
}

void CDebug::flush_all()
{
    for (const BufferedStream& entry : buffered_streams())
        fflush(entry.stream);
}

void CDebug::set_deferred(bool deferred)
{
    deferring = deferred;
    if (!deferred)
        flush_all();
}

bool CDebug::is_deferred()
{
    return deferring;
}

// Only a stream this object opened itself is closed; an adopted one is
// merely forgotten, since its owner may still be using it.
void CDebug::close_owned()
{
    if (file && owns_file)
        close_stream(file);
    file = nullptr;
    owns_file = false;
    alias = 0;
}

const char* CDebug::day_name(int wday)
{
    return (wday >= 0 && wday < 7) ? kDayNames[wday] : "???";
}

const char* CDebug::month_name(int mon)
{
    return (mon >= 0 && mon < 12) ? kMonthNames[mon] : "???";
}

char* CDebug::my_asctime_short(const struct tm* t)
{
    static char buffer[64];
    buffer[0] = '\0';
    if (t)
        snprintf(buffer, sizeof buffer, "%.2d:%2d:%.2d", t->tm_hour, t->tm_min, t->tm_sec);
    return buffer;
}

char* CDebug::my_asctime(const struct tm* t)
{
    static char buffer[128];
    buffer[0] = '\0';
    if (t) {
        long long year = static_cast<long long>(t->tm_year) + 1900;
        snprintf(buffer, sizeof buffer, "%.3s-%.3s-%2d-%.2d_%2d_%.2d-%lld", day_name(t->tm_wday),
                 month_name(t->tm_mon), t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec, year);
    }
    return buffer;
}
