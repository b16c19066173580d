#include <outlook/FileBackend.h>
#include <outlook/SaveBatch.h>

#include <platform/AtomicFile.h>
#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>

namespace {
using outlook::CAppointmentData;
using outlook::CFileBackend;
using outlook::CSaveBatch;
using outlook::CStoredItem;
using outlook::olFolderCalendar;
using testsupport::ReadFile;

// Counts the atomic replaces of one file in a directory: each is a rename
// onto the file's name, which the kernel reports as it happens.
class CReplaceCounter {
public:
    CReplaceCounter(const std::string& directory, std::string name)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), m_name(std::move(name))
    {
        if (m_fd >= 0)
            inotify_add_watch(m_fd, directory.c_str(), IN_MOVED_TO);
    }
    ~CReplaceCounter()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    int Count()
    {
        alignas(inotify_event) char buffer[8192];
        for (ssize_t got; (got = read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                m_count += event->len > 0 && m_name == event->name ? 1 : 0;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return m_count;
    }
    bool Watching() const { return m_fd >= 0; }

private:
    int m_fd;
    std::string m_name;
    int m_count = 0;
};

const std::string OtherProgramsEvent = "BEGIN:VEVENT\r\nUID:theirs\r\nDTSTAMP:20260101T000000Z\r\n"
                                       "DTSTART:20260301T090000\r\nDURATION:PT1H\r\nSUMMARY:Theirs\r\n"
                                       "X-OTHER-PROGRAM:kept\r\nEND:VEVENT\r\n";

std::string Calendar(const std::string& events)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other Program//EN\r\n" + events + "END:VCALENDAR\r\n";
}

CStoredItem Appointment(const std::string& subject, int day)
{
    CAppointmentData data;
    data.subject = subject;
    data.start = CDateTime(2026, 4, day, 9, 0, 0);
    data.duration = 60;
    return CStoredItem{"", data};
}

std::string Subject(const CFileBackend& backend, long index)
{
    CStoredItem item;
    return backend.GetItem(olFolderCalendar, index, item) ? std::get<CAppointmentData>(item.data).subject
                                                          : "<none>";
}

class SaveBatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ofstream(Path(), std::ios::binary) << Calendar(OtherProgramsEvent);
        ASSERT_TRUE(backend.Start()) << backend.GetLastErrorText();
        ASSERT_TRUE(backend.Open());
        ASSERT_TRUE(replaces.Watching());
    }
    std::string Path() const { return temp.File(CFileBackend::CalendarFileName); }
    // Adds `count` appointments; false at the first the back-end refuses.
    bool Add(int count, const std::string& prefix)
    {
        for (int i = 0; i < count; ++i) {
            CStoredItem item = Appointment(prefix + std::to_string(i), 1 + i % 28);
            if (!backend.AddItem(olFolderCalendar, item))
                return false;
        }
        return true;
    }

    testsupport::CTempDir temp;
    CFileBackend backend{temp.Path(), nullptr};
    CReplaceCounter replaces{temp.Path(), CFileBackend::CalendarFileName};
};

TEST_F(SaveBatchTest, ManySavesAreOneWriteThatKeepsTheOtherProgramsData)
{
    // Appends alone keep the file's bytes; an update among them makes the
    // calendar written whole: both are one write.
    for (const bool update : {false, true}) {
        const int before = replaces.Count();
        const long count = backend.GetCount(olFolderCalendar);
        {
            CSaveBatch batch(backend);
            CSaveBatch inner(backend);
            ASSERT_TRUE(Add(40, update ? "Second " : "First "));
            EXPECT_TRUE(inner.Commit());
            EXPECT_EQ(replaces.Count(), before) << "an inner batch does not write";
            EXPECT_EQ(backend.GetCount(olFolderCalendar), count + 40) << "saves show at once";
            if (update) {
                CStoredItem first;
                ASSERT_TRUE(backend.GetItem(olFolderCalendar, 1, first));
                std::get<CAppointmentData>(first.data).subject = "Renamed";
                ASSERT_TRUE(backend.UpdateItem(first)) << backend.GetLastErrorText();
            }
        }
        EXPECT_EQ(replaces.Count(), before + 1);
        const std::string text = ReadFile(Path());
        EXPECT_NE(text.find("X-OTHER-PROGRAM:kept"), std::string::npos);
        if (!update) {
            EXPECT_EQ(text.rfind(OtherProgramsEvent), text.find("BEGIN:VEVENT")) << "bytes kept as they were";
        }
    }
    CFileBackend reread(temp.Path(), nullptr);
    ASSERT_TRUE(reread.Start() && reread.Open());
    ASSERT_EQ(reread.GetCount(olFolderCalendar), 81);
    EXPECT_EQ(Subject(reread, 1), "Renamed");
    EXPECT_EQ(Subject(reread, 80), "Second 39");
}

TEST_F(SaveBatchTest, AFileAnotherProgramWroteMeanwhileIsNotOverwrittenAndTheSavesAreUndone)
{
    CSaveBatch batch(backend);
    ASSERT_TRUE(Add(3, "Mine "));
    // A program that does not lock writes the file in place.
    std::ofstream(Path(), std::ios::binary | std::ios::trunc) << Calendar("") << "\r\n";
    EXPECT_FALSE(batch.Commit());
    EXPECT_NE(backend.GetLastErrorText().find("was changed by another program"), std::string::npos)
        << backend.GetLastErrorText();
    EXPECT_EQ(ReadFile(Path()), Calendar("") + "\r\n");
    EXPECT_EQ(backend.GetCount(olFolderCalendar), 1) << "the batch's saves are undone";
    EXPECT_EQ(backend.Refresh(), outlook::CBackend::RefreshResult::Reread);
    EXPECT_EQ(backend.GetCount(olFolderCalendar), 0);
}

TEST_F(SaveBatchTest, AFileUnreadableAtTheBatchsFirstSaveIsRefusedAndLeftAlone)
{
    std::string error;
    ASSERT_TRUE(CAtomicFile(Path()).Replace("garbled", error)) << error;
    const int before = replaces.Count();
    {
        CSaveBatch batch(backend);
        EXPECT_FALSE(Add(1, "Refused "));
        EXPECT_TRUE(batch.Commit()) << "nothing was saved, so nothing failed to be written";
    }
    EXPECT_EQ(replaces.Count(), before);
    EXPECT_EQ(ReadFile(Path()), "garbled");
}

} // namespace
