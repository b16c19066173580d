#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

// Root of every toolkit object, and a debug log in its own right.
//
// Every line written through dprintf/debug starts with "[%.5ld] [%s] ": a
// zero-padded line counter and the local time as my_asctime_short renders it.
// When no file is open, output is silently dropped.
//
// A file opened by name is written in whole lines, and while lines are
// deferred (set_deferred) they gather in a 64 KiB buffer instead of costing
// a system call each. The buffer goes out when the next line would not fit,
// when deferring ends, on flush() and flush_all(), when the file is closed
// or changed, before fork() and at normal process exit. An event loop defers
// lines while it dispatches and ends that before it waits, so readers see
// every line as soon as the process is idle; outside that, every line is in
// the file when dprintf returns. A line never straddles two writes.
//
// An adopted stream onto a file that a CDebug has open (a duplicate of its
// descriptor, say) is written through that log's buffer while the log stays
// open, so the lines of both keep their order. Any other adopted stream is
// flushed after every line, and only once every deferred line has gone out,
// so that no line overtakes an earlier one of another log sharing the file.
//
// Text conventions of the whole library: inputs that are only read are
// `const char*`; inputs changed in place are `char*`; `char*` results are
// owned by the object that returns them unless the comment says "caller frees
// with free()" (such texts are allocated with malloc).
class CDebug {
public:
    CDebug();
    virtual ~CDebug();

    CDebug(const CDebug&) = delete;
    CDebug& operator=(const CDebug&) = delete;

    // Write one log line: prefix, the formatted text, "\n". The format is
    // checked by the compiler; text from elsewhere goes in as an argument.
    virtual void dprintf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // One log line holding `text` as it is, '%' and all: the form for text
    // that other agents or files supplied. Goes through dprintf, so a class
    // that sends its lines elsewhere overrides dprintf only.
    virtual void debug(const char* text);

    // The same as dprintf() for callers that already hold a va_list (derived
    // classes overriding dprintf forward here). Lines of any length are
    // written in full.
    void vdebug(const char* fmt, va_list args) __attribute__((format(printf, 2, 0)));

    // Closes the current file and opens `name` for writing with truncation.
    // The name is kept even when opening fails. A null name does nothing.
    void set_file(const char* name);
    // Opens the log as set_file(name) does; 1 when the file is open, else 0.
    int Create(const char* name);
    // Adopts an already open stream (null is ignored). The stream stays the
    // caller's: the destructor does not close it, though close() does.
    // Note: call as set_file(static_cast<FILE*>(nullptr)) if you must pass a
    // null literal, since set_file(nullptr) is ambiguous.
    void set_file(FILE* stream);

    // The log file name (owned by this object) or null.
    char* get_file();
    // The open stream or null.
    FILE* get_file_pointer();
    // Closes the stream if one is open.
    void close();

    // Writes out what is buffered for this object's stream.
    void flush();
    // Writes out the buffers of every log file open in the process.
    static void flush_all();
    // Process-wide: while true, lines of the files CDebug opened wait in
    // their buffers; turning it off writes out every buffer.
    static void set_deferred(bool deferred);
    static bool is_deferred();

    // Bytes a buffered log holds before it is written out.
    static constexpr std::size_t kBufferBytes = 64 * 1024;

    // "%.2d:%2d:%.2d" of hour, minute, second (the minute is padded with a
    // blank). Returns one static buffer, overwritten by the next call; a null
    // time gives the empty text.
    static char* my_asctime_short(const struct tm* t);
    // my_asctime_short of the local time now.
    static const char* current_time_text();
    // "%.3s-%.3s-%2d-%.2d_%2d_%.2d-%d" of day name, month name, day of month,
    // hour, minute, second and full year. One static buffer, as above.
    static char* my_asctime(const struct tm* t);

protected:
    // Writes `length` bytes, which must end with "\n", as one or more whole
    // lines under the buffering rules above. Nothing happens without a file.
    void emit_lines(const char* text, std::size_t length);

private:
    static const char* day_name(int wday);
    static const char* month_name(int mon);
    void append_prefix(std::string& line);
    static void append_body(std::string& line, const char* fmt, va_list args)
        __attribute__((format(printf, 2, 0)));
    void next_line_number();
    void close_owned();
    FILE* target_stream();

    FILE* file = nullptr;
    bool owns_file = false;
    // The buffered log an adopted stream is written through, by its serial
    // number so that a log closed meanwhile is never mistaken for a new one
    // at the same address; 0 for none.
    std::uint64_t alias = 0;
    std::optional<std::string> file_name;
    int line_counter = 0;
};
