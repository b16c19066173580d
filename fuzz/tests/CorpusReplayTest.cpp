#include <FuzzEntries.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Entry = bool (*)(const std::uint8_t*, std::size_t);

std::vector<std::uint8_t> read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

// Every file of the target's corpus through its entry; the count guards
// against a corpus that silently went missing.
void replay(const std::string& target, Entry entry)
{
    const fs::path dir = fs::path(ORVANTE_FUZZ_CORPUS) / target;
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    int files = 0;
    for (const fs::directory_entry& file : fs::directory_iterator(dir)) {
        if (!file.is_regular_file())
            continue;
        const std::vector<std::uint8_t> data = read_file(file.path());
        EXPECT_TRUE(entry(data.data(), data.size())) << file.path();
        ++files;
    }
    EXPECT_GE(files, 3) << dir;
}

} // namespace

TEST(CorpusReplay, Parser)
{
    replay("parser_fuzzer", &CFuzzEntries::parser);
}

TEST(CorpusReplay, Url)
{
    replay("url_fuzzer", &CFuzzEntries::url);
}

TEST(CorpusReplay, CommandLine)
{
    replay("commandline_fuzzer", &CFuzzEntries::commandline);
}

TEST(CorpusReplay, Framing)
{
    replay("framing_fuzzer", &CFuzzEntries::framing);
}

TEST(CorpusReplay, Ansd)
{
    replay("ansd_fuzzer", &CFuzzEntries::ansd);
}

TEST(CorpusReplay, VCard)
{
    replay("vcard_fuzzer", &CFuzzEntries::vcard);
}

TEST(CorpusReplay, RegFile)
{
    replay("regfile_fuzzer", &CFuzzEntries::regfile);
}

TEST(CorpusReplay, ICalendar)
{
    replay("icalendar_fuzzer", &CFuzzEntries::icalendar);
}

TEST(CorpusReplay, EmptyInputs)
{
    EXPECT_TRUE(CFuzzEntries::parser(nullptr, 0));
    EXPECT_TRUE(CFuzzEntries::url(nullptr, 0));
    EXPECT_TRUE(CFuzzEntries::commandline(nullptr, 0));
    EXPECT_TRUE(CFuzzEntries::framing(nullptr, 0));
    EXPECT_TRUE(CFuzzEntries::ansd(nullptr, 0));
    EXPECT_TRUE(CFuzzEntries::vcard(nullptr, 0));
    EXPECT_TRUE(CFuzzEntries::regfile(nullptr, 0));
    EXPECT_TRUE(CFuzzEntries::icalendar(nullptr, 0));
}

TEST(CorpusReplay, Dms)
{
    replay("dms_fuzzer", &CFuzzEntries::dms);
}

TEST(CorpusReplay, DateTime)
{
    replay("datetime_fuzzer", &CFuzzEntries::datetime);
}

TEST(CorpusReplay, TimeSlots)
{
    replay("timeslots_fuzzer", &CFuzzEntries::timeslots);
}

TEST(CorpusReplay, AnsReply)
{
    replay("ans_reply_fuzzer", &CFuzzEntries::ans_reply);
}

TEST(CorpusReplay, AnsdState)
{
    replay("ansd_state_fuzzer", &CFuzzEntries::ansd_state);
}
