#include <vespera/ui/MeetingRequestDlg.h>

#include <vespera/core/ContactStore.h>

#include <eventview/testing/QtTestApplication.h>
#include <platform/MessageBoxSink.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>

#include <platform/testing/ScopedTimeZone.h>

#include <gtest/gtest.h>

namespace {

TEST(MeetingRequestDlg, AttendeeTextGainsAndLosesNamesWithTheirCommas)
{
    struct Case {
        const char* before;
        const char* name;
        const char* added;
        const char* removed;
    } cases[] = {
        {"", "a", "a", ""},
        {"a", "b", "a,b", "a"},
        {"a,b,c", "b", "a,b,c", "a,c"},
        {"a,b,c", "c", "a,b,c", "a,b"},
        {"a,b,c", "a", "a,b,c", "b,c"},
        {"ab", "a", "ab", "b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CMeetingRequestDlg::AddAttendee(c.before, c.name), c.added) << c.before << " + " << c.name;
        EXPECT_EQ(CMeetingRequestDlg::RemoveAttendee(c.before, c.name), c.removed)
            << c.before << " - " << c.name;
    }
}

class MeetingRequestDlgTest : public ::testing::Test {
protected:
    MeetingRequestDlgTest()
    {
        testsupport::QtTestApplication();
        previous = CMessageBoxSink::SetCurrent(&boxes);
        for (const char* email : {"ann@example.org", "", "bob@example.org"}) {
            auto contact = std::make_unique<CContactRecord>("First", "Last", email);
            contact->SetCalendarAgentName(CContactRecord::AgentNameFor(email));
            contacts.Add(std::move(contact));
        }
    }
    ~MeetingRequestDlgTest() override { CMessageBoxSink::SetCurrent(previous); }

    std::unique_ptr<CMeetingRequestDlg> Open(std::set<std::string> known)
    {
        return std::make_unique<CMeetingRequestDlg>(
            contacts, [known](const std::string& name) { return known.count(name) > 0; },
            [this](const std::string& request) { requests.push_back(request); }, false);
    }

    void Select(CMeetingRequestDlg& dialog, int row)
    {
        auto* list = dialog.findChild<QTreeWidget*>("contacts");
        list->setCurrentItem(list->topLevelItem(row));
    }

    CContactStore contacts;
    CMessageBoxSink::CRecorder boxes;
    CMessageBoxSink* previous = nullptr;
    std::vector<std::string> requests;
};

TEST(MeetingRequestDlg, TheStartOpensOnTheNextMarkOrStaysOnOne)
{
    const struct {
        int minute, second, hour, toMinute;
    } cases[] = {{0, 0, 10, 0},  {0, 40, 10, 0},   {30, 5, 10, 30},
                 {1, 0, 10, 30}, {29, 59, 10, 30}, {31, 0, 11, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(CMeetingRequestDlg::InitialStart(CDateTime(2026, 12, 9, 10, c.minute, c.second)),
                  CDateTime(2026, 12, 9, c.hour, c.toMinute, 0))
            << c.minute << ":" << c.second;
}

TEST_F(MeetingRequestDlgTest, ContactsFillTheListAndAddingTwiceKeepsOneName)
{
    auto dialog = Open({});
    auto* list = dialog->findChild<QTreeWidget*>("contacts");
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(0)->text(3).toStdString(), "ann_example.org-CalendarAgent");
    Select(*dialog, 0);
    dialog->OnAddAttendee();
    dialog->OnAddAttendee();
    Select(*dialog, 2);
    dialog->OnAddAttendee();
    auto* attendees = dialog->findChild<QLineEdit*>("attendees");
    EXPECT_EQ(attendees->text().toStdString(), "ann_example.org-CalendarAgent,bob_example.org-CalendarAgent");
    Select(*dialog, 1);
    dialog->OnAddAttendee();
    dialog->OnRemoveAttendee();
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text,
              "The name of the CalendarAgent is not known for this contact. Please enter it manually");
    EXPECT_EQ(
        boxes.Boxes()[1].text,
        "The name of the CalendarAgent is not known for this contact. PLease delete the entry manually");
    EXPECT_FALSE(dialog->findChild<QWidget*>("endDate")->isEnabled());
}

TEST_F(MeetingRequestDlgTest, OkRefusesUnknownAgentsAndStartsNothing)
{
    auto dialog = Open({"ann-CalendarAgent"});
    dialog->accept();
    dialog->findChild<QLineEdit*>("attendees")->setText("ann-CalendarAgent,zed-CalendarAgent");
    dialog->accept();
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, "No Attendees Specified");
    EXPECT_EQ(boxes.Boxes()[1].text,
              "The following Calendar agents could not be found.\n\nzed-CalendarAgent\n"
              "\nPlease check the agent names and try again.\nNo Meetings have been "
              "scheduled.");
    EXPECT_TRUE(requests.empty());
}

TEST_F(MeetingRequestDlgTest, RequestCarriesTheDurationAndTheWindowOnlyWhenChecked)
{
    const CDateTime start(2031, 3, 4, 10, 30, 0);
    const CDateTime end(2031, 3, 6, 17, 0, 0);
    const testsupport::CScopedTimeZone zone("Asia/Kolkata");
    // The request names the user's zone, so the agent reads it as it reads another agent's.
    EXPECT_EQ(CMeetingRequestDlg::BuildRequest("a,b", "Plan", "Talk", start, false, end, "Room 1", 90),
              "tell :command schedule_meeting :attendees (a,b) :subject (Plan) :body (Talk) :start (3/4/2031 "
              "10:30:00 AM) :location (Room 1) :duration (90) :timezone (Asia/Kolkata)");
    EXPECT_EQ(
        CMeetingRequestDlg::BuildRequest("a", "", "", start, true, end, "", 30),
        "tell :command schedule_meeting :attendees (a) :subject () :body () :start (3/4/2031 10:30:00 AM) "
        ":end (3/6/2031 5:00:00 PM) :location () :duration (30) :timezone (Asia/Kolkata)");

    auto dialog = Open({"ann-CalendarAgent"});
    auto* duration = dialog->findChild<QComboBox*>("duration");
    EXPECT_EQ(duration->count(), CMeetingRequestDlg::DurationEntries);
    EXPECT_EQ(duration->currentIndex(), 0);
    duration->setCurrentIndex(2);
    EXPECT_EQ(dialog->SelectedMinutes(), 90);
    dialog->findChild<QLineEdit*>("attendees")->setText("ann-CalendarAgent");
    dialog->accept();
    ASSERT_EQ(requests.size(), 1u) << (boxes.Boxes().empty() ? "" : boxes.Boxes()[0].text);
    EXPECT_NE(requests[0].find(":duration (90)"), std::string::npos) << requests[0];
    EXPECT_EQ(requests[0].find(":end ("), std::string::npos) << requests[0];
}

TEST_F(MeetingRequestDlgTest, EveryContactColumnIsWideEnoughForItsText)
{
    const std::unique_ptr<CMeetingRequestDlg> dialog = Open({});
    const auto* list = dialog->findChild<QTreeWidget*>("contacts");
    for (int column = 0; column < list->columnCount(); ++column) {
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            const QString text = list->topLevelItem(row)->text(column);
            EXPECT_GE(list->columnWidth(column), list->fontMetrics().horizontalAdvance(text))
                << text.toStdString();
        }
    }
}

} // namespace
