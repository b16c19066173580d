#pragma once

#include <platform/Wnd.h>

#include <memory>
#include <string>

class CAgentContainer;

// The window that hosts an agent container: it receives the socket
// notifications and the one-second timer and hands them to the container.
// It is a plain message target on the event loop, so a headless agent runs
// it as it is and a windowed program shows it through ShowWindow and
// SetWindowText, which here only record the state asked for.
//
// The dialog owns the container: destroying the dialog runs the container's
// process_shutdown hook and then destroys the container.
class CDlgContainer : public CWnd {
public:
    static constexpr unsigned TIMER_ID = 1;
    static constexpr unsigned TIMER_INTERVAL_MS = 1000;

    // How CreateContainer asks the window to be shown.
    enum ShowMode { SHOW_NORMAL, SHOW_MAXIMISED, SHOW_MINIMISED, SHOW_HIDDEN_MINIMISED };
    // How the window is shown: hidden until OnInitDialog shows it.
    enum WindowState { WINDOW_HIDDEN, WINDOW_NORMAL, WINDOW_MAXIMISED, WINDOW_MINIMISED };

    // Registers itself as the container's window. The dialog runs on the
    // parent's event loop, or the current one without a parent.
    explicit CDlgContainer(std::unique_ptr<CAgentContainer> container, unsigned template_id = 0,
                           CWnd* parent = nullptr);
    ~CDlgContainer() override;

    // Parses the command line and creates the container with `flags`. 0
    // when Create fails (results 1, 2 and 3); otherwise 1, with -win max,
    // min or hidden (results 5, 6, 7) choosing the show mode.
    int CreateContainer(int argc, char** argv, unsigned flags);

    // Starts the timer, shows the window as the show mode says (maximised
    // for SHOW_MAXIMISED, minimised for both minimised modes) and titles it
    // with the agent's name. 1 when the timer runs.
    virtual int OnInitDialog();
    // OnInitDialog, then runs the event loop until EndDialog; its code, or
    // -1 without an event loop.
    int DoModal();
    // Stops the timer and ends the run DoModal started.
    void EndDialog(int result);

    // A socket notification: handled by the container while it runs; one
    // that comes earlier or later has its message dropped.
    void OnHandleMessage(uintptr_t type, intptr_t descriptor);
    // The container's checks, once the timer runs.
    void OnTimer(uintptr_t id);

    // Records the state asked for; a windowed program also shows it.
    virtual void ShowWindow(WindowState window_state);
    virtual void SetWindowText(const char* text);

    CAgentContainer* get_container();
    ShowMode get_show_mode();

    // The period of the container's timer from the next OnInitDialog on
    // (TIMER_INTERVAL_MS unless set; at least 1): tests shorten the ticks
    // that count down to periodic work.
    void set_timer_interval(unsigned milliseconds);
    WindowState get_window_state();
    const std::string& get_window_text();
    unsigned get_template_id();
    CWnd* get_parent();
    int is_timer_running();
    int is_modal();

protected:
    intptr_t WindowProc(unsigned msg, uintptr_t wparam, intptr_t lparam) override;

private:
    unsigned timer_interval_ms = TIMER_INTERVAL_MS;
    static CEventLoop* loop_of(CWnd* parent);

    std::unique_ptr<CAgentContainer> container;
    unsigned template_id;
    CWnd* parent;
    ShowMode show_mode = SHOW_NORMAL;
    WindowState window_state = WINDOW_HIDDEN;
    std::string window_text;
    bool timer_running = false;
    int modal_depth = 0;
};
