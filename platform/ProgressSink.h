#pragma once

#include <functional>
#include <string>
#include <vector>

// Where a program's start-up progress goes: a small window that opens,
// shows one text after another and closes. The windowed program shows it;
// a headless process writes the texts out; tests record them. One sink is
// current per process (everything runs on one thread).
class CProgressSink {
public:
    class CHeadless;
    class CRecorder;

    virtual ~CProgressSink();

    virtual void Open() = 0;
    // Shows `text` in place of the one before. A sink that was not opened
    // shows it all the same.
    virtual void Show(const std::string& text) = 0;
    virtual void Close() = 0;

    // The sink installed last, or a process-wide CHeadless writing to
    // standard error.
    static CProgressSink& Current();
    // Installs a borrowed sink (null restores the default) and returns the
    // previous installation (null for the default).
    static CProgressSink* SetCurrent(CProgressSink* sink);
};

// Writes each text as the line "Progress: <text>" (line breaks as blanks)
// to standard error and to an optional log hook; opening and closing write
// nothing.
class CProgressSink::CHeadless : public CProgressSink {
public:
    using LogHook = std::function<void(const std::string& line)>;

    explicit CHeadless(LogHook log = LogHook());

    void Open() override;
    void Show(const std::string& text) override;
    void Close() override;

    static std::string FormatLine(const std::string& text);

private:
    LogHook log;
};

// Keeps every text shown and counts openings and closings, for tests.
class CProgressSink::CRecorder : public CProgressSink {
public:
    void Open() override;
    void Show(const std::string& text) override;
    void Close() override;

    const std::vector<std::string>& Texts() const;
    int OpenCount() const;
    int CloseCount() const;
    // Whether the window is open now (opened more often than closed).
    bool IsOpen() const;
    void Clear();

private:
    std::vector<std::string> texts;
    int opened = 0;
    int closed = 0;
};
