#include <wirekit/FileModule.h>

#include <wirekit/Communicator.h>

#include <basekit/Utils.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

namespace {

const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Leaves room for the time and ".txt" within the usual 255-byte name limit.
constexpr std::size_t kMaxNamePart = 200;

struct tm local_now()
{
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    return local;
}

std::string logdir_of(const struct tm& t)
{
    const char* day = (t.tm_wday >= 0 && t.tm_wday < 7) ? kDayNames[t.tm_wday] : "???";
    const char* month = (t.tm_mon >= 0 && t.tm_mon < 12) ? kMonthNames[t.tm_mon] : "???";
    return std::string("Log-") + day + "-" + month;
}

std::string without_trailing_slashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

const char* direction_mark(int direction)
{
    switch (direction) {
    case CLogFacility::DIRECTION_INTERNAL:
        return "[**] ";
    case CLogFacility::DIRECTION_INCOMING:
        return "[<-] ";
    case CLogFacility::DIRECTION_OUTGOING:
        return "[->] ";
    default:
        return nullptr;
    }
}

// The registration lines say what the name server did: an agent that is
// not registered is not said to be.
const char* state_text(unsigned state, bool registered)
{
    if (!registered && state == CLogFacility::STATE_REGISTERED)
        return "Agent running without a registration with ANS";
    if (!registered && state == CLogFacility::STATE_UNREGISTERED)
        return "Agent stopping, was not registered with ANS";
    switch (state) {
    case CLogFacility::STATE_IDLE:
        return "Idle state logged";
    case CLogFacility::STATE_PLANNING:
        return "Planning state logged";
    case CLogFacility::STATE_ADVERTISE:
        return "Advertise state logged";
    case CLogFacility::STATE_REGISTERED:
        return "Agent successfully registered with ANS";
    case CLogFacility::STATE_UNREGISTERED:
        return "Agent successfully unregistered with ANS";
    default:
        return "Unknown state-change logged";
    }
}

} // namespace

CFileModule::CFileModule(const char* name, CBeliefDB* beliefdb, CCommunicator* communicator, unsigned value)
    : CLogFacility(name, beliefdb, communicator, value)
{
    set_type(1);
    open_log();
}

CFileModule::~CFileModule()
{
    dprintf("<CFileModule> shutting down");
    close();
}

// Without $ORVANTE there is no place for the log, so the module runs without
// a file, just as it does without an agent name.
void CFileModule::open_log()
{
    const char* agent = agent_name();
    const char* home = CUtils::get_home();
    if (!agent || !home || !*home)
        return;
    struct tm now = local_now();
    logdir = logdir_of(now);
    std::string logfiles = without_trailing_slashes(home) + "/Logfiles";
    std::string day_directory = logfiles + "/" + logdir;
    if (!make_directory(logfiles) || !make_directory(day_directory))
        return;
    std::string path =
        day_directory + "/" + safe_file_part(get_name()) + "-" + CDebug::my_asctime(&now) + ".txt";
    set_file(path.c_str());
    dprintf("[%s] [**] <CFileModule> starting up", agent);
}

bool CFileModule::make_directory(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int CFileModule::change_state(unsigned state)
{
    if (!get_beliefdb()) {
        dprintf("[--] [**] <CFileModule> BeliefDB is NULL, unable to obtain agent name");
        return 0;
    }
    const char* agent = agent_name();
    if (!agent || !get_communicator())
        return 0;
    dprintf("[%s] [++] %s", agent, state_text(state, get_communicator()->holds_own_name()));
    return 1;
}

void CFileModule::process_message(const char* text, int direction)
{
    if (!text || !*text)
        return;
    if (filter && std::strstr(text, filter->c_str()))
        return;
    if (!get_beliefdb()) {
        dprintf("[----] BeliefDB is null, unable to proccess string");
        return;
    }
    const char* agent = agent_name();
    if (agent)
        write_message(agent, text, direction);
}

void CFileModule::write_message(const char* agent, const char* text, int direction)
{
    if (!get_file_pointer())
        return;
    std::string line = std::string("[---] [") + agent + "] ";
    if (const char* mark = direction_mark(direction)) {
        line += mark;
    } else {
        char number[32];
        snprintf(number, sizeof number, "[%.5lu] ", static_cast<unsigned long>(counter));
        line += number;
        line += "[no type indicator] ";
    }
    std::size_t start = line.size();
    line += text;
    for (std::size_t i = start; i < line.size(); ++i) {
        if (line[i] == '\n' || line[i] == '\r')
            line[i] = ' ';
    }
    line += '\n';
    emit_lines(line.data(), line.size());
    ++counter;
}

// An empty filter would be found in every text and silence the log, so it
// clears the filter instead.
void CFileModule::set_filter(const char* text)
{
    if (text && *text)
        filter = text;
    else
        filter.reset();
}

const char* CFileModule::get_filter()
{
    return filter ? filter->c_str() : nullptr;
}

char* CFileModule::get_logdir()
{
    logdir = logdir_of(local_now());
    return logdir.data();
}

uint32_t CFileModule::get_counter()
{
    return counter;
}

// The module name comes from the agent's name, which other agents and the
// command line can choose; it must not lead out of the day directory.
std::string CFileModule::safe_file_part(const char* name)
{
    std::string part = (name && *name) ? name : "Agent";
    if (part.size() > kMaxNamePart)
        part.resize(kMaxNamePart);
    for (char& c : part) {
        if (c == '/' || c == '\\')
            c = '_';
    }
    for (std::size_t i = 0; i + 1 < part.size(); ++i) {
        if (part[i] == '.' && part[i + 1] == '.')
            part[i] = part[i + 1] = '_';
    }
    return part;
}
