#include <platform/ProgressSink.h>

#include <cstdio>

namespace {

CProgressSink* installed_sink = nullptr;

CProgressSink& default_sink()
{
    static CProgressSink::CHeadless sink;
    return sink;
}

} // namespace

CProgressSink::~CProgressSink() = default;

CProgressSink& CProgressSink::Current()
{
    return installed_sink ? *installed_sink : default_sink();
}

CProgressSink* CProgressSink::SetCurrent(CProgressSink* sink)
{
    CProgressSink* previous = installed_sink;
    installed_sink = sink;
    return previous;
}

CProgressSink::CHeadless::CHeadless(LogHook log) : log(std::move(log)) {}

void CProgressSink::CHeadless::Open() {}

void CProgressSink::CHeadless::Show(const std::string& text)
{
    std::string line = FormatLine(text);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    if (log)
        log(line);
}

void CProgressSink::CHeadless::Close() {}

// One line per text keeps a log readable line by line.
std::string CProgressSink::CHeadless::FormatLine(const std::string& text)
{
    std::string line = "Progress: ";
    std::size_t start = line.size();
    line += text;
    for (std::size_t i = start; i < line.size(); ++i) {
        if (line[i] == '\n' || line[i] == '\r')
            line[i] = ' ';
    }
    return line;
}

void CProgressSink::CRecorder::Open()
{
    ++opened;
}

void CProgressSink::CRecorder::Show(const std::string& text)
{
    texts.push_back(text);
}

void CProgressSink::CRecorder::Close()
{
    ++closed;
}

const std::vector<std::string>& CProgressSink::CRecorder::Texts() const
{
    return texts;
}

int CProgressSink::CRecorder::OpenCount() const
{
    return opened;
}

int CProgressSink::CRecorder::CloseCount() const
{
    return closed;
}

bool CProgressSink::CRecorder::IsOpen() const
{
    return opened > closed;
}

void CProgressSink::CRecorder::Clear()
{
    texts.clear();
    opened = 0;
    closed = 0;
}
