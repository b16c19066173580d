// The calendar file's times in the user's zone: events read in their own
// zone, new ones written as instants, lengths in real time.

#include <outlook/ICalendarFile.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

using namespace outlook;

namespace {

class ICalendarZoneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* saved = std::getenv("TZ");
        m_saved = saved ? saved : "";
        m_had = saved != nullptr;
        ::setenv("TZ", "America/New_York", 1);
        ::tzset();
    }
    void TearDown() override
    {
        if (m_had)
            ::setenv("TZ", m_saved.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

    static const CAppointmentData& Data(const CICalendarFile& file, std::size_t index)
    {
        return std::get<CAppointmentData>(file.GetItems().at(index).data);
    }

    std::string m_saved;
    bool m_had = false;
};

TEST_F(ICalendarZoneTest, EventsAreReadInTheirOwnZone)
{
    const struct {
        const char* times;
        CDateTime start;
        long minutes;
    } table[] = {
        {"DTSTART;TZID=Europe/Berlin:20261210T160000\r\nDTEND;TZID=Europe/Berlin:20261210T170000\r\n",
         CDateTime(2026, 12, 10, 10, 0, 0), 60},
        {"DTSTART;TZID=/softwarestudio.org/Olson_20011030_5/Asia/Kolkata:20261210T203000\r\n"
         "DURATION:PT30M\r\n",
         CDateTime(2026, 12, 10, 10, 0, 0), 30},
        {"DTSTART:20261210T150000Z\r\nDTEND:20261210T160000Z\r\n", CDateTime(2026, 12, 10, 10, 0, 0), 60},
        {"DTSTART:20261210T100000\r\nDTEND:20261210T103000\r\n", CDateTime(2026, 12, 10, 10, 0, 0), 30},
        {"DTSTART;VALUE=DATE:20261224\r\nDTEND;VALUE=DATE:20261225\r\n", CDateTime(2026, 12, 24, 0, 0, 0),
         1440},
        // Across the night the clocks go back: two hours of wall clock,
        // three of real time.
        {"DTSTART:20261101T050000Z\r\nDTEND:20261101T080000Z\r\n", CDateTime(2026, 11, 1, 1, 0, 0), 180},
    };
    for (const auto& row : table) {
        CICalendarFile file;
        std::string error;
        ASSERT_TRUE(
            file.Parse(std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VEVENT\r\n"
                                   "UID:x\r\nDTSTAMP:20261201T000000Z\r\n") +
                           row.times + "END:VEVENT\r\nEND:VCALENDAR\r\n",
                       error))
            << error;
        EXPECT_EQ(Data(file, 0).start, row.start) << row.times;
        EXPECT_EQ(Data(file, 0).duration, row.minutes) << row.times;
    }
}

TEST_F(ICalendarZoneTest, NewEventsAreInstantsThatLastTheirRealLength)
{
    CICalendarFile file;
    std::string error;
    ASSERT_TRUE(file.Parse("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nEND:VCALENDAR\r\n", error));
    CAppointmentData data;
    data.subject = "Across the change";
    data.start = CDateTime(2026, 3, 8, 1, 30, 0);
    data.duration = 60;
    CStoredItem item{"", data};
    ASSERT_TRUE(file.AddEvent(item, error)) << error;
    const std::string text = file.Serialize();
    EXPECT_NE(text.find("DTSTART:20260308T063000Z"), std::string::npos) << text;
    EXPECT_NE(text.find("DTEND:20260308T073000Z"), std::string::npos) << text;
    CICalendarFile reread;
    ASSERT_TRUE(reread.Parse(text, error)) << error;
    EXPECT_EQ(Data(reread, 0).start, data.start);
    EXPECT_EQ(Data(reread, 0).duration, 60);
}

TEST_F(ICalendarZoneTest, AllDayEventsAreDatesTheSameInEveryZone)
{
    CICalendarFile file;
    std::string error;
    ASSERT_TRUE(file.Parse("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nEND:VCALENDAR\r\n", error));
    CAppointmentData data;
    data.subject = "Holiday";
    data.start = CDateTime(2026, 12, 24, 0, 0, 0);
    data.duration = 2 * 1440;
    data.allDay = true;
    CStoredItem item{"", data};
    ASSERT_TRUE(file.AddEvent(item, error)) << error;
    const std::string text = file.Serialize();
    EXPECT_NE(text.find("DTSTART;VALUE=DATE:20261224"), std::string::npos) << text;
    EXPECT_NE(text.find("DTEND;VALUE=DATE:20261226"), std::string::npos) << text;
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    CICalendarFile reread;
    ASSERT_TRUE(reread.Parse(text, error)) << error;
    EXPECT_TRUE(Data(reread, 0).allDay);
    EXPECT_EQ(Data(reread, 0).start, data.start) << "midnight of the same day in another zone";
    EXPECT_EQ(Data(reread, 0).duration, 2 * 1440);
}

} // namespace
