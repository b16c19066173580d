#include <agentkit/DlgContainer.h>

#include "AgentTestSupport.h"

#include <agentkit/AgentContainer.h>
#include <factkit/BeliefDB.h>
#include <platform/PollEventLoop.h>
#include <wirekit/ClientSocket.h>
#include <wirekit/Communicator.h>

#include <gtest/gtest.h>

using namespace agenttest;

namespace {

class DlgContainerTest : public ::testing::Test {
protected:
    CTempHome home;
    CPollEventLoop loop;
};

// Tells the test in what order the dialog took it down.
class CWatchedAgent : public CRecordingAgent {
public:
    CWatchedAgent(std::vector<std::string>& events) : CRecordingAgent("Bob"), events(events)
    {
        set_shutdown_pause(0);
        set_belief_dump_file(nullptr);
    }
    ~CWatchedAgent() override { events.push_back("destroyed"); }
    void process_shutdown() override { events.push_back("shutdown"); }

    std::vector<std::string>& events;
};

} // namespace

TEST_F(DlgContainerTest, WindowOptionsChooseTheShowModeAndOnInitDialogShowsIt)
{
    struct Case {
        std::vector<std::string> args;
        CDlgContainer::ShowMode mode;
        CDlgContainer::WindowState shown;
    } cases[] = {
        {{}, CDlgContainer::SHOW_NORMAL, CDlgContainer::WINDOW_NORMAL},
        {{"-win", "max"}, CDlgContainer::SHOW_MAXIMISED, CDlgContainer::WINDOW_MAXIMISED},
        {{"-win", "min"}, CDlgContainer::SHOW_MINIMISED, CDlgContainer::WINDOW_MINIMISED},
        {{"-win", "hidden"}, CDlgContainer::SHOW_HIDDEN_MINIMISED, CDlgContainer::WINDOW_MINIMISED},
    };
    for (const Case& c : cases) {
        CHostedAgent hosted(home, "Bob");
        EXPECT_EQ(hosted.create(c.args), 1);
        EXPECT_EQ(hosted.dlg().get_show_mode(), c.mode);
        EXPECT_EQ(hosted.dlg().get_window_state(), CDlgContainer::WINDOW_HIDDEN);
        EXPECT_EQ(hosted.dlg().OnInitDialog(), 1);
        EXPECT_EQ(hosted.dlg().get_window_state(), c.shown);
        EXPECT_EQ(hosted.dlg().get_window_text(), "Bob");
        EXPECT_EQ(hosted.dlg().is_timer_running(), 1);
    }
}

TEST_F(DlgContainerTest, HiddenCreatesWithResultSevenAndSucceeds)
{
    CHostedAgent hosted(home, "Bob");
    hosted.agent().parse_args(0, nullptr);
    ASSERT_EQ(hosted.create({"-win", "hidden"}), 1);
    EXPECT_EQ(hosted.agent().get_result_code(), CAgentContainer::CREATE_HIDDEN);
    EXPECT_EQ(hosted.agent().Create(0), CAgentContainer::CREATE_ALREADY_CREATED);
}

TEST_F(DlgContainerTest, FailedCreatesGiveZero)
{
    CHostedAgent nameless(home, "Bob");
    nameless.agent().get_belief_db()->delete_element_by_name("name");
    EXPECT_EQ(nameless.create(), 0);

    CHostedAgent twice(home, "Carol");
    ASSERT_EQ(twice.create(), 1);
    EXPECT_EQ(twice.create(), 0);

    CDlgContainer empty(nullptr);
    EXPECT_EQ(empty.CreateContainer(0, nullptr, 0), 0);
    EXPECT_EQ(empty.OnInitDialog(), 1);
    EXPECT_EQ(empty.get_window_text(), "");
}

TEST_F(DlgContainerTest, TheDialogIsTheContainersWindow)
{
    CHostedAgent hosted(home, "Bob");
    EXPECT_EQ(hosted.agent().get_handler(), &hosted.dlg());
    EXPECT_EQ(hosted.agent().get_communicator()->get_handler(), &hosted.dlg());
    EXPECT_EQ(hosted.dlg().get_container(), &hosted.agent());
    EXPECT_EQ(hosted.dlg().GetEventLoop(), &loop);

    CWnd parent(&loop);
    CDlgContainer child(nullptr, 130, &parent);
    EXPECT_EQ(child.get_parent(), &parent);
    EXPECT_EQ(child.get_template_id(), 130u);
    EXPECT_EQ(child.GetEventLoop(), &loop);
}

TEST_F(DlgContainerTest, TimerMessagesReachTheContainerOnlyOnceTheTimerRuns)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create(), 1);
    hosted.dlg().SendMessage(WM_TIMER, CDlgContainer::TIMER_ID);
    EXPECT_EQ(hosted.agent().timers, 0);
    hosted.dlg().OnInitDialog();
    hosted.dlg().SendMessage(WM_TIMER, CDlgContainer::TIMER_ID);
    hosted.dlg().SendMessage(WM_TIMER, 2);
    EXPECT_EQ(hosted.agent().timers, 1);
    hosted.dlg().EndDialog(0);
    EXPECT_EQ(hosted.dlg().is_timer_running(), 0);
    hosted.dlg().SendMessage(WM_TIMER, CDlgContainer::TIMER_ID);
    EXPECT_EQ(hosted.agent().timers, 1);
}

TEST_F(DlgContainerTest, TheRealTimerTicksOnTheLoop)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create(), 1);
    hosted.dlg().OnInitDialog();
    EXPECT_TRUE(RunUntil(loop, [&] { return hosted.agent().timers >= 1; }));
}

TEST_F(DlgContainerTest, DoModalRunsUntilEndDialogOrClose)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create(), 1);
    loop.Post([&] {
        EXPECT_EQ(hosted.dlg().is_modal(), 1);
        hosted.dlg().EndDialog(7);
    });
    EXPECT_EQ(hosted.dlg().DoModal(), 7);
    EXPECT_EQ(hosted.dlg().is_modal(), 0);
    EXPECT_EQ(hosted.dlg().get_window_state(), CDlgContainer::WINDOW_NORMAL);

    hosted.dlg().PostMessage(WM_CLOSE);
    EXPECT_EQ(hosted.dlg().DoModal(), 0);
    EXPECT_TRUE(hosted.dlg().IsWindow());
}

TEST_F(DlgContainerTest, DestructionRunsTheShutdownHookThenDestroysTheContainer)
{
    std::vector<std::string> events;
    {
        CDlgContainer dlg(std::make_unique<CWatchedAgent>(events));
        EXPECT_TRUE(events.empty());
    }
    EXPECT_EQ(events, (std::vector<std::string>{"shutdown", "destroyed"}));
}

TEST_F(DlgContainerTest, NotificationsBeforeRunningDropTheirMessageAndLaterOnesArrive)
{
    CHostedAgent hosted(home, "Bob");
    CPeer peer;
    bool dropped = false;
    hosted.agent().on_init = [&] {
        // Still creating: the agent listens but does not take messages yet.
        ASSERT_TRUE(peer.connect_to(hosted.agent().get_communicator()->get_port()));
        ASSERT_TRUE(peer.send_all(Kqml("Alice", "Bob", "(early)")));
        dropped = RunUntil(loop, [&] {
            return hosted.log().size() > 0 &&
                   FindLine(hosted.log(), "<CAgentContainer> Container is not running, message dropped") >= 0;
        });
    };
    ASSERT_EQ(hosted.create(), 1);
    EXPECT_TRUE(dropped);
    EXPECT_TRUE(hosted.agent().messages.empty());

    ASSERT_TRUE(peer.send_all(Kqml("Alice", "Bob", "(late)")));
    ASSERT_TRUE(RunUntil(loop, [&] { return hosted.agent().messages.size() == 1; }));
    EXPECT_NE(hosted.agent().messages[0].find("(late)"), std::string::npos);
}

TEST_F(DlgContainerTest, NotificationsOfUnknownConnectionsChangeNothing)
{
    CHostedAgent hosted(home, "Bob");
    hosted.dlg().SendMessage(WM_SOCKET_NOTIFY, 1, 5);
    ASSERT_EQ(hosted.create(), 1);
    hosted.dlg().SendMessage(WM_SOCKET_NOTIFY, 1, -1);
    hosted.dlg().SendMessage(WM_SOCKET_NOTIFY, 1, 99);
    EXPECT_EQ(hosted.sink.count("<CAgentContainer> Unable to extract connection descriptor from "
                                "parameters (socket object is NULL)"),
              2);
    EXPECT_EQ(hosted.sink.count("<CAgentContainer> EOF MESSAGE"), 2);
    EXPECT_TRUE(hosted.agent().messages.empty());
}
