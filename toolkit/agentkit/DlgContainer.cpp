#include <agentkit/DlgContainer.h>

#include <agentkit/AgentContainer.h>

CDlgContainer::CDlgContainer(std::unique_ptr<CAgentContainer> owned, unsigned id, CWnd* owner)
    : CWnd(loop_of(owner)), container(std::move(owned)), template_id(id), parent(owner)
{
    if (container)
        container->set_handler(this);
}

CDlgContainer::~CDlgContainer()
{
    KillTimer(TIMER_ID);
    timer_running = false;
    if (!container)
        return;
    container->process_shutdown();
    container.reset();
}

CEventLoop* CDlgContainer::loop_of(CWnd* owner)
{
    return owner ? owner->GetEventLoop() : nullptr;
}

int CDlgContainer::CreateContainer(int argc, char** argv, unsigned flags)
{
    if (!container)
        return 0;
    container->parse_args(argc, argv);
    switch (container->Create(static_cast<int>(flags))) {
    case CAgentContainer::CREATE_NO_NAME:
    case CAgentContainer::CREATE_NO_COMMUNICATOR:
    case CAgentContainer::CREATE_ALREADY_CREATED:
        return 0;
    case CAgentContainer::CREATE_MAXIMISED:
        show_mode = SHOW_MAXIMISED;
        break;
    case CAgentContainer::CREATE_MINIMISED:
        show_mode = SHOW_MINIMISED;
        break;
    case CAgentContainer::CREATE_HIDDEN:
        show_mode = SHOW_HIDDEN_MINIMISED;
        break;
    default:
        break;
    }
    return 1;
}

int CDlgContainer::OnInitDialog()
{
    timer_running = SetTimer(TIMER_ID, timer_interval_ms);
    switch (show_mode) {
    case SHOW_MAXIMISED:
        ShowWindow(WINDOW_MAXIMISED);
        break;
    case SHOW_MINIMISED:
    case SHOW_HIDDEN_MINIMISED:
        ShowWindow(WINDOW_MINIMISED);
        break;
    default:
        ShowWindow(WINDOW_NORMAL);
        break;
    }
    const char* name = container ? container->get_agent_name() : nullptr;
    SetWindowText(name ? name : "");
    return timer_running;
}

int CDlgContainer::DoModal()
{
    CEventLoop* loop = GetEventLoop();
    if (!loop)
        return -1;
    OnInitDialog();
    ++modal_depth;
    int result = loop->Run();
    --modal_depth;
    return result;
}

void CDlgContainer::EndDialog(int result)
{
    KillTimer(TIMER_ID);
    timer_running = false;
    if (modal_depth > 0)
        GetEventLoop()->Quit(result);
}

void CDlgContainer::OnHandleMessage(uintptr_t type, intptr_t descriptor)
{
    if (!container)
        return;
    const unsigned long number = descriptor < 0 ? ~0UL : static_cast<unsigned long>(descriptor);
    if (container->get_state() == CAgentContainer::STATE_RUNNING)
        container->handle_mfc_message(type, number);
    else
        container->discard_mfc_message(type, number);
}

void CDlgContainer::OnTimer(uintptr_t id)
{
    if (id == TIMER_ID && timer_running && container)
        container->handle_mfc_timer();
}

void CDlgContainer::ShowWindow(WindowState state)
{
    window_state = state;
}

void CDlgContainer::SetWindowText(const char* text)
{
    window_text = text ? text : "";
}

intptr_t CDlgContainer::WindowProc(unsigned msg, uintptr_t wparam, intptr_t lparam)
{
    switch (msg) {
    case WM_SOCKET_NOTIFY:
        OnHandleMessage(wparam, lparam);
        return 0;
    case WM_TIMER:
        OnTimer(wparam);
        return 0;
    case WM_CLOSE:
        EndDialog(0);
        return 0;
    default:
        return CWnd::WindowProc(msg, wparam, lparam);
    }
}

CAgentContainer* CDlgContainer::get_container()
{
    return container.get();
}

CDlgContainer::ShowMode CDlgContainer::get_show_mode()
{
    return show_mode;
}

CDlgContainer::WindowState CDlgContainer::get_window_state()
{
    return window_state;
}

const std::string& CDlgContainer::get_window_text()
{
    return window_text;
}

unsigned CDlgContainer::get_template_id()
{
    return template_id;
}

CWnd* CDlgContainer::get_parent()
{
    return parent;
}

int CDlgContainer::is_timer_running()
{
    return timer_running;
}

int CDlgContainer::is_modal()
{
    return modal_depth > 0;
}

void CDlgContainer::set_timer_interval(unsigned milliseconds)
{
    timer_interval_ms = milliseconds > 0 ? milliseconds : 1;
}
