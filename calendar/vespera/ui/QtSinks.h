#pragma once

#include <platform/MessageBoxSink.h>
#include <platform/ProgressSink.h>

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
