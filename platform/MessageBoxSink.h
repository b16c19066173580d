#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

// Message-box style flags and results, with their Windows values so that the
// numbers written into the toolkit keep their meaning.
constexpr unsigned MB_OK = 0x00000000;
constexpr unsigned MB_OKCANCEL = 0x00000001;
constexpr unsigned MB_ABORTRETRYIGNORE = 0x00000002;
constexpr unsigned MB_YESNOCANCEL = 0x00000003;
constexpr unsigned MB_YESNO = 0x00000004;
constexpr unsigned MB_RETRYCANCEL = 0x00000005;
constexpr unsigned MB_TYPEMASK = 0x0000000F;

constexpr unsigned MB_ICONHAND = 0x00000010;
constexpr unsigned MB_ICONQUESTION = 0x00000020;
constexpr unsigned MB_ICONEXCLAMATION = 0x00000030;
constexpr unsigned MB_ICONASTERISK = 0x00000040;
constexpr unsigned MB_ICONERROR = MB_ICONHAND;
constexpr unsigned MB_ICONSTOP = MB_ICONHAND;
constexpr unsigned MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr unsigned MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr unsigned MB_ICONMASK = 0x000000F0;

constexpr unsigned MB_DEFBUTTON1 = 0x00000000;
constexpr unsigned MB_DEFBUTTON2 = 0x00000100;
constexpr unsigned MB_DEFBUTTON3 = 0x00000200;
constexpr unsigned MB_DEFMASK = 0x00000F00;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Where message boxes go. The windowed program shows them; a headless
// process writes them out and answers with the default button; tests record
// them. One sink is current per process (everything runs on one thread).
class CMessageBoxSink {
public:
    class CHeadless;
    class CRecorder;

    virtual ~CMessageBoxSink();

    // Shows `text` and returns the button chosen (IDOK, IDYES, ...).
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
    // The warning sound before an error is shown: the desktop's, or the
    // terminal's bell (standard error) by default.
    virtual void Beep();

    // The sink installed last, or a process-wide CHeadless writing to
    // standard error.
    static CMessageBoxSink& Current();
    // Installs a borrowed sink (null restores the default) and returns the
    // previous installation (null for the default).
    static CMessageBoxSink* SetCurrent(CMessageBoxSink* sink);
    // Current().MessageBox(text, caption, type).
    static int Show(const std::string& text, unsigned type = MB_OK,
                    const std::string& caption = std::string());
    // Current().Beep().
    static void Alert();

    // The button that a box of `type` has focused when it opens: the first
    // of its buttons unless MB_DEFBUTTON2/3 picks another that it has.
    static int DefaultButton(unsigned type);
    // "Error", "Question", "Warning", "Information" or "Message".
    static const char* KindName(unsigned type);
};

// Writes each box as one line to standard error, and to an optional log
// hook (the agent's log), then answers with the default button. The line is
// "<kind> [<caption>]: <text>" with line breaks written as blanks; the
// caption part is left out when the caption is empty.
class CMessageBoxSink::CHeadless : public CMessageBoxSink {
public:
    using LogHook = std::function<void(const std::string& line)>;

    explicit CHeadless(LogHook log = LogHook());

    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;

    static std::string FormatLine(const std::string& text, const std::string& caption, unsigned type);

private:
    LogHook log;
};

// Keeps every box shown, for tests. Answers with the queued replies in
// order, then with each box's default button.
class CMessageBoxSink::CRecorder : public CMessageBoxSink {
public:
    struct Box {
        std::string text;
        std::string caption;
        unsigned type = MB_OK;
    };

    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
    void Beep() override { ++beeps; }

    void QueueReply(int reply);
    const std::vector<Box>& Boxes() const;
    int Beeps() const { return beeps; }
    void Clear();

private:
    int beeps = 0;
    std::vector<Box> boxes;
    std::deque<int> replies;
};
