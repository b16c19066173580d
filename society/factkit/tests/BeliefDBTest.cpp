#include <factkit/BeliefDB.h>

#include <basekit/URL.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <notekit/ServiceInfo.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/beliefdb-XXXXXX";
        if (mkdtemp(pattern))
            path = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const char* name) const { return path + "/" + name; }
    size_t entries() const
    {
        size_t n = 0;
        for (auto it = std::filesystem::directory_iterator(path); it != std::filesystem::directory_iterator();
             ++it)
            ++n;
        return n;
    }

    std::string path;
};

std::vector<std::string> read_lines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

CServiceInfo* record(const char* name, const char* url, int expiration)
{
    auto* r = new CServiceInfo(name);
    if (url)
        r->set_location(new CURL(url));
    r->set_type(1);
    r->set_expiration(expiration);
    return r;
}

// The beliefs an agent starts with, plus two known agents.
void fill_agent_beliefs(CBeliefDB& db)
{
    db.add_element(new CStringBelief("name", "Bob_x.org-CalendarAgent"));
    db.add_element(new CIntBelief("port", 5000));
    db.add_element(new CStringBelief("ans", "-unknown-"));
    auto* table = new CLList();
    table->add_element(record("Alice_x.org-CalendarAgent", "tcp://10.0.0.5:6678", -1));
    table->add_element(record("Carol_x.org-CalendarAgent", nullptr, 12));
    db.add_element(new CListBelief("lookup", table));
}

} // namespace

TEST(BeliefDBKinds, FoundByNameAndKind)
{
    CBeliefDB db;
    EXPECT_EQ(db.get_modified(), 0);
    db.set_modified(1);
    EXPECT_EQ(db.get_modified(), 1);
    fill_agent_beliefs(db);
    ASSERT_NE(db.find_string_belief("name"), nullptr);
    EXPECT_STREQ(db.find_string_belief("name")->get_value(), "Bob_x.org-CalendarAgent");
    ASSERT_NE(db.find_int_belief("port"), nullptr);
    EXPECT_EQ(db.find_int_belief("port")->get_value(), 5000);
    ASSERT_NE(db.find_list_belief("lookup"), nullptr);
    EXPECT_EQ(db.find_list_belief("lookup")->get_value()->get_nr_elements(), 2);
    EXPECT_EQ(db.find_element("port"), db.find_int_belief("port"));
    EXPECT_EQ(db.find_int_belief("name"), nullptr);
    EXPECT_EQ(db.find_string_belief("port"), nullptr);
    EXPECT_EQ(db.find_list_belief("name"), nullptr);
    EXPECT_EQ(db.find_string_belief("uuid"), nullptr);
    EXPECT_EQ(db.find_string_belief(nullptr), nullptr);
}

TEST(BeliefDBGarbage, RemovesOnlyGoneRecords)
{
    CBeliefDB db;
    fill_agent_beliefs(db);
    CLList* table = db.find_list_belief("lookup")->get_value();
    static_cast<CServiceInfo*>(table->find_element("Carol_x.org-CalendarAgent"))->set_gone(1);
    EXPECT_EQ(db.collect_garbage(), 1);
    EXPECT_EQ(table->get_nr_elements(), 1);
    EXPECT_NE(table->find_element("Alice_x.org-CalendarAgent"), nullptr);
    EXPECT_EQ(db.collect_garbage(), 0);
    CBeliefDB without_table;
    EXPECT_EQ(without_table.collect_garbage(), 0);
    without_table.add_element(new CListBelief("lookup"));
    EXPECT_EQ(without_table.collect_garbage(), 0);
}

TEST(BeliefDBDump, WritesOneBeliefALine)
{
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    CBeliefDB db;
    fill_agent_beliefs(db);
    std::string path = dir.file("BeliefDB.txt");
    ASSERT_EQ(db.dump_beliefs(path.c_str()), 1);
    std::vector<std::string> expected = {
        "name = Bob_x.org-CalendarAgent",
        "port = 5000",
        "ans = -unknown-",
        "lookup = 2 entries",
        "    Alice_x.org-CalendarAgent: tcp://10.0.0.5:6678, type 1, expiration -1",
        "    Carol_x.org-CalendarAgent: no location, type 1, expiration 12",
    };
    EXPECT_EQ(read_lines(path), expected);
}

TEST(BeliefDBDump, MarksGoneRecordsAndUnsetBeliefs)
{
    TempDir dir;
    CBeliefDB db;
    db.add_element(new CStringBelief("uuid"));
    db.add_element(new CListBelief("empty"));
    auto* table = new CLList();
    CServiceInfo* gone = record("Dan", "http:s://h:81/x", 3);
    gone->set_gone(1);
    table->add_element(gone);
    table->add_element(new CListElement("plain"));
    db.add_element(new CListBelief("lookup", table));
    db.add_element(new CListElement("odd"));
    std::string path = dir.file("dump.txt");
    ASSERT_EQ(db.dump_beliefs(path.c_str()), 1);
    std::vector<std::string> expected = {
        "uuid (unset)",       "empty (unset)",
        "lookup = 2 entries", "    Dan: http:s://h:81/x, type 1, expiration 3, gone",
        "    plain",          "odd (unset)",
    };
    EXPECT_EQ(read_lines(path), expected);
}

TEST(BeliefDBDump, EscapesLineBreaksAndSaysOneEntry)
{
    TempDir dir;
    CBeliefDB db;
    db.add_element(new CStringBelief("motto", "two\nlines\\and\ttab\x01"));
    auto* table = new CLList();
    table->add_element(new CListElement("only"));
    db.add_element(new CListBelief("lookup", table));
    std::string path = dir.file("dump.txt");
    ASSERT_EQ(db.dump_beliefs(path.c_str()), 1);
    std::vector<std::string> expected = {
        "motto = two\\nlines\\\\and\\ttab\\x01",
        "lookup = 1 entry",
        "    only",
    };
    EXPECT_EQ(read_lines(path), expected);
}

TEST(BeliefDBDump, ReplacesTheOldFileAndLeavesNoTemporary)
{
    TempDir dir;
    std::string path = dir.file("BeliefDB.txt");
    {
        std::ofstream old(path);
        old << "stale line one\nstale line two\nstale line three\n";
    }
    CBeliefDB db;
    db.add_element(new CIntBelief("port", 1));
    ASSERT_EQ(db.dump_beliefs(path.c_str()), 1);
    EXPECT_EQ(read_lines(path), std::vector<std::string>{"port = 1"});
    EXPECT_EQ(dir.entries(), 1u);
    CBeliefDB empty;
    ASSERT_EQ(empty.dump_beliefs(path.c_str()), 1);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST(BeliefDBDump, UnwritablePlacesFailAndKeepTheOldFile)
{
    TempDir dir;
    CBeliefDB db;
    db.add_element(new CIntBelief("port", 1));
    EXPECT_EQ(db.dump_beliefs(nullptr), 0);
    EXPECT_EQ(db.dump_beliefs(""), 0);
    EXPECT_EQ(db.dump_beliefs(dir.file("missing/dir/BeliefDB.txt").c_str()), 0);
    // A directory in the way: the rename cannot replace it.
    std::string blocked = dir.file("blocked");
    std::filesystem::create_directory(blocked);
    std::ofstream(blocked + "/keep") << "x";
    EXPECT_EQ(db.dump_beliefs(blocked.c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(blocked));
    EXPECT_EQ(dir.entries(), 1u);
}
