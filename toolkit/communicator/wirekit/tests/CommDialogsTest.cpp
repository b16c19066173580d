#include <wirekit/CommDialogs.h>

#include <wirekit/Communicator.h>

#include "WireTestSupport.h"

#include <ansd/testing/AnsdProcess.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/StringBelief.h>
#include <namekit/ANSClient.h>
#include <platform/MessageBoxSink.h>
#include <platform/PollEventLoop.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

class CRecordingDialogs : public CCommDialogs {
public:
    void ShowNameServerDialog(CCommunicator&) override { shown.push_back("name server"); }
    void ShowCommunicationInfo(CCommunicator&) override { shown.push_back("information"); }
    Texts shown;
};

class CommDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The name-server client reads its server list below $ORVANTE.
        char pattern[] = "/tmp/wirekit-dialogs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        home = pattern;
        setenv("ORVANTE", home.c_str(), 1);
        db.add_element(new CStringBelief("name", "Alice"));
        db.add_element(new CIntBelief("port", 4321));
        db.add_element(new CStringBelief("ans", "-unknown-"));
        db.add_element(new CIntBelief("ansport", 6677));
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
        unsetenv("ORVANTE");
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    CANSClient* add_ans_client()
    {
        auto* client = new CANSClient(&db, &handler);
        communicator->add_lookup_module(client);
        return client;
    }
    Texts box_texts()
    {
        Texts texts;
        for (const auto& box : boxes.Boxes())
            texts.push_back(box.text);
        return texts;
    }

    std::string home;
    CPollEventLoop loop;
    CWnd handler{&loop};
    CBeliefDB db;
    std::unique_ptr<CCommunicator> communicator;
    wiretest::CLogFile log;
    CMessageBoxSink::CRecorder boxes;
};

TEST_F(CommDialogsTest, FieldsAndHostChoicesComeFromTheBeliefs)
{
    const CCommDialogs::Fields fields = CCommDialogs::ReadFields(*communicator);
    EXPECT_EQ(fields.name + " " + std::to_string(fields.port), "Alice 4321");
    EXPECT_EQ(fields.ans_host + " " + std::to_string(fields.ans_port), "-unknown- 6677");
    CBeliefDB bare;
    CCommunicator without_beliefs(&bare);
    const CCommDialogs::Fields empty = CCommDialogs::ReadFields(without_beliefs);
    EXPECT_EQ(empty.name + empty.ans_host, "");
    EXPECT_EQ(empty.port + empty.ans_port, 0);

    EXPECT_EQ(CCommDialogs::NameServerHosts(*communicator), Texts{"localhost"});
    communicator->set_ansname("ans-host");
    EXPECT_EQ(CCommDialogs::NameServerHosts(*communicator), (Texts{"ans-host", "localhost"}));
    communicator->set_ansname("localhost");
    EXPECT_EQ(CCommDialogs::NameServerHosts(*communicator), Texts{"localhost"});
}

TEST_F(CommDialogsTest, CommunicatorShowsTheInstalledDialogsOrLogsHeadless)
{
    CRecordingDialogs recording;
    EXPECT_EQ(SetCommDialogs(&recording), nullptr);
    communicator->set_user_hooks(CCommDialogs::StandardHooks());
    communicator->comm_ans(); // no name-server client yet: nothing to show
    add_ans_client();
    communicator->comm_ans();
    communicator->comm_info();
    EXPECT_EQ(recording.shown, (Texts{"name server", "information"}));

    EXPECT_EQ(SetCommDialogs(nullptr), &recording);
    communicator->comm_ans();
    communicator->comm_info();
    EXPECT_EQ(recording.shown.size(), 2u);
    EXPECT_EQ(log.count("<CCommDialogs> Name server dialog: agent [Alice] port [4321], name "
                        "server [-unknown-] port [6677]"),
              1);
    EXPECT_EQ(log.count("<CCommDialogs> Communication information: agent [Alice] at [127.0.0.1] "
                        "port [4321], name server [-unknown-] port [6677], version [" +
                        std::string(communicator->getversion()) + "]"),
              1);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(CommDialogsTest, RegisterWithoutNameServerClientReportsAndChangesNothing)
{
    EXPECT_EQ(CCommDialogs::Register(*communicator, {"Bob", 5000, "127.0.0.1", 7000}), 0);
    EXPECT_EQ(box_texts(), Texts{"Pointer to ANS module is NULL"});
    EXPECT_STREQ(communicator->get_name(), "Alice");
    EXPECT_STREQ(communicator->get_ansname(), "-unknown-");
    EXPECT_FALSE(CCommDialogs::IsRegistrationLocked(*communicator));
}

TEST_F(CommDialogsTest, RegisterStoresTheFieldsAndRegistersWithTheNameServer)
{
    CAnsdProcess ansd(home);
    ASSERT_TRUE(ansd.Start());
    CANSClient* client = add_ans_client();
    const int port = static_cast<int>(ansd.port);
    EXPECT_EQ(CCommDialogs::Register(*communicator, {"Bob-CalendarAgent", 5000, "127.0.0.1", port}), 1);
    EXPECT_STREQ(communicator->get_name(), "Bob-CalendarAgent");
    EXPECT_EQ(communicator->get_port(), 5000);
    EXPECT_STREQ(communicator->get_ansname(), "127.0.0.1");
    EXPECT_EQ(communicator->get_ansport(), port);
    EXPECT_EQ(client->is_enabled(), 1);
    EXPECT_TRUE(CCommDialogs::IsRegistrationLocked(*communicator));
    EXPECT_EQ(client->lookup_agent("Bob-CalendarAgent"), 1);
    EXPECT_TRUE(boxes.Boxes().empty());
    communicator.reset();
    EXPECT_EQ(ansd.Stop(), 0);

    // A name server that is gone: the fields stay stored for another try.
    communicator = std::make_unique<CCommunicator>(&db);
    add_ans_client();
    EXPECT_EQ(CCommDialogs::Register(*communicator, {"Carol", 5001, "127.0.0.1", port}), 0);
    EXPECT_STREQ(communicator->get_name(), "Carol");
    EXPECT_FALSE(CCommDialogs::IsRegistrationLocked(*communicator));
}

TEST_F(CommDialogsTest, DisabledActionsOnlyReport)
{
    CCommDialogs::Unregister();
    CCommDialogs::ChoosePort();
    EXPECT_EQ(box_texts(), (Texts{"This method is temporarily disabled",
                                  "This method is temporarily disabled\n to allow testing of "
                                  "dynamic port assignment"}));
}

} // namespace
