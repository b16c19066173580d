#include <wirekit/CommDialogs.h>

#include <wirekit/Communicator.h>

#include "WireTestSupport.h"

#include <ansd/testing/AnsdProcess.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <namekit/ANSClient.h>
#include <platform/MessageBoxSink.h>
#include <platform/PollEventLoop.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Hosts = std::vector<std::string>;

// Counts what the communicator asked to be shown.
class CRecordingDialogs : public CCommDialogs {
public:
    void ShowNameServerDialog(CCommunicator& communicator) override
    {
        name_server.push_back(&communicator);
    }
    void ShowCommunicationInfo(CCommunicator& communicator) override
    {
        information.push_back(&communicator);
    }
    std::vector<CCommunicator*> name_server;
    std::vector<CCommunicator*> information;
};

class CommDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The name-server client reads its server list below $ORVANTE.
        if (const char* old = std::getenv("ORVANTE"))
            saved_home = old;
        char pattern[] = "/tmp/wirekit-dialogs-XXXXXX";
        const char* made = mkdtemp(pattern);
        ASSERT_NE(made, nullptr);
        home = made;
        setenv("ORVANTE", home.c_str(), 1);

        db.add_element(new CStringBelief("name", "Alice"));
        db.add_element(new CIntBelief("port", 4321));
        db.add_element(new CStringBelief("ans", "-unknown-"));
        db.add_element(new CIntBelief("ansport", 6677));
        db.add_element(new CListBelief("lookup", new CLList()));
        communicator = std::make_unique<CCommunicator>(&db);
        // What the agent registers as its address stays on this machine.
        db.find_string_belief("hostname")->set_value("127.0.0.1");
        log.logger.close();
        communicator->set_file(log.path.c_str());
        CMessageBoxSink::SetCurrent(&boxes);
    }

    void TearDown() override
    {
        communicator.reset();
        CMessageBoxSink::SetCurrent(nullptr);
        SetCommDialogs(nullptr);
        if (saved_home)
            setenv("ORVANTE", saved_home->c_str(), 1);
        else
            unsetenv("ORVANTE");
        std::error_code ignored;
        fs::remove_all(home, ignored);
    }

    CANSClient* add_ans_client()
    {
        auto* client = new CANSClient(&db, &handler);
        communicator->add_lookup_module(client);
        return client;
    }

    std::vector<std::string> box_texts() const
    {
        std::vector<std::string> texts;
        for (const auto& box : boxes.Boxes())
            texts.push_back(box.text);
        return texts;
    }

    std::optional<std::string> saved_home;
    std::string home;
    CPollEventLoop loop;
    CWnd handler{&loop};
    CBeliefDB db;
    std::unique_ptr<CCommunicator> communicator;
    wiretest::CLogFile log;
    CMessageBoxSink::CRecorder boxes;
};

TEST_F(CommDialogsTest, FieldsComeFromTheBeliefs)
{
    CCommDialogs::Fields fields = CCommDialogs::ReadFields(*communicator);
    EXPECT_EQ(fields.name, "Alice");
    EXPECT_EQ(fields.port, 4321);
    EXPECT_EQ(fields.ans_host, "-unknown-");
    EXPECT_EQ(fields.ans_port, 6677);

    CBeliefDB bare;
    CCommunicator without_beliefs(&bare);
    fields = CCommDialogs::ReadFields(without_beliefs);
    EXPECT_EQ(fields.name, "");
    EXPECT_EQ(fields.port, 0);
    EXPECT_EQ(fields.ans_host, "");
    EXPECT_EQ(fields.ans_port, 0);
}

TEST_F(CommDialogsTest, HostChoicesEndWithLocalhost)
{
    EXPECT_EQ(CCommDialogs::NameServerHosts(*communicator), (Hosts{"localhost"}));
    communicator->set_ansname("ans-host");
    EXPECT_EQ(CCommDialogs::NameServerHosts(*communicator), (Hosts{"ans-host", "localhost"}));
    communicator->set_ansname("localhost");
    EXPECT_EQ(CCommDialogs::NameServerHosts(*communicator), (Hosts{"localhost"}));
    communicator->set_ansname("");
    EXPECT_EQ(CCommDialogs::NameServerHosts(*communicator), (Hosts{"localhost"}));
}

TEST_F(CommDialogsTest, HeadlessDialogsLogWhatTheyWouldShow)
{
    CCommDialogs& headless = GetCommDialogs();
    headless.ShowNameServerDialog(*communicator);
    headless.ShowCommunicationInfo(*communicator);
    EXPECT_EQ(log.count("<CCommDialogs> Name server dialog: agent [Alice] port [4321], name "
                        "server [-unknown-] port [6677]"),
              1);
    EXPECT_EQ(log.count("<CCommDialogs> No window to ask in: give the name server with -ans "
                        "HOST and -ansport N"),
              1);
    const std::string info = std::string("<CCommDialogs> Communication information: agent "
                                         "[Alice] at [") +
                             communicator->comm_get_ip() +
                             "] port [4321], name server [-unknown-] port [6677], version [" +
                             communicator->getversion() + "]";
    EXPECT_EQ(log.count(info), 1);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(CommDialogsTest, InstalledDialogsAreWhatTheCommunicatorShows)
{
    CRecordingDialogs first;
    CRecordingDialogs second;
    EXPECT_EQ(SetCommDialogs(&first), nullptr);
    EXPECT_EQ(&GetCommDialogs(), &first);

    // Without a name-server client there is nothing to show.
    communicator->comm_ans();
    communicator->comm_info();
    EXPECT_TRUE(first.name_server.empty());
    EXPECT_TRUE(first.information.empty());

    add_ans_client();
    communicator->comm_ans();
    communicator->comm_info();
    EXPECT_EQ(first.name_server, (std::vector<CCommunicator*>{communicator.get()}));
    EXPECT_EQ(first.information, (std::vector<CCommunicator*>{communicator.get()}));

    EXPECT_EQ(SetCommDialogs(&second), &first);
    communicator->comm_ans();
    EXPECT_EQ(first.name_server.size(), 1u);
    EXPECT_EQ(second.name_server.size(), 1u);

    EXPECT_EQ(SetCommDialogs(nullptr), &second);
    EXPECT_NE(&GetCommDialogs(), &second);
    communicator->comm_ans();
    EXPECT_EQ(second.name_server.size(), 1u);
    EXPECT_EQ(log.count("<CCommDialogs> Name server dialog: agent [Alice] port [4321], name "
                        "server [-unknown-] port [6677]"),
              1);
}

TEST_F(CommDialogsTest, RegisterWithoutNameServerClientReportsAndChangesNothing)
{
    CCommDialogs::Fields fields{"Bob", 5000, "127.0.0.1", 7000};
    EXPECT_EQ(CCommDialogs::Register(*communicator, fields), 0);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Pointer to ANS module is NULL");
    EXPECT_STREQ(communicator->get_name(), "Alice");
    EXPECT_EQ(communicator->get_port(), 4321);
    EXPECT_STREQ(communicator->get_ansname(), "-unknown-");
    EXPECT_EQ(communicator->get_ansport(), 6677);
    EXPECT_EQ(communicator->is_registered(), 0);
    EXPECT_FALSE(CCommDialogs::IsRegistrationLocked(*communicator));
}

TEST_F(CommDialogsTest, RegisterStoresTheFieldsAndRegistersWithTheNameServer)
{
    CAnsdProcess ansd(home);
    ASSERT_TRUE(ansd.Start());
    CANSClient* client = add_ans_client();
    EXPECT_EQ(client->is_enabled(), 0);

    CCommDialogs::Fields fields{"Bob_x.org-CalendarAgent", 5000, "127.0.0.1",
                                static_cast<int>(ansd.port)};
    EXPECT_EQ(CCommDialogs::Register(*communicator, fields), 1);
    EXPECT_STREQ(communicator->get_name(), "Bob_x.org-CalendarAgent");
    EXPECT_EQ(communicator->get_port(), 5000);
    EXPECT_STREQ(communicator->get_ansname(), "127.0.0.1");
    EXPECT_EQ(communicator->get_ansport(), static_cast<int>(ansd.port));
    EXPECT_EQ(client->is_enabled(), 1);
    EXPECT_EQ(communicator->is_registered(), 1);
    EXPECT_TRUE(CCommDialogs::IsRegistrationLocked(*communicator));
    EXPECT_TRUE(boxes.Boxes().empty());

    // The name server now knows the agent.
    EXPECT_EQ(client->lookup_agent("Bob_x.org-CalendarAgent"), 1);
    communicator.reset();
    EXPECT_EQ(ansd.Stop(), 0);
}

TEST_F(CommDialogsTest, RegisterWithAnUnreachableNameServerFails)
{
    unsigned refused = 0;
    {
        CAnsdProcess gone(home);
        ASSERT_TRUE(gone.Start());
        refused = gone.port;
        gone.Stop();
    }
    CANSClient* client = add_ans_client();
    CCommDialogs::Fields fields{"Bob", 5000, "127.0.0.1", static_cast<int>(refused)};
    EXPECT_EQ(CCommDialogs::Register(*communicator, fields), 0);
    // The fields are stored all the same, ready for another try.
    EXPECT_STREQ(communicator->get_name(), "Bob");
    EXPECT_EQ(communicator->get_ansport(), static_cast<int>(refused));
    EXPECT_EQ(client->is_enabled(), 1);
    EXPECT_EQ(communicator->is_registered(), 0);
    EXPECT_FALSE(CCommDialogs::IsRegistrationLocked(*communicator));
}

TEST_F(CommDialogsTest, DisabledActionsOnlyReport)
{
    CCommDialogs::Unregister();
    CCommDialogs::ChoosePort();
    EXPECT_EQ(box_texts(), (std::vector<std::string>{
                               "This method is temporarily disabled",
                               "This method is temporarily disabled\n to allow testing of "
                               "dynamic port assignment",
                           }));
}

} // namespace
