#pragma once

#include <cstdarg>
#include <string>
#include <sys/types.h>
#include <vector>

class CLList;
class CTreeList;

// String helpers for message text, plus a few file-system and process
// helpers. Unless a comment says otherwise the operations work IN PLACE on
// the caller's buffer and return pointers into it; texts documented as
// "caller frees with free()" are malloc'd. Texts owned by the object stay
// valid until the next call of the same operation or destruction.
class CUtils {
public:
    CUtils();
    ~CUtils();

    CUtils(const CUtils&) = delete;
    CUtils& operator=(const CUtils&) = delete;

    // Bracket trimming: the FIRST opening bracket from the start and the LAST
    // closing bracket from the end, found independently. The closing one is
    // overwritten with NUL; the result points just after the opening one, or
    // at `s` when there is none. Null gives null.
    static char* remove_parenthesis(char* s);
    static char* remove_brackets(char* s);
    static char* remove_angle_brackets(char* s);
    static char* remove_square_brackets(char* s);
    static char* remove_curly_brackets(char* s);

    // Drops a closing double quote (overwritten with NUL) and skips an
    // opening one. Null gives null; the empty text is returned unchanged.
    static char* remove_quotes(char* s);
    // A pointer past the leading blanks (' ' only). Null gives null.
    static char* remove_spaces(char* s);
    // 1 for null, the empty text or blanks only; else 0.
    static int is_empty_space(const char* s);
    // The leading decimal number of `s` as atoi reads it, but held to the
    // range of an int: texts from other agents may hold any number of
    // digits. 0 for null.
    static int leading_int(const char* s);

    // printf into a string measured first, so a text of any length comes out
    // whole. A null or failing format gives the empty text.
    static std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static std::string vformat(const char* fmt, va_list args) __attribute__((format(printf, 1, 0)));

    // `text` as a JSON string, quotes included: '"' and '\\' escaped, control
    // characters as \u00XX; other bytes pass as they are.
    static std::string json_string(const std::string& text);

    // '\n', '\r' and 0x04 become blanks.
    static void clean(char* s);
    // '\r' becomes a blank.
    static void unix2dos(char* s);
    // Blanks become '_' / '_' become blanks; return `s`.
    static char* to_formatted(char* s);
    static char* from_formatted(char* s);

    // Finds "<key>" in `text`. Absent: null and `text` unchanged. Present:
    // returns a new text (caller frees with free()) of the part before it,
    // `value` and the part after it, and cuts `text` at the keyword.
    static char* replace_keyword(char* text, const char* key, const char* value);

    // As CLList::tokenize, on a private copy of `text` (left unchanged),
    // appending to `list`. Null text or list does nothing.
    static void tokenize(const char* text, char sep, CLList* list);
    // The names of all named elements, each followed by `sep`, without the
    // final `sep` (caller frees with free()). Null for a null list.
    static char* tokenator(char sep, CLList* list);
    // Upper-cases the name of every element.
    static void cllist_uppr(CLList* list);

    // "Win32M" followed by a new identifier; owned by this object and
    // replaced by the next call.
    char* create_reply_with();

    // The value of the environment variable "ORVANTE" or null.
    static char* get_home();
    // The current directory (owned by this object) or null.
    char* get_pwd();

    // A new list (caller owns it, delete it) with one plain element per
    // subdirectory of `dir`, "." and ".." left out, sorted by name; null when
    // there is none or `dir` cannot be read.
    static CLList* dir_list(const char* dir);
    // A new list (caller owns it) with one plain element per file (not
    // directory) of `dir` whose name matches `pattern` (fnmatch; "*.*"
    // matches every name). `pattern` may hold a directory part below `dir`.
    // Sorted by name; null when nothing matches.
    static CLList* file_list(const char* dir, const char* pattern);

    // Flushes every stdio stream and starts `path` with the single argument
    // "_execl", without waiting. Null on success, else a text telling why
    // (owned by this object).
    char* start_executable(const char* path);

    // Writing a tree list is not supported; does nothing.
    static void dump_data_list(const char* file, CTreeList* tree);

private:
    void reap_children();

    std::string reply_with;
    std::string pwd;
    std::string start_error;
    std::vector<pid_t> children;
};
