#include <platform/MessageBoxSink.h>

#include <cstdio>

namespace {

CMessageBoxSink* installed_sink = nullptr;

CMessageBoxSink& default_sink()
{
    static CMessageBoxSink::CHeadless sink;
    return sink;
}

// The buttons of each box kind, in the order they appear.
std::vector<int> buttons_of(unsigned type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL};
    default:
        return {IDOK};
    }
}

} // namespace

CMessageBoxSink::~CMessageBoxSink() = default;

CMessageBoxSink& CMessageBoxSink::Current()
{
    return installed_sink ? *installed_sink : default_sink();
}

CMessageBoxSink* CMessageBoxSink::SetCurrent(CMessageBoxSink* sink)
{
    CMessageBoxSink* previous = installed_sink;
    installed_sink = sink;
    return previous;
}

int CMessageBoxSink::Show(const std::string& text, unsigned type, const std::string& caption)
{
    return Current().MessageBox(text, caption, type);
}

void CMessageBoxSink::Beep()
{
    std::fputc('\a', stderr);
    std::fflush(stderr);
}

void CMessageBoxSink::Alert()
{
    Current().Beep();
}

int CMessageBoxSink::DefaultButton(unsigned type)
{
    std::vector<int> buttons = buttons_of(type);
    std::size_t index = 0;
    if ((type & MB_DEFMASK) == MB_DEFBUTTON2)
        index = 1;
    else if ((type & MB_DEFMASK) == MB_DEFBUTTON3)
        index = 2;
    return index < buttons.size() ? buttons[index] : buttons.front();
}

const char* CMessageBoxSink::KindName(unsigned type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
        return "Error";
    case MB_ICONQUESTION:
        return "Question";
    case MB_ICONEXCLAMATION:
        return "Warning";
    case MB_ICONASTERISK:
        return "Information";
    default:
        return "Message";
    }
}

CMessageBoxSink::CHeadless::CHeadless(LogHook log) : log(std::move(log)) {}

int CMessageBoxSink::CHeadless::MessageBox(const std::string& text, const std::string& caption, unsigned type)
{
    std::string line = FormatLine(text, caption, type);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    if (log)
        log(line);
    return DefaultButton(type);
}

// One line per box keeps the log readable line by line.
std::string CMessageBoxSink::CHeadless::FormatLine(const std::string& text, const std::string& caption,
                                                   unsigned type)
{
    std::string line = KindName(type);
    if (!caption.empty())
        line += " [" + caption + "]";
    line += ": ";
    std::size_t start = line.size();
    line += text;
    for (std::size_t i = start; i < line.size(); ++i) {
        if (line[i] == '\n' || line[i] == '\r')
            line[i] = ' ';
    }
    return line;
}

int CMessageBoxSink::CRecorder::MessageBox(const std::string& text, const std::string& caption, unsigned type)
{
    boxes.push_back(Box{text, caption, type});
    if (replies.empty())
        return DefaultButton(type);
    int reply = replies.front();
    replies.pop_front();
    return reply;
}

void CMessageBoxSink::CRecorder::QueueReply(int reply)
{
    replies.push_back(reply);
}

const std::vector<CMessageBoxSink::CRecorder::Box>& CMessageBoxSink::CRecorder::Boxes() const
{
    return boxes;
}

void CMessageBoxSink::CRecorder::Clear()
{
    boxes.clear();
    replies.clear();
    beeps = 0;
}
