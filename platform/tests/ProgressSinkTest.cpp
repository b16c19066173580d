#include <platform/ProgressSink.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ProgressSinkTest, HeadlessWritesOneLinePerTextToStandardErrorAndTheLog)
{
    EXPECT_EQ(CProgressSink::CHeadless::FormatLine("Loading\ncontacts\r"), "Progress: Loading contacts ");
    EXPECT_EQ(CProgressSink::CHeadless::FormatLine(""), "Progress: ");

    std::vector<std::string> logged;
    CProgressSink::CHeadless with_log([&logged](const std::string& line) { logged.push_back(line); });
    CProgressSink* previous = CProgressSink::SetCurrent(&with_log);
    ::testing::internal::CaptureStderr();
    CProgressSink::Current().Open();
    CProgressSink::Current().Show("Initializing Outlook Instance...");
    CProgressSink::Current().Close();
    const std::string written = ::testing::internal::GetCapturedStderr();
    CProgressSink::SetCurrent(previous);

    EXPECT_EQ(written, "Progress: Initializing Outlook Instance...\n");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "Progress: Initializing Outlook Instance...");
}

TEST(ProgressSinkTest, RecorderKeepsTextsInOrderAndTracksTheWindow)
{
    CProgressSink::CRecorder recorder;
    EXPECT_EQ(CProgressSink::SetCurrent(&recorder), nullptr);
    EXPECT_EQ(&CProgressSink::Current(), &recorder);
    EXPECT_FALSE(recorder.IsOpen());
    CProgressSink::Current().Open();
    EXPECT_TRUE(recorder.IsOpen());
    CProgressSink::Current().Show("one");
    CProgressSink::Current().Show("two");
    CProgressSink::Current().Close();
    EXPECT_FALSE(recorder.IsOpen());
    EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(recorder.OpenCount(), 1);
    EXPECT_EQ(recorder.CloseCount(), 1);

    recorder.Clear();
    EXPECT_TRUE(recorder.Texts().empty());
    EXPECT_EQ(recorder.OpenCount(), 0);

    EXPECT_EQ(CProgressSink::SetCurrent(nullptr), &recorder);
    EXPECT_NE(&CProgressSink::Current(), &recorder);
}

} // namespace
