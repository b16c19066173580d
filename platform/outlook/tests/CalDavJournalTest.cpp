#include <outlook/CalDavJournal.h>

#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using outlook::CCalDavJournal;
using Kind = CCalDavJournal::Kind;

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// What a restart reads back, as "KIND href etag text" lines.
std::vector<std::string> Reloaded(const std::string& path)
{
    CCalDavJournal journal(path);
    std::string error;
    EXPECT_TRUE(journal.Load(error)) << error;
    std::vector<std::string> entries;
    while (!journal.IsEmpty()) {
        const CCalDavJournal::SEntry& entry = journal.Front();
        const char* kind = entry.kind == Kind::Create   ? "create"
                           : entry.kind == Kind::Change ? "change"
                                                        : "remove";
        entries.push_back(std::string(kind) + " " + entry.href + " " + entry.etag + " " + entry.before + "|" +
                          entry.text);
        EXPECT_TRUE(journal.PopFront(error)) << error;
    }
    return entries;
}

struct SFolding {
    const char* name;
    std::vector<CCalDavJournal::SEntry> recorded;
    std::vector<std::string> owed;
};

// Each resource owes one write, in the order of its first.
TEST(CalDavJournalTest, WritesToOneResourceFoldIntoOne)
{
    const std::vector<SFolding> cases = {
        {"a change of a new item",
         {{Kind::Create, "/a", "", "", "v1"}, {Kind::Change, "/a", "", "v1", "v2"}},
         {"create /a  |v2"}},
        {"two changes",
         {{Kind::Change, "/a", "\"e1\"", "v0", "v1"}, {Kind::Change, "/a", "\"e1\"", "v1", "v2"}},
         {"change /a \"e1\" v0|v2"}},
        {"a new item removed", {{Kind::Create, "/a", "", "", "v1"}, {Kind::Remove, "/a", "", "", ""}}, {}},
        {"a change removed",
         {{Kind::Change, "/a", "\"e1\"", "v0", "v1"}, {Kind::Remove, "/a", "\"e1\"", "", ""}},
         {"remove /a \"e1\" |"}},
        {"a removal then a new item of that name",
         {{Kind::Remove, "/a", "\"e1\"", "", ""}, {Kind::Create, "/a", "", "", "v1"}},
         {"remove /a \"e1\" |", "create /a  |v1"}},
        {"other resources keep their order",
         {{Kind::Create, "/b", "", "", "b1"},
          {Kind::Change, "/a", "\"e\"", "a0", "a1"},
          {Kind::Change, "/b", "", "b1", "b2"}},
         {"create /b  |b2", "change /a \"e\" a0|a1"}},
        {"texts with line ends and spaces",
         {{Kind::Create, "/a b", "", "", "line 1\r\nline 2\n\n"}},
         {"create /a b  |line 1\r\nline 2\n\n"}},
    };
    for (const SFolding& folding : cases) {
        testsupport::CTempDir folder;
        const std::string path = folder.Path() + "/data/caldav-journal";
        CCalDavJournal journal(path);
        std::string error;
        for (const CCalDavJournal::SEntry& entry : folding.recorded)
            ASSERT_TRUE(journal.Record(entry, error)) << folding.name << ": " << error;
        EXPECT_EQ(Reloaded(path), folding.owed) << folding.name;
    }
}

TEST(CalDavJournalTest, TheFirstJournalsAreReadAndBrokenOnesLeftAlone)
{
    testsupport::CTempDir folder;
    const std::string path = folder.Path() + "/caldav-journal";
    std::ofstream(path, std::ios::binary) << "orvante-caldav-journal 1\nPUT https://h/c/a.ics 4\nv1\r\n\n";
    EXPECT_EQ(Reloaded(path), std::vector<std::string>{"create https://h/c/a.ics  |v1\r\n"});

    for (const char* broken : {"orvante-caldav-journal 2\nPUT 2 0 0 9\n/a\n\n\nshort\n",
                               "orvante-caldav-journal 2\nPOST 2 0 0 0\n/a\n\n\n\n",
                               "orvante-caldav-journal 2\nPUT 0 0 0 0\n\n\n\n\n", "something else\n",
                               "orvante-caldav-journal 2\nPUT 2 0 0 99999999999999999999\n/a\n"}) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << broken;
        CCalDavJournal journal(path);
        std::string error;
        EXPECT_FALSE(journal.Load(error)) << broken;
        EXPECT_NE(error.find("cannot be read; it is left as it is"), std::string::npos) << error;
        EXPECT_EQ(FileText(path), broken);
    }
}

TEST(CalDavJournalTest, AJournalThatCannotBeWrittenRefusesTheWriteAndKeepsWhatItHeld)
{
    testsupport::CTempDir folder;
    std::ofstream(folder.Path() + "/file") << "x";
    CCalDavJournal journal(folder.Path() + "/file/caldav-journal");
    std::string error;
    EXPECT_FALSE(journal.Record({Kind::Create, "/a", "", "", "v1"}, error));
    EXPECT_TRUE(journal.IsEmpty());
    EXPECT_FALSE(CCalDavJournal("").Record({Kind::Create, "/a", "", "", "v1"}, error));
}

} // namespace
