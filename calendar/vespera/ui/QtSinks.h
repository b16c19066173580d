#pragma once

#include <platform/MessageBoxSink.h>
#include <platform/ProgressSink.h>
#include <platform/UserTimeFormat.h>

#include <QDateTime>
#include <QLabel>
#include <QWidget>

#include <functional>

// Message boxes of the windowed program: QMessageBox with the icon and the
// buttons the box's type asks for. Each box is also written to the log hook,
// so that the log tells what the user was shown.
class CQtMessageBoxSink : public CMessageBoxSink {
public:
    using LogHook = std::function<void(const std::string& line)>;

    explicit CQtMessageBoxSink(LogHook log = LogHook());

    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
    // The desktop's own warning sound.
    void Beep() override;

private:
    LogHook m_log;
};

// The start-up progress window: the program's picture above the text of the
// step being done. It is repainted at once for each text, since start-up
// pauses the thread between the steps.
class CStartupProgressWindow : public QWidget, public CProgressSink {
    Q_OBJECT
public:
    CStartupProgressWindow();

    void Open() override;
    void Show(const std::string& text) override;
    void Close() override;

    QString Text() const { return m_text->text(); }

private:
    QLabel* m_text = nullptr;
};

// The window's one form for dates and times: the locale's short form, used
// for what the window lists, what its edits show and what the agent's
// balloons and boxes say.
class CQtUserTimeFormat : public CUserTimeFormat {
public:
    std::string FormatDateTime(const CDateTime& at) const override;
    std::string FormatDate(const CDateTime& at) const override;
    std::string FormatTime(const CDateTime& at) const override;
    std::string FormatDay(const CDateTime& at) const override;

    static QString DateTimeText(const QDateTime& at);
    // Display formats for date, time and date-time edits.
    static QString DateFormat();
    static QString TimeFormat();
    static QString DateTimeFormat();
    static QDateTime ToQt(const CDateTime& at);
};
