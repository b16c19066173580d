#include <FuzzEntries.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/AttendeeSide.h>
#include <vespera/core/Vespera.h>

#include <slotbook/Appointment.h>

#include <outlook/MemoryBackend.h>
#include <platform/DateTimeSpan.h>
#include <platform/MessageBoxSink.h>
#include <platform/ProgressSink.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

// The agents a message can come from: an organiser, an attendee and a
// stranger, so that messages of one negotiation meet each other.
const char* const kSenders[] = {"org_x.org-CalendarAgent", "ann_x.org-CalendarAgent",
                                "eve_x.org-CalendarAgent"};

// The calendar agent with its sends kept in memory rather than sent.
class CFuzzedAgent : public CVespera {
public:
    CFuzzedAgent() : CVespera(std::make_shared<outlook::CMemoryBackend>())
    {
        set_file("/dev/null");
        set_belief_dump_file(nullptr);
        GetSettings().SetMeetingSchedulingType(2);
        StartOutlook();
    }

    std::optional<std::string> SendAgentMessage(const std::string&, const std::string&,
                                                const std::string& content) override
    {
        sent += content.size();
        return std::nullopt;
    }

    std::optional<std::string> SendAlertNotice(const std::string&, const std::string& content) override
    {
        sent += content.size();
        return std::nullopt;
    }

    std::size_t sent = 0;
};

// Message boxes and progress of a fuzzed agent go nowhere.
class CNoBoxes : public CMessageBoxSink {
public:
    int MessageBox(const std::string&, const std::string&, unsigned type) override
    {
        return DefaultButton(type);
    }
};

class CNoProgress : public CProgressSink {
public:
    void Open() override {}
    void Show(const std::string&) override {}
    void Close() override {}
};

// Settings, logs and pauses go nowhere that lasts.
void prepare_environment()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    char directory[] = "/tmp/dms-fuzz-XXXXXX";
    if (mkdtemp(directory)) {
        setenv("ORVANTE_REGISTRY_DIR", directory, 1);
        setenv("XDG_DATA_HOME", directory, 1);
        setenv("HOME", directory, 1);
    }
    setenv("ORVANTE_STARTUP_PAUSE_MS", "0", 1);
    static CNoBoxes boxes;
    CMessageBoxSink::SetCurrent(&boxes);
    static CNoProgress progress;
    CProgressSink::SetCurrent(&progress);
}

// Whatever came in, every time the agent holds for a bid lasts from a
// minute to a year and is given back within a day.
bool holds_are_bounded(const CAppointmentStore& store)
{
    const CDateTime latest =
        CDateTime::GetCurrentTime() + CDateTimeSpan(0, CAttendeeSide::MaxHoldHours, 1, 0);
    for (int i = 0; i < store.GetCount(); ++i) {
        const CAppointment* hold = store.GetAt(i);
        if (hold->GetOutlookIndex() != CAppointmentStore::HoldIndex)
            continue;
        if (hold->GetDuration() < 1 || hold->GetDuration() > CVespera::MaxRequestedMinutes)
            return false;
        if (hold->GetExpires().GetStatus() != CDateTime::valid || hold->GetExpires() > latest)
            return false;
    }
    return true;
}

} // namespace

bool CFuzzEntries::dms(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return true;
    prepare_environment();
    // One agent serves many inputs, so that contracts, bids, awards and
    // confirms of earlier inputs meet later ones; a fresh one now and then
    // keeps what it accumulates bounded.
    static std::unique_ptr<CFuzzedAgent> agent;
    static unsigned served = 0;
    if (!agent || ++served % 256 == 0)
        agent = std::make_unique<CFuzzedAgent>();
    const std::string sender = kSenders[data[0] % 3];
    const std::string content(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string message = "(tell :sender " + sender + " :receiver me :content (" + content + "))";
    agent->process_message(message.data());
    return holds_are_bounded(agent->GetAppointmentStore());
}
