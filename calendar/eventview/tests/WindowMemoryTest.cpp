#include <eventview/WindowMemory.h>
#include <eventview/testing/QtTestApplication.h>

#include <platform/testing/TempDir.h>

#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* Key = "Software\\ORVANTE\\CalendarAgent\\Windows";

class WindowMemoryTest : public ::testing::Test {
protected:
    WindowMemoryTest() { testsupport::QtTestApplication(); }

    // A splitter with two panes, laid out at its size.
    static std::unique_ptr<QSplitter> NewSplitter()
    {
        auto splitter = std::make_unique<QSplitter>(Qt::Vertical);
        splitter->addWidget(new QLabel("calendar"));
        splitter->addWidget(new QLabel("appointments"));
        splitter->resize(400, 600);
        splitter->show();
        return splitter;
    }

    static std::unique_ptr<QTreeWidget> NewList()
    {
        auto list = std::make_unique<QTreeWidget>();
        list->setHeaderLabels({"Start Time", "Subject", "Duration", "Location"});
        list->header()->setStretchLastSection(false);
        list->resize(600, 300);
        return list;
    }

    testsupport::CTempDir directory{"window-memory"};
    CRegistry registry{CRegistry::CurrentUser, directory.Path()};
};

TEST_F(WindowMemoryTest, AWindowItsSplitterAndItsColumnsComeBackAsTheyWereLeft)
{
    CWindowMemory memory(registry, Key);
    QWidget window;
    window.setGeometry(70, 80, 640, 480);
    auto splitter = NewSplitter();
    splitter->setSizes({150, 450});
    const QList<int> sizes = splitter->sizes();
    auto list = NewList();
    for (int column = 0; column < 4; ++column)
        list->header()->resizeSection(column, 60 + 30 * column);
    memory.SaveGeometry(window, "MainWindow");
    memory.SaveState(*splitter, "MainSplitter");
    memory.SaveState(*list->header(), "MainColumns");

    const CWindowMemory later(CRegistry(CRegistry::CurrentUser, directory.Path()), Key);
    QWidget restored;
    ASSERT_TRUE(later.RestoreGeometry(restored, "MainWindow"));
    EXPECT_EQ(restored.geometry(), window.geometry());
    auto restoredSplitter = NewSplitter();
    ASSERT_TRUE(later.RestoreState(*restoredSplitter, "MainSplitter"));
    EXPECT_EQ(restoredSplitter->sizes(), sizes);
    auto restoredList = NewList();
    ASSERT_TRUE(later.RestoreState(*restoredList->header(), "MainColumns"));
    for (int column = 0; column < 4; ++column)
        EXPECT_EQ(restoredList->header()->sectionSize(column), 60 + 30 * column) << column;
}

TEST_F(WindowMemoryTest, WhatIsNoStateOfQtsLeavesTheWidgetsAsTheyAre)
{
    const CWindowMemory memory(registry, Key);
    const struct {
        const char* what;
        std::string stored;
    } cases[] = {
        {"an empty value", ""},
        {"no base64", "geometry: 10 20 640 480"},
        {"base64 of other bytes", QByteArray("not a state of Qt's").toBase64().toStdString()},
        {"too long", std::string(CWindowMemory::MaxTextBytes + 4, 'A')},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(registry.WriteValue(Key, "Broken", c.stored), CRegistry::Ok) << c.what;
        QWidget window;
        window.setGeometry(10, 20, 300, 200);
        EXPECT_FALSE(memory.RestoreGeometry(window, "Broken")) << c.what;
        EXPECT_EQ(window.geometry(), QRect(10, 20, 300, 200)) << c.what;
        auto splitter = NewSplitter();
        splitter->setSizes({200, 400});
        const QList<int> sizes = splitter->sizes();
        EXPECT_FALSE(memory.RestoreState(*splitter, "Broken")) << c.what;
        EXPECT_EQ(splitter->sizes(), sizes) << c.what;
        auto list = NewList();
        list->header()->resizeSection(1, 123);
        EXPECT_FALSE(memory.RestoreState(*list->header(), "Broken")) << c.what;
        EXPECT_EQ(list->header()->sectionSize(1), 123) << c.what;
    }
    QWidget window;
    EXPECT_FALSE(memory.RestoreGeometry(window, "NeverStored"));
}

} // namespace
