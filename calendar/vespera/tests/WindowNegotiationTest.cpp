// A meeting requested from the window's meeting dialog is negotiated with a
// real attendee agent while the options sheet is open: the window's event
// loop keeps serving the agent's sockets and timer under modal dialogs.

#include "AgentSociety.h"

#include <vespera/ui/QtEventLoop.h>
#include <vespera/ui/VesperaDlg.h>

#include <vespera/core/AppointmentStore.h>
#include <vespera/core/NameServerRegistration.h>
#include <vespera/core/Vespera.h>

#include <eventview/testing/QtTestApplication.h>
#include <outlook/FileBackend.h>
#include <platform/MessageBoxSink.h>
#include <wirekit/Communicator.h>

#include <QApplication>
#include <QDateEdit>
#include <QLineEdit>
#include <QTimeEdit>
#include <QTimer>

#include <gtest/gtest.h>

// The libraries under Qt keep caches for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libQt6Gui.so\nleak:libdbus-1.so\n";
}

namespace {

using vesperaprocess::CAgentSociety;

constexpr const char* AnnName = "ann_example.org-CalendarAgent";
constexpr const char* BobName = "bob_example.org-CalendarAgent";
constexpr const char* Subject = "Planning from the window";

bool HoldsMeeting(const CAppointmentStore& store)
{
    for (int i = 0; i < store.GetCount(); ++i) {
        if (store.GetAt(i)->GetSubject() == Subject &&
            store.GetAt(i)->GetOutlookIndex() != CAppointmentStore::HoldIndex)
            return true;
    }
    return false;
}

// Fills in the meeting dialog once it is open and confirms it.
void RequestMeetingWithBob()
{
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QLineEdit*>("attendees")->setText(BobName);
    dialog->findChild<QLineEdit*>("subject")->setText(Subject);
    dialog->findChild<QDateEdit*>("startDate")->setDate(QDate(2031, 3, 4));
    dialog->findChild<QTimeEdit*>("startTime")->setTime(QTime(10, 0));
    static_cast<QDialog*>(dialog)->accept();
}

TEST(WindowNegotiationTest, MeetingFromTheDialogIsAgreedWhileTheOptionsSheetIsOpen)
{
    testsupport::QtTestApplication();
    CMessageBoxSink::CRecorder boxes;
    CMessageBoxSink* previousBoxes = CMessageBoxSink::SetCurrent(&boxes);
    CQtEventLoop loop;
    CEventLoop::SetCurrent(&loop);

    CAgentSociety society;
    ASSERT_TRUE(society.StartNameServer()) << society.Failure();
    ASSERT_NE(society.StartAgent({BobName, "bob", {}, {}}), nullptr) << society.Failure();
    ASSERT_TRUE(society.PrepareHome({AnnName, "ann", {{"ANSRegistered", "true"}}, {}})) << society.Failure();

    const std::filesystem::path data = society.HomeOf("ann") / "data" / "orvante";
    auto agent = std::make_unique<CVespera>(std::make_shared<outlook::CFileBackend>(data.string(), &loop));
    CVespera* ann = agent.get();
    ann->set_lookup_config(CAgentContainer::LOOKUP_NAME_SERVER);
    ann->set_belief_dump_file(nullptr);
    ann->set_shutdown_pause(0);
    ann->get_communicator()->set_listen_address("127.0.0.1");
    auto window = std::make_unique<CVesperaDlg>(std::move(agent));
    char program[] = "vespera";
    char* argv[] = {program, nullptr};
    ASSERT_TRUE(window->CreateContainer(1, argv, 1));
    window->OnInitDialog();
    ASSERT_TRUE(ann->GetRegistration().IsRegistered())
        << (boxes.Boxes().empty() ? "" : boxes.Boxes()[0].text);

    QTimer::singleShot(0, RequestMeetingWithBob);
    window->OnScheduleMeetings();

    bool agreedWhileOpen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (sheet && sheet->windowTitle() == "Options" && HoldsMeeting(ann->GetAppointmentStore())) {
            agreedWhileOpen = true;
            sheet->reject();
        }
    });
    watch.start(20);
    QTimer::singleShot(60000, [] {
        if (auto* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            sheet->reject();
    });
    window->OnOptions();
    watch.stop();
    EXPECT_TRUE(agreedWhileOpen) << "the meeting was not agreed within a minute while the sheet was open";

    window->EndDialog(0);
    window.reset();
    CMessageBoxSink::SetCurrent(previousBoxes);
}

} // namespace
