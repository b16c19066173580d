#include <factkit/BeliefDB.h>

#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <notekit/ServiceInfo.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

const char* const kLocationTable = "lookup";

std::string escaped(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::string name_of(CListElement* element)
{
    const char* name = element->get_name();
    return name ? escaped(name) : "(unnamed)";
}

std::string url_text(CURL* url)
{
    if (!url->get_host())
        return "no host";
    std::string text;
    if (url->get_proto()) {
        text += escaped(url->get_proto());
        if (url->get_subproto())
            text += ":" + escaped(url->get_subproto());
        text += "://";
    }
    text += escaped(url->get_host()) + ":" + std::to_string(url->get_port());
    if (url->get_cgi())
        text += escaped(url->get_cgi());
    return text;
}

std::string entry_line(CListElement* entry)
{
    std::string line = "    " + name_of(entry);
    auto* record = dynamic_cast<CServiceInfo*>(entry);
    if (record) {
        CURL* location = record->get_location();
        line += ": " + (location ? url_text(location) : std::string("no location"));
        line += ", type " + std::to_string(record->get_type());
        line += ", expiration " + std::to_string(record->get_expiration());
        if (record->get_gone())
            line += ", gone";
    }
    return line + "\n";
}

std::string list_lines(const std::string& name, CLList* list)
{
    int count = list->get_nr_elements();
    std::string text = name + " = " + std::to_string(count) + (count == 1 ? " entry\n" : " entries\n");
    for (CListElement* e = list->get_element(0); e; e = e->get_next()) {
        text += entry_line(e);
    }
    return text;
}

std::string belief_lines(CListElement* belief)
{
    std::string name = name_of(belief);
    if (auto* s = dynamic_cast<CStringBelief*>(belief)) {
        if (s->get_value())
            return name + " = " + escaped(s->get_value()) + "\n";
    } else if (auto* i = dynamic_cast<CIntBelief*>(belief)) {
        return name + " = " + std::to_string(i->get_value()) + "\n";
    } else if (auto* l = dynamic_cast<CListBelief*>(belief)) {
        if (l->get_value())
            return list_lines(name, l->get_value());
    }
    return name + " (unset)\n";
}

bool write_all(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Creates a fresh temporary file beside `target` (so that rename stays on
// one file system); the permissions follow the umask like any new file.
int open_temporary(const std::string& target, std::string& temp_path)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_path = target + ".tmp." + std::to_string(getpid()) + "." + std::to_string(attempt);
        int fd = open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool replace_file(const std::string& target, const std::string& text)
{
    std::string temp_path;
    int fd = open_temporary(target, temp_path);
    if (fd < 0)
        return false;
    bool ok = write_all(fd, text) && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && std::rename(temp_path.c_str(), target.c_str()) == 0;
    if (!ok)
        unlink(temp_path.c_str());
    return ok;
}

} // namespace

CBeliefDB::CBeliefDB() = default;

CBeliefDB::~CBeliefDB() = default;

int CBeliefDB::get_modified()
{
    return modified;
}

void CBeliefDB::set_modified(int value)
{
    modified = value;
}

CStringBelief* CBeliefDB::find_string_belief(const char* name)
{
    return dynamic_cast<CStringBelief*>(find_element(name));
}

CIntBelief* CBeliefDB::find_int_belief(const char* name)
{
    return dynamic_cast<CIntBelief*>(find_element(name));
}

CListBelief* CBeliefDB::find_list_belief(const char* name)
{
    return dynamic_cast<CListBelief*>(find_element(name));
}

int CBeliefDB::collect_garbage()
{
    CListBelief* belief = find_list_belief(kLocationTable);
    CLList* table = belief ? belief->get_value() : nullptr;
    if (!table)
        return 0;
    int removed = 0;
    CListElement* e = table->get_element(0);
    while (e) {
        CListElement* next = e->get_next();
        auto* record = dynamic_cast<CServiceInfo*>(e);
        if (record && record->get_gone()) {
            table->delete_element(record);
            ++removed;
        }
        e = next;
    }
    return removed;
}

int CBeliefDB::dump_beliefs(const char* file)
{
    if (!file || !*file)
        return 0;
    std::string text;
    for (CListElement* e = get_element(0); e; e = e->get_next()) {
        text += belief_lines(e);
    }
    return replace_file(file, text) ? 1 : 0;
}
