#include <factkit/LookupModule.h>

#include <basekit/URL.h>
#include <factkit/BeliefDB.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <notekit/ServiceInfo.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records the hooks the base runs (and whether the module was enabled at
// that moment), and opens up the protected name list.
class RecordingModule : public CLookupModule {
public:
    using CLookupModule::add_name;
    using CLookupModule::CLookupModule;
    using CLookupModule::remove_name;

    int process_enable() override
    {
        calls.push_back(is_enabled() ? "enable(on)" : "enable(off)");
        return 7;
    }
    int process_disable() override
    {
        calls.push_back(is_enabled() ? "disable(on)" : "disable(off)");
        return 3;
    }

    std::vector<std::string> calls;
};

using Names = std::vector<std::string>;

Names names_of(CLList* list)
{
    Names names;
    for (CListElement* e = list->get_element(0); e; e = e->get_next())
        names.emplace_back(e->get_name());
    return names;
}

} // namespace

TEST(LookupModuleBase, SettingsAndDoNothingOperations)
{
    CBeliefDB db;
    CWnd* window = reinterpret_cast<CWnd*>(&db);
    CLookupModule module(&db, window);
    EXPECT_EQ(module.get_beliefdb(), &db);
    EXPECT_EQ(module.get_handler(), window);
    EXPECT_EQ(module.is_enabled(), 0);
    EXPECT_EQ(module.get_lookup_type(), 0);
    EXPECT_EQ(module.get_service_type(), 1);
    module.set_lookup_type(CLookupModule::LOOKUP_NAME_SERVER);
    module.set_service_type(4);
    EXPECT_EQ(module.get_lookup_type(), 2);
    EXPECT_EQ(module.get_service_type(), 4);
    EXPECT_EQ(module.register_agent("a") + module.unregister_agent("a") + module.lookup_agent("a") +
                  module.find_agent("a") + module.listall_agents() + module.alive(),
              0);
    EXPECT_EQ(module.enable(1), 0);
    EXPECT_EQ(module.is_enabled(), 1);
    EXPECT_EQ(db.get_element(0), nullptr);
}

TEST(LookupModuleEnable, EveryCallSwitchesThenRunsItsHook)
{
    CBeliefDB db;
    RecordingModule module(&db, nullptr);
    EXPECT_EQ(module.enable(1), 7);
    EXPECT_EQ(module.enable(5), 7);
    EXPECT_EQ(module.is_enabled(), 1);
    EXPECT_EQ(module.enable(0), 3);
    EXPECT_EQ(module.is_enabled(), 0);
    EXPECT_EQ(module.calls, (Names{"enable(on)", "enable(on)", "disable(off)"}));
}

TEST(LookupModuleTable, CreatedOnDemandAsAListBelief)
{
    CBeliefDB db;
    CLookupModule module(&db, nullptr);
    CLList* table = module.get_lookup_table();
    ASSERT_NE(table, nullptr);
    ASSERT_NE(db.find_list_belief("lookup"), nullptr);
    EXPECT_EQ(db.find_list_belief("lookup")->get_value(), table);
    EXPECT_EQ(module.get_lookup_table(), table);
    EXPECT_EQ(db.get_nr_elements(), 1);
    EXPECT_EQ(db.get_modified(), 0);
}

TEST(LookupModuleTable, UsesOrFillsTheExistingBelief)
{
    CBeliefDB db;
    auto* table = new CLList();
    auto* belief = new CListBelief("lookup", table);
    db.add_element(belief);
    CLookupModule module(&db, nullptr);
    EXPECT_EQ(module.get_lookup_table(), table);
    belief->set_value(nullptr);
    CLList* filled = module.get_lookup_table();
    ASSERT_NE(filled, nullptr);
    EXPECT_EQ(belief->get_value(), filled);
    EXPECT_EQ(db.get_nr_elements(), 1);
}

TEST(LookupModuleTable, NoneWithoutDatabaseOrWithAnotherKind)
{
    CLookupModule without(nullptr, nullptr);
    EXPECT_EQ(without.get_lookup_table(), nullptr);
    EXPECT_EQ(without.create_entry("a"), nullptr);
    EXPECT_EQ(without.create_entry_url("tcp://h:1"), nullptr);
    CBeliefDB db;
    db.add_element(new CStringBelief("lookup", "not a table"));
    CLookupModule module(&db, nullptr);
    EXPECT_EQ(module.get_lookup_table(), nullptr);
    EXPECT_EQ(module.create_entry("a"), nullptr);
    EXPECT_EQ(db.get_nr_elements(), 1);
}

TEST(LookupModuleEntries, CreateAddsARecordAndMarksTheDatabase)
{
    CBeliefDB db;
    CLookupModule module(&db, nullptr);
    EXPECT_EQ(module.create_entry(nullptr), nullptr);
    EXPECT_EQ(db.get_modified(), 0);
    CServiceInfo* record = module.create_entry("Alice_x.org-CalendarAgent");
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->get_name(), "Alice_x.org-CalendarAgent");
    EXPECT_EQ(record->get_location(), nullptr);
    EXPECT_EQ(record->get_expiration(), -1);
    EXPECT_EQ(module.get_lookup_table()->find_element("Alice_x.org-CalendarAgent"), record);
    EXPECT_EQ(db.get_modified(), 1);
}

TEST(LookupModuleEntries, ANameAlreadyPresentGivesTheSameRecordRevived)
{
    CBeliefDB db;
    CLookupModule module(&db, nullptr);
    CServiceInfo* first = module.create_entry("a");
    first->set_type(1);
    first->set_gone(1);
    db.set_modified(0);
    CServiceInfo* again = module.create_entry("a");
    EXPECT_EQ(again, first);
    EXPECT_EQ(module.get_lookup_table()->get_nr_elements(), 1);
    EXPECT_EQ(again->get_type(), 1);
    EXPECT_EQ(again->get_gone(), 0);
    EXPECT_EQ(db.get_modified(), 1);
    module.get_lookup_table()->add_element(new CListElement("plain"));
    EXPECT_EQ(module.create_entry("plain"), nullptr);
    EXPECT_EQ(module.get_lookup_table()->get_nr_elements(), 2);
}

TEST(LookupModuleEntries, FromAURLNamedAfterTheURLText)
{
    CBeliefDB db;
    CLookupModule module(&db, nullptr);
    CServiceInfo* record = module.create_entry_url("tcp://10.0.0.5:6678");
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->get_name(), "tcp://10.0.0.5:6678");
    ASSERT_NE(record->get_location(), nullptr);
    EXPECT_STREQ(record->get_location()->get_host(), "10.0.0.5");
    EXPECT_EQ(record->get_location()->get_port(), 6678);
    EXPECT_EQ(db.get_modified(), 1);
    record->get_location()->set_port(1);
    EXPECT_EQ(module.create_entry_url("tcp://10.0.0.5:6678"), record);
    EXPECT_EQ(record->get_location()->get_port(), 6678);
    EXPECT_EQ(module.get_lookup_table()->get_nr_elements(), 1);
}

TEST(LookupModuleEntries, BadURLAddsNothing)
{
    CBeliefDB db;
    CLookupModule module(&db, nullptr);
    EXPECT_EQ(module.create_entry_url("10.0.0.5:6678"), nullptr);
    EXPECT_EQ(module.create_entry_url("tcp://"), nullptr);
    EXPECT_EQ(module.create_entry_url(nullptr), nullptr);
    EXPECT_EQ(db.get_modified(), 0);
    EXPECT_EQ(db.find_list_belief("lookup"), nullptr);
}

TEST(LookupModuleNames, RememberedOnceAndForgotten)
{
    CBeliefDB db;
    RecordingModule module(&db, nullptr);
    EXPECT_EQ(module.add_name("Bob"), 1);
    EXPECT_EQ(module.add_name("Bob-alias"), 1);
    EXPECT_EQ(module.add_name("Bob"), 1);
    EXPECT_EQ(module.add_name(nullptr), 0);
    EXPECT_EQ(names_of(module.get_names()), (Names{"Bob", "Bob-alias"}));
    EXPECT_EQ(module.remove_name("Bob"), 1);
    EXPECT_EQ(module.remove_name("Bob"), 0);
    EXPECT_EQ(module.remove_name(nullptr), 0);
    EXPECT_EQ(names_of(module.get_names()), Names{"Bob-alias"});
}
