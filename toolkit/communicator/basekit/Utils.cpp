#include <basekit/Utils.h>

#include <basekit/GUID.h>
#include <basekit/LList.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const char kSeparator = '/';

char* trim_pair(char* s, char open, char close)
{
    if (!s)
        return nullptr;
    // Both ends are found on the untouched text, independently of each other.
    char* opening = std::strchr(s, open);
    char* closing = std::strrchr(s, close);
    if (closing)
        *closing = '\0';
    return opening ? opening + 1 : s;
}

void replace_chars(char* s, const char* from, char to)
{
    if (!s)
        return;
    for (; *s; ++s) {
        if (std::strchr(from, *s))
            *s = to;
    }
}

char* malloc_copy(const std::string& text)
{
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy)
        std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

bool ends_with_separator(const std::string& dir)
{
    return !dir.empty() && dir.back() == kSeparator;
}

// Joins a directory and a pattern the way the lookups expect: no separator is
// added when the directory already ends with one.
std::string join_path(const std::string& dir, const std::string& pattern)
{
    return ends_with_separator(dir) ? dir + pattern : dir + kSeparator + pattern;
}

bool name_matches(const std::string& pattern, const char* name)
{
    return pattern == "*.*" || fnmatch(pattern.c_str(), name, 0) == 0;
}

bool is_directory(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool exists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// Names in the directory part of `path` that match its last component and
// are (or are not) directories, sorted.
std::vector<std::string> matching_entries(const std::string& path, bool want_directories)
{
    std::vector<std::string> names;
    std::string::size_type slash = path.rfind(kSeparator);
    std::string dir = slash == 0 ? std::string(1, kSeparator) : path.substr(0, slash);
    std::string pattern = path.substr(slash + 1);
    DIR* handle = opendir(dir.c_str());
    if (!handle)
        return names;
    while (struct dirent* entry = readdir(handle)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (!name_matches(pattern, name))
            continue;
        std::string full = join_path(dir, name);
        if (!exists(full) || is_directory(full) != want_directories)
            continue;
        names.push_back(name);
    }
    closedir(handle);
    std::sort(names.begin(), names.end());
    return names;
}

CLList* list_of(const std::vector<std::string>& names)
{
    if (names.empty())
        return nullptr;
    CLList* list = new CLList();
    for (const std::string& name : names)
        list->add_element(new CListElement(name.c_str()));
    return list;
}

std::string spawn_error_text(int error)
{
    switch (error) {
    case ENOENT:
        return "Command interpreter cannot be found.";
    case E2BIG:
        return "Argument list (which is system-dependent) is too big.";
    case ENOEXEC:
        return "Command-interpreter file has invalid format and is not executable.";
    case ENOMEM:
        return "Not enough memory is available to execute command; or available memory has "
               "been corrupted; or invalid block exists, indicating that process making call "
               "was not allocated properly.";
    default:
        // Any other failure (no permission, a directory, ...) names the
        // system's reason so the user can act on it.
        return std::string("Command cannot be started: ") + std::strerror(error) + ".";
    }
}

} // namespace

CUtils::CUtils() = default;

CUtils::~CUtils()
{
    reap_children();
}

char* CUtils::remove_parenthesis(char* s)
{
    return remove_brackets(s);
}

char* CUtils::remove_brackets(char* s)
{
    return trim_pair(s, '(', ')');
}

char* CUtils::remove_angle_brackets(char* s)
{
    return trim_pair(s, '<', '>');
}

char* CUtils::remove_square_brackets(char* s)
{
    return trim_pair(s, '[', ']');
}

char* CUtils::remove_curly_brackets(char* s)
{
    return trim_pair(s, '{', '}');
}

char* CUtils::remove_quotes(char* s)
{
    if (!s || !*s)
        return s;
    size_t length = std::strlen(s);
    if (s[length - 1] == '"')
        s[length - 1] = '\0';
    return s[0] == '"' ? s + 1 : s;
}

char* CUtils::remove_spaces(char* s)
{
    if (!s)
        return nullptr;
    while (*s == ' ')
        ++s;
    return s;
}

int CUtils::leading_int(const char* s)
{
    if (!s)
        return 0;
    const long value = std::strtol(s, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

int CUtils::is_empty_space(const char* s)
{
    if (!s)
        return 1;
    while (*s == ' ')
        ++s;
    return *s == '\0' ? 1 : 0;
}

std::string CUtils::format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string text = vformat(fmt, args);
    va_end(args);
    return text;
}

std::string CUtils::json_string(const std::string& text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += format("\\u%04x", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string CUtils::vformat(const char* fmt, va_list args)
{
    if (!fmt)
        return std::string();
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    va_list copy;
    va_copy(copy, args);
    std::vsnprintf(text.data(), text.size(), fmt, copy);
    va_end(copy);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void CUtils::clean(char* s)
{
    replace_chars(s, "\n\r\x04", ' ');
}

void CUtils::unix2dos(char* s)
{
    replace_chars(s, "\r", ' ');
}

char* CUtils::to_formatted(char* s)
{
    replace_chars(s, " ", '_');
    return s;
}

char* CUtils::from_formatted(char* s)
{
    replace_chars(s, "_", ' ');
    return s;
}

char* CUtils::replace_keyword(char* text, const char* key, const char* value)
{
    if (!text || !key)
        return nullptr;
    std::string keyword = std::string("<") + key + ">";
    char* found = std::strstr(text, keyword.c_str());
    if (!found)
        return nullptr;
    std::string result(text, found);
    result += value ? value : "";
    result += found + keyword.size();
    *found = '\0';
    return malloc_copy(result);
}

void CUtils::tokenize(const char* text, char sep, CLList* list)
{
    if (!text || !list)
        return;
    std::vector<char> copy(text, text + std::strlen(text) + 1);
    list->tokenize(copy.data(), sep);
}

char* CUtils::tokenator(char sep, CLList* list)
{
    if (!list)
        return nullptr;
    std::string joined;
    for (CListElement* e = list->get_element(0); e; e = e->get_next()) {
        if (const char* name = e->get_name()) {
            joined += name;
            joined += sep;
        }
    }
    if (!joined.empty())
        joined.pop_back();
    return malloc_copy(joined);
}

void CUtils::cllist_uppr(CLList* list)
{
    if (!list)
        return;
    for (CListElement* e = list->get_element(0); e; e = e->get_next()) {
        for (char* c = e->get_name(); c && *c; ++c)
            *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    }
}

char* CUtils::create_reply_with()
{
    CGUID guid;
    const char* text = guid.get_guid();
    reply_with = std::string("Win32M") + (text ? text : "");
    return reply_with.data();
}

char* CUtils::get_home()
{
    return std::getenv("ORVANTE");
}

char* CUtils::get_pwd()
{
    std::vector<char> buffer(256);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return nullptr;
        buffer.resize(buffer.size() * 2);
    }
    pwd = buffer.data();
    return pwd.data();
}

CLList* CUtils::dir_list(const char* dir)
{
    if (!dir)
        return nullptr;
    return list_of(matching_entries(join_path(dir, "*.*"), true));
}

CLList* CUtils::file_list(const char* dir, const char* pattern)
{
    if (!dir || !pattern)
        return nullptr;
    return list_of(matching_entries(join_path(dir, pattern), false));
}

char* CUtils::start_executable(const char* path)
{
    reap_children();
    fflush(nullptr);
    int error = ENOENT;
    if (path) {
        char argument[] = "_execl";
        char* argv[] = {argument, nullptr};
        pid_t child = 0;
        error = posix_spawn(&child, path, nullptr, nullptr, argv, environ);
        if (error == 0) {
            children.push_back(child);
            return nullptr;
        }
    }
    start_error = spawn_error_text(error);
    return start_error.data();
}

// Started programs are not waited for, but those that have finished are
// collected here so they do not linger as zombies.
void CUtils::reap_children()
{
    auto finished = [](pid_t child) {
        int status = 0;
        return waitpid(child, &status, WNOHANG) != 0;
    };
    children.erase(std::remove_if(children.begin(), children.end(), finished), children.end());
}

void CUtils::dump_data_list(const char*, CTreeList*) {}
