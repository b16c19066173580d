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

TEST_F(WindowMemoryTest, WhatIsNoStateOfQtsLeavesTheWidgetsAsTheyAre)
{
    CWindowMemory memory(registry, Key);
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
    // What it stored itself it takes back.
    window.setGeometry(70, 80, 640, 480);
    memory.SaveGeometry(window, "Stored");
    QWidget later;
    EXPECT_TRUE(memory.RestoreGeometry(later, "Stored"));
    EXPECT_EQ(later.geometry(), window.geometry());
}

} // namespace
