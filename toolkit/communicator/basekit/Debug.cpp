#include <basekit/Debug.h>

#include <climits>

namespace {

const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

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

void CDebug::debug(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vdebug(fmt, args);
    va_end(args);
}

void CDebug::vdebug(const char* fmt, va_list args)
{
    if (!file)
        return;
    write_prefix();
    write_body(fmt, args);
    fputc('\n', file);
    fflush(file);
}

void CDebug::write_prefix()
{
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    fprintf(file, "[%.5ld] [%s] ", static_cast<long>(line_counter), my_asctime_short(&local));
    next_line_number();
}

// Formatting straight into the stream means a line of any length is written
// without an intermediate fixed-size buffer that could overrun.
void CDebug::write_body(const char* fmt, va_list args)
{
    if (!fmt)
        return;
    va_list copy;
    va_copy(copy, args);
    vfprintf(file, fmt, copy);
    va_end(copy);
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
        fclose(file);
    file = nullptr;
    owns_file = false;
}

// Only a stream this object opened itself is closed; an adopted one is
// merely forgotten, since its owner may still be using it.
void CDebug::close_owned()
{
    if (file && owns_file)
        fclose(file);
    file = nullptr;
    owns_file = false;
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
