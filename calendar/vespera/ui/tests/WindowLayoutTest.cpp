#include <vespera/ui/GeneralSettingsPP.h>
#include <vespera/ui/QtEventLoop.h>
#include <vespera/ui/VesperaDlg.h>

#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>

#include <eventview/testing/QtTestApplication.h>
#include <platform/Registry.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

using vespera_test::CRecordingVespera;
using vespera_test::CTemporaryHome;

// Main windows on an agent with an in-memory calendar, one after the
// other, as one start of the program after another.
class WindowLayoutTest : public ::testing::Test {
protected:
    WindowLayoutTest()
    {
        testsupport::QtTestApplication();
        CEventLoop::SetCurrent(&loop);
        previous = CMessageBoxSink::SetCurrent(&boxes);
    }
    ~WindowLayoutTest() override { CMessageBoxSink::SetCurrent(previous); }

    std::unique_ptr<CVesperaDlg> NewWindow()
    {
        auto agent = std::make_unique<CRecordingVespera>(backend, home.Root() / "debug.log");
        agent->SetInstallDirectory(home.DataDir().string());
        return std::make_unique<CVesperaDlg>(std::move(agent));
    }
    static QHeaderView* Columns(CVesperaDlg& window)
    {
        return window.findChild<QTreeWidget*>("appointments")->header();
    }
    std::string Stored(const char* name) const
    {
        std::string value;
        CRegistry().ReadValueUnbounded(CAgentSettings::WindowLayoutKey, name, value);
        return value;
    }

    CQtEventLoop loop;
    CTemporaryHome home;
    std::shared_ptr<outlook::CMemoryBackend> backend = std::make_shared<outlook::CMemoryBackend>();
    CMessageBoxSink::CRecorder boxes;
    CMessageBoxSink* previous = nullptr;
};

TEST_F(WindowLayoutTest, TheSplitAndTheColumnsTheUserSetComeBackTheFittedOnesDoNot)
{
    auto first = NewWindow();
    first->resize(800, 640);
    first->show();
    // Widths the window fits itself are not the user's.
    first->ShowDay(QDate(2031, 3, 17));
    first->hide();
    EXPECT_FALSE(Stored("MainWindow").empty());
    EXPECT_FALSE(Stored("MainSplitter").empty());
    EXPECT_EQ(Stored("MainColumns"), "");

    first->show();
    auto* split = first->findChild<QSplitter*>("daySplitter");
    split->setSizes({200, 380});
    const QList<int> sizes = split->sizes();
    Columns(*first)->resizeSection(0, 211);
    Columns(*first)->resizeSection(3, 97);
    first.reset();
    EXPECT_FALSE(Stored("MainColumns").empty()) << "kept when the window goes while it shows";

    auto second = NewWindow();
    second->show();
    EXPECT_EQ(second->findChild<QSplitter*>("daySplitter")->sizes(), sizes);
    EXPECT_EQ(Columns(*second)->sectionSize(0), 211);
    EXPECT_EQ(Columns(*second)->sectionSize(3), 97);
    second->ShowDay(QDate(2031, 3, 18));
    EXPECT_EQ(Columns(*second)->sectionSize(0), 211) << "no longer fitted";
    EXPECT_EQ(Columns(*second)->sectionResizeMode(CVesperaDlg::SubjectColumn), QHeaderView::Stretch);
}

TEST_F(WindowLayoutTest, BroughtToTheFrontTheWindowKeepsTheStateItHad)
{
    auto window = NewWindow();
    window->showMaximized();
    window->OnMinimize();
    ASSERT_TRUE(window->isHidden());
    window->BringToFront();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(window->Tray().GetDefaultItem(), CSystemTray::Minimize);

    window->showNormal();
    window->showMinimized();
    window->BringToFront();
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowLayoutTest, StartedWithTheSessionWithoutATrayTheWindowWaitsMinimised)
{
    // The offscreen platform has no notification area.
    auto window = NewWindow();
    window->SetStartedWithSession(true);
    CAgentSettings& settings = window->Agent().GetSettings();
    settings.SetAgentName("ann_example.org-CalendarAgent");
    settings.SetANSRegistered(false);
    QTimer::singleShot(0, [] {
        if (auto* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            sheet->reject();
    });
    window->OnInitDialog();
    EXPECT_FALSE(window->IsTrayCreated());
    EXPECT_TRUE(window->isMinimized());
    window->EndDialog(0);
}

TEST_F(WindowLayoutTest, TheGeneralPagesSessionBoxCarriesTheEntrysState)
{
    CGeneralSettingsPP page;
    auto* box = page.findChild<QCheckBox*>("startWithSession");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Start with my desktop session");
    for (bool entry : {true, false}) {
        CGeneralPageInput input;
        input.startWithSession = entry;
        page.Load(input);
        EXPECT_EQ(box->isChecked(), entry);
        box->click();
        EXPECT_EQ(page.Read().startWithSession, !entry);
    }
}

} // namespace
