#include <platform/MessageBoxSink.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(MessageBoxSinkTest, DefaultButtonIsTheFirstUnlessAnotherOfTheBoxIsChosen)
{
    const std::vector<std::pair<unsigned, int>> cases = {
        {MB_OK | MB_ICONERROR, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNO, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
        {MB_RETRYCANCEL, IDRETRY},
        {MB_YESNO | MB_DEFBUTTON3, IDYES},
        {0x0000000E, IDOK},
    };
    for (const auto& [type, expected] : cases)
        EXPECT_EQ(CMessageBoxSink::DefaultButton(type), expected) << "type " << type;
}

TEST(MessageBoxSinkTest, HeadlessWritesOneLinePerBoxAndAnswersTheDefault)
{
    EXPECT_EQ(CMessageBoxSink::CHeadless::FormatLine("Not registered.\nRestart\r\nnow", "Agent",
                                                     MB_ICONINFORMATION),
              "Information [Agent]: Not registered. Restart  now");
    EXPECT_EQ(CMessageBoxSink::CHeadless::FormatLine("x", "", MB_ICONWARNING), "Warning: x");
    EXPECT_EQ(CMessageBoxSink::CHeadless::FormatLine("", "", MB_ICONSTOP), "Error: ");
    EXPECT_STREQ(CMessageBoxSink::KindName(MB_ICONQUESTION | MB_YESNO), "Question");

    std::vector<std::string> logged;
    CMessageBoxSink::CHeadless with_log([&logged](const std::string& line) { logged.push_back(line); });
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(CMessageBoxSink::Show("OLE Initialization failed", MB_ICONERROR), IDOK);
    EXPECT_EQ(with_log.MessageBox("Go on?", "Calendar", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error: OLE Initialization failed\nMessage [Calendar]: Go on?\n");
    EXPECT_EQ(logged, (std::vector<std::string>{"Message [Calendar]: Go on?"}));
}

TEST(MessageBoxSinkTest, RecorderKeepsBoxesAndAnswersQueuedRepliesFirst)
{
    CMessageBoxSink::CRecorder recorder;
    CMessageBoxSink::CRecorder other;
    EXPECT_EQ(CMessageBoxSink::SetCurrent(&other), nullptr);
    EXPECT_EQ(CMessageBoxSink::SetCurrent(&recorder), &other);

    recorder.QueueReply(IDNO);
    EXPECT_EQ(CMessageBoxSink::Show("first", MB_YESNO, "c1"), IDNO);
    EXPECT_EQ(CMessageBoxSink::Show("second\nline", MB_YESNO | MB_ICONQUESTION), IDYES);
    ASSERT_EQ(recorder.Boxes().size(), 2u);
    EXPECT_EQ(recorder.Boxes()[0].caption, "c1");
    EXPECT_EQ(recorder.Boxes()[1].text, "second\nline");
    EXPECT_EQ(recorder.Boxes()[1].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_TRUE(other.Boxes().empty());

    recorder.QueueReply(IDCANCEL);
    recorder.Clear();
    EXPECT_EQ(CMessageBoxSink::Show("after clear", MB_OKCANCEL), IDOK);
    EXPECT_EQ(recorder.Boxes().size(), 1u);

    EXPECT_EQ(CMessageBoxSink::SetCurrent(nullptr), &recorder);
    ::testing::internal::CaptureStderr();
    CMessageBoxSink::Show("to the default");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Message: to the default\n");
    EXPECT_EQ(recorder.Boxes().size(), 1u);
}

} // namespace
