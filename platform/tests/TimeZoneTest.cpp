#include <platform/TimeZone.h>

#include <platform/testing/ScopedTimeZone.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

CDateTime At(int y, int mo, int d, int h, int mi)
{
    return CDateTime(y, mo, d, h, mi, 0);
}

CTimeZone Zone(const char* name)
{
    const std::optional<CTimeZone> zone = CTimeZone::Named(name);
    EXPECT_TRUE(zone) << name;
    return zone ? *zone : CTimeZone::Utc();
}

struct SConversion {
    const char* zone;
    CDateTime wall;
    CDateTime utc;
};

// Ordinary days, both change days of each zone (skipped and repeated
// times among them) and a zone that never changes.
TEST(TimeZoneTest, WallClockTimesMeetTheirInstants)
{
    const SConversion table[] = {
        {"Europe/Berlin", At(2026, 1, 15, 10, 0), At(2026, 1, 15, 9, 0)},
        {"Europe/Berlin", At(2026, 7, 15, 10, 0), At(2026, 7, 15, 8, 0)},
        {"Europe/Berlin", At(2026, 3, 29, 1, 59), At(2026, 3, 29, 0, 59)},
        {"Europe/Berlin", At(2026, 3, 29, 2, 30), At(2026, 3, 29, 1, 30)}, // skipped: offset before the gap
        {"Europe/Berlin", At(2026, 3, 29, 3, 0), At(2026, 3, 29, 1, 0)},
        {"Europe/Berlin", At(2026, 10, 25, 2, 30), At(2026, 10, 25, 0, 30)}, // repeated: the first
        {"Europe/Berlin", At(2026, 10, 25, 3, 0), At(2026, 10, 25, 2, 0)},
        {"America/New_York", At(2026, 12, 10, 9, 0), At(2026, 12, 10, 14, 0)},
        {"America/New_York", At(2026, 3, 8, 2, 30), At(2026, 3, 8, 7, 30)},
        {"America/New_York", At(2026, 3, 8, 3, 0), At(2026, 3, 8, 7, 0)},
        {"America/New_York", At(2026, 11, 1, 1, 30), At(2026, 11, 1, 5, 30)},
        {"America/New_York", At(2026, 11, 1, 2, 0), At(2026, 11, 1, 7, 0)},
        {"Asia/Kolkata", At(2026, 6, 1, 9, 0), At(2026, 6, 1, 3, 30)},
        {"Asia/Kolkata", At(2026, 1, 1, 0, 15), At(2025, 12, 31, 18, 45)},
        {"Australia/Lord_Howe", At(2026, 1, 10, 12, 0), At(2026, 1, 10, 1, 0)},  // +11
        {"Australia/Lord_Howe", At(2026, 7, 10, 12, 0), At(2026, 7, 10, 1, 30)}, // +10:30
        {"Australia/Lord_Howe", At(2026, 4, 5, 1, 45), At(2026, 4, 4, 14, 45)},  // repeated half hour
        {"Australia/Lord_Howe", At(2026, 4, 5, 2, 0), At(2026, 4, 4, 15, 30)},
        {"Australia/Lord_Howe", At(2026, 10, 4, 2, 15), At(2026, 10, 3, 15, 45)}, // skipped half hour
        {"Australia/Lord_Howe", At(2026, 10, 4, 2, 30), At(2026, 10, 3, 15, 30)},
        {"UTC", At(2026, 3, 29, 2, 30), At(2026, 3, 29, 2, 30)},
    };
    const CTimeZone utc = CTimeZone::Utc();
    for (const SConversion& row : table) {
        const CTimeZone zone = Zone(row.zone);
        EXPECT_EQ(zone.ConvertTo(row.wall, utc), row.utc) << row.zone << " " << row.wall.Format();
    }
}

TEST(TimeZoneTest, InstantsReadBackAsTheirWallClockTimes)
{
    const CTimeZone utc = CTimeZone::Utc();
    const SConversion table[] = {
        {"Europe/Berlin", At(2026, 10, 25, 2, 30), At(2026, 10, 25, 1, 30)}, // the second 2:30
        {"America/New_York", At(2026, 11, 1, 1, 30), At(2026, 11, 1, 6, 30)},
        {"Australia/Lord_Howe", At(2026, 4, 5, 1, 45), At(2026, 4, 4, 15, 15)},
        {"Asia/Kolkata", At(2026, 12, 10, 14, 30), At(2026, 12, 10, 9, 0)},
    };
    for (const SConversion& row : table)
        EXPECT_EQ(utc.ConvertTo(row.utc, Zone(row.zone)), row.wall) << row.zone;
}

TEST(TimeZoneTest, AnHourAcrossTheChangeIsAnHourOfRealTime)
{
    const CTimeZone berlin = Zone("Europe/Berlin");
    const std::optional<long long> start = berlin.ToInstant(At(2026, 3, 29, 1, 30));
    ASSERT_TRUE(start);
    EXPECT_EQ(berlin.FromInstant(*start + 3600), At(2026, 3, 29, 3, 30));
}

TEST(TimeZoneTest, NamesAreFoundBehindPrefixesAndUnknownOnesRefused)
{
    const struct {
        const char* given;
        const char* name;
    } table[] = {
        {"Europe/Berlin", "Europe/Berlin"},
        {"/softwarestudio.org/Olson_20011030_5/Europe/Berlin", "Europe/Berlin"},
        {"/freeassociation.sourceforge.net/America/New_York", "America/New_York"},
        {"/usr/share/zoneinfo/Asia/Kolkata", "Asia/Kolkata"},
        {"America/Argentina/Buenos_Aires", "America/Argentina/Buenos_Aires"},
        {"UTC", "UTC"},
        {"Mars/Olympus_Mons", ""},
        {"", ""},
        {"../../etc/passwd", ""},
    };
    for (const auto& row : table) {
        const std::optional<CTimeZone> zone = CTimeZone::Named(row.given);
        EXPECT_EQ(zone ? zone->Name() : std::string(), row.name) << row.given;
    }
}

// A peer's name for a zone is never a path: libical would open any file the
// name leads to, and reading a FIFO would hold the agent for good.
TEST(TimeZoneTest, NamesThatLeadOutOfTheDatabaseAreNeverOpened)
{
    char folder[] = "/tmp/zone-fifo-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string fifo = std::string(folder) + "/Berlin";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& name :
         {"../../../.." + fifo, "Europe/../../../.." + fifo, std::string("Europe/./Berlin")})
        EXPECT_FALSE(CTimeZone::Named(name)) << name;
    unlink(fifo.c_str());
    rmdir(folder);
}

TEST(TimeZoneTest, TheProcessZoneIsNamedFromTz)
{
    const testsupport::CScopedTimeZone zone(":Asia/Kolkata");
    EXPECT_EQ(CTimeZone::Local().Name(), "Asia/Kolkata");
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    tzset();
    const CTimeZone unnamed = CTimeZone::Local();
    EXPECT_FALSE(unnamed.IsNamed());
    EXPECT_EQ(unnamed.ConvertTo(At(2026, 7, 1, 9, 0), CTimeZone::Utc()), At(2026, 7, 1, 13, 0));
    EXPECT_FALSE(CTimeZone::UseForProcess("Nowhere/Land"));
    EXPECT_TRUE(CTimeZone::UseForProcess("America/New_York"));
    EXPECT_EQ(CTimeZone::Local().Name(), "America/New_York");
}

TEST(TimeZoneTest, NotesSayTheTimeWhereTheEventWasWritten)
{
    const testsupport::CScopedTimeZone zone("Europe/Berlin");
    const struct {
        CDateTime local;
        const char* zone;
        const char* note;
    } table[] = {
        {At(2026, 12, 10, 10, 0), "America/New_York", "04:00 America/New_York"},
        {At(2026, 12, 10, 22, 0), "Asia/Kolkata", "2026-12-11 02:30 Asia/Kolkata"},
        {At(2026, 12, 10, 10, 0), "/softwarestudio.org/Olson_20011030_5/Europe/Berlin", ""},
        {At(2026, 12, 10, 10, 0), "UTC", ""},
        {At(2026, 12, 10, 10, 0), "", ""},
        {At(2026, 12, 10, 10, 0), "Office", "Office"},
    };
    for (const auto& row : table)
        EXPECT_EQ(CTimeZone::NoteElsewhere(row.local, row.zone), row.note) << row.zone;
}

} // namespace
