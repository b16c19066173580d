#include <FuzzEntries.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Entry = bool (*)(const std::uint8_t*, std::size_t);

std::vector<std::uint8_t> read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

// Every target's corpus through its entry, and the empty input through each.
const std::pair<const char*, Entry> Targets[] = {
    {"parser_fuzzer", &CFuzzEntries::parser},
    {"url_fuzzer", &CFuzzEntries::url},
    {"commandline_fuzzer", &CFuzzEntries::commandline},
    {"framing_fuzzer", &CFuzzEntries::framing},
    {"ansd_fuzzer", &CFuzzEntries::ansd},
    {"vcard_fuzzer", &CFuzzEntries::vcard},
    {"regfile_fuzzer", &CFuzzEntries::regfile},
    {"subscriptions_fuzzer", &CFuzzEntries::subscriptions},
    {"icalendar_fuzzer", &CFuzzEntries::icalendar},
    {"schedule_fuzzer", &CFuzzEntries::schedule},
    {"ssdp_fuzzer", &CFuzzEntries::ssdp},
    {"dms_fuzzer", &CFuzzEntries::dms},
    {"datetime_fuzzer", &CFuzzEntries::datetime},
    {"timeslots_fuzzer", &CFuzzEntries::timeslots},
    {"timezone_fuzzer", &CFuzzEntries::timezone},
    {"tls_fuzzer", &CFuzzEntries::tls},
    {"multistatus_fuzzer", &CFuzzEntries::multistatus},
    {"journal_fuzzer", &CFuzzEntries::journal},
    {"ans_reply_fuzzer", &CFuzzEntries::ans_reply},
    {"ansd_state_fuzzer", &CFuzzEntries::ansd_state},
};

} // namespace

TEST(CorpusReplay, EveryTargetsCorpus)
{
    for (const auto& [target, entry] : Targets) {
        SCOPED_TRACE(target);
        replay(target, entry);
    }
}

TEST(CorpusReplay, EmptyInputs)
{
    for (const auto& [target, entry] : Targets)
        EXPECT_TRUE(entry(nullptr, 0)) << target;
}
