#include <vespera/ui/AgentAlertSettingsPP.h>
#include <vespera/ui/AppointmentForm.h>
#include <vespera/ui/LookupDetailsPP.h>
#include <vespera/ui/OptionsPropertySheet.h>
#include <vespera/ui/DebugDlg.h>
#include <vespera/ui/QtEventLoop.h>
#include <vespera/ui/VesperaDlg.h>

#include <agentkit/widgets/ParserTree.h>

#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/CalendarBridge.h>
#include <vespera/core/ScheduleSubscriptions.h>

#include <outlook/Application.h>
#include <outlook/AppointmentItem.h>
#include <outlook/MailItem.h>

#include <platform/BalloonSink.h>
#include <platform/UserTimeFormat.h>

#include <eventview/testing/QtTestApplication.h>

#include <graphstore/testing/HttpDocumentServer.h>

#include <algorithm>

#include <QAction>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLocale>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <platform/testing/ScopedTimeZone.h>

#include <gtest/gtest.h>

namespace {

using vespera_test::CRecordingVespera;
using vespera_test::CTemporaryHome;

// The main window on an agent with an in-memory calendar, not started as a
// container: its parts are driven one by one.
class VesperaDlgTest : public ::testing::Test {
protected:
    VesperaDlgTest()
    {
        testsupport::QtTestApplication();
        loop = std::make_unique<CQtEventLoop>();
        CEventLoop::SetCurrent(loop.get());
        previous = CMessageBoxSink::SetCurrent(&boxes);
        auto agent = std::make_unique<CRecordingVespera>(backend, home.Root() / "debug.log");
        agent->SetInstallDirectory(home.DataDir().string());
        agent->CreateLogFile(home.DataDir().string());
        agent->StartOutlook();
        this->agent = agent.get();
        window = std::make_unique<CVesperaDlg>(std::move(agent));
    }
    ~VesperaDlgTest() override
    {
        window.reset();
        CMessageBoxSink::SetCurrent(previous);
    }

    CAgentSettings& Settings() { return agent->GetSettings(); }
    QPushButton* Button(const char* name) { return window->findChild<QPushButton*>(name); }

    // Runs `edit` on the options sheet once it is open, then confirms it
    // (or cancels it).
    void DriveOptions(std::function<void(COptionsPropertySheet&)> edit, bool confirm)
    {
        QTimer::singleShot(0, [edit, confirm] {
            auto* sheet = qobject_cast<COptionsPropertySheet*>(QApplication::activeModalWidget());
            ASSERT_NE(sheet, nullptr);
            edit(*sheet);
            confirm ? sheet->accept() : sheet->reject();
        });
        window->OnOptions();
    }

    std::unique_ptr<CQtEventLoop> loop;
    CTemporaryHome home;
    std::shared_ptr<outlook::CMemoryBackend> backend = std::make_shared<outlook::CMemoryBackend>();
    CMessageBoxSink::CRecorder boxes;
    CMessageBoxSink* previous = nullptr;
    CRecordingVespera* agent = nullptr;
    std::unique_ptr<CVesperaDlg> window;
};

TEST_F(VesperaDlgTest, MeetingRequestsNeedRegistrationAndScheduling)
{
    const struct {
        bool registered;
        int type;
        bool allowed;
    } cases[] = {{true, 1, true}, {true, 2, true}, {true, 0, false}, {false, 2, false}, {false, 0, false}};
    for (const auto& c : cases) {
        Settings().SetANSRegistered(c.registered);
        Settings().SetMeetingSchedulingType(c.type);
        EXPECT_EQ(CVesperaDlg::MeetingRequestsAllowed(Settings()), c.allowed)
            << c.registered << " " << c.type;
    }
}

TEST_F(VesperaDlgTest, BoldDaysAndTheDayListIncludeRecurringAppointments)
{
    CAppointmentStore& store = agent->GetAppointmentStore();
    store.SetView(window.get());
    store.AddAppointment(1, "Review", "", "Room 2", "", "", CDateTime(2031, 3, 4, 9, 0, 0),
                         CDateTime(2031, 3, 4, 10, 0, 0), 60, 0, 0, 2, CDateTime(), "outlook", true);
    // Every Monday from 3 March 2031.
    store.AddRecurringAppointment(2, "Stand-up", "", "", "", "", CDateTime(2031, 3, 3, 9, 0, 0),
                                  CDateTime(2031, 3, 3, 9, 15, 0), 15, 0, 0, 2, CDateTime(), "outlook", 1, 1,
                                  0, 0, CDateTime(2031, 3, 3, 9, 0, 0), CDateTime(4500, 12, 31, 9, 15, 0), 0,
                                  2, true);
    EXPECT_EQ(CVesperaDlg::BusyDays(store, 2031, 3), (std::set<int>{3, 4, 10, 17, 24, 31}));
    EXPECT_TRUE(CVesperaDlg::BusyDays(store, 2031, 2).empty());

    auto* list = window->findChild<QTreeWidget*>("appointments");
    window->ShowDay(QDate(2031, 3, 4));
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1).toStdString(), "Review");
    EXPECT_EQ(list->topLevelItem(0)->text(3).toStdString(), "Room 2");
    window->ShowDay(QDate(2031, 3, 17));
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1).toStdString(), "Stand-up");
    window->ShowDay(QDate(2031, 3, 5));
    EXPECT_EQ(list->topLevelItemCount(), 0);
    store.SetView(nullptr);
}

TEST_F(VesperaDlgTest, TrayDefaultItemFollowsTheWindowAndADoubleClickSendsIt)
{
    CSystemTray& tray = window->Tray();
    QList<QAction*> items = tray.Menu()->actions();
    QStringList texts;
    for (QAction* item : items)
        texts << (item->isSeparator() ? QString("-") : item->text());
    EXPECT_EQ(texts.join("|").toStdString(), "About ORVANTE Calendar Agent...|-|Restore|Minimize|Request "
                                             "Meeting|New Appointment/Event|Retrieve Semantic Web Schedule|-|"
                                             "Options|Exit");
    window->show();
    window->OnMinimize();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(tray.GetDefaultItem(), CSystemTray::Restore);
    EXPECT_EQ(tray.Menu()->defaultAction(), tray.ActionOf(CSystemTray::Restore));
    window->OnTrayCommand(tray.GetDefaultItem());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(tray.GetDefaultItem(), CSystemTray::Minimize);
}

TEST_F(VesperaDlgTest, AlertAndLookupPagesEnableTheirFieldsAsTheyChange)
{
    CAgentAlertSettingsPP alert;
    alert.Load(CAgentAlertPageInput{});
    auto* email = alert.findChild<QLineEdit*>("emailText");
    auto* agentText = alert.findChild<QLineEdit*>("agentText");
    EXPECT_FALSE(alert.findChild<QRadioButton*>("byEmail")->isEnabled());
    EXPECT_TRUE(email->isReadOnly());
    EXPECT_TRUE(agentText->isReadOnly());
    alert.findChild<QCheckBox*>("meetings")->setChecked(true);
    EXPECT_TRUE(alert.findChild<QRadioButton*>("byEmail")->isEnabled());
    EXPECT_FALSE(email->isReadOnly());
    EXPECT_TRUE(alert.findChild<QRadioButton*>("longForm")->isEnabled());
    alert.findChild<QRadioButton*>("byAgent")->setChecked(true);
    EXPECT_TRUE(email->isReadOnly());
    EXPECT_FALSE(agentText->isReadOnly());

    CLookupDetailsPP lookup;
    lookup.Load(CLookupDetailsPageInput{true, "", "", "127.0.0.1", "6677"});
    auto* address = lookup.findChild<QLineEdit*>("email");
    address->setText("ann@example.org");
    emit address->textEdited(address->text());
    EXPECT_EQ(lookup.Read().agentName, "ann_example.org-CalendarAgent");
    EXPECT_TRUE(lookup.findChild<QLineEdit*>("agentName")->isReadOnly());
    auto* build = lookup.findChild<QCheckBox*>("buildName");
    build->click();
    EXPECT_TRUE(build->isChecked());
    lookup.findChild<QCheckBox*>("registered")->setChecked(false);
    for (const char* name : {"email", "ansHost", "ansPort", "buildName"})
        EXPECT_FALSE(lookup.findChild<QWidget*>(name)->isEnabled()) << name;
}

TEST_F(VesperaDlgTest, TheHeaderSaysWhetherTheAgentIsRegistered)
{
    CRegistrationControl& control = *window;
    control.ShowRegistration("ann_example.org-CalendarAgent", "127.0.0.1", 6677);
    EXPECT_EQ(window->findChild<QLabel*>("status")->text(), "Agent Operational");
    EXPECT_EQ(window->findChild<QLabel*>("ansPort")->text(), "ANS Port: 6677");
    // As unregistering in the options shows it.
    control.ShowRegistration("", "", 0);
    EXPECT_EQ(window->findChild<QLabel*>("status")->text().toStdString(), CVesperaDlg::UnregisteredStatus);
    for (const char* field : {"agentName", "ansHost", "ansPort"})
        EXPECT_TRUE(window->findChild<QLabel*>(field)->isHidden()) << field;
}

TEST_F(VesperaDlgTest, CancelChangesNothingAndASecondSheetDoesNotOpen)
{
    Settings().SetMeetingSchedulingType(2);
    int sheetsSeen = 0;
    DriveOptions(
        [this, &sheetsSeen](COptionsPropertySheet& sheet) {
            ++sheetsSeen;
            sheet.findChild<QCheckBox*>("debug")->setChecked(true);
            // The notification-area menu while the sheet is open.
            window->OnOptions();
        },
        false);
    EXPECT_EQ(sheetsSeen, 1);
    EXPECT_FALSE(Settings().GetDebug());
    EXPECT_EQ(Settings().GetMeetingSchedulingType(), 2);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(VesperaDlgTest, UnregisteringOnTheSheetSwitchesOffWhatNeedsTheNameServer)
{
    Settings().SetANSRegistered(true);
    Settings().SetMeetingSchedulingType(1);
    Settings().SetAutoLoadSchedule(true);
    Settings().SetAutoInvokeSchedule(false);
    Settings().SetAgentAlertString("alerts-CalendarAgent");
    Settings().SetAgentAlert(true);
    Button("scheduleMeetings")->setEnabled(true);
    DriveOptions(
        [](COptionsPropertySheet& sheet) { sheet.findChild<QCheckBox*>("registered")->setChecked(false); },
        true);
    EXPECT_FALSE(Settings().GetANSRegistered());
    EXPECT_EQ(Settings().GetMeetingSchedulingType(), 0);
    EXPECT_FALSE(Settings().GetAutoLoadSchedule());
    EXPECT_FALSE(Settings().GetAgentAlert());
    ASSERT_FALSE(boxes.Boxes().empty());
    EXPECT_EQ(boxes.Boxes().back().text, "By unregistering the ANS, you have disabled the following:\n"
                                         "  * Distributed Meeting Scheduling\n"
                                         "  * Autonomous Schedule Imports\n"
                                         "  * Agent-based notifications\n"
                                         "To enable these in future, you should first enable the ANS\n"
                                         "and then re-enter the Options Property Sheet.\n");
    EXPECT_FALSE(Button("scheduleMeetings")->isEnabled());
    EXPECT_EQ(window->findChild<QLabel*>("ansPort")->text().toStdString(), "ANS Port: 0");
}

} // namespace

namespace {

TEST_F(VesperaDlgTest, WithoutRegistrationTheStartupSheetAsksAndWithoutATrayTheWindowStandsAlone)
{
    bool sheetShown = false;
    QTimer::singleShot(0, [&sheetShown] {
        QWidget* sheet = QApplication::activeModalWidget();
        ASSERT_NE(sheet, nullptr);
        sheetShown = sheet->windowTitle() == "Initialize ANS";
        static_cast<QDialog*>(sheet)->reject();
    });
    window->OnInitDialog();
    EXPECT_TRUE(sheetShown);
    ASSERT_FALSE(boxes.Boxes().empty());
    EXPECT_EQ(boxes.Boxes().back().text.rfind("The Agent is not registered with the ANS.", 0), 0u);
    // The offscreen platform has no notification area: no tips, no start
    // minimised, the meeting button as it was made.
    EXPECT_FALSE(window->IsTrayCreated());
    EXPECT_TRUE(Button("scheduleMeetings")->isEnabled());
    EXPECT_EQ(window->windowTitle().toStdString(), CVesperaDlg::Title);
    window->EndDialog(0);
}

TEST_F(VesperaDlgTest, NewAppointmentOpensOnTheSelectedDayIsListedAtOnceAndSaidAfterSaving)
{
    CBalloonSink::SetCurrent(window.get());
    agent->GetAppointmentStore().SetView(window.get());
    const QDate day(2031, 3, 17);
    window->findChild<QCalendarWidget*>()->setSelectedDate(day);
    QString noticeWhileOpen;
    QTimer::singleShot(0, [&] {
        QWidget* form = QApplication::activeModalWidget();
        ASSERT_NE(form, nullptr);
        noticeWhileOpen = window->findChild<QLabel*>("notice")->text();
        auto* start = form->findChild<QDateTimeEdit*>("start");
        auto* end = form->findChild<QDateTimeEdit*>("end");
        EXPECT_EQ(start->date(), day);
        const qint64 length = start->dateTime().secsTo(end->dateTime());
        start->setDateTime(QDateTime(day, QTime(14, 0)));
        EXPECT_EQ(end->dateTime(), QDateTime(day, QTime(14, 0)).addSecs(length));
        end->setDateTime(QDateTime(day, QTime(15, 0)));
        form->findChild<QLineEdit*>("subject")->setText("Dentist");
        static_cast<QDialog*>(form)->accept();
    });
    window->OnNewAppointment();
    EXPECT_TRUE(noticeWhileOpen.isEmpty());
    ASSERT_EQ(backend->GetCount(outlook::olFolderCalendar), 1);
    auto* list = window->findChild<QTreeWidget*>("appointments");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1).toStdString(), "Dentist");
    const std::string notice = window->findChild<QLabel*>("notice")->text().toStdString();
    const CDateTime start(2031, 3, 17, 14, 0, 0);
    EXPECT_NE(notice.find("New Appointment/Event: Saved: Dentist, " +
                          CUserTimeFormat::Current().FormatSpan(start, start + CDateTimeSpan(0, 1, 0, 0))),
              std::string::npos)
        << notice;
    agent->GetAppointmentStore().SetView(nullptr);
    CBalloonSink::SetCurrent(nullptr);
}

// Times are the user's; an event written for another zone also says how it
// reads there.
TEST_F(VesperaDlgTest, TheFormSaysHowAnEventFromAnotherZoneReadsThere)
{
    const testsupport::CScopedTimeZone zone("Europe/Berlin");
    for (const auto& [zone, note] :
         {std::pair<const char*, const char*>{"America/New_York", "04:00 America/New_York"},
          {"Europe/Berlin", nullptr},
          {"", nullptr}}) {
        outlook::CAppointmentData data;
        data.start = CDateTime(2026, 12, 10, 10, 0, 0);
        data.startZone = zone;
        outlook::CAppointmentItem item(backend, "zoned", data);
        CAppointmentForm form(item, window.get());
        auto* label = form.findChild<QLabel*>("startZone");
        EXPECT_EQ(label ? label->text().toStdString() : std::string(), note ? note : "") << zone;
    }
}

TEST_F(VesperaDlgTest, ACancelledNewAppointmentSaysNothing)
{
    CBalloonSink::SetCurrent(window.get());
    QTimer::singleShot(0, [] { static_cast<QDialog*>(QApplication::activeModalWidget())->reject(); });
    window->OnNewAppointment();
    EXPECT_EQ(backend->GetCount(outlook::olFolderCalendar), 0);
    EXPECT_TRUE(window->findChild<QLabel*>("notice")->text().isEmpty());
    CBalloonSink::SetCurrent(nullptr);
}

TEST_F(VesperaDlgTest, TestButtonCallsTheAddressSetInTheOptionsAndSaysTheAnswerOrWhyNot)
{
    testsupport::CHttpDocumentServer server;
    server.Put("/service", "text/xml",
               "<soap:Envelope><soap:Body><HelloWorldResponse><HelloWorldResult>Hello from the service"
               "</HelloWorldResult></HelloWorldResponse></soap:Body></soap:Envelope>");
    const struct {
        std::string address;
        std::string stored;
        std::string first;
        std::string says;
    } cases[] = {
        {"", "", "Service Invocation Failed", "no service address is set"},
        {"ftp://example.org/service", "", SettingsPages::BadServiceAddressMessage, ""},
        {server.Url("/service"), server.Url("/service"), "Service Invocation Succeeded",
         "answered: Hello from the service"},
        {server.Url("/missing"), server.Url("/missing"), "Service Invocation Failed", server.Url("/missing")},
    };
    for (const auto& test : cases) {
        boxes.Clear();
        DriveOptions(
            [&](COptionsPropertySheet& sheet) {
                sheet.findChild<QLineEdit*>("scheduleServiceUrl")
                    ->setText(QString::fromStdString(test.address));
            },
            true);
        EXPECT_EQ(Settings().GetScheduleServiceURL(), test.stored) << test.address;
        const bool refused = std::any_of(boxes.Boxes().begin(), boxes.Boxes().end(), [](const auto& box) {
            return box.text == SettingsPages::BadServiceAddressMessage;
        });
        EXPECT_EQ(refused, test.first == SettingsPages::BadServiceAddressMessage) << "said at once";
        if (refused)
            continue;
        boxes.Clear();
        window->OnTest();
        QDeadlineTimer patience(10000);
        while (window->IsTesting() && !patience.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ASSERT_EQ(boxes.Boxes().size(), 2u) << test.address;
        EXPECT_EQ(boxes.Boxes()[0].text.rfind(test.first, 0), 0u) << boxes.Boxes()[0].text;
        EXPECT_NE(boxes.Boxes()[0].text.find(test.says), std::string::npos) << boxes.Boxes()[0].text;
        EXPECT_EQ(boxes.Boxes()[1].text, "All Done");
    }
}

} // namespace

namespace {

TEST_F(VesperaDlgTest, MailItemsOpenInTheMailFormAndGoOutWhenSent)
{
    std::unique_ptr<outlook::CItem> item =
        agent->GetCalendar().GetOutlookApplication()->CreateItem(outlook::olMailItem);
    item->AsMail()->SetTo("maria@example.org, tom@example.org");
    QTimer::singleShot(0, [] {
        QWidget* form = QApplication::activeModalWidget();
        ASSERT_NE(form, nullptr);
        form->findChild<QLineEdit*>("subject")->setText("Architecture review");
        static_cast<QDialog*>(form)->accept();
    });
    EXPECT_TRUE(item->Display());
    ASSERT_EQ(backend->GetSentMail().size(), 1u);
    EXPECT_EQ(backend->GetSentMail()[0].to, "maria@example.org, tom@example.org");
    EXPECT_EQ(backend->GetSentMail()[0].subject, "Architecture review");
}

} // namespace

namespace {

TEST_F(VesperaDlgTest, TheSubscriptionsPageListsThemAndEndsTheOneSelectedOnOk)
{
    std::vector<CScheduleSubscription> stored(2);
    stored[0].address = "https://example.org/club.ics";
    stored[0].fetchedAt = 1800000000;
    stored[0].result = "3 written, 0 removed";
    stored[1].address = "webcal://example.org/choir.ics";
    std::string error;
    ASSERT_TRUE(CSubscriptionFile(CSubscriptionFile::DefaultPath()).Save(stored, error)) << error;
    CScheduleSubscriptions& subscriptions = agent->GetScheduleSubscriptions();
    ASSERT_TRUE(subscriptions.Load());
    QStringList rows;
    bool endEnabledAtFirst = true;
    const auto endFirst = [&](COptionsPropertySheet& sheet) {
        auto* list = sheet.findChild<QTreeWidget*>("subscriptions");
        auto* end = sheet.findChild<QPushButton*>("endSubscription");
        ASSERT_TRUE(list && end);
        rows.clear();
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows << list->topLevelItem(i)->text(0) + " | " + list->topLevelItem(i)->text(1) + " | " +
                        list->topLevelItem(i)->text(2);
        endEnabledAtFirst = end->isEnabled();
        list->setCurrentItem(list->topLevelItem(0));
        QTest::mouseClick(end, Qt::LeftButton);
        sheet.findChild<QSpinBox*>("refreshHours")->setValue(6);
    };
    DriveOptions(endFirst, false);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], QString::fromStdString("https://example.org/club.ics | " +
                                              CScheduleSubscriptions::FetchTimeText(1800000000) +
                                              " | 3 written, 0 removed"));
    EXPECT_EQ(rows[1], "webcal://example.org/choir.ics | never | ");
    EXPECT_FALSE(endEnabledAtFirst) << "nothing selected yet";
    EXPECT_EQ(subscriptions.List().size(), 2u) << "Cancel ends nothing";
    EXPECT_EQ(Settings().GetScheduleRefreshHours(), 12);

    DriveOptions(endFirst, true);
    ASSERT_EQ(subscriptions.List().size(), 1u);
    EXPECT_EQ(subscriptions.List()[0].address, "webcal://example.org/choir.ics");
    EXPECT_EQ(Settings().GetScheduleRefreshHours(), 6);
    std::vector<CScheduleSubscription> reread;
    ASSERT_TRUE(CSubscriptionFile(CSubscriptionFile::DefaultPath()).Load(reread, error)) << error;
    EXPECT_EQ(reread.size(), 1u);

    window->Subscribe("ftp://example.org/club.ics");
    ASSERT_FALSE(boxes.Boxes().empty());
    EXPECT_NE(boxes.Boxes().back().text.find("can be subscribed to"), std::string::npos);
}

TEST_F(VesperaDlgTest, AnotherAgentsBrowseRequestOpensTheBrowserAtItsAddress)
{
    Settings().SetAutoInvokeSchedule(true);
    std::string message = vespera_test::MakeMessage(
        "tell :objective browseScheduleURL :url \"http://127.0.0.1:1/schedule.rdf\"", "peer-CalendarAgent");
    agent->process_message(message.data());
    QString title;
    QStringList addresses;
    QTimer::singleShot(0, [&] {
        // The browser opens once the message has been handled.
        QTimer::singleShot(0, [&] {
            QWidget* browser = QApplication::activeModalWidget();
            ASSERT_NE(browser, nullptr);
            title = browser->windowTitle();
            static_cast<QDialog*>(browser)->reject();
        });
    });
    QTRY_VERIFY_WITH_TIMEOUT(!title.isEmpty(), 10000);
    EXPECT_EQ(title, "Semantic Web Schedule Browser");
}

} // namespace

namespace {

TEST_F(VesperaDlgTest, DebugWindowTracesBothWaysAndClosingEndsDebugMode)
{
    std::string message = vespera_test::MakeMessage("tell :objective lookAround", "peer-CalendarAgent");
    agent->process_message(message.data());
    EXPECT_EQ(window->DebugWindow(), nullptr) << "no debug window without debug mode";

    Settings().SetDebug(true);
    window->UpdateDebugWindow();
    CDebugDlg* debug = window->DebugWindow();
    ASSERT_NE(debug, nullptr);
    agent->process_message(message.data());
    // The agent's own send (the recording one skips it), which traces.
    agent->CVespera::SendAgentMessage("tell", "B", "tell :type bid");
    ASSERT_EQ(debug->IncomingList()->count(), 1);
    ASSERT_EQ(debug->OutgoingList()->count(), 1);
    EXPECT_EQ(debug->OutgoingList()->item(0)->text(), "(tell :receiver B :content (tell :type bid))");
    QTreeWidgetItem* top = debug->OutgoingTree()->topLevelItem(0);
    ASSERT_NE(top, nullptr);
    EXPECT_TRUE(top->isExpanded());
    for (int i = 0; i < top->childCount(); ++i) {
        const QString name = top->child(i)->text(0);
        EXPECT_EQ(top->child(i)->isExpanded(), name == ":receiver" || name == ":content")
            << name.toStdString();
    }
    debug->findChild<QPushButton*>("incomingClear")->click();
    EXPECT_EQ(debug->IncomingList()->count(), 0);
    EXPECT_EQ(debug->IncomingTree()->topLevelItemCount(), 0);
    EXPECT_EQ(debug->OutgoingList()->count(), 1) << "the other monitor stays";

    debug->findChild<QPushButton*>("closeDebug")->click();
    QTRY_VERIFY_WITH_TIMEOUT(window->DebugWindow() == nullptr, 5000);
    EXPECT_FALSE(Settings().GetDebug());
}

} // namespace

namespace {

TEST_F(VesperaDlgTest, ReturnPressesOnlyTheFocusedButtonAndEscapeClosesTheDebugWindow)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    auto* list = window->findChild<QTreeWidget*>("appointments");
    for (QWidget* focused : {static_cast<QWidget*>(list), static_cast<QWidget*>(Button("synchronise"))}) {
        focused->setFocus();
        QTest::keyClick(focused, Qt::Key_Return);
        EXPECT_TRUE(window->isVisible()) << focused->objectName().toStdString();
    }
    Button("shutdown")->setFocus();
    QTest::keyClick(Button("shutdown"), Qt::Key_Return);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);

    Settings().SetDebug(true);
    window->UpdateDebugWindow();
    CDebugDlg* debug = window->DebugWindow();
    ASSERT_NE(debug, nullptr);
    QTest::keyClick(debug, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(window->DebugWindow() == nullptr, 5000);
    EXPECT_FALSE(Settings().GetDebug());
}

} // namespace

namespace {

TEST_F(VesperaDlgTest, TheDayListShowsEachOccurrenceAtItsTimeOnThatDayInOrder)
{
    CAppointmentStore& store = agent->GetAppointmentStore();
    store.SetView(window.get());
    window->findChild<QCalendarWidget*>()->setSelectedDate(QDate(2031, 3, 17));
    store.AddAppointment(1, "Late", "", "", "", "", CDateTime(2031, 3, 17, 15, 0, 0),
                         CDateTime(2031, 3, 17, 16, 0, 0), 60, 0, 0, 2, CDateTime(), "outlook", true);
    store.AddAppointment(2, "Midnight", "", "", "", "", CDateTime(2031, 3, 17, 0, 0, 0),
                         CDateTime(2031, 3, 17, 0, 30, 0), 30, 0, 0, 2, CDateTime(), "outlook", true);
    // Every Monday from 3 March 2031.
    store.AddRecurringAppointment(3, "Stand-up", "", "", "", "", CDateTime(2031, 3, 3, 9, 0, 0),
                                  CDateTime(2031, 3, 3, 9, 15, 0), 15, 0, 0, 2, CDateTime(), "outlook", 1, 1,
                                  0, 0, CDateTime(2031, 3, 3, 9, 0, 0), CDateTime(4500, 12, 31, 9, 15, 0), 0,
                                  2, true);
    auto* list = window->findChild<QTreeWidget*>("appointments");
    const QDate day(2031, 3, 17);
    const struct {
        const char* subject;
        QTime at;
    } expected[] = {{"Midnight", QTime(0, 0)}, {"Stand-up", QTime(9, 0)}, {"Late", QTime(15, 0)}};
    for (bool again : {false, true}) {
        if (again)
            window->ShowDay(day);
        ASSERT_EQ(list->topLevelItemCount(), 3);
        for (int i = 0; i < 3; ++i) {
            QTreeWidgetItem* row = list->topLevelItem(i);
            EXPECT_EQ(row->text(1).toStdString(), expected[i].subject) << again;
            EXPECT_EQ(row->text(0), QLocale().toString(QDateTime(day, expected[i].at), QLocale::ShortFormat))
                << expected[i].subject;
        }
    }
    EXPECT_EQ(list->header()->sectionResizeMode(0), QHeaderView::Interactive);
    EXPECT_GE(list->header()->sectionSize(0), static_cast<QAbstractItemView*>(list)->sizeHintForColumn(0))
        << "fitted to the times";
    store.SetView(nullptr);
}

} // namespace
