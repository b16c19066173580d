#include <agentkit/AgentContainer.h>

#include <agentkit/ContainerHelpers.h>
#include <agentkit/HTTPDriver.h>

#include <basekit/CommandLine.h>
#include <basekit/Utils.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/LookupModule.h>
#include <factkit/StringBelief.h>
#include <namekit/ANSClient.h>
#include <platform/Wnd.h>
#include <wirekit/ClientSocket.h>
#include <wirekit/Communicator.h>
#include <wirekit/FileModule.h>
#include <wirekit/InterfaceModule.h>
#include <wirekit/SocketBase.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// A whole decimal number from 0 to 65535; anything else is refused.
bool parse_port(const char* text, int& port)
{
    if (!text || !*text)
        return false;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 0 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

bool is_yes(const char* text)
{
    return text && (std::strcmp(text, "yes") == 0 || std::strcmp(text, "YES") == 0 ||
                    std::strcmp(text, "y") == 0 || std::strcmp(text, "Y") == 0);
}

} // namespace

// --- command line ---------------------------------------------------------------

void CAgentContainer::parse_args(int count, char** vector)
{
    CCommandLine commandline;
    commandline.parse_commandline(count, vector);
    parse_args(&commandline);
}

void CAgentContainer::parse_args(CCommandLine* commandline)
{
    if (!commandline || !beliefdb)
        return;
    argc = commandline->get_argc();
    argv = commandline->get_argv();
    apply_string_option(commandline, "name", "name");
    apply_port_option(commandline, "port", "port");
    apply_string_option(commandline, "ans", "ans");
    apply_port_option(commandline, "ansport", "ansport");
    if (commandline->find_element("noans"))
        communicator->comm_disable_ans();
    apply_unique_option(commandline);
    apply_window_option(commandline);
    handle_parse_args(commandline);
}

void CAgentContainer::apply_string_option(CCommandLine* commandline, const char* option, const char* belief)
{
    const char* value = commandline->find_token(option);
    CStringBelief* target = beliefdb->find_string_belief(belief);
    if (value && target)
        target->set_value(value);
}

void CAgentContainer::apply_port_option(CCommandLine* commandline, const char* option, const char* belief)
{
    const char* value = commandline->find_token(option);
    if (!value)
        return;
    int port = 0;
    if (!parse_port(value, port)) {
        debug("<CAgentContainer> Ignoring option -%s: not a port number", option);
        return;
    }
    if (CIntBelief* target = beliefdb->find_int_belief(belief))
        target->set_value(port);
}

void CAgentContainer::apply_unique_option(CCommandLine* commandline)
{
    if (is_yes(commandline->find_token("unique")))
        unique = 1;
}

void CAgentContainer::apply_window_option(CCommandLine* commandline)
{
    const char* mode = commandline->find_token("win");
    if (!mode)
        return;
    if (std::strcmp(mode, "min") == 0)
        result_code = CREATE_MINIMISED;
    else if (std::strcmp(mode, "max") == 0)
        result_code = CREATE_MAXIMISED;
    else if (std::strcmp(mode, "hidden") == 0)
        result_code = CREATE_HIDDEN;
}

// --- accessors ----------------------------------------------------------------------

CCommunicator* CAgentContainer::get_communicator()
{
    return communicator.get();
}

CBeliefDB* CAgentContainer::get_belief_db()
{
    return beliefdb.get();
}

CFileModule* CAgentContainer::get_logger()
{
    return file_module;
}

CInterfaceModule* CAgentContainer::get_interface_module()
{
    return interface_module;
}

char* CAgentContainer::get_agent_name()
{
    CStringBelief* name = beliefdb ? beliefdb->find_string_belief("name") : nullptr;
    return name ? name->get_value() : nullptr;
}

void CAgentContainer::set_agent_name(const char* name)
{
    if (CStringBelief* belief = beliefdb ? beliefdb->find_string_belief("name") : nullptr)
        belief->set_value(name);
}

int CAgentContainer::get_argc()
{
    return argc;
}

char** CAgentContainer::get_argv()
{
    return argv;
}

int CAgentContainer::get_state()
{
    return state;
}

void CAgentContainer::set_unique(int value)
{
    unique = value;
}

int CAgentContainer::get_unique()
{
    return unique;
}

void CAgentContainer::set_service_type(int type)
{
    service_type = type;
    if (communicator)
        communicator->set_service_type(type);
}

int CAgentContainer::get_service_type()
{
    return service_type;
}

CLList* CAgentContainer::obtain_network_db()
{
    return communicator ? communicator->get_lookup_table() : nullptr;
}

void CAgentContainer::assign_http_driver(CHTTPDriver* driver)
{
    http_driver.reset(driver);
    if (http_driver && file_module && file_module->get_file_pointer())
        http_driver->set_file(file_module->get_file_pointer());
}

CHTTPDriver* CAgentContainer::get_http_driver()
{
    return http_driver.get();
}

void CAgentContainer::add_alternative_socket(CSocketBase* socket)
{
    if (socket)
        alternative_sockets.emplace_back(socket);
}

void CAgentContainer::remove_alternative_sockets()
{
    for (auto& socket : alternative_sockets)
        socket->Close();
    alternative_sockets.clear();
}

void CAgentContainer::set_handler(CWnd* window)
{
    handler = window;
    if (communicator)
        communicator->set_handler(window);
    hook_log_flush(window ? window->GetEventLoop() : nullptr);
}

// Log lines are only buffered while the loop dispatches and go out whenever
// the agent goes idle, so a line costs no system call of its own and is
// still in its file as soon as the agent waits for its next event.
void CAgentContainer::hook_log_flush(CEventLoop* loop)
{
    if (loop && loop == flush_loop && !flush_loop_alive.expired())
        return;
    unhook_log_flush();
    if (!loop)
        return;
    defer_hook = loop->AddAfterSleep([] { CDebug::set_deferred(true); });
    flush_hook = loop->AddBeforeSleep([] { CDebug::set_deferred(false); });
    flush_loop = loop;
    flush_loop_alive = loop->Lifetime();
}

// Without the hook nothing would end the deferring, so it ends here.
void CAgentContainer::unhook_log_flush()
{
    if (!flush_loop)
        return;
    if (!flush_loop_alive.expired()) {
        flush_loop->RemoveSleepHook(defer_hook);
        flush_loop->RemoveSleepHook(flush_hook);
    }
    CDebug::set_deferred(false);
    flush_loop = nullptr;
    flush_loop_alive.reset();
    flush_hook = CEventLoop::kNoHook;
    defer_hook = CEventLoop::kNoHook;
}

CWnd* CAgentContainer::get_handler()
{
    return handler;
}

void CAgentContainer::set_lookup_config(int mask)
{
    lookup_config = mask;
    if (state != STATE_RUNNING)
        return;
    CLList* modules = communicator->get_lookup_modules();
    for (CListElement* e = modules->get_element(0); e;) {
        CListElement* next = e->get_next();
        auto* module = dynamic_cast<CLookupModule*>(e);
        if (module && !(module->get_lookup_type() & mask))
            communicator->remove_lookup_module(module);
        e = next;
    }
    if ((mask & LOOKUP_DISCOVERY) && !communicator->retrieve_dsc_object())
        add_discovery_module();
    if ((mask & LOOKUP_NAME_SERVER) && !communicator->retrieve_ans_object())
        add_name_server_client();
    for (CLookupModule* module : {communicator->retrieve_dsc_object(),
                                  static_cast<CLookupModule*>(communicator->retrieve_ans_object())}) {
        if (module && !module->is_enabled())
            module->enable(1);
    }
}

int CAgentContainer::get_lookup_config()
{
    return lookup_config;
}

void CAgentContainer::set_reject_own_messages(int reject)
{
    reject_own_messages = reject;
}

int CAgentContainer::get_reject_own_messages()
{
    return reject_own_messages;
}

int CAgentContainer::get_shutdown_requested()
{
    return shutdown_requested;
}

void CAgentContainer::set_shutdown_requested(int requested)
{
    shutdown_requested = requested;
}

int CAgentContainer::get_result_code()
{
    return result_code;
}

void CAgentContainer::set_shutdown_pause(unsigned milliseconds)
{
    shutdown_pause_ms = milliseconds;
}

unsigned CAgentContainer::get_shutdown_pause()
{
    return shutdown_pause_ms;
}

void CAgentContainer::set_belief_dump_file(const char* file)
{
    dump_enabled = file != nullptr;
    belief_dump_file = file ? file : "";
}

const char* CAgentContainer::get_belief_dump_file()
{
    return dump_enabled ? belief_dump_file.c_str() : nullptr;
}

const CPidFile& CAgentContainer::get_pid_file() const
{
    return pid_file;
}

CClientSocket* CAgentContainer::get_current_connection()
{
    return current_connection;
}

// --- the debug log ----------------------------------------------------------------

void CAgentContainer::debug(const char* text)
{
    if (text)
        write_line(text);
}

// Only the first "%s" takes the argument and "%%" is a percent sign; any
// other '%' is written as it stands, so a format that does not match its one
// argument can never read past it.
void CAgentContainer::debug(const char* fmt, const char* arg)
{
    if (!fmt || !has_log_destination())
        return;
    std::string line;
    bool filled = false;
    for (const char* p = fmt; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            line += '%';
            ++p;
        } else if (p[0] == '%' && p[1] == 's' && !filled) {
            line += arg ? arg : "(null)";
            filled = true;
            ++p;
        } else {
            line += *p;
        }
    }
    write_line(line);
}

void CAgentContainer::dprintf(const char* fmt, ...)
{
    if (!has_log_destination())
        return;
    va_list args;
    va_start(args, fmt);
    vwrite(fmt, args);
    va_end(args);
}

void CAgentContainer::vwrite(const char* fmt, va_list args)
{
    write_line(CUtils::vformat(fmt, args));
}

// A line that goes nowhere is not worth formatting: agents with their log
// off would otherwise build one for every step of every message.
bool CAgentContainer::has_log_destination()
{
    return file_module || interface_module || get_file_pointer();
}

void CAgentContainer::write_line(const std::string& line)
{
    if (file_module)
        file_module->log_message(line.c_str());
    else
        CDebug::dprintf("%s", line.c_str());
    if (interface_module)
        interface_module->display(line.c_str());
}
