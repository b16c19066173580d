// The agent over the user's calendar file: what it loads, what it says about
// events it could only read in a simpler form, and what it writes back.

#include "VesperaTestSupport.h"

#include <vespera/core/AppointmentStore.h>
#include <vespera/core/AppointmentView.h>

#include <outlook/FileBackend.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vespera_test {
namespace {

const char* const CalendarText =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//Hand written//EN\r\n"
    "BEGIN:VEVENT\r\nUID:plain-1\r\nDTSTAMP:20261201T000000Z\r\nDTSTART:20270104T090000\r\n"
    "DTEND:20270104T100000\r\nSUMMARY:Plain\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:hourly-1\r\nDTSTAMP:20261201T000000Z\r\nDTSTART:20270105T090000\r\n"
    "DTEND:20270105T093000\r\nSUMMARY:Every hour\r\nRRULE:FREQ=HOURLY;COUNT=3\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";

class FileCalendarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_home.DataDir());
        std::ofstream(m_home.DataDir() / outlook::CFileBackend::CalendarFileName, std::ios::binary)
            << CalendarText;
        m_backend = std::make_shared<outlook::CFileBackend>(m_home.DataDir().string(), nullptr);
        m_agent = std::make_unique<CRecordingVespera>(m_backend, m_home.Root() / "debug.log");
        m_agent->CreateLogFile(m_home.DataDir().string());
        ASSERT_TRUE(m_agent->StartOutlook());
    }

    std::string CalendarFile() const
    {
        std::ifstream in(m_home.DataDir() / outlook::CFileBackend::CalendarFileName, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    CTemporaryHome m_home;
    std::shared_ptr<outlook::CFileBackend> m_backend;
    std::unique_ptr<CRecordingVespera> m_agent;
};

TEST_F(FileCalendarTest, ARuleNoRecurrenceTypeExpressesIsLoadedSingleAndLogged)
{
    m_agent->GetCalendar().LoadAppointments();
    EXPECT_EQ(m_agent->GetAppointmentStore().GetCount(), 2);
    EXPECT_TRUE(m_agent->HasApplicationLine("Total Appointments loaded = 2"));
    bool logged = false;
    for (const std::string& line : m_agent->ApplicationLines())
        logged = logged || (line.rfind("CVSP::LoadApointments: ", 0) == 0 &&
                            line.find("Every hour") != std::string::npos);
    EXPECT_TRUE(logged) << "no line names the event read without its rule";
}

TEST_F(FileCalendarTest, AnAppointmentTheAgentMakesIsAppendedToTheFileAndKeepsTheOthers)
{
    m_agent->GetCalendar().LoadAppointments();
    ASSERT_TRUE(m_agent->CreateOutlookAppointment(CDateTime(2027, 1, 6, 14, 0, 0), 45, "Agreed", "Body",
                                                  "Room 1", 10, true, "", "", true));
    const std::string text = CalendarFile();
    EXPECT_NE(text.find("SUMMARY:Agreed"), std::string::npos) << text;
    EXPECT_NE(text.find("UID:plain-1"), std::string::npos);
    EXPECT_NE(text.find("RRULE:FREQ=HOURLY;COUNT=3"), std::string::npos) << "the unexpressible rule survives";
    EXPECT_EQ(m_agent->GetAppointmentStore().GetCount(), 3);
    EXPECT_EQ(m_agent->GetCalendar().GetCalendarItemCount(), 3);
}

} // namespace
} // namespace vespera_test

namespace vespera_test {
namespace {

// Counts what the store holds each time it asks its view to redraw.
class CCountingView : public CAppointmentView {
public:
    explicit CCountingView(const CAppointmentStore& store) : m_store(store) {}
    void AddAppointmentRow(const CAppointment&) override {}
    void RemoveAppointmentRow(const CAppointment&) override {}
    void Refresh() override { counts.push_back(m_store.GetCount()); }

    std::vector<int> counts;

private:
    const CAppointmentStore& m_store;
};

TEST_F(FileCalendarTest, AReReadAfterAnotherProgramsEditRedrawsTheViewWithTheNewItems)
{
    m_agent->GetCalendar().LoadAppointments();
    CCountingView view(m_agent->GetAppointmentStore());
    m_agent->GetAppointmentStore().SetView(&view);
    std::string edited = CalendarText;
    edited.insert(edited.rfind("END:VCALENDAR"),
                  "BEGIN:VEVENT\r\nUID:added-1\r\nDTSTAMP:20261201T000000Z\r\nDTSTART:20270106T090000\r\n"
                  "DTEND:20270106T100000\r\nSUMMARY:Added elsewhere\r\nEND:VEVENT\r\n");
    std::ofstream(m_home.DataDir() / outlook::CFileBackend::CalendarFileName, std::ios::binary) << edited;
    m_agent->GetCalendar().SyncWithOutsideChanges();
    m_agent->GetAppointmentStore().SetView(nullptr);
    EXPECT_EQ(m_agent->GetAppointmentStore().GetCount(), 3);
    ASSERT_FALSE(view.counts.empty());
    EXPECT_EQ(view.counts.back(), 3) << "the last redraw saw the items read again";
}

} // namespace
} // namespace vespera_test
