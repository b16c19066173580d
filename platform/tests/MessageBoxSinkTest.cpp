#include <platform/MessageBoxSink.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Puts the default sink back whatever a test installed.
class MessageBoxSinkTest : public ::testing::Test {
protected:
    void TearDown() override { CMessageBoxSink::SetCurrent(nullptr); }
};

TEST_F(MessageBoxSinkTest, DefaultButtonIsTheFirstUnlessAnotherIsChosen)
{
    struct Case {
        unsigned type;
        int expected;
    };
    const std::vector<Case> cases = {
        {MB_OK, IDOK},
        {MB_OK | MB_ICONERROR, IDOK},
        {MB_OKCANCEL, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNO, IDYES},
        {MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
        {MB_RETRYCANCEL, IDRETRY},
        // A box without a third button keeps its first one focused.
        {MB_YESNO | MB_DEFBUTTON3, IDYES},
        {MB_OK | MB_DEFBUTTON2, IDOK},
        // Unknown button kinds fall back to a plain OK box.
        {0x0000000E, IDOK},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CMessageBoxSink::DefaultButton(c.type), c.expected) << "type " << c.type;
}

TEST_F(MessageBoxSinkTest, KindNamesFollowTheIcon)
{
    EXPECT_STREQ(CMessageBoxSink::KindName(MB_OK), "Message");
    EXPECT_STREQ(CMessageBoxSink::KindName(MB_ICONERROR | MB_YESNO), "Error");
    EXPECT_STREQ(CMessageBoxSink::KindName(MB_ICONSTOP), "Error");
    EXPECT_STREQ(CMessageBoxSink::KindName(MB_ICONQUESTION), "Question");
    EXPECT_STREQ(CMessageBoxSink::KindName(MB_ICONEXCLAMATION), "Warning");
    EXPECT_STREQ(CMessageBoxSink::KindName(MB_ICONWARNING), "Warning");
    EXPECT_STREQ(CMessageBoxSink::KindName(MB_ICONINFORMATION), "Information");
}

TEST_F(MessageBoxSinkTest, HeadlessLineIsOneLineWithKindAndCaption)
{
    EXPECT_EQ(CMessageBoxSink::CHeadless::FormatLine(
                  "The Agent is not registered with the ANS.\nIf you choose\r\nto", "Agent",
                  MB_OK | MB_ICONINFORMATION),
              "Information [Agent]: The Agent is not registered with the ANS. If you choose  to");
    EXPECT_EQ(CMessageBoxSink::CHeadless::FormatLine("Unable to start agent!", "", MB_OK),
              "Message: Unable to start agent!");
    EXPECT_EQ(CMessageBoxSink::CHeadless::FormatLine("", "", MB_ICONERROR), "Error: ");
}

TEST_F(MessageBoxSinkTest, DefaultSinkWritesToStandardErrorAndAnswersTheDefault)
{
    ::testing::internal::CaptureStderr();
    int answer = CMessageBoxSink::Show("OLE Initialization failed", MB_OK | MB_ICONERROR);
    int question = CMessageBoxSink::Show("Go on?", MB_YESNO | MB_DEFBUTTON2, "Calendar");
    std::string written = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(question, IDNO);
    EXPECT_EQ(written, "Error: OLE Initialization failed\nMessage [Calendar]: Go on?\n");
}

TEST_F(MessageBoxSinkTest, HeadlessLogHookGetsTheSameLine)
{
    std::vector<std::string> logged;
    CMessageBoxSink::CHeadless sink([&logged](const std::string& line) { logged.push_back(line); });
    ::testing::internal::CaptureStderr();
    int answer = sink.MessageBox("No reply was available.  Sorry...", "", MB_ICONINFORMATION);
    std::string written = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(answer, IDOK);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "Information: No reply was available.  Sorry...");
    EXPECT_EQ(written, logged[0] + "\n");
}

TEST_F(MessageBoxSinkTest, RecorderKeepsEveryBoxAndAnswersQueuedRepliesFirst)
{
    CMessageBoxSink::CRecorder recorder;
    EXPECT_EQ(CMessageBoxSink::SetCurrent(&recorder), nullptr);
    EXPECT_EQ(&CMessageBoxSink::Current(), &recorder);

    recorder.QueueReply(IDNO);
    EXPECT_EQ(CMessageBoxSink::Show("first", MB_YESNO, "c1"), IDNO);
    EXPECT_EQ(CMessageBoxSink::Show("second", MB_YESNO, "c2"), IDYES);
    EXPECT_EQ(CMessageBoxSink::Show("third\nline", MB_ICONEXCLAMATION), IDOK);

    const auto& boxes = recorder.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "first");
    EXPECT_EQ(boxes[0].caption, "c1");
    EXPECT_EQ(boxes[0].type, MB_YESNO);
    EXPECT_EQ(boxes[1].caption, "c2");
    EXPECT_EQ(boxes[2].text, "third\nline");
    EXPECT_EQ(boxes[2].caption, "");
    EXPECT_EQ(boxes[2].type, MB_ICONEXCLAMATION);

    recorder.QueueReply(IDCANCEL);
    recorder.Clear();
    EXPECT_TRUE(recorder.Boxes().empty());
    EXPECT_EQ(CMessageBoxSink::Show("after clear", MB_OKCANCEL), IDOK);
}

TEST_F(MessageBoxSinkTest, SetCurrentReturnsThePreviousSinkAndNullRestoresTheDefault)
{
    CMessageBoxSink::CRecorder first;
    CMessageBoxSink::CRecorder second;
    CMessageBoxSink::SetCurrent(&first);
    EXPECT_EQ(CMessageBoxSink::SetCurrent(&second), &first);
    CMessageBoxSink::Show("to second");
    EXPECT_TRUE(first.Boxes().empty());
    EXPECT_EQ(second.Boxes().size(), 1u);

    EXPECT_EQ(CMessageBoxSink::SetCurrent(nullptr), &second);
    ::testing::internal::CaptureStderr();
    CMessageBoxSink::Show("to default");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Message: to default\n");
    EXPECT_EQ(second.Boxes().size(), 1u);
}

} // namespace
