#include <vespera/browser/AppointmentListView.h>
#include <vespera/browser/ScheduleBrowserDlg.h>
#include <vespera/browser/ScheduleHistory.h>

#include "VesperaTestSupport.h"

#include <eventmodel/RDFVCalendar.h>
#include <eventview/testing/QtTestApplication.h>
#include <platform/Registry.h>
#include <slotbook/Appointment.h>

#include <graphstore/testing/HttpDocumentServer.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <fstream>

namespace {

using vespera_test::CVesperaTest;

const char* const AgentKey = "Software\\ORVANTE\\CalendarAgent";

std::string Shipped(const std::string& name)
{
    return "file://" + std::string(SCHEDULES_DIR) + "/" + name;
}

QStringList Texts(const std::vector<CScheduleBrowserDlg::MenuEntry>& entries)
{
    QStringList texts;
    for (const auto& entry : entries)
        texts << entry.text;
    return texts;
}

TEST(ScheduleBrowserTexts, DurationsAndAgentNames)
{
    const std::pair<long, const char*> durations[] = {
        {45, "45 minutes"},
        {65, "1 hour &  5 minutes"},
        {120, "2 hours &  0 minutes"},
        {1530, "1 day, 1 hour & 30 minutes"},
        {2940, "2 days, 1 hour &  0 minutes"},
    };
    for (const auto& c : durations)
        EXPECT_EQ(CScheduleBrowserDlg::DurationText(c.first), c.second) << c.first;
}

TEST(ScheduleBrowserTexts, AMenuCountsItsTitleLine)
{
    // A location with one page, a person with two commands, a calendar
    // without a source (three entries and the title: four lines).
    const std::pair<std::size_t, bool> menus[] = {{0, false}, {1, false}, {2, true}, {3, true}};
    for (const auto& menu : menus)
        EXPECT_EQ(CScheduleBrowserDlg::IsMenuShown(menu.first), menu.second) << menu.first;
}

class ScheduleBrowserTest : public CVesperaTest {
protected:
    ScheduleBrowserTest()
    {
        testsupport::QtTestApplication();
        CScheduleBrowserDlg::SetPauseLimit(0);
    }
    CRegistry registry;
};

TEST_F(ScheduleBrowserTest, HistoryStopsAtTheFirstGapAndKeepsTwenty)
{
    for (int number : {1, 2, 4})
        registry.WriteValue(AgentKey, "URL" + std::to_string(number), "http://s" + std::to_string(number));
    EXPECT_EQ(CScheduleHistory::Load(registry), (std::vector<std::string>{"http://s1", "http://s2"}));
    std::vector<std::string> many;
    for (int i = 1; i <= 25; ++i)
        many.push_back("http://m" + std::to_string(i));
    ASSERT_TRUE(CScheduleHistory::Save(registry, many));
    EXPECT_EQ(CScheduleHistory::Load(registry).size(), 20u);
    std::string value;
    EXPECT_NE(registry.ReadValueUnbounded(AgentKey, "URL21", value), CRegistry::Ok);
    EXPECT_EQ(CScheduleHistory::Remember({"a", "b"}, "b"), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(CScheduleHistory::Remember({"a", "b"}, "c"), (std::vector<std::string>{"c", "a", "b"}));
}

TEST_F(ScheduleBrowserTest, RetrievalFillsTheTreesAndRemembersTheAddressOnce)
{
    CScheduleBrowserDlg browser(Agent(), false);
    EXPECT_LE(browser.minimumSizeHint().width(), 800) << "fits a screen 1,024 pixels wide";
    EXPECT_EQ(browser.Addresses().size(), 10) << "no history: the shipped examples";
    const std::string team = Shipped("team-schedule.rdf");
    browser.Retrieve(team);
    EXPECT_EQ(browser.StatusText(), "Retrieving events...done.");
    ASSERT_EQ(browser.ScheduleTree()->topLevelItemCount(), 1);
    EXPECT_EQ(browser.ScheduleTree()->topLevelItem(0)->checkState(0), Qt::Checked);
    ASSERT_EQ(browser.EventTree()->topLevelItemCount(), 2);
    QTreeWidgetItem* review = browser.EventTree()->topLevelItem(0);
    EXPECT_EQ(review->text(0), "Architecture review");
    EXPECT_EQ(review->child(1)->text(0), "1 hour & 30 minutes");
    EXPECT_EQ(review->child(3)->text(0), "Maria Lindqvist <maria@example.org>");
    EXPECT_EQ(Texts(browser.CalendarMenuEntries(browser.ScheduleTree()->topLevelItem(0))),
              QStringList({"View RDF Source", "View WWW Homepage", "View Dublin Core Summary",
                           "Uncheck Import-schedule checkbox"}));
    EXPECT_EQ(Texts(browser.EventTreeMenuEntries(review)),
              QStringList({"Email Attendees", "Request Meeting with Attendees", "see Also (URL)...",
                           "Uncheck Import-event checkbox", "Expand/Collapse Event"}));
    EXPECT_EQ(Texts(browser.EventTreeMenuEntries(review->child(4))),
              QStringList({"Email tom@example.org", "Request Meeting", "Add to Contacts List",
                           "Visit WWW HomePage"}));
    EXPECT_EQ(browser.Addresses().first().toStdString(), team);
    // The trees are filled anew: no item of before may be used after this.
    browser.Retrieve(team);
    EXPECT_EQ(browser.Addresses().count(QString::fromStdString(team)), 1);
    EXPECT_EQ(CScheduleHistory::Load(registry).front(), team);
}

TEST_F(ScheduleBrowserTest, EnterRetrievesAndTheHistoryIsMostRecentFirst)
{
    const std::string older = Shipped("team-schedule.rdf");
    ASSERT_TRUE(CScheduleHistory::Save(registry, {"http://example.org/recent.rdf", older}));
    CScheduleBrowserDlg browser(Agent(), false);
    const QStringList examples = browser.Addresses();
    ASSERT_EQ(examples.size(), 2);
    browser.show();
    auto* address = browser.findChild<QComboBox*>("address");
    address->setEditText(examples.last());
    QTest::keyClick(address->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(browser.StatusText(), "Retrieving events...done.");
    EXPECT_GT(browser.ScheduleTree()->topLevelItemCount(), 0);
    EXPECT_EQ(browser.Addresses().first(), examples.last()) << "an older address moves to the front";
    EXPECT_EQ(browser.Addresses().size(), examples.size());
    EXPECT_EQ(CScheduleHistory::Load(registry).front(), examples.last().toStdString());
    EXPECT_TRUE(browser.isVisible()) << "Enter does not close the browser";
}

TEST_F(ScheduleBrowserTest, UncheckedEventsStayOutOfTheImportAndMeetingsGoToTheAttendeesAgents)
{
    CScheduleBrowserDlg browser(Agent(), false);
    browser.Retrieve(Shipped("team-schedule.rdf"));
    browser.OnCheckAll(false);
    browser.EventTree()->topLevelItem(1)->setCheckState(0, Qt::Checked);
    browser.OnImport();
    EXPECT_EQ(browser.result(), QDialog::Accepted);
    ASSERT_EQ(browser.GetModel().getAppointmentPtr().size(), 1u);
    EXPECT_EQ(browser.GetModel().getAppointmentPtr()[0]->GetSubject(), "Retrospective");

    CScheduleBrowserDlg second(Agent(), false);
    second.Retrieve(Shipped("team-schedule.rdf"));
    const auto entries = second.EventTreeMenuEntries(second.EventTree()->topLevelItem(0));
    entries[1].command();
    EXPECT_EQ(second.result(), CScheduleBrowserDlg::RequestMeetingResult);
    EXPECT_EQ(second.GetMeetingAttendees(), "maria_example.org-CalendarAgent, tom_example.org-CalendarAgent");
}

TEST_F(ScheduleBrowserTest, SubscribeTakesTheWebScheduleRetrievedLastInsteadOfTheCheckedEvents)
{
    testsupport::CHttpDocumentServer server;
    server.Put("/club.ics", "text/calendar",
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VEVENT\r\nUID:a\r\n"
               "DTSTAMP:20261201T000000Z\r\nDTSTART:20310304T190000\r\nDURATION:PT1H\r\nSUMMARY:Training\r\n"
               "END:VEVENT\r\nEND:VCALENDAR\r\n");
    CScheduleBrowserDlg browser(Agent(), false);
    auto* subscribe = browser.findChild<QCheckBox*>("subscribe");
    ASSERT_NE(subscribe, nullptr);
    EXPECT_NE(subscribe->text().indexOf("every 12 hours"), -1);
    subscribe->setChecked(true);
    browser.OnImport();
    EXPECT_EQ(browser.StatusText(), "Retrieve a schedule to subscribe to first.");
    browser.Retrieve(Shipped("team-schedule.rdf"));
    browser.OnImport();
    EXPECT_EQ(browser.StatusText(), "Only http://, https:// and webcal:// schedules can be subscribed to.");
    EXPECT_NE(browser.result(), QDialog::Accepted);
    // As the user enters it: at any address.
    browser.findChild<QComboBox*>("address")->setEditText(QString::fromStdString(server.Url("/club.ics")));
    browser.OnRetrieve();
    browser.OnImport();
    EXPECT_EQ(browser.result(), QDialog::Accepted);
    EXPECT_EQ(browser.GetSubscriptionAddress(), server.Url("/club.ics"));
    EXPECT_TRUE(browser.GetModel().getAppointmentPtr().empty()) << "nothing to write at once";
}

TEST_F(ScheduleBrowserTest, PagesWithoutSchedulesAndEmptyAddressesAreSaid)
{
    CScheduleBrowserDlg browser(Agent(), false);
    const std::string page = Home().Root().string() + "/page.ttl";
    std::ofstream(page) << "<#me> <http://xmlns.com/foaf/0.1/name> \"Me\" .\n";
    browser.Retrieve("file://" + page);
    EXPECT_EQ(browser.StatusText(), "No Schedule was recognised within this page.  Try another URL...");
    browser.OnRetrieve();
    EXPECT_EQ(browser.StatusText(), "Enter a valid URL of the page containing the desired schedule.");
    std::ofstream(page)
        << "@prefix a: <http://www.daml.org/2001/10/agenda/agenda-ont#> .\n<#m> a a:Meeting .\n";
    browser.Retrieve("file://" + page);
    EXPECT_EQ(browser.StatusText().left(39), "DAML Meeting Agenda Markup found, but n");
}

TEST(AppointmentListViewTest, CellsOfAnImportedAndARecurringAppointment)
{
    testsupport::QtTestApplication();
    CAppointmentListView list;
    list.SetupColumns();
    EXPECT_EQ(list.headerItem()->text(11), "Attribute");
    const CAppointment imported(-2, "Talk", "", "Hall", "", "", CDateTime(2031, 3, 4, 10, 0, 0),
                                CDateTime(2031, 3, 4, 11, 30, 0), 90, 1, 15, -1, CDateTime(),
                                "RDF Calendar Import");
    const CAppointment weekly(7, "Stand-up", "", "", "", "", CDateTime(2031, 3, 3, 9, 0, 0),
                              CDateTime(2031, 3, 3, 9, 15, 0), 15, 0, 15, 2, CDateTime(), "outlook", 1, 1, 0,
                              0, CDateTime(2031, 3, 3, 9, 0, 0), CDateTime(4500, 12, 31, 9, 15, 0), 0, 2);
    list.AddRow(imported, 0);
    list.AddRow(weekly, 1);
    const QTreeWidgetItem* first = list.topLevelItem(0);
    EXPECT_EQ(first->text(0), "-2");
    EXPECT_EQ(first->text(1), "");
    EXPECT_EQ(first->text(5), "1 Hour 30 Minutes");
    EXPECT_EQ(first->text(6), "R 15 Minutes");
    EXPECT_EQ(first->text(8), "Out Of Office");
    const QTreeWidgetItem* second = list.topLevelItem(1);
    EXPECT_EQ(second->text(0), "7");
    EXPECT_EQ(second->text(1), "R");
    EXPECT_EQ(second->text(6), "  15 Minutes");
    EXPECT_EQ(second->text(8), "Busy");
}

} // namespace

namespace {

// Every shipped example is a schedule the browser can show.
TEST_F(ScheduleBrowserTest, EveryShippedExampleHoldsASchedule)
{
    const char* const examples[] = {
        "team-schedule.rdf",    "conference-programme.rdf", "holidays.ttl",         "school-terms.ttl",
        "choir-rehearsals.rdf", "football-fixtures.ttl",    "gallery-openings.ttl", "workshop-series.rdf",
        "harbour-festival.ttl", "chamber-orchestra.rdf"};
    for (const char* example : examples) {
        CScheduleBrowserDlg browser(Agent(), false);
        browser.Retrieve(Shipped(example));
        EXPECT_EQ(browser.StatusText(), "Retrieving events...done.") << example;
        EXPECT_GE(browser.EventTree()->topLevelItemCount(), 2) << example;
    }
}

} // namespace
