#include <outlook/ICalendarFile.h>

#include <outlook/ICalendarEvent.h>
#include <outlook/ICalZones.h>

#include <libical/ical.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <unordered_set>

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

namespace outlook {
namespace {
constexpr const char* ProductId = "-//Orvante//Calendar Agent//EN";

std::string Hex(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string ComponentText(icalcomponent* component)
{
    char* text = icalcomponent_as_ical_string_r(component);
    std::string result = text ? text : "";
    icalmemory_free_buffer(text);
    return result;
}

// A UID for an event that has none, the same on every read of the same
// event text.
std::string UidFromContent(icalcomponent* event)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char byte : ComponentText(event)) {
        hash ^= byte;
        hash *= 1099511628211ull;
    }
    return "orvante-" + Hex(hash);
}

std::uint64_t RandomSeed()
{
    try {
        std::random_device random;
        return (static_cast<std::uint64_t>(random()) << 32) ^ random();
    } catch (...) {
        // No entropy source: the clock still keeps uids of one process apart.
        return static_cast<std::uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count());
    }
}

std::string FreshUid()
{
    static std::mt19937_64 generator(RandomSeed());
    const std::uint64_t high = generator();
    const std::uint64_t low = generator();
    return Hex(high) + Hex(low) + "@orvante";
}

// The first parse error libical left in the tree, or empty; depth first,
// without recursion.
std::string FirstError(icalcomponent* root)
{
    std::vector<icalcomponent*> pending{root};
    while (!pending.empty()) {
        icalcomponent* component = pending.back();
        pending.pop_back();
        if (icalproperty* error = icalcomponent_get_first_property(component, ICAL_XLICERROR_PROPERTY)) {
            const char* text = icalproperty_get_xlicerror(error);
            return text && *text ? text : "unreadable line";
        }
        std::vector<icalcomponent*> children;
        for (icalcomponent* child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT); child;
             child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT))
            children.push_back(child);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return std::string();
}

bool StartsLine(const std::string& text, std::size_t at, const char* word)
{
    return ::strncasecmp(text.c_str() + at, word, std::strlen(word)) == 0;
}

// How deep BEGIN lines nest. libical builds, checks and frees its tree by
// recursion, so a hostile file nesting thousands deep would end the
// process before anything could refuse it.
std::size_t NestingDepth(const std::string& text)
{
    std::size_t depth = 0;
    std::size_t deepest = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        if (StartsLine(text, at, "BEGIN:"))
            deepest = std::max(deepest, ++depth);
        else if (StartsLine(text, at, "END:") && depth > 0)
            --depth;
        const std::size_t end = text.find('\n', at);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return deepest;
}

// " (line N)" for the first line that holds what libical quotes at the end
// of its message, so that the user finds the line; empty when not found.
std::string WhereInText(const std::string& text, const std::string& error)
{
    const std::size_t colon = error.rfind(": ");
    const std::string quoted = colon == std::string::npos ? std::string() : error.substr(colon + 2);
    const std::size_t at = quoted.empty() ? std::string::npos : text.find(quoted);
    if (at == std::string::npos)
        return std::string();
    const auto line = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n') + 1;
    return " (line " + std::to_string(line) + ")";
}

icalcomponent* NewCalendar()
{
    icalcomponent* calendar = icalcomponent_new(ICAL_VCALENDAR_COMPONENT);
    icalcomponent_add_property(calendar, icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar, icalproperty_new_prodid(ProductId));
    return calendar;
}

// Keeps libical's parser warnings (printed straight to standard error) out
// of the agent's output while a text is parsed; the process has one thread,
// so nothing else writes meanwhile.
class CQuietStandardError {
public:
    CQuietStandardError()
    {
        std::fflush(stderr);
        const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (sink < 0)
            return;
        m_saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        if (m_saved >= 0 && ::dup2(sink, STDERR_FILENO) < 0) {
            ::close(m_saved);
            m_saved = -1;
        }
        ::close(sink);
    }
    ~CQuietStandardError()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
    }
    CQuietStandardError(const CQuietStandardError&) = delete;
    CQuietStandardError& operator=(const CQuietStandardError&) = delete;

private:
    int m_saved = -1;
};

bool IsDroppedControl(unsigned char c)
{
    return (c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7f;
}

bool NeedsNormalising(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsDroppedControl(c) || (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            return true;
    }
    return false;
}

// The text as libical would write it back: a CR that does not end a line is
// a line end, and control characters (which iCalendar does not allow in
// values) are dropped, so that every value read is the value written.
std::string Normalised(const std::string& text)
{
    std::string result;
    result.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsDroppedControl(c))
            continue;
        result += text[i];
        if (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            result += '\n';
    }
    return result;
}

std::string WithLineFeeds(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r')
            out.push_back(c);
    return out;
}

int CountEvents(icalcomponent* calendar)
{
    return icalcomponent_count_components(calendar, ICAL_VEVENT_COMPONENT);
}

std::string EventName(const std::string& id, const CAppointmentData& data)
{
    return "event " + id + (data.subject.empty() ? "" : " \"" + data.subject + "\"");
}
} // namespace

void CICalendarFile::CFreeComponent::operator()(icalcomponent_impl* component) const
{
    icalcomponent_free(component);
}

CICalendarFile::CICalendarFile() : m_calendar(NewCalendar()) {}

CICalendarFile::~CICalendarFile() = default;

CICalendarFile::CComponentPtr CICalendarFile::ParseWhole(const std::string& text, std::string& error)
{
    if (text.size() > MaxTextSize) {
        error = "the calendar is larger than " + std::to_string(MaxTextSize / (1024 * 1024)) + " MiB";
        return nullptr;
    }
    if (std::memchr(text.data(), '\0', text.size())) {
        error = "the calendar text holds a NUL byte";
        return nullptr;
    }
    return ParseCalendar(text, error);
}

std::string CICalendarFile::ReadBackError(const std::string& text, icalcomponent_impl* root)
{
    // What libical reads it does not always write back readably (a value of
    // an odd type, say); such a text must never replace a readable file.
    std::string rereadError;
    CComponentPtr reread = ParseCalendar(text, rereadError);
    if (reread && CountEvents(reread.get()) == CountEvents(root))
        return std::string();
    return "the calendar would not read back once written: " +
           (rereadError.empty() ? std::string("events would be lost") : rereadError);
}

bool CICalendarFile::Parse(const std::string& text, std::string& error)
{
    CComponentPtr root = ParseWhole(text, error);
    if (!root)
        return false;
    const std::string rereadError = ReadBackError(ComponentText(root.get()), root.get());
    if (!rereadError.empty()) {
        error = rereadError;
        return false;
    }
    Adopt(std::move(root), text);
    return true;
}

bool CICalendarFile::ParseUnchecked(const std::string& text, std::string& error)
{
    CComponentPtr root = ParseWhole(text, error);
    if (!root)
        return false;
    Adopt(std::move(root), text);
    return true;
}

void CICalendarFile::Adopt(CComponentPtr root, const std::string& text)
{
    m_calendar = std::move(root);
    m_text = text;
    m_treeChanged = false;
    Rebuild();
    Release();
}

void CICalendarFile::Written(const std::string& text)
{
    m_text = text;
    m_treeChanged = false;
    Release();
}

CICalendarFile::CComponentPtr CICalendarFile::ParseCalendar(const std::string& text, std::string& error)
{
    if (NestingDepth(text) > MaxNesting) {
        error = "the calendar nests components more than " + std::to_string(MaxNesting) + " deep";
        return nullptr;
    }
    icalerror_set_errors_are_fatal(0);
    CComponentPtr root;
    {
        const CQuietStandardError quiet;
        // Most texts need no change; copying them would cost as much again.
        root.reset(icalparser_parse_string(NeedsNormalising(text) ? Normalised(text).c_str() : text.c_str()));
    }
    icalerror_clear_errno();
    if (!root) {
        error = "the text is not an iCalendar calendar (no complete VCALENDAR)";
        return nullptr;
    }
    const icalcomponent_kind kind = icalcomponent_isa(root.get());
    if (kind != ICAL_VCALENDAR_COMPONENT) {
        error = kind == ICAL_XROOT_COMPONENT ? "the text holds more than one calendar"
                                             : "the text is not an iCalendar calendar (no VCALENDAR)";
        return nullptr;
    }
    const std::string firstError = FirstError(root.get());
    if (!firstError.empty()) {
        error =
            "the calendar has a line that cannot be read" + WhereInText(text, firstError) + ": " + firstError;
        return nullptr;
    }
    return root;
}

std::vector<icalcomponent_impl*> CICalendarFile::NameEvents(icalcomponent_impl* calendar,
                                                            std::vector<std::string>& ids)
{
    std::vector<icalcomponent*> events;
    const std::size_t count = static_cast<std::size_t>(CountEvents(calendar));
    events.reserve(count);
    ids.reserve(count);
    std::unordered_set<std::string> used;
    used.reserve(count);
    for (icalcomponent* event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
         event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
        const char* uid = icalcomponent_get_uid(event);
        std::string id = uid && *uid ? uid : std::string();
        if (id.empty()) {
            id = UidFromContent(event);
            icalcomponent_set_uid(event, id.c_str());
        }
        const std::string base = id;
        for (int n = 2; used.count(id); ++n)
            id = base + "#" + std::to_string(n);
        used.insert(id);
        events.push_back(event);
        ids.push_back(std::move(id));
    }
    return events;
}

void CICalendarFile::Rebuild()
{
    m_items.clear();
    m_positions.clear();
    m_notes.clear();
    std::vector<std::string> ids;
    std::vector<icalcomponent*> events = NameEvents(m_calendar.get(), ids);
    m_events.clear();
    m_events.reserve(events.size());
    m_items.reserve(events.size());
    m_positions.reserve(events.size());
    for (std::size_t i = 0; i < events.size(); ++i)
        AppendItem(events[i], ids[i]);
}

void CICalendarFile::AppendItem(icalcomponent_impl* event, const std::string& id)
{
    std::string note;
    CStoredItem item{id, CICalendarEvent::Read(event, note)};
    if (!note.empty())
        m_notes.push_back(EventName(item.id, std::get<CAppointmentData>(item.data)) + ": " + note);
    m_positions[item.id] = m_items.size();
    m_items.push_back(std::move(item));
    m_events.push_back(event);
}

void CICalendarFile::Release()
{
    if (m_treeChanged)
        return;
    m_calendar.reset();
    m_events = std::vector<icalcomponent_impl*>();
}

bool CICalendarFile::HoldTree(std::string& error) const
{
    if (m_calendar)
        return true;
    CComponentPtr root = ParseCalendar(m_text, error);
    if (!root)
        return false;
    std::vector<std::string> ids;
    std::vector<icalcomponent_impl*> events = NameEvents(root.get(), ids);
    if (ids.size() != m_items.size()) {
        error = "the calendar read no longer gives the same events";
        return false;
    }
    m_calendar = std::move(root);
    m_events = std::move(events);
    return true;
}

long CICalendarFile::IndexOf(const EntryId& id) const
{
    const auto found = m_positions.find(id);
    return found == m_positions.end() ? -1 : static_cast<long>(found->second);
}

bool CICalendarFile::AddEvent(CStoredItem& item, std::string& error)
{
    const CAppointmentData* data = std::get_if<CAppointmentData>(&item.data);
    if (!data) {
        error = "only appointments belong in the calendar";
        return false;
    }
    if (!HoldTree(error))
        return false;
    const std::optional<std::string> chosen = NewEventUid(item.id, error);
    if (!chosen)
        return false;
    const std::string& uid = *chosen;
    icalcomponent* event = icalcomponent_new_vevent();
    icalcomponent_set_uid(event, uid.c_str());
    icalcomponent_set_dtstamp(event, icaltime_current_time_with_zone(icaltimezone_get_utc_timezone()));
    if (!CICalendarEvent::Write(event, *data, nullptr, error)) {
        icalcomponent_free(event);
        return false;
    }
    CICalZones::ProvideFor(m_calendar.get(), event);
    icalcomponent_add_component(m_calendar.get(), event);
    m_treeChanged = true;
    // The new event is the calendar's last and its UID is used by no other,
    // so it reads back as the last item under that id: reading every event
    // again would make adding many events cost the square of their number.
    AppendItem(event, uid);
    item.id = uid;
    return true;
}

// Where the calendar's own END:VCALENDAR line starts; npos when the text has
// none at a line start.
std::size_t CICalendarFile::EndLine() const
{
    for (std::size_t at = m_text.size(); at-- > 0;) {
        if ((at == 0 || m_text[at - 1] == '\n') && StartsLine(m_text, at, "END:VCALENDAR"))
            return at;
    }
    return std::string::npos;
}

// The UID of a new event: the one its writer asked for, or a fresh one.
std::optional<std::string> CICalendarFile::NewEventUid(const EntryId& requested, std::string& error) const
{
    if (!requested.empty()) {
        if (IndexOf(requested) >= 0) {
            error = "an event with the id " + requested + " is already in the calendar";
            return std::nullopt;
        }
        return requested;
    }
    std::string uid = FreshUid();
    while (IndexOf(uid) >= 0)
        uid = FreshUid();
    return uid;
}

std::optional<CICalendarFile::SAppend> CICalendarFile::PrepareAppend(const CStoredItem& item,
                                                                     std::string& error) const
{
    error.clear();
    const CAppointmentData* data = std::get_if<CAppointmentData>(&item.data);
    if (!data) {
        error = "only appointments belong in the calendar";
        return std::nullopt;
    }
    const std::size_t end = m_treeChanged ? std::string::npos : EndLine();
    if (end == std::string::npos)
        return std::nullopt;
    const std::optional<std::string> chosen = NewEventUid(item.id, error);
    if (!chosen)
        return std::nullopt;
    const std::string& uid = *chosen;
    CComponentPtr event(icalcomponent_new_vevent());
    icalcomponent_set_uid(event.get(), uid.c_str());
    icalcomponent_set_dtstamp(event.get(), icaltime_current_time_with_zone(icaltimezone_get_utc_timezone()));
    if (!CICalendarEvent::Write(event.get(), *data, nullptr, error))
        return std::nullopt;
    std::string eventText = ComponentText(event.get());
    if (icalcomponent* zone = CICalZones::MissingDefinition(m_text, event.get())) {
        eventText.insert(0, ComponentText(zone));
        icalcomponent_free(zone);
    }
    CComponentPtr alone = ParseCalendar("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:" + std::string(ProductId) +
                                            "\r\n" + eventText + "END:VCALENDAR\r\n",
                                        error);
    icalcomponent* reread =
        alone ? icalcomponent_get_first_component(alone.get(), ICAL_VEVENT_COMPONENT) : nullptr;
    if (!reread || CountEvents(alone.get()) != 1) {
        error = "the new event would not read back once written" + (error.empty() ? "" : ": " + error);
        return std::nullopt;
    }
    SAppend append;
    append.item = CStoredItem{uid, CICalendarEvent::Read(reread, append.note)};
    // The file keeps the line ends it has.
    if (end < 2 || m_text.compare(end - 2, 2, "\r\n") != 0)
        eventText = WithLineFeeds(eventText);
    append.at = end;
    append.eventText = std::move(eventText);
    return append;
}

std::string CICalendarFile::TextWith(const SAppend& append) const
{
    std::string text;
    text.reserve(m_text.size() + append.eventText.size());
    text.append(m_text, 0, append.at).append(append.eventText).append(m_text, append.at, std::string::npos);
    return text;
}

void CICalendarFile::CommitAppend(SAppend append)
{
    if (!append.note.empty())
        m_notes.push_back(EventName(append.item.id, std::get<CAppointmentData>(append.item.data)) + ": " +
                          append.note);
    m_positions[append.item.id] = m_items.size();
    m_items.push_back(std::move(append.item));
    // Only the calendar's end line follows the insertion point, so many
    // appends cost no more than their own text.
    m_text.insert(append.at, append.eventText);
    // A tree held from before no longer stands for the text.
    m_calendar.reset();
    m_events = std::vector<icalcomponent_impl*>();
}

bool CICalendarFile::UpdateEvent(const CStoredItem& item, std::string& error)
{
    const CAppointmentData* data = std::get_if<CAppointmentData>(&item.data);
    const long index = IndexOf(item.id);
    if (index < 0) {
        error = "no event has the id " + item.id;
        return false;
    }
    if (!data) {
        error = "an appointment cannot change its kind";
        return false;
    }
    if (!HoldTree(error))
        return false;
    icalcomponent* event = m_events[static_cast<std::size_t>(index)];
    std::string note;
    const CAppointmentData before = CICalendarEvent::Read(event, note);
    if (!CICalendarEvent::Write(event, *data, &before, error))
        return false;
    CICalZones::ProvideFor(m_calendar.get(), event);
    icalcomponent_set_dtstamp(event, icaltime_current_time_with_zone(icaltimezone_get_utc_timezone()));
    m_treeChanged = true;
    // Only this event changed; its note, when it had or now has one, sits
    // among the others' in file order, which a whole rebuild keeps.
    std::string noteAfter;
    CAppointmentData after = CICalendarEvent::Read(event, noteAfter);
    if (!note.empty() || !noteAfter.empty())
        Rebuild();
    else
        m_items[static_cast<std::size_t>(index)].data = std::move(after);
    return true;
}

std::string CICalendarFile::Serialize() const
{
    std::string error;
    return HoldTree(error) ? ComponentText(m_calendar.get()) : std::string();
}

bool CICalendarFile::SerializeChecked(std::string& text, std::string& error) const
{
    if (!HoldTree(error))
        return false;
    std::string written = ComponentText(m_calendar.get());
    const std::string rereadError = ReadBackError(written, m_calendar.get());
    if (!rereadError.empty()) {
        error = rereadError;
        return false;
    }
    text = std::move(written);
    return true;
}
} // namespace outlook
